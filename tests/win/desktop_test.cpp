// The user32 desktop against real windows of this process (other processes' icons cannot be
// had under every system), including one whose thread has stopped answering.
#include "win/desktop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "core/hider.h"
#include "core/spared_windows.h"
#include "win/hidden_menu.h"
#include "win/window_traits.h"

namespace quenvix::win {
namespace {

constexpr wchar_t kPlainClass[] = L"QuenvixDesktopTestPlain";
constexpr wchar_t kIconClass[] = L"QuenvixDesktopTestIcon";

// A solid 16 x 16 icon of one colour (0x00RRGGBB).
UniqueIcon SolidIcon(std::uint32_t rgb) {
    std::vector<std::uint32_t> colour(16 * 16, 0xFF000000u | rgb);
    std::vector<std::uint8_t> mask(16 * 16 / 8, 0);  // all opaque
    UniqueBitmap colourBitmap(CreateBitmap(16, 16, 1, 32, colour.data()));
    UniqueBitmap maskBitmap(CreateBitmap(16, 16, 1, 1, mask.data()));
    ICONINFO info{TRUE, 0, 0, maskBitmap.get(), colourBitmap.get()};
    return UniqueIcon(CreateIconIndirect(&info));
}

UniqueIcon& ClassIcon() {
    static UniqueIcon icon = SolidIcon(0x0000FF);  // blue
    return icon;
}

void RegisterClasses() {
    static bool done = false;
    if (done) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kPlainClass;
    RegisterClassExW(&wc);
    wc.lpszClassName = kIconClass;
    wc.hIcon = ClassIcon().get();
    wc.hIconSm = ClassIcon().get();
    RegisterClassExW(&wc);
    done = true;
}

struct WindowDeleter {
    void operator()(HWND h) const noexcept {
        if (IsWindow(h)) DestroyWindow(h);
    }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDeleter>;

UniqueWindow MakeWindow(const std::wstring& caption, const wchar_t* cls = kPlainClass,
                        HWND owner = nullptr, DWORD exStyle = 0) {
    RegisterClasses();
    return UniqueWindow(CreateWindowExW(exStyle, cls, caption.c_str(),
                                        WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 120, owner,
                                        nullptr, GetModuleHandleW(nullptr), nullptr));
}

std::vector<std::uint32_t> Pixels(HBITMAP bitmap) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = 16;
    info.bmiHeader.biHeight = -16;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> pixels(16 * 16);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, 16, pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Runs this thread's messages until `done` or a bounded number of rounds.
template <class Pred>
bool PumpUntil(Pred done) {
    for (int round = 0; round < 200; ++round) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        if (done()) return true;
        Sleep(10);
    }
    return done();
}

// A window on its own thread (with `ownIcon` as its small icon) that stops answering until
// released.
class FrozenWindow {
  public:
    explicit FrozenWindow(HICON ownIcon = nullptr) {
        thread_ = std::thread([this, ownIcon] {
            RegisterClasses();
            hwnd_ =
                CreateWindowExW(0, kPlainClass, L"Frozen Ж", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50,
                                50, 200, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
            if (ownIcon)
                SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(ownIcon));
            SetEvent(created_.get());
            WaitForSingleObject(release_.get(), INFINITE);  // hung: no messages run
            MSG msg;
            while (!quit_) {
                while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
                Sleep(5);
            }
            DestroyWindow(hwnd_);
        });
        WaitForSingleObject(created_.get(), INFINITE);
    }
    ~FrozenWindow() {
        Release();
        quit_ = true;
        thread_.join();
    }
    void Release() { SetEvent(release_.get()); }
    HWND Hwnd() const { return hwnd_; }
    DWORD ThreadId() const { return GetWindowThreadProcessId(hwnd_, nullptr); }

