// The WinEvent adapter against real windows: a window that another process creates is reported,
// our own are not; events the system does not send everywhere (minimise, show) are handed to the
// hook's callback as the system would send them; the facts the rules look at are read from real
// windows, a hung one included. The other process is this test program itself, started with
// --child-window.
#include "win/win_event_hook.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "core/rule_engine.h"
#include "core/text.h"
#include "win/desktop.h"
#include "win/ui.h"

namespace quenvix::win {
namespace {

constexpr wchar_t kChildClass[] = L"QuenvixRuleTestChild";
constexpr wchar_t kOwnClass[] = L"QuenvixRuleTestOwn";
constexpr char kChildCaption[] = "Rule test – Child window";
// Bounds of the waits for the other process; the test fails, it does not hang, when they pass.
constexpr DWORD kEventWaitMs = 20000;
constexpr DWORD kChildLifetimeMs = 60000;

struct WindowDeleter {
    void operator()(HWND h) const noexcept {
        if (IsWindow(h)) DestroyWindow(h);
    }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDeleter>;

void RegisterClass(const wchar_t* name) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = name;
    RegisterClassExW(&wc);  // a second registration fails harmlessly
}

UniqueWindow MakeWindow(const wchar_t* cls, const std::string& caption, DWORD style,
                        DWORD exStyle = 0, HWND parent = nullptr) {
    RegisterClass(cls);
    return UniqueWindow(CreateWindowExW(exStyle, cls, Widen(caption).c_str(), style, 10, 10, 200,
                                        120, parent, nullptr, GetModuleHandleW(nullptr), nullptr));
}

// Runs this thread's messages (and with them the queued WinEvents) until `done` or the bound.
template <class Done>
bool PumpUntil(Done done, DWORD boundMs) {
    const ULONGLONG end = GetTickCount64() + boundMs;
    while (!done()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return false;
        // In short slices: another process's window changes without a message to us.
        const auto slice = static_cast<DWORD>(std::min<ULONGLONG>(end - now, 10));
        MsgWaitForMultipleObjects(0, nullptr, FALSE, slice, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

// This test program started again, opening one window of kChildClass.
class ChildProcess {
  public:
    ChildProcess() {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring commandLine = L"\"" + std::wstring(path) + L"\" --child-window";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (CreateProcessW(path, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &info)) {
            process_.reset(info.hProcess);
            CloseHandle(info.hThread);
            processId_ = info.dwProcessId;
        }
    }
    ~ChildProcess() {
        if (!process_) return;
        if (HWND window = FindWindowW(kChildClass, nullptr)) PostMessageW(window, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process_.get(), 5000) != WAIT_OBJECT_0) {
            TerminateProcess(process_.get(), 1);
        }
    }
    bool Started() const { return static_cast<bool>(process_); }
    // Its window once shown, null when it did not show within the bound.
    HWND ShownWindow() const {
        HWND window = nullptr;
        PumpUntil(
            [&] {
                window = FindWindowW(kChildClass, nullptr);
                return window && IsWindowVisible(window);
            },
            kEventWaitMs);
        return window && IsWindowVisible(window) ? window : nullptr;
    }
    DWORD Id() const { return processId_; }

  private:
    UniqueHandle process_;
    DWORD processId_ = 0;
};

struct Seen {
    core::RuleEvent event;
    HWND window;
};

// The whole "appear" path as it runs where the system reports only the creation: the event of
// another program's window (none for ours), the watch on its timer, and the decision once the
// window shows, on the facts read from it.
TEST(WinEventHook, AppearRuleTakesAWindowAnotherProgramOpensLater) {
    Win32Desktop desktop;
    core::RuleEngine engine(desktop, [](core::WindowId) { return false; });
    engine.SetRules(core::RuleSet(
        {core::Rule{true, core::RuleAction::Appear, "", "QUENVIXRULETESTCHILD", "child"},
         core::Rule{true, core::RuleAction::Appear, "", Narrow(kOwnClass), ""}}));
    std::vector<Seen> seen;
    std::vector<core::RuleHide> hides;
    WinEventHook hook(
        [&](core::RuleEvent event, HWND window) {
            seen.push_back({event, window});
            const auto id = reinterpret_cast<std::uintptr_t>(window);
            if (auto hide = engine.OnEvent(event, id, GetTickCount64())) hides.push_back(*hide);
        },
        false);
    ASSERT_TRUE(hook.Installed());

    // Ours comes first; the other program's window is created after it, so by the time that one
    // is hidden, an event of ours would have come too.
    UniqueWindow own = MakeWindow(kOwnClass, "own", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    ChildProcess child;
    ASSERT_TRUE(child.Started());
    ASSERT_TRUE(PumpUntil(
        [&] {
            for (const auto& hide : engine.OnWatchTimer(GetTickCount64())) hides.push_back(hide);
            return !hides.empty();
        },
        kEventWaitMs));
    const HWND childWindow = FindWindowW(kChildClass, nullptr);
    ASSERT_EQ(hides.size(), 1u);
    EXPECT_EQ(hides[0].window, reinterpret_cast<std::uintptr_t>(childWindow));
    EXPECT_FALSE(engine.WatchPending());
    const auto created = [&](const Seen& s) {
        return s.event == core::RuleEvent::Created && s.window == childWindow;
    };
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), created));
    for (const Seen& s : seen) EXPECT_NE(s.window, own.get());

    // What the rule saw in it.
    const core::WindowFacts facts = ReadWindowFacts(childWindow, true);
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring self(path);
    EXPECT_EQ(core::FoldCase(facts.executable),
              core::FoldCase(Narrow(self.substr(self.find_last_of(L"\\/") + 1))));
    EXPECT_EQ(facts.windowClass, Narrow(kChildClass));
    EXPECT_EQ(facts.caption, kChildCaption);
    EXPECT_TRUE(core::IsEligible(facts) && facts.visible);
    const core::WindowKey key = core::KeyOf(desktop, hides[0].window);
    EXPECT_EQ(key.origin.processId, child.Id());
    EXPECT_NE(key.origin.processStartTime, 0u);

    // Shown again (by its program, or the user) it is left alone.
    EXPECT_EQ(engine.OnEvent(core::RuleEvent::Shown, hides[0].window, GetTickCount64()),
              std::nullopt);
    EXPECT_EQ(desktop.Facts(0x7FFFFFF0, false), std::nullopt);  // no such window
}

TEST(WinEventHook, PassesOnEventsOfOtherProgramsTopLevelWindowsFromLiveHooksOnly) {
    ChildProcess other;
    ASSERT_TRUE(other.Started());
    const HWND top = other.ShownWindow();
    ASSERT_NE(top, nullptr);
    const HWND control = FindWindowExW(top, nullptr, kChildClass, nullptr);
    ASSERT_NE(control, nullptr);
    UniqueWindow own = MakeWindow(kOwnClass, "own", WS_OVERLAPPEDWINDOW | WS_VISIBLE);

    std::vector<Seen> seen;
    auto hook = std::make_unique<WinEventHook>(
        [&](core::RuleEvent event, HWND window) {
            seen.push_back({event, window});
        },
        true);
    ASSERT_TRUE(hook->Installed());
    const HWINEVENTHOOK minimize = hook->MinimizeHook();
    const HWINEVENTHOOK createShow = hook->CreateShowHook();
    const auto send = [](HWINEVENTHOOK h, DWORD event, HWND window, LONG object = OBJID_WINDOW) {
        WinEventHook::OnEvent(h, event, window, object, CHILDID_SELF, 0, 0);
    };

    // Minimise and show are not sent by every system: handed in as the system sends them, with
    // a caption change and a destroy.
    send(minimize, EVENT_SYSTEM_MINIMIZESTART, top);
    send(createShow, EVENT_OBJECT_SHOW, top);
    send(hook->CaptionHook(), EVENT_OBJECT_NAMECHANGE, top);
    send(createShow, EVENT_OBJECT_DESTROY, top);
    // Passed over: a control, a part of a window, the caret, a hook not ours, and a window of
    // our own.
    send(createShow, EVENT_OBJECT_SHOW, control);
    send(hook->CaptionHook(), EVENT_OBJECT_NAMECHANGE, control);
    send(createShow, EVENT_OBJECT_SHOW, top, OBJID_CLIENT);
    send(createShow, EVENT_OBJECT_CREATE, top, OBJID_CARET);
    send(reinterpret_cast<HWINEVENTHOOK>(0x1234), EVENT_OBJECT_SHOW, top);
    send(createShow, EVENT_OBJECT_SHOW, own.get());
    // Only the events the system queued on its own may come in between (it may send a show).
    PumpUntil([] { return false; }, 0);
    for (const Seen& s : seen) EXPECT_TRUE(s.window != control && s.window != own.get());
    std::erase_if(seen, [&](const Seen& s) { return s.window != top; });
    ASSERT_GE(seen.size(), 4u);
    EXPECT_EQ(seen[0].event, core::RuleEvent::MinimizeStarted);
    EXPECT_EQ(seen[1].event, core::RuleEvent::Shown);
    EXPECT_EQ(seen[2].event, core::RuleEvent::CaptionChanged);
    EXPECT_EQ(seen[3].event, core::RuleEvent::Destroyed);
    const std::size_t handedIn = seen.size();

    // Another thread's hooks are not this thread's: its events never reach our handler.
    std::thread([&] { send(createShow, EVENT_OBJECT_SHOW, top); }).join();
    EXPECT_EQ(seen.size(), handedIn);

    // A handler that ends its own hook; an event queued for a hook that ended finds nobody.
    std::unique_ptr<WinEventHook> selfEnding;
    int calls = 0;
    selfEnding = std::make_unique<WinEventHook>(
        [&](core::RuleEvent, HWND) {
            ++calls;
            selfEnding.reset();
        },
        false);
    const HWINEVENTHOOK ended = selfEnding->CreateShowHook();
    send(ended, EVENT_OBJECT_SHOW, top);
    send(ended, EVENT_OBJECT_SHOW, top);
    EXPECT_EQ(calls, 1);
    hook.reset();
    send(minimize, EVENT_SYSTEM_MINIMIZESTART, top);
    EXPECT_EQ(seen.size(), handedIn);
}

TEST(WindowFactsTest, ReadsWhatTheRulesNeedWithoutWaitingOnAHungWindow) {
    UniqueWindow plain = MakeWindow(kOwnClass, "plain", WS_OVERLAPPEDWINDOW);
    UniqueWindow tool = MakeWindow(kOwnClass, "tool", WS_OVERLAPPEDWINDOW, WS_EX_TOOLWINDOW);
    UniqueWindow owned = MakeWindow(kOwnClass, "owned", WS_OVERLAPPEDWINDOW, 0, plain.get());
    const core::WindowFacts plainFacts = ReadWindowFacts(plain.get(), false);
    EXPECT_TRUE(plainFacts.ours);
    EXPECT_FALSE(plainFacts.visible);
    EXPECT_TRUE(plainFacts.caption.empty());  // not asked for
    EXPECT_FALSE((plainFacts.exStyle & WS_EX_TOOLWINDOW) || plainFacts.ownedByWindow);
    EXPECT_EQ(plainFacts.windowClass, Narrow(kOwnClass));
    EXPECT_FALSE(plainFacts.executable.empty());  // the rules match on it
    EXPECT_TRUE(ReadWindowFacts(tool.get(), false).exStyle & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(ReadWindowFacts(owned.get(), false).ownedByWindow);
    EXPECT_TRUE(ReadWindowFacts(GetDesktopWindow(), false).desktopWindow);

    // Long captions are read up to what the rules look at, whole characters.
    std::string longCaption;
    while (core::CharacterCount(longCaption) < 2 * core::kRuleCaptionChars) longCaption += "ü😀";
    SetWindowTextW(plain.get(), Widen(longCaption).c_str());
    const std::string read = ReadWindowFacts(plain.get(), true).caption;
    EXPECT_EQ(read, longCaption.substr(0, read.size()));
    EXPECT_GE(core::CharacterCount(read), core::kRuleCaptionChars);

    // A window whose thread takes no messages: its caption comes from what the system keeps.
    HWND hung = nullptr;
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE created = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread busy([&] {
        UniqueWindow w = MakeWindow(kOwnClass, "Busy – window", WS_OVERLAPPEDWINDOW);
        hung = w.get();
        SetEvent(created);
        WaitForSingleObject(release, 30000);
    });
    WaitForSingleObject(created, 30000);
    EXPECT_EQ(ReadWindowFacts(hung, true).caption, "Busy – window");
    SetEvent(release);
    busy.join();
    CloseHandle(release);
    CloseHandle(created);

    // Maximised before it was minimised: it comes back maximised.
    ShowWindow(plain.get(), SW_SHOWMAXIMIZED);
    EXPECT_TRUE(RestoresToMaximized(plain.get()));
    ShowWindow(plain.get(), SW_MINIMIZE);
    EXPECT_TRUE(RestoresToMaximized(plain.get()));
    Win32Desktop desktop;  // as the rules ask it
    EXPECT_TRUE(desktop.RestoresToMaximized(ToId(plain.get())));
    ShowWindow(plain.get(), SW_RESTORE);  // back to maximised, as it was
    ShowWindow(plain.get(), SW_RESTORE);  // then normal
    ASSERT_FALSE(IsZoomed(plain.get()));
    ShowWindow(plain.get(), SW_MINIMIZE);
    EXPECT_FALSE(RestoresToMaximized(plain.get()));
    EXPECT_FALSE(desktop.RestoresToMaximized(ToId(plain.get())));
}

// The other program of the first test: one window, until closed or the bound passes.
int RunChildWindow() {
    UniqueWindow window = MakeWindow(kChildClass, kChildCaption, WS_OVERLAPPEDWINDOW);
    if (!window) return 1;
    MakeWindow(kChildClass, "control", WS_CHILD | WS_VISIBLE, 0, window.get()).release();
    // Shown a moment after it was created, as programs do.
    ShowWindow(window.get(), SW_SHOWNORMAL);
    PumpUntil([&] { return !IsWindow(window.get()); }, kChildLifetimeMs);
    return 0;
}

}  // namespace
}  // namespace quenvix::win

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--child-window") {
        return quenvix::win::RunChildWindow();
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
