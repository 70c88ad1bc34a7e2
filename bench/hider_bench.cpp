// Hide-all over a desktop of 200 ordinary windows, and the restore-all that follows; both report
// the time per window. The crash-recovery record is rewritten at every hide and restore, so the
// runs with the settings store show what that costs. Then one hide, and one menu refresh, with
// 10, 1,000 and 5,000 windows hidden already: both must grow no faster than the list.
#include <benchmark/benchmark.h>

#include <memory>

#include "core/hider.h"
#include "core/product.h"
#include "core/settings_store.h"
#include "fakes/fake_desktop.h"
#include "fakes/memory_registry.h"

namespace {

using quenvix::core::Hider;
using quenvix::core::SettingsStore;
using quenvix::core::WindowId;

constexpr int kWindows = 200;

void Populate(quenvix::test::FakeDesktop& desktop) {
    for (int i = 0; i < kWindows; ++i) {
        quenvix::test::FakeWindow w;
        w.caption = "Document " + std::to_string(i) + " - a program with a long caption";
        w.iconic = i % 5 == 0;
        w.origin = {static_cast<std::uint32_t>(1000 + i), 7, 133500000000000000ull};
        desktop.Add(static_cast<WindowId>(0x10000 + i * 4), w);
    }
}

// One freshly populated desktop, store and hider per iteration, built outside the timing.
struct Scene {
    explicit Scene(bool withStore) : hider(desktop, withStore ? &store : nullptr, nullptr, {}) {
        Populate(desktop);
    }
    quenvix::test::FakeDesktop desktop;
    quenvix::test::MemoryRegistry registry;
    SettingsStore store{registry, quenvix::core::kSettingsKeyPath};
    Hider hider;
};

void Run(benchmark::State& state, bool withStore, bool restore) {
    for (auto _ : state) {
        state.PauseTiming();
        auto scene = std::make_unique<Scene>(withStore);
        state.ResumeTiming();

        scene->hider.HideAllWindows();
        if (restore) scene->hider.RestoreAllOnExit();
        benchmark::DoNotOptimize(scene->hider.HiddenCount());

        state.PauseTiming();
        scene.reset();
        state.ResumeTiming();
    }
    state.counters["per_window"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kWindows),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_HideAll(benchmark::State& state) {
    Run(state, false, false);
}
void BM_HideAllWithRecovery(benchmark::State& state) {
    Run(state, true, false);
}
void BM_HideAllThenRestoreWithRecovery(benchmark::State& state) {
    Run(state, true, true);
}

// The menu's entries, kept as the shell keeps them: one per record.
class CountingEntries : public quenvix::core::HiddenEntries {
  public:
    void Append(const quenvix::core::HiddenWindow&, const std::string&) override { ++count_; }
    void Remove(const quenvix::core::HiddenWindow&) override { --count_; }
    void Clear() override { count_ = 0; }

  private:
    std::size_t count_ = 0;
};

// `hidden` windows hidden one by one, with the recovery record and the menu entries, and one
// more window on the desktop that is not hidden yet.
struct CrowdedScene {
    explicit CrowdedScene(int hidden) {
        for (int i = 0; i <= hidden; ++i) {
            quenvix::test::FakeWindow w;
            w.caption = "Document " + std::to_string(i) + " - a program with a long caption";
            w.origin = {static_cast<std::uint32_t>(1000 + i), 7, 133500000000000000ull};
            desktop.Add(Window(i), w);
        }
        for (int i = 0; i < hidden; ++i) hider.HideWindow(Window(i));
        spare = Window(hidden);
    }
    static WindowId Window(int i) { return static_cast<WindowId>(0x10000 + i * 4); }

    quenvix::test::FakeDesktop desktop;
    quenvix::test::MemoryRegistry registry;
    SettingsStore store{registry, quenvix::core::kSettingsKeyPath};
    CountingEntries entries;
    Hider hider{desktop, &store, &entries, {}};
    WindowId spare = 0;
};

// One more window hidden (and, outside the timing, brought back so the list keeps its length).
void BM_HideOneAmong(benchmark::State& state) {
    CrowdedScene scene(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        scene.hider.HideWindow(scene.spare);
        state.PauseTiming();
        scene.hider.RestoreWindow(*scene.hider.HiddenList().back());
        scene.desktop.calls.clear();
        state.ResumeTiming();
    }
}

// The refresh that runs each time the tray menu opens.
void BM_RefreshMenuAmong(benchmark::State& state) {
    CrowdedScene scene(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        scene.hider.RefreshHiddenMenu();
        benchmark::DoNotOptimize(scene.hider.HiddenCount());
    }
}

}  // namespace

BENCHMARK(BM_HideOneAmong)->Arg(10)->Arg(1000)->Arg(5000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefreshMenuAmong)->Arg(10)->Arg(1000)->Arg(5000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HideAll)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HideAllWithRecovery)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HideAllThenRestoreWithRecovery)->Unit(benchmark::kMicrosecond);