  private:
    UniqueHandle created_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle release_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<bool> quit_{false};
    HWND hwnd_ = nullptr;
    std::thread thread_;
};

TEST(WindowCaption, ComesBackAsUtf8WholeOrEmpty) {
    const std::wstring unicode = L"Отчёт — 中文文档 \U0001F600 & more";
    auto w = MakeWindow(unicode);
    EXPECT_EQ(GetWindowCaption(w.get()), Narrow(unicode));
    auto empty = MakeWindow(L"");
    EXPECT_EQ(GetWindowCaption(empty.get()), "");
    auto longOne = MakeWindow(std::wstring(kCaptionLimit + 500, L'x'));
    EXPECT_EQ(GetWindowCaption(longOne.get()), std::string(kCaptionLimit, 'x'));
    // A window that is gone has no caption.
    HWND gone = w.get();
    w.reset();
    EXPECT_EQ(GetWindowCaption(gone), "");
}

TEST(WindowCaption, AHungWindowHoldsNothingUpAndItsIconArrivesOnceItAnswers) {
    auto green = SolidIcon(0x00FF00);
    FrozenWindow frozen(green.get());
    // Both return although the window's thread answers nothing.
    EXPECT_EQ(GetWindowCaption(frozen.Hwnd()), Narrow(L"Frozen Ж"));
    auto picture = WindowBitmap::OfWindow(frozen.Hwnd());
    auto dropped = WindowBitmap::OfWindow(frozen.Hwnd());
    ASSERT_TRUE(picture->Get());
    EXPECT_NE(Pixels(picture->Get())[8 * 16 + 8], 0xFF00FF00u);
    EXPECT_EQ(picture->Version(), 0u);
    // A picture dropped before the answer comes is simply not drawn into.
    dropped.reset();
    frozen.Release();
    EXPECT_TRUE(PumpUntil([&] { return Pixels(picture->Get())[8 * 16 + 8] == 0xFF00FF00u; }));
}

TEST(WindowCaption, QueuedCommandReachesAHungWindowOnceItAnswers) {
    FrozenWindow frozen;
    Win32Desktop desktop;
    const auto id = ToId(frozen.Hwnd());
    desktop.ShowAsync(id, core::ShowCommand::Hide);  // returns at once
    EXPECT_TRUE(desktop.IsVisible(id));
    frozen.Release();
    EXPECT_TRUE(PumpUntil([&] { return !desktop.IsVisible(id); }));
}

TEST(WindowIcon, DrawsTheWindowsOwnIconElseItsClassIconElseWhite) {
    auto own = MakeWindow(L"own icon");
    auto red = SolidIcon(0xFF0000);
    SendMessageW(own.get(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(red.get()));
    auto withClassIcon = MakeWindow(L"class icon", kIconClass);
    auto bigOnly = MakeWindow(L"big icon only");
    auto green = SolidIcon(0x00FF00);
    SendMessageW(bigOnly.get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(green.get()));
    auto none = MakeWindow(L"no icon");

    // A window of this thread answers at once.
    auto picture = WindowBitmap::OfWindow(own.get());
    ASSERT_TRUE(picture->Get());
    BITMAP info{};
    ASSERT_TRUE(GetObjectW(picture->Get(), sizeof info, &info));
    EXPECT_EQ(info.bmWidth, 16);
    EXPECT_EQ(info.bmHeight, 16);
    EXPECT_EQ(info.bmBitsPixel, 32);
    EXPECT_EQ(Pixels(picture->Get())[8 * 16 + 8], 0xFFFF0000u);

    picture = WindowBitmap::OfWindow(withClassIcon.get());
    EXPECT_EQ(Pixels(picture->Get())[8 * 16 + 8], 0xFF0000FFu);

    // At 150 % or 200 % the menu's pictures are larger: any icon is drawn to the size asked for.
    const UniqueBitmap large = IconPicture(red.get(), 32);
    ASSERT_TRUE(GetObjectW(large.get(), sizeof info, &info));
    EXPECT_EQ(info.bmWidth, 32);
    EXPECT_EQ(info.bmHeight, 32);

    // No small icon of its own: its big one, drawn small.
    picture = WindowBitmap::OfWindow(bigOnly.get());
    EXPECT_EQ(Pixels(picture->Get())[8 * 16 + 8], 0xFF00FF00u);

    // Nothing of its own nor of its class: its program's, else the system's application icon,
    // never a blank square; opaque throughout (a menu draws a 32-bit bitmap with its alpha).
    picture = WindowBitmap::OfWindow(none.get());
    const auto pixels = Pixels(picture->Get());
    EXPECT_TRUE(std::any_of(pixels.begin(), pixels.end(), [](auto p) { return p != 0xFFFFFFFFu; }));
    EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](auto p) { return p >> 24 == 0xFF; }));
}

