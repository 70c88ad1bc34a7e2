#include "win/main_window.h"

#include <commctrl.h>

#include "core/dialog_text.h"
#include "core/error.h"
#include "core/hotkey_settings.h"
#include "core/product.h"
#include "core/rule_hiding.h"
#include "win/about_box.h"
#include "win/app.h"
#include "win/caption_watch.h"
#include "win/command_line_forwarding.h"
#include "win/command_pipe.h"
#include "win/command_pipe_server.h"
#include "win/confirm_dialog.h"
#include "win/cpu_gauge_view.h"
#include "win/crash_guard.h"
#include "win/desktop.h"
#include "win/hotkey_page.h"
#include "win/key_state.h"
#include "win/log.h"
#include "win/rules_tab.h"
#include "win/session_end.h"
#include "win/shell.h"
#include "win/status_bar.h"
#include "win/taskbar.h"
#include "win/tray_icon.h"
#include "win/update_dialog.h"

namespace quenvix::win {
namespace {

constexpr int kStatusBarId = 307;

// Client area of the window and its pieces, in 96-DPI pixels.
constexpr SIZE kClient{363, 160};

constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// The window carries its own taskbar button while it shows (WS_EX_APPWINDOW: "forces a top-level
// window onto the taskbar when the window is visible", learn.microsoft.com/windows/win32/winmsg/
// extended-window-styles), though it is owned by a hidden window ("The Taskbar",
// learn.microsoft.com/windows/win32/shell/taskbar). So Alt+Tab, which lists what the taskbar
// lists, shows this window itself and never the empty owner. Its minimise button sends it to the
// tray (OnMessage, WM_SYSCOMMAND): a taskbar without such buttons for owned windows (Wine's) would
// otherwise leave a minimised window nowhere to come back from.
constexpr DWORD kFormExStyle = WS_EX_TOPMOST | WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;

// Milliseconds since this process was created, for the log's note of how long the start took.
long long MsSinceProcessStart() {
    FILETIME created{}, exited{}, kernel{}, user{}, now{};
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
    GetSystemTimeAsFileTime(&now);
    const auto ticks = [](const FILETIME& t) {
        return static_cast<long long>((ULONGLONG{t.dwHighDateTime} << 32) | t.dwLowDateTime);
    };
    return (ticks(now) - ticks(created)) / 10'000;
}

}  // namespace

MainWindow::MainWindow(AppWindow& app, const Platform& platform) : app_(app), platform_(platform) {
    // Created hidden and never shown by the start itself: the program starts in the tray, and a
    // start at log-on must not take the foreground (or the keys) from what the user types in.
    // The window shows only when asked for (ShowFromTray), centred then.
    CreateBound(L"QuenvixMainForm", kFormStyle, kFormExStyle, Widen(core::kMainCaption),
                CW_USEDEFAULT, CW_USEDEFAULT, kClient.cx, kClient.cy, app_.Hwnd());
    if (!Hwnd()) throw core::Error("The main window could not be created");
    AdoptDpi();
    menus_ = std::make_unique<CommandMenus>(MainMenuTable());
    menus_->AttachMenuBar(Hwnd());
    SizeToClient(kClient, kFormStyle, kFormExStyle, true);
    detector_ = std::make_unique<core::HotkeyDetector>(platform_.keys, platform_.timers);
    settings_ = std::make_unique<core::SettingsStore>(platform_.registry, core::kSettingsKeyPath);
    hotkeyPage_ = std::make_unique<HotkeyPage>(*this, *detector_, *settings_, platform_.registry,
                                               SIZE{kClient.cx, kClient.cy - StatusBar::kHeight96});
    Start();
}

MainWindow::~MainWindow() {
    Guarded(nullptr, [&] { ShutDown(); });
}

std::size_t MainWindow::HiddenCount() const {
    return hider_ ? hider_->HiddenCount() : 0;
}

// ---- creation -------------------------------------------------------------------------------

void MainWindow::Start() {
    PrepareForSessionEnd();
    hotkeyPage_->SetDefaultKeys();

    gaugeImages_ = CreateCpuImageList();
    trayIcon_ = std::make_unique<TrayIcon>(platform_.desktop, platform_.foreground,
                                           platform_.shellNotifyIcon);
    trayIcon_->SetAnimated(true);
    trayIcon_->SetAnimateDelay(200);
    trayIcon_->SetHint("Click mouse to show the menu");
    trayIcon_->SetImageList(gaugeImages_);
    trayIcon_->SetIconIndex(0);
    trayIcon_->SetPopupMenu(menus_->TrayMenu());
    trayIcon_->OnDblClick = [this] { Run(core::Command::ShowSettings); };
    trayIcon_->OnMenuCommand = [this](UINT id) { RunTrayChoice(id); };
    trayIcon_->OnPopup = [this] { RefreshTrayMenu(); };

    crashGuard_ = std::make_unique<CrashGuard>([this] { ShowUnprotectedWarning(Hwnd()); });
    // One record per session: another copy of ours (another session of the same user) keeps
    // its own, and neither overwrites the other's.
    const std::string recoveryValue = RecoveryValueName();
    StartHiddenList(recoveryValue);

    // Each hotkey gives the command of its row in the hotkey table.
    detector_->StartDetect([this](std::uint16_t index) {
        if (const auto command = core::CommandOfHotkey(index)) Run(*command);
    });
    if (platform_.followKeyEvents) rawKeyboard_ = FollowKeyEvents(*detector_);

    // Options given to a second copy: kept by forwardedVerbs_ and run from a posted message.
    forwardedVerbs_ =
        std::make_unique<ForwardedVerbs>(Hwnd(), [this](core::Command command) { Run(command); });
    // Served by the message loop's wait; without it (the name taken, logged) the program runs on
    // and only the command line cannot reach it.
    commandPipe_ = std::make_unique<CommandPipeServer>(
        CommandPipeName(),
        [this](core::CommandVerb verb) { return forwardedVerbs_->Accept(verb); });

    // A damaged setting is reported and costs only its own step: the program still starts,
    // takes back what an earlier copy left hidden, and goes into the tray.
    hotkeyPage_->LoadSettings();
    Guarded(Hwnd(), [&] {
        guid_ = settings_->ReadString("Main", "GUID", "");
        if (guid_.empty()) {
            guid_ = NewGUIDString();
            settings_->WriteString("Main", "GUID", guid_);
        }
    });
    bool autoCheck = true;
    Guarded(Hwnd(),
            [&] { autoCheck = settings_->ReadBool("Preference", "Automatic update check", true); });
    CheckMenuItem(menus_->MenuBar(), kMenuAutomaticCheckId,
                  MF_BYCOMMAND | (autoCheck ? MF_CHECKED : MF_UNCHECKED));

    // Windows hidden by a copy that did not end cleanly come back under this copy's care. Two
    // steps: an old record that cannot be read costs neither this run's take-back nor a box.
    TakeOverLegacyRecovery(*settings_, recoveryValue);
    Guarded(Hwnd(), [&] { AdoptRecovered(); });
    // After the take-back: a window an earlier run left hidden is ours already, not a rule's.
    Guarded(Hwnd(), [&] { StartRules(); });

    // The icon's thread keeps its picture up to date, and owns the gauge: it is only needed while
    // the icon shows.
    StartGauge();
    WatchSession();
    KeepForegroundOffHiddenWindows();

    updateChecker_ =
        std::make_unique<UpdateChecker>(Hwnd(), *settings_, platform_.clock, platform_.http);
    startupTimer_ = platform_.timers.MakeTimer();
    startupTimer_->SetInterval(1000);
    startupTimer_->SetOnTick([this] { OnStartupTimer(); });
    startupTimer_->SetEnabled(true);

    // Ready: the icon shows now, not after the start-up step, and the program sits in the tray.
    trayIcon_->SetActive(true);
    inTray_ = true;
    Log("In the tray " + std::to_string(MsSinceProcessStart()) + " ms after the process began");
}

void MainWindow::StartGauge() {
    trayIcon_->SetPictureUpdate(
        [gauge = std::make_shared<CpuGaugeView>(gaugeImages_, platform_.cpuCounters)] {
            return gauge->Tick();
        },
        500);
}

void MainWindow::FollowTrayIconSize() {
    if (ending_ || !trayIcon_ || !gaugeImages_) return;
    // The gauge is drawn for the icon size of the taskbar's DPI; a picture of another size would
    // be scaled by the shell, blurred or blocky.
    const int size = TrayIconSize(TaskbarDpi());
    if (size == gaugeImages_->Width()) return;
    Log("The tray icon is drawn at " + std::to_string(size) + " pixels now");
    gaugeImages_ = CreateCpuImageList(size);
    trayIcon_->SetImageList(gaugeImages_);
    StartGauge();
}

void MainWindow::WatchSession() {
    sessionNotice_ =
        std::make_unique<SessionNotice>(Hwnd(), [this](bool seen) { OnSessionSeen(seen); });
}

void MainWindow::KeepForegroundOffHiddenWindows() {
    trayIcon_->IsHeldHidden = [this](HWND window) {
        return hider_ && hider_->IsHidden(ToId(window));
    };
}

void MainWindow::OnSessionSeen(bool seen) {
    if (trayIcon_) trayIcon_->SetPictureUpdatePaused(!seen);
}

void MainWindow::StartRules() {
    const core::RuleSystem system{platform_.desktop, platform_.ruleWindows, platform_.windowEvents,
                                  platform_.timers, platform_.clock};
    ruleHiding_ = std::make_unique<core::RuleHiding>(*settings_, *hider_, system, CurrentSession(),
                                                     [](const std::string& line) { Log(line); });
    ruleHiding_->Start();
}

void MainWindow::CreateSettingsControls() {
    if (hotkeyPage_->HasControls()) return;
    // The common controls are loaded here, not at start: the library and its classes are most of
    // what an idle program would otherwise hold in memory.
    INITCOMMONCONTROLSEX classes{sizeof(classes),
                                 ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&classes);
    hotkeyPage_->CreateControls();
    statusBar_ = std::make_unique<StatusBar>(*this, kStatusBarId);
    if (!notice_.empty()) statusBar_->ShowNotice(notice_);
    if (ruleHiding_) rulesTab_ = std::make_unique<RulesTab>(Hwnd(), *hotkeyPage_, *ruleHiding_);
}

// ---- showing and hiding the settings window -------------------------------------------------

void MainWindow::ShowOrHide(bool show) {
    AnimateTray(Hwnd(), show);
    // Only this window: its owner stays hidden for good (see kFormExStyle).
    ShowWindowAsync(Hwnd(), show ? SW_SHOW : SW_HIDE);
}

void MainWindow::HideToTray() {
    // A question answered after Exit began (a re-entrant close, say) must not revive the icon.
    if (ending_) return;
    trayIcon_->SetActive(true);
    ShowOrHide(false);
    inTray_ = true;
}

void MainWindow::ShowFromTray() {
    CreateSettingsControls();
    ShowOrHide(true);
    // Minimised with its own button, the window would come back as a taskbar button only.
    if (IsIconic(Hwnd())) ShowWindow(Hwnd(), SW_RESTORE);
    inTray_ = false;
    RECT r{};
    GetWindowRect(Hwnd(), &r);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    SetWindowPos(Hwnd(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::OnShowSettings() {
    ShowFromTray();
    SetForegroundWindow(Hwnd());
    SetFocus(Hwnd());
}

bool MainWindow::Confirm(core::DialogKind kind, const char* ident, const char* text) {
    // One question at a time: the tray menu still opens while one is asked (its loop runs ours),
    // and Exit chosen there again must not stack a second question on the first.
    if (questionOpen_) return false;
    questionOpen_ = true;
    struct Answered {
        bool& open;
        ~Answered() { open = false; }
    } answered{questionOpen_};
    core::DialogText dialog;
    dialog.Kind = kind;
    dialog.Ident = ident;
    dialog.Text = text;
    return ConfirmUnlessSilenced(*settings_, dialog, Hwnd());
}

void MainWindow::OnHide() {
    Confirm(core::DialogKind::Notice, "Hiding window",
            "Quenvix will be hidden in tray icon on the right bottom.\n"
            "Click on the tray icon to show menu.");
    HideToTray();
}

// ---- timers ---------------------------------------------------------------------------------

void MainWindow::OnStartupTimer() {
    startupTimer_->SetEnabled(false);
    const bool autoCheck =
        GetMenuState(menus_->MenuBar(), kMenuAutomaticCheckId, MF_BYCOMMAND) & MF_CHECKED;
    // A second after the start, when the log-on rush is over: the automatic check (and its
    // question, if it asks one). The window stays as the user left it meanwhile.
    if (autoCheck) updateChecker_->Start(false);
}

}  // namespace quenvix::win
