#include "win/application.h"

#include <utility>

#include "core/dialog_text.h"
#include "core/hotkey_settings.h"
#include "core/product.h"
#include "core/rule_hiding.h"
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
#include "win/key_settings.h"
#include "win/key_state.h"
#include "win/log.h"
#include "win/rules_page.h"
#include "win/session_end.h"
#include "win/settings_window.h"
#include "win/shell.h"
#include "win/taskbar.h"
#include "win/tray_icon.h"
#include "win/update_dialog.h"

namespace quenvix::win {
namespace {

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

Application::Application(const Platform& platform)
    : platform_(platform), owner_(std::make_unique<AppWindow>()) {}

Application::~Application() {
    // A start that failed half-way still gives back every window it holds hidden; only what it
    // had not finished (the stored hotkeys, say, before they were read) is not written back.
    if (started_) {
        Guarded(nullptr, [&] { ShutDown(); });
    } else if (hider_) {
        Guarded(nullptr, [&] { hider_->RestoreAllOnExit(); });
    }
    // The window goes before what its pages and menus refer to.
    settingsWindow_.reset();
}

HWND Application::Form() const {
    return settingsWindow_ ? settingsWindow_->Hwnd() : nullptr;
}

std::size_t Application::HiddenCount() const {
    return hider_ ? hider_->HiddenCount() : 0;
}

// ---- creation -------------------------------------------------------------------------------

void Application::Start() {
    forgedPostFilter_.emplace();
    menus_ = std::make_unique<CommandMenus>(MainMenuTable());
    settingsWindow_ = std::make_unique<SettingsWindow>(owner_->Hwnd(), *this, *menus_);
    const HWND form = settingsWindow_->Hwnd();
    detector_ = std::make_unique<core::HotkeyDetector>(platform_.keys, platform_.timers);
    settings_ = std::make_unique<core::SettingsStore>(platform_.registry, core::kSettingsKeyPath);
    // The system's hotkey reaches the settings window, which hands it on (OnProgramMessage).
    keys_ = std::make_unique<KeySettings>(form, *detector_, *settings_, platform_.registry);

    PrepareForSessionEnd();
    keys_->SetDefaultKeys();
    StartTrayIcon();

    crashGuard_ = std::make_unique<CrashGuard>([form] { ShowUnprotectedWarning(form); });
    // One record per session: another copy of ours (another session of the same user) keeps
    // its own, and neither overwrites the other's.
    StartHiddenList(RecoveryValueName());
    // Windows hidden by a copy that did not end cleanly come back under this copy's care before
    // anything can hide a window: a hotkey, a forwarded option or a rule acting while a start-up
    // box is up would otherwise write this run's record over one not yet read.
    Guarded(form, [&] { AdoptRecovered(); });

    // Each hotkey gives the command of its row in the hotkey table.
    detector_->StartDetect([this](std::uint16_t index) {
        if (const auto command = core::CommandOfHotkey(index)) Run(*command);
    });
    if (platform_.followKeyEvents) rawKeyboard_ = FollowKeyEvents(*detector_);

    // Options given to a second copy: kept by forwardedVerbs_ and run from a posted message.
    forwardedVerbs_ =
        std::make_unique<ForwardedVerbs>(form, [this](core::Command command) { Run(command); });
    // Served by the message loop's wait; without it (the name taken, logged) the program runs on
    // and only the command line cannot reach it.
    commandPipe_ = std::make_unique<CommandPipeServer>(
        CommandPipeName(),
        [this](core::CommandVerb verb) { return forwardedVerbs_->Accept(verb); });

    // A damaged setting is reported and costs only its own step: the program still starts and
    // goes into the tray.
    keys_->Load();
    Guarded(form, [&] {
        guid_ = settings_->ReadString("Main", "GUID", "");
        if (guid_.empty()) {
            guid_ = NewGUIDString();
            settings_->WriteString("Main", "GUID", guid_);
        }
    });
    bool autoCheck = true;
    Guarded(form,
            [&] { autoCheck = settings_->ReadBool("Preference", "Automatic update check", true); });
    CheckMenuItem(menus_->MenuBar(), kMenuAutomaticCheckId,
                  MF_BYCOMMAND | (autoCheck ? MF_CHECKED : MF_UNCHECKED));

    // After the take-back: a window an earlier run left hidden is ours already, not a rule's.
    Guarded(form, [&] { StartRules(); });
    OfferPages();

    // The icon's thread keeps its picture up to date, and owns the gauge: it is only needed while
    // the icon shows.
    StartGauge();
    WatchSession();
    KeepForegroundOffHiddenWindows();

    updateChecker_ =
        std::make_unique<UpdateChecker>(form, *settings_, platform_.clock, platform_.http);
    startupTimer_ = platform_.timers.MakeTimer();
    startupTimer_->SetInterval(1000);
    startupTimer_->SetOnTick([this] { OnStartupTimer(); });
    startupTimer_->SetEnabled(true);

    // Ready: the icon shows now, not after the start-up step, and the program sits in the tray.
    trayIcon_->SetActive(true);
    inTray_ = true;
    TellWhereTheIconIs();
    owner_->SetMainWindowHandle(form);
    owner_->SetOnOtherCopy([this] {
        // Started again, most likely because the icon is out of sight (a new icon goes among the
        // hidden ones): the settings window shows, exactly as --show asks for it.
        if (forwardedVerbs_ && !ending_) forwardedVerbs_->Accept(core::CommandVerb::Show);
    });
    started_ = true;
    Log("In the tray " + std::to_string(MsSinceProcessStart()) + " ms after the process began");
}

void Application::StartTrayIcon() {
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
    trayIcon_->UpdateMenu = [this] { RefreshTrayMenu(); };
}

void Application::TellWhereTheIconIs() {
    // Once for good, at the first start: the program starts into the tray, and a new icon goes
    // among the hidden ones (Windows 11), so nothing else would say where it is.
    Guarded(Form(), [&] {
        if (settings_->ReadBool("Main", kToldWhereTheIconIs, false)) return;
        trayIcon_->ShowBalloon(std::string(core::kProductName),
                               "Quenvix runs in the notification area. If its icon is not in "
                               "view, open the hidden icons (the arrow beside the clock) and "
                               "drag it onto the taskbar to keep it there.",
                               false);
        settings_->WriteBool("Main", kToldWhereTheIconIs, true);
    });
}

void Application::StartGauge() {
    trayIcon_->SetPictureUpdate(
        [gauge = std::make_shared<CpuGaugeView>(gaugeImages_, platform_.cpuCounters)] {
            return gauge->Tick();
        },
        500);
}

void Application::FollowTrayIconSize() {
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

void Application::WatchSession() {
    sessionNotice_ =
        std::make_unique<SessionNotice>(Form(), [this](bool seen) { OnSessionSeen(seen); });
}

void Application::KeepForegroundOffHiddenWindows() {
    trayIcon_->IsHeldHidden = [this](HWND window) {
        return hider_ && hider_->IsHidden(ToId(window));
    };
    trayIcon_->IsBringingForward = [this] { return forwardWindow_ != core::kNoWindow; };
    forwardTimer_ = platform_.timers.MakeTimer();
    forwardTimer_->SetInterval(kForwardStepMs);
    forwardTimer_->SetOnTick([this] { FollowForward(); });
}

void Application::BringForward(core::WindowId window) {
    if (keeper_.BringForward(window)) return;
    // Its program has not shown it yet (our commands reach it in its own time), and a window that
    // does not show cannot take the keyboard. We still hold the foreground the key or the click
    // gave us: it is handed over once the window shows, for a little while.
    forwardWindow_ = window;
    forwardSteps_ = 0;
    if (forwardTimer_) forwardTimer_->SetEnabled(true);
}

void Application::FollowForward() {
    const core::WindowId window = forwardWindow_;
    const bool done = !platform_.desktop.Exists(window) ||
                      (platform_.desktop.IsVisible(window) && keeper_.BringForward(window)) ||
                      ++forwardSteps_ >= kForwardSteps;
    if (!done) return;
    forwardWindow_ = core::kNoWindow;
    forwardTimer_->SetEnabled(false);
}

void Application::OnSessionSeen(bool seen) {
    if (trayIcon_) trayIcon_->SetPictureUpdatePaused(!seen);
}

void Application::StartRules() {
    const core::RuleSystem system{platform_.desktop, platform_.windowEvents, platform_.timers,
                                  platform_.clock};
    ruleHiding_ = std::make_unique<core::RuleHiding>(*settings_, *hider_, system, CurrentSession(),
                                                     [](const std::string& line) { Log(line); });
    core::RuleHiding& rules = *ruleHiding_;
    ruleStorage_ = RuleStorageOver(
        rules.Names(), rules.Reader(), rules.Writer(),
        [&rules](std::string_view name, std::string_view why) { rules.ReportProblem(name, why); });
    ruleHiding_->Start();
}

void Application::OfferPages() {
    settingsWindow_->OfferPage(L"Controls", [this](FormWindow& form, const RECT& area) {
        return std::make_unique<HotkeyPage>(form, area, *keys_, *this);
    });
    // Without the rules at work (their start failed, and said so) there is nothing to edit.
    if (!ruleStorage_) return;
    settingsWindow_->OfferPage(L"Rules", [this](FormWindow& form, const RECT& area) {
        core::RuleHiding& rules = *ruleHiding_;
        return std::make_unique<RulesPage>(
            form.Hwnd(), area, *ruleStorage_,
            [&rules](const std::vector<core::Rule>& changed) { rules.SetRules(changed); });
    });
}

// ---- showing and hiding the settings window -------------------------------------------------

void Application::HideToTray() {
    // A question answered after Exit began (a re-entrant close, say) must not revive the icon.
    if (ending_) return;
    trayIcon_->SetActive(true);
    settingsWindow_->Hide();
    inTray_ = true;
}

void Application::ShowFromTray() {
    settingsWindow_->ShowCentred();
    inTray_ = false;
}

void Application::OnShowSettings() {
    // A box of ours is open (it disables the window it belongs to): the window would come up
    // behind it, or over it. It comes forward once the box has closed (WM_ENABLE).
    if (!IsWindowEnabled(Form())) {
        showWhenEnabled_ = true;
        return;
    }
    ShowFromTray();
    // Activated, the window gives the keyboard to one of its controls.
    SetForegroundWindow(Form());
}

bool Application::Confirm(core::DialogKind kind, const char* ident, const char* text) {
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
    return ConfirmUnlessSilenced(*settings_, dialog, Form());
}

void Application::OnHide() {
    Confirm(core::DialogKind::Notice, "Hiding window",
            "Quenvix will be hidden in tray icon on the right bottom.\n"
            "Click on the tray icon to show menu.");
    HideToTray();
}

// ---- timers ---------------------------------------------------------------------------------

void Application::OnStartupTimer() {
    startupTimer_->SetEnabled(false);
    const bool autoCheck =
        GetMenuState(menus_->MenuBar(), kMenuAutomaticCheckId, MF_BYCOMMAND) & MF_CHECKED;
    // A second after the start, when the log-on rush is over: the automatic check (and its
    // question, if it asks one). The window stays as the user left it meanwhile.
    if (autoCheck) updateChecker_->Start(false);
    if (std::exchange(trayAfterStartupStep_, false)) HideToTray();
}

}  // namespace quenvix::win
