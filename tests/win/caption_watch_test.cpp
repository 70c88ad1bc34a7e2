// The caption watch against real windows of this process: a caption change of a listed window's
// program reaches the hider's side, a program with nothing listed any more is no longer heard,
// and every change of the list still reaches the menu's entries. Wine 8 sends no caption-change
// events: they are handed to the hook's callback as Windows sends them.
#include "win/caption_watch.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "win/desktop.h"

namespace quenvix::win {
namespace {

class EntryLog : public core::HiddenEntries {
  public:
    std::vector<std::string> log;
    void Append(const core::HiddenWindow&, const std::string& text) override {
        log.push_back("+" + text);
    }
    void Remove(const core::HiddenWindow& info) override { log.push_back("-" + info.Caption); }
    void Clear() override { log.emplace_back("clear"); }
    void Redescribe(const core::HiddenWindow&, const std::string& text) override {
        log.push_back("=" + text);
    }
};

struct WindowDeleter {
    void operator()(HWND h) const noexcept { DestroyWindow(h); }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDeleter>;

UniqueWindow TopLevel() {
    return UniqueWindow(CreateWindowExW(0, L"STATIC", L"Listed", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                        100, nullptr, nullptr, nullptr, nullptr));
}

std::unique_ptr<core::HiddenWindow> Record(HWND window, const std::string& caption) {
    auto info = std::make_unique<core::HiddenWindow>();
    info->Handle = ToId(window);
    info->Caption = caption;
    DWORD processId = 0;
    info->Origin.threadId = GetWindowThreadProcessId(window, &processId);
    info->Origin.processId = processId;
    return info;
}

// A caption change of `window` as Windows reports it to the hook.
void CaptionChanged(HWINEVENTHOOK hook, HWND window, LONG object = OBJID_WINDOW) {
    CaptionWatch::OnEvent(hook, EVENT_OBJECT_NAMECHANGE, window, object, CHILDID_SELF, 0, 0);
}

TEST(CaptionWatch, HearsTheListedProgramsCaptionsOnlyWhileItHasAWindowListed) {
    EntryLog entries;
    std::vector<core::WindowId> changed;
    CaptionWatch watch(entries, [&](core::WindowId w) { changed.push_back(w); });
    const UniqueWindow first = TopLevel();
    const UniqueWindow second = TopLevel();
    ASSERT_TRUE(first && second);
    const auto a = Record(first.get(), "a");
    const auto b = Record(second.get(), "b");
    auto unknown = Record(first.get(), "unknown");
    unknown->Origin.processId = 0;

    watch.Append(*a, "a");
    watch.Append(*b, "b");
    watch.Append(*unknown, "unknown");
    EXPECT_EQ(watch.FollowedPrograms(), 1u);  // one program, however many windows

    const HWINEVENTHOOK hook = watch.HookOf(a->Origin.processId);
    ASSERT_NE(hook, nullptr);
    CaptionChanged(hook, second.get());
    CaptionChanged(hook, second.get(), OBJID_CLIENT);  // a control's name, not the caption
    CaptionChanged(nullptr, first.get());              // no hook of ours
    EXPECT_EQ(changed, std::vector<core::WindowId>{ToId(second.get())});

    // Followed while one window is still listed, not after the last one left.
    watch.Remove(*a);
    EXPECT_EQ(watch.FollowedPrograms(), 1u);
    watch.Remove(*b);
    EXPECT_EQ(watch.FollowedPrograms(), 0u);
    // An event queued before the hook went arrives late, and is nobody's.
    changed.clear();
    CaptionChanged(hook, first.get());
    EXPECT_TRUE(changed.empty());

    watch.Append(*a, "a");
    watch.Redescribe(*a, "a2");
    watch.Clear();
    EXPECT_EQ(watch.FollowedPrograms(), 0u);
    EXPECT_EQ(entries.log,
              (std::vector<std::string>{"+a", "+b", "+unknown", "-a", "-b", "+a", "=a2", "clear"}));
}

}  // namespace
}  // namespace quenvix::win