// The tray menu's entry of a window whose program answers late (its thread busy): the entry
// shows a picture at once, and the window's own icon (set at run time, its class has none) from
// the first opening after it answered, also when the entry has moved into a group meanwhile.
TEST(WindowIcon, AnEntryShowsTheOwnIconOnceTheWindowAnswersAlsoInAGroup) {
    auto red = SolidIcon(0xFF0000);
    FrozenWindow frozen(red.get());
    const UniqueMenu menu(CreatePopupMenu());
    std::vector<std::unique_ptr<core::HiddenWindow>> records;
    HiddenMenu entries(menu.get(), 100, 100);
    const auto add = [&](HWND window) {
        auto info = std::make_unique<core::HiddenWindow>();
        info->Picture = WindowBitmap::OfWindow(window);
        entries.Append(*info, "entry");
        records.push_back(std::move(info));
    };
    add(frozen.Hwnd());
    auto other = MakeWindow(L"other", kIconClass);
    for (int i = 0; i < HiddenMenu::kNewestInMenu; ++i) add(other.get());
    // The bitmap the menu draws for the frozen window's entry, now the first of the first group.
    const auto entryPixels = [&] {
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_BITMAP;
        const HMENU group = GetSubMenu(menu.get(), 0);
        if (!group || !GetMenuItemInfoW(group, 100, FALSE, &item) || !item.hbmpItem) {
            return std::vector<std::uint32_t>{};
        }
        return Pixels(item.hbmpItem);
    };
    const auto before = entryPixels();
    ASSERT_EQ(before.size(), 256u);
    EXPECT_NE(before[8 * 16 + 8], 0xFFFF0000u);
    frozen.Release();
    EXPECT_TRUE(PumpUntil([&] {
        entries.UpdatePictures();
        const auto now = entryPixels();
        return now.size() == 256u && now[8 * 16 + 8] == 0xFFFF0000u;
    }));
}

TEST(Win32Desktop, ReportsWindowsTheirOwnersStylesAndOrigin) {
    Win32Desktop desktop;
    auto main = MakeWindow(L"main");
    auto owned = MakeWindow(L"owned", kPlainClass, main.get());
    auto tool = MakeWindow(L"tool", kPlainClass, nullptr, WS_EX_TOOLWINDOW);
    const auto windows = desktop.TopLevelWindows();
    for (HWND w : {main.get(), owned.get(), tool.get()}) {
        EXPECT_NE(std::find(windows.begin(), windows.end(), ToId(w)), windows.end());
    }
    EXPECT_EQ(desktop.Owner(ToId(owned.get())), ToId(main.get()));
    EXPECT_EQ(desktop.Owner(ToId(main.get())), core::kNoWindow);
    EXPECT_TRUE(desktop.ExStyle(ToId(tool.get())) & core::kExToolWindow);
    EXPECT_FALSE(desktop.ExStyle(ToId(main.get())) & core::kExToolWindow);
    EXPECT_EQ(desktop.Caption(ToId(main.get())), "main");

    const auto origin = desktop.Origin(ToId(main.get()));
    EXPECT_EQ(origin.processId, GetCurrentProcessId());
    EXPECT_EQ(origin.threadId, GetCurrentThreadId());
    EXPECT_NE(origin.processStartTime, 0u);
    EXPECT_EQ(desktop.OwnProcessId(), GetCurrentProcessId());
    {
        FrozenWindow other;
        const auto otherOrigin = desktop.Origin(ToId(other.Hwnd()));
        EXPECT_EQ(otherOrigin.processId, origin.processId);
        EXPECT_EQ(otherOrigin.processStartTime, origin.processStartTime);
        EXPECT_NE(otherOrigin.threadId, origin.threadId);
    }

    const auto id = ToId(main.get());
    main.reset();
    EXPECT_FALSE(desktop.Exists(id));
    EXPECT_EQ(desktop.Origin(id), core::WindowOrigin{});
}

