// What one polling tick costs: building the key text from the keyboard state, and a whole
// detection tick (build, acceptance, hotkey lookup) on a held chord and with nothing down.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "core/hotkey_detector.h"
#include "core/key_text.h"
#include "fakes/manual_timer.h"

namespace {

using namespace quenvix::core;

// Counts heap allocations, so the benchmark can report how many a tick makes.
std::size_t g_allocations = 0;

// A keyboard as cheap to ask as the platform's, so the builder's own cost shows.
class ArrayKeys : public KeyState {
  public:
    bool IsKeyDown(std::uint16_t code) const override { return code < 256 && down_[code]; }
    void Set(std::initializer_list<std::uint16_t> codes) {
        down_.fill(false);
        for (auto c : codes) down_[c] = true;
    }

  private:
    std::array<bool, 256> down_{};
};

void BM_GetKeyText(benchmark::State& state, std::initializer_list<std::uint16_t> down) {
    ArrayKeys keys;
    keys.Set(down);
    const std::size_t before = g_allocations;
    for (auto _ : state) benchmark::DoNotOptimize(GetKeyText(keys));
    state.counters["allocs/build"] = benchmark::Counter(static_cast<double>(g_allocations - before),
                                                        benchmark::Counter::kAvgIterations);
}
BENCHMARK_CAPTURE(BM_GetKeyText, nothing_down, {});
BENCHMARK_CAPTURE(BM_GetKeyText, ctrl_star, {vk::kControl, vk::kMultiply});
BENCHMARK_CAPTURE(BM_GetKeyText, long_chord,
                  {vk::kControl, vk::kMenu, vk::kShift, vk::kF1 + 11, 'Z', 'A', '9'});

void BM_DetectionTick(benchmark::State& state, std::initializer_list<std::uint16_t> down) {
    ArrayKeys keys;
    keys.Set(down);
    quenvix::test::ManualTimers clock;
    HotkeyDetector peek(keys, clock);
    peek.AddHotkey("HideThis", "To hide the active program", "CTRL+* Num");
    peek.AddHotkey("HideAll", "To hide all programs", "CTRL+/ Num");
    int fired = 0;
    peek.StartDetect([&](std::uint16_t) { ++fired; });
    clock.Advance(HotkeyDetector::kDetectInterval);  // the first tick accepts the chord
    const std::size_t before = g_allocations;
    for (auto _ : state) clock.Advance(HotkeyDetector::kDetectInterval);
    state.counters["allocs/tick"] = benchmark::Counter(static_cast<double>(g_allocations - before),
                                                       benchmark::Counter::kAvgIterations);
    benchmark::DoNotOptimize(fired);
}
BENCHMARK_CAPTURE(BM_DetectionTick, nothing_down, {});
BENCHMARK_CAPTURE(BM_DetectionTick, chord_held, {vk::kControl, vk::kMultiply});
BENCHMARK_CAPTURE(BM_DetectionTick, long_chord_held,
                  {vk::kControl, vk::kMenu, vk::kShift, vk::kF1 + 11, 'Z', 'A', '9'});

}  // namespace

void* operator new(std::size_t size) {
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