TEST(Win32Desktop, ShowCommandsChangeTheWindowsState) {
    Win32Desktop desktop;
    auto w = MakeWindow(L"states");
    const auto id = ToId(w.get());
    ASSERT_TRUE(desktop.Exists(id));
    EXPECT_TRUE(desktop.IsVisible(id));

    auto other = MakeWindow(L"elsewhere");
    const auto showsWithout = [&](core::ShowCommand command, auto state) {
        desktop.ShowAsync(id, core::ShowCommand::Hide);
        if (!PumpUntil([&] { return !desktop.IsVisible(id); })) return false;
        SetForegroundWindow(other.get());
        desktop.ShowAsync(id, command);
        return PumpUntil([&] { return desktop.IsVisible(id) && state(); }) &&
               GetForegroundWindow() == other.get();
    };
    // The activating commands make it the active window.
    desktop.ShowAsync(id, core::ShowCommand::ShowMaximized);
    EXPECT_TRUE(PumpUntil([&] { return desktop.IsVisible(id) && desktop.IsZoomed(id); }));
    EXPECT_EQ(GetForegroundWindow(), w.get());
    // A hide keeps the state in the placement: shown as it is, it is maximised still, and the
    // other window keeps the activation.
    EXPECT_TRUE(
        showsWithout(core::ShowCommand::ShowAsIsNoActivate, [&] { return desktop.IsZoomed(id); }));
    EXPECT_TRUE(showsWithout(core::ShowCommand::ShowNormalNoActivate,
                             [&] { return !desktop.IsZoomed(id) && !desktop.IsIconic(id); }));
    EXPECT_TRUE(showsWithout(core::ShowCommand::ShowMinimizedNoActivate,
                             [&] { return desktop.IsIconic(id); }));
    desktop.ShowAsync(id, core::ShowCommand::ShowNormal);
    EXPECT_TRUE(
        PumpUntil([&] { return !desktop.IsIconic(id) && GetForegroundWindow() == w.get(); }));

    // The animation copes with a minimised window and with one that is gone.
    desktop.ShowAsync(id, core::ShowCommand::ShowMinimizedNoActivate);
    EXPECT_TRUE(PumpUntil([&] { return desktop.IsIconic(id); }));
    desktop.AnimateTray(id, true);
    w.reset();
    desktop.AnimateTray(id, false);
}

// The traits the never-hidden list goes by, read from real windows: a worker window that holds
// a desktop icon view (as the shell's does once it moves the icons there), and the shell's own
// taskbar. Wine cloaks nothing; the query must still answer (no window counts as cloaked).
TEST(Win32Desktop, ReadsTheTraitsThatKeepTheDesktopAndTheTaskbar) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"WorkerW";
    RegisterClassExW(&wc);
    wc.lpszClassName = L"SHELLDLL_DefView";
    RegisterClassExW(&wc);
    auto worker = MakeWindow(L"", L"WorkerW");
    auto plainWorker = MakeWindow(L"", L"WorkerW");
    HWND view = CreateWindowExW(0, L"SHELLDLL_DefView", L"", WS_CHILD, 0, 0, 10, 10, worker.get(),
                                nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(view);

    Win32Desktop desktop;
    const core::WindowTraits icons = desktop.Traits(ToId(worker.get()));
    EXPECT_EQ(icons.windowClass, "WorkerW");
    EXPECT_TRUE(icons.desktopView);
    EXPECT_TRUE(icons.ours);
    EXPECT_FALSE(icons.cloaked);
    EXPECT_FALSE(desktop.Traits(ToId(plainWorker.get())).desktopView);
    EXPECT_TRUE(desktop.Traits(ToId(GetDesktopWindow())).desktopWindow);
    EXPECT_FALSE(IsCloaked(worker.get()));

    auto tool = MakeWindow(L"tool", kPlainClass, nullptr, WS_EX_TOOLWINDOW);
    auto appTool = MakeWindow(L"tool", kPlainClass, nullptr, WS_EX_TOOLWINDOW | WS_EX_APPWINDOW);
    EXPECT_EQ(desktop.Traits(ToId(tool.get())).exStyle & (core::kExToolWindow | core::kExAppWindow),
              core::kExToolWindow);
    EXPECT_EQ(desktop.Traits(ToId(appTool.get())).exStyle & core::kExAppWindow, core::kExAppWindow);

    // The taskbar of the running shell, where there is one: not ours, and spared by its class.
    if (HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr)) {
        const core::WindowTraits traits = desktop.Traits(ToId(taskbar));
        EXPECT_FALSE(traits.ours);
        EXPECT_EQ(core::WhySpared(traits), core::Spared::Taskbar);
    }
}

}  // namespace
}  // namespace quenvix::win
