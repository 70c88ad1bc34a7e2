#include "win/main_window.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <array>

#include "core/dialog_text.h"
#include "core/hotkey_settings.h"
#include "core/key_chord.h"
#include "core/product.h"
#include "core/shell_text.h"
#include "win/about_box.h"
#include "win/app.h"
#include "win/command_line_forwarding.h"
#include "win/confirm_dialog.h"
#include "win/cpu_gauge_view.h"
#include "win/crash_guard.h"
#include "win/desktop.h"
#include "win/hiding.h"
#include "win/key_record_dialog.h"
#include "win/key_state.h"
#include "win/log.h"
#include "win/tray_icon.h"
#include "win/registry.h"
#include "win/shell.h"
#include "win/timer.h"
#include "win/update_dialog.h"

namespace quenvix::win {
namespace {

// Menu and control identifiers. Hidden-window entries of the tray menu take ids from
// kFirstEntryId upward.
enum : int {
    kMenuExitId = 100,
    kMenuHideId,
    kMenuHelpContentsId,
    kMenuAutomaticCheckId,
    kMenuCheckUpdateId,
    kMenuMailSupportId,
    kMenuWebsiteId,
    kMenuAboutId,
    kTrayShowSettingsId = 200,
    kTrayCheckUpdateId,
    kTrayWebsiteId,
    kTrayTaskManagerId,
    kTrayExitId,
    kTrayCloseMenuId,
    kTrayRestoreAllId,
    kTrayPanicId,
    kTabsId = 300,
    kHotkeyGroupId,
    kHotkeyComboId,
    kKeyEditId,
    kChangeButtonId,
    kDefaultButtonId,
    kRunOnStartupId,
    kStatusBarId,
    kMenuLogFolderId = 400,
};
constexpr UINT kFirstEntryId = 1000;
constexpr UINT kLastEntryId = 9999;

// Client area of the window and its pieces, in 96-DPI pixels.
constexpr SIZE kClient{363, 160};
constexpr int kStatusHeight = 19;

constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kFormExStyle = WS_EX_TOPMOST | WS_EX_CONTROLPARENT;

struct MenuEntry {
    int id;  // 0: separator
    const wchar_t* caption;
};

void AppendItems(HMENU menu, const MenuEntry* items, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (items[i].id == 0) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        } else {
            AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(items[i].id), items[i].caption);
        }
    }
}

// The "Controls" page is a child dialog over the page control's display area, so that Tab moves
// between its controls and, with visual styles, its controls sit on the tab's own background.
INT_PTR CALLBACK PageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
            SendMessageW(GetParent(page), msg, wParam, lParam);
            return TRUE;
        case WM_NOTIFY:
            // Only our own controls' notices go on; the header pointer of anyone else's is not
            // ours to read.
            if (SentByThisThread()) SendMessageW(GetParent(page), msg, wParam, lParam);
            return TRUE;
        default:
            return FALSE;
    }
}

HWND CreatePage(HWND parent) {
    struct alignas(4) EmptyTemplate {
        DLGTEMPLATE header;
        WORD menu, windowClass, title;
    } tmpl{{WS_CHILD | WS_VISIBLE | DS_CONTROL, WS_EX_CONTROLPARENT, 0, 0, 0, 0, 0}, 0, 0, 0};
    HWND page = CreateDialogIndirectParamW(AppInstance(), &tmpl.header, parent, PageProc, 0);
    if (page) EnableThemeDialogTexture(page, ETDT_ENABLETAB);
    return page;
}

}  // namespace

MainWindow::MainWindow(AppWindow& app) : app_(app) {
    registry_ = std::make_unique<Win32Registry>();
    timers_ = std::make_unique<Win32Timers>();
    keyState_ = std::make_unique<Win32KeyState>();
    desktop_ = std::make_unique<Win32Desktop>();

    CreateBound(L"QuenvixMainForm", kFormStyle, kFormExStyle, Widen(core::kMainCaption), 5000, 148,
                kClient.cx, kClient.cy, app_.Hwnd());
    if (!Hwnd()) throw core::Error("The main window could not be created");
    AdoptDpi();
    CreateMenus();
    SizeToClient(kClient, kFormStyle, kFormExStyle, true);
    CreateControls();
    Start();
    // Created visible, but off the screen until the first update-timer run puts it into the tray.
    ShowWindow(app_.Hwnd(), SW_SHOW);
    ShowWindow(Hwnd(), SW_SHOWNORMAL);
}

MainWindow::~MainWindow() {
    Guarded(nullptr, [&] { ShutDown(); });
}

// ---- creation -------------------------------------------------------------------------------

void MainWindow::CreateMenus() {
    menuBar_ = CreateMenu();
    HMENU fileMenu = CreatePopupMenu();
    const MenuEntry fileItems[] = {{kMenuExitId, L"Exit"}};
    AppendItems(fileMenu, fileItems, std::size(fileItems));
    HMENU helpMenu = CreatePopupMenu();
    const std::wstring website = L"Website: " + Widen(core::kWebsite);
    const MenuEntry helpItems[] = {
        {kMenuHelpContentsId, L"Help contents"},
        {kMenuAutomaticCheckId, L"Automatic update check"},
        {kMenuCheckUpdateId, L"Check update"},
        {kMenuMailSupportId, L"E-mail support"},
        {kMenuWebsiteId, website.c_str()},
        {kMenuLogFolderId, L"Open log folder"},
        {0, nullptr},
        {kMenuAboutId, L"About"},
    };
    AppendItems(helpMenu, helpItems, std::size(helpItems));
    AppendMenuW(menuBar_, MF_POPUP, reinterpret_cast<UINT_PTR>(fileMenu), L"&Files");
    AppendMenuW(menuBar_, MF_STRING, kMenuHideId, L"Hide");
    AppendMenuW(menuBar_, MF_POPUP, reinterpret_cast<UINT_PTR>(helpMenu), L"&Help");
    SetMenu(Hwnd(), menuBar_);

    // "Windows Task Manager" is an invisible item: it is not put into the menu at all.
    trayMenu_.reset(CreatePopupMenu());
    const MenuEntry trayItems[] = {
        {kTrayShowSettingsId, L"Show settings"},
        {kTrayCheckUpdateId, L"Check update"},
        {kTrayWebsiteId, L"Website"},
        {kTrayExitId, L"Exit"},
        {0, nullptr},
        {kTrayCloseMenuId, L"Close this menu"},
        {kTrayRestoreAllId, L"Restore all"},
        {kTrayPanicId, L"Panic!"},
        {0, nullptr},  // the hidden windows follow
    };
    AppendItems(trayMenu_.get(), trayItems, std::size(trayItems));
}

void MainWindow::CreateControls() {
    const FontSpec formFont{};  // MS Sans Serif, 8 point
    const int pageHeight = kClient.cy - kStatusHeight;
    tabs_ = AddControl(WC_TABCONTROLW, L"", WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, kClient.cx,
                        pageHeight, kTabsId, formFont);
    TCITEMW tab{};
    tab.mask = TCIF_TEXT;
    wchar_t controls[] = L"Controls";
    tab.pszText = controls;
    TabCtrl_InsertItem(tabs_, 0, &tab);

    controlsPage_ = CreatePage(Hwnd());
    if (!controlsPage_) throw core::Error("The settings page could not be created");
    LayoutPage();
    hotkeyGroup_ = AddControl(L"BUTTON", L"Short-cut keys: ", WS_VISIBLE | BS_GROUPBOX, 4, 0, 177, 81,
                           kHotkeyGroupId, formFont, 0, controlsPage_);
    hotkeyCombo_ = AddControl(WC_COMBOBOXW, L"", WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL,
                        4 + 8, 16, 161, 120, kHotkeyComboId, formFont, 0, controlsPage_);
    keyEdit_ = AddControl(WC_EDITW, L"", WS_VISIBLE | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL, 4 + 8,
                      48, 89, 21, kKeyEditId, formFont, WS_EX_CLIENTEDGE, controlsPage_);
    changeButton_ = AddControl(L"BUTTON", L"Change", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 4 + 104,
                           48, 65, 22, kChangeButtonId, formFont, 0, controlsPage_);
    runOnStartupCheck_ = AddControl(L"BUTTON", L"Run on startup", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
                           192, 8, 129, 17, kRunOnStartupId, formFont, 0, controlsPage_);
    defaultButton_ = AddControl(L"BUTTON", L"Default", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 280,
                              78, 65, 22, kDefaultButtonId, formFont, 0, controlsPage_);
    // The group box frames the controls inside it and must lie behind them.
    SetWindowPos(hotkeyGroup_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    statusBar_ = CreateWindowExW(
        0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, Hwnd(),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBarId)), AppInstance(), nullptr);
    SendMessageW(statusBar_, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(formFont)), FALSE);
    int parts[] = {S(50)};
    SendMessageW(statusBar_, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));
    SendMessageW(statusBar_, SB_SETMINHEIGHT, static_cast<WPARAM>(S(kStatusHeight)), 0);
    SendMessageW(statusBar_, WM_SIZE, 0, 0);

    // The "Change" button shows its hint as a tooltip.
    hintTip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Hwnd(),
                               nullptr, AppInstance(), nullptr);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = Hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(changeButton_);
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(hintTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void MainWindow::LayoutPage() {
    RECT area{};
    GetClientRect(tabs_, &area);
    TabCtrl_AdjustRect(tabs_, FALSE, &area);
    MapWindowPoints(tabs_, Hwnd(), reinterpret_cast<POINT*>(&area), 2);
    SetWindowPos(controlsPage_, HWND_TOP, area.left, area.top, area.right - area.left,
                 area.bottom - area.top, SWP_NOACTIVATE);
}

void MainWindow::Start() {
    // Left edge 5000 was given at creation; the hidden list lives in the hiding component below.
    detector_ = std::make_unique<core::HotkeyDetector>(*keyState_, *timers_);
    SetDefaultKeys();
    settings_ = std::make_unique<core::SettingsStore>(*registry_, core::kSettingsKeyPath);

    gaugeImages_ = CreateCpuImageList();
    cpuGauge_ = std::make_unique<CpuGaugeView>(gaugeImages_);
    trayIcon_ = std::make_unique<TrayIcon>(Hwnd());
    trayIcon_->SetAnimated(true);
    trayIcon_->SetAnimateDelay(200);
    trayIcon_->SetHint("Click mouse to show the menu");
    trayIcon_->SetImageList(gaugeImages_);
    trayIcon_->SetIconIndex(0);
    trayIcon_->SetPopupMenu(trayMenu_.get());
    trayIcon_->OnDblClick = [this] { OnShowSettings(); };
    trayIcon_->OnMenuCommand = [this](UINT id) { OnCommand(static_cast<int>(id), 0); };

    crashGuard_ = std::make_unique<CrashGuard>([this] { ShowUnprotectedWarning(Hwnd()); });
    // One record per session: another copy of ours (another session of the same user) keeps
    // its own, and neither overwrites the other's.
    const std::string recoveryValue = RecoveryValueName();
    hiding_ = std::make_unique<Hiding>(*desktop_, *settings_, trayMenu_.get(), Hwnd(),
                                       app_.Hwnd(), kFirstEntryId, kLastEntryId - kFirstEntryId + 1,
                                       crashGuard_.get(), recoveryValue);
    trayIcon_->OnPopup = [this] { hiding_->RefreshTrayMenu(kTrayRestoreAllId); };

    detector_->StartDetect([this](std::uint16_t index) { OnHotkey(index); });
    rawKeyboard_ = FollowKeyEvents(*detector_);

    // A damaged setting is reported and costs only its own step: the program still starts,
    // takes back what an earlier copy left hidden, and goes into the tray.
    LoadSettings();
    Guarded(Hwnd(), [&] {
        guid_ = settings_->ReadString("Main", "GUID", "");
        if (guid_.empty()) {
            guid_ = NewGUIDString();
            settings_->WriteString("Main", "GUID", guid_);
        }
    });
    bool autoCheck = true;
    Guarded(Hwnd(), [&] {
        autoCheck = settings_->ReadBool("Preference", "Automatic update check", true);
    });
    CheckMenuItem(menuBar_, kMenuAutomaticCheckId,
                  MF_BYCOMMAND | (autoCheck ? MF_CHECKED : MF_UNCHECKED));

    // Windows hidden by a copy that did not end cleanly come back under this copy's care.
    Guarded(Hwnd(), [&] {
        TakeOverLegacyRecovery(*settings_, recoveryValue);
        hiding_->AdoptRecovered();
        Log("Windows taken back from an earlier run: " + std::to_string(hiding_->HiddenCount()));
    });

    gaugeTimer_ = timers_->MakeTimer();
    gaugeTimer_->SetInterval(500);
    gaugeTimer_->SetOnTick([this] { OnGaugeTimer(); });
    gaugeTimer_->SetEnabled(true);

    updateChecker_ = std::make_unique<UpdateChecker>(Hwnd(), *settings_);
    startupTimer_ = timers_->MakeTimer();
    startupTimer_->SetInterval(1000);
    startupTimer_->SetOnTick([this] { OnStartupTimer(); });
    startupTimer_->SetEnabled(true);
}

void MainWindow::ShutDown() {
    if (destroyed_) return;
    destroyed_ = true;
    ending_ = true;
    if (gaugeTimer_) gaugeTimer_->SetEnabled(false);
    if (startupTimer_) startupTimer_->SetEnabled(false);
    // A pending update request is abandoned: its late answer must not reach this window.
    updateChecker_.reset();
    RestoreAndSaveBeforeEnding();
    // The tray icon goes last: removing it waits on the shell, and nothing hidden may depend on
    // that wait.
    if (trayIcon_) trayIcon_->SetActive(false);
    rawKeyboard_.reset();
    detector_.reset();
    hiding_.reset();
    trayIcon_.reset();
    settings_.reset();
}

void MainWindow::RestoreAndSaveBeforeEnding() {
    // Every window still hidden comes back, the earliest first, before anything that can fail
    // or wait: the user's windows matter more than the hotkeys or the icon.
    if (hiding_) Guarded(nullptr, [&] { hiding_->RestoreAllOnExit(); });
    if (detector_ && settings_) Guarded(nullptr, [&] { SaveHotkeys(); });
}

// ---- showing and hiding the settings window -------------------------------------------------

void MainWindow::ShowOrHide(bool show) {
    AnimateTray(Hwnd(), show);
    HWND owner = GetWindow(Hwnd(), GW_OWNER);
    const int cmd = show ? SW_SHOW : SW_HIDE;
    ShowWindow(owner, cmd);
    ShowWindowAsync(owner, cmd);
    ShowWindowAsync(Hwnd(), cmd);
}

void MainWindow::HideToTray() {
    // A question answered after Exit began (a re-entrant close, say) must not revive the icon.
    if (ending_) return;
    trayIcon_->SetActive(true);
    ShowOrHide(false);
    inTray_ = true;
}

void MainWindow::ShowFromTray() {
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
    core::DialogText dialog;
    dialog.Kind = kind;
    dialog.Ident = ident;
    dialog.Text = text;
    return ConfirmUnlessSilenced(*settings_, dialog, Hwnd());
}

void MainWindow::OnCloseRequest() {
    if (inTray_) {
        CloseProgram();
        return;
    }
    if (Confirm(core::dkConfirmation, "Closing is hiding",
                "Quenvix will be hidden in tray icon on the right bottom.\n"
                "Click on the tray icon to show menu.\n"
                "\n"
                "To exit from Quenvix use menu Files\\Exit")) {
        HideToTray();
    }
}

void MainWindow::OnExit() {
    if (!Confirm(core::dkConfirmation, "AskToClose", "Close Quenvix?")) return;
    HideToTray();
    OnCloseRequest();
}

void MainWindow::CloseProgram() {
    if (ending_) return;
    ending_ = true;
    if (startupTimer_) startupTimer_->SetEnabled(false);
    RestoreAndSaveBeforeEnding();
    trayIcon_->SetActive(false);
    ShowOnClose();
    // The message loop ends; the entry point then destroys this window, which restores what is
    // hidden.
    PostQuitMessage(0);
}

void MainWindow::ShowOnClose() {
    ShowFromTray();
    SetFocus(Hwnd());
    SendMessageW(statusBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(statusHint_.c_str()));
}

void MainWindow::OnHide() {
    Confirm(core::dkInformation, "Hiding window",
            "Quenvix will be hidden in tray icon on the right bottom.\n"
            "Click on the tray icon to show menu.");
    HideToTray();
}

void MainWindow::OnStatusBarClick() {
    if (statusHint_.empty()) return;
    const DWORD attributes = GetFileAttributesW(statusHint_.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ShellOpen(Narrow(statusHint_));
    }
}

// ---- timers ---------------------------------------------------------------------------------

void MainWindow::OnStartupTimer() {
    startupTimer_->SetEnabled(false);
    const bool autoCheck =
        GetMenuState(menuBar_, kMenuAutomaticCheckId, MF_BYCOMMAND) & MF_CHECKED;
    // The tray comes after the question of the automatic check, as soon as its request is on its
    // way; a failing check must not keep the window out of the tray.
    try {
        if (autoCheck) CheckUpdate(false);
    } catch (...) {
        HideToTray();
        throw;
    }
    HideToTray();
}

void MainWindow::OnGaugeTimer() {
    gaugeTimer_->SetEnabled(false);
    // Re-armed on every way out, an error included, unless the gauge says it is over for good
    // (no processor counters on this system, or the program is closing).
    bool again = true;
    struct Rearm {
        core::Timer& timer;
        const bool& again;
        ~Rearm() {
            if (again) timer.SetEnabled(true);
        }
    } rearm{*gaugeTimer_, again};
    again = cpuGauge_->Tick();
}

void MainWindow::CheckUpdate(bool manual) {
    // A click while a check is running does nothing.
    updateChecker_->Start(manual);
}

void MainWindow::OnToggleAutomaticCheck() {
    const bool ticked =
        !(GetMenuState(menuBar_, kMenuAutomaticCheckId, MF_BYCOMMAND) & MF_CHECKED);
    CheckMenuItem(menuBar_, kMenuAutomaticCheckId,
                  MF_BYCOMMAND | (ticked ? MF_CHECKED : MF_UNCHECKED));
    settings_->WriteBool("Preference", "Automatic update check", ticked);
    startupTimer_->SetEnabled(true);
}

// ---- hotkeys --------------------------------------------------------------------------------

void MainWindow::OnHotkey(std::uint16_t index) {
    // Nothing is hidden any more once the windows have been given back for the exit.
    if (!hiding_ || ending_) return;
    const auto action = core::ActionOfHotkey(index);
    if (!action) return;
    switch (*action) {
        case core::HotkeyAction::HideActiveProgram:
            hiding_->HideActiveWindow();
            break;
        case core::HotkeyAction::HideAllPrograms:
            hiding_->HideAllWindows();
            break;
        case core::HotkeyAction::RestoreLastHidden:
            hiding_->RestoreLastHidden();
            break;
        case core::HotkeyAction::ShowHiddenList:
            // When the system knows the key too, its WM_HOTKEY opens the list instead: only that
            // press carries the right to take the foreground, which a menu driven by the keyboard
            // needs.
            if (!showListRegistered_) ShowHiddenList();
            break;
    }
}

void MainWindow::ShowHiddenList() {
    if (ending_ || !trayIcon_) return;
    trayIcon_->ShowPopupMenu(true);
}

void MainWindow::RegisterShowListKey() {
    if (showListRegistered_) UnregisterHotKey(Hwnd(), kShowListHotkeyId);
    showListRegistered_ = false;
    const auto index = core::HotkeyIndexOf(core::HotkeyAction::ShowHiddenList);
    if (!detector_ || !index || *index >= detector_->Hotkeys().Count()) return;
    const std::string& text = detector_->Hotkeys().Item(*index).Key;
    // An earlier hotkey with the same text wins that press; the list must not open as well.
    for (std::size_t i = 0; i < *index; ++i) {
        if (detector_->Hotkeys().Item(i).Key == text) return;
    }
    const auto chord = core::ChordOfKeyText(text);
    if (!chord) return;  // modifiers only, or off: the detector alone serves it
    const UINT modifiers = MOD_NOREPEAT | (chord->ctrl ? MOD_CONTROL : 0) |
                           (chord->alt ? MOD_ALT : 0) | (chord->shift ? MOD_SHIFT : 0);
    showListRegistered_ = RegisterHotKey(Hwnd(), kShowListHotkeyId, modifiers, chord->key) != FALSE;
    // Taken by another program: the detector still opens the list, without the foreground right.
    if (!showListRegistered_) LogLastError("RegisterHotKey");
}

void MainWindow::FillKeyList() {
    SendMessageW(hotkeyCombo_, CB_RESETCONTENT, 0, 0);
    detector_->FillList(keyLines_);
    for (const auto& line : keyLines_) {
        SendMessageW(hotkeyCombo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(line.first).c_str()));
    }
    SendMessageW(hotkeyCombo_, CB_SETCURSEL, 0, 0);
    OnHotkeySelected();
}

void MainWindow::SetDefaultKeys() {
    // The list's lines point at the hotkeys that are about to be freed.
    SendMessageW(hotkeyCombo_, CB_RESETCONTENT, 0, 0);
    keyLines_.clear();
    core::SetDefaultKeys(*detector_);
    FillKeyList();
}

void MainWindow::LoadSettings() {
    core::LoadHotkeys(*detector_, *settings_,
                        [this](const std::string& message) { ReportError(Hwnd(), message); });
    FillKeyList();
    RegisterShowListKey();
    // An unreadable choice leaves the Windows start-up entry as it is.
    Guarded(Hwnd(), [&] {
        const bool startup = settings_->ReadBool("Main", "Startup", true);
        SendMessageW(runOnStartupCheck_, BM_SETCHECK, startup ? BST_CHECKED : BST_UNCHECKED, 0);
        OnRunOnStartup();
    });
}

void MainWindow::SaveHotkeys() {
    core::SaveHotkeys(*detector_, *settings_);
}

void MainWindow::SetEditKeyHint(const std::wstring& hint) {
    editKeyHint_ = hint;
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = Hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(changeButton_);
    tool.lpszText = editKeyHint_.data();
    SendMessageW(hintTip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void MainWindow::OnHotkeySelected() {
    const LRESULT sel = SendMessageW(hotkeyCombo_, CB_GETCURSEL, 0, 0);
    if (sel == CB_ERR || static_cast<size_t>(sel) >= keyLines_.size()) return;
    const auto& line = keyLines_[static_cast<size_t>(sel)];
    SetWindowTextW(keyEdit_, Widen(line.second->Key).c_str());
    SetEditKeyHint(L"Edit short-cut key for " + Widen(line.first));
}

void MainWindow::OnChangeKey() {
    const LRESULT sel = SendMessageW(hotkeyCombo_, CB_GETCURSEL, 0, 0);
    if (sel == CB_ERR || static_cast<size_t>(sel) >= keyLines_.size()) return;
    auto& line = keyLines_[static_cast<size_t>(sel)];
    wchar_t current[256] = {};
    GetWindowTextW(keyEdit_, current, 256);
    // While the user presses a new combination, the list's registration must not take it.
    if (showListRegistered_) UnregisterHotKey(Hwnd(), kShowListHotkeyId);
    showListRegistered_ = false;
    KeyRecordDialog dialog(Hwnd());
    const bool recorded = dialog.Execute(line.first, Narrow(current), *detector_);
    if (recorded) {
        line.second->Key = dialog.NewKey();
        SetWindowTextW(keyEdit_, Widen(line.second->Key).c_str());
    }
    RegisterShowListKey();
    if (recorded) SaveHotkeys();
}

void MainWindow::OnDefaultKeys() {
    if (MessageBoxW(Hwnd(), L"Restore all short-keys to original value?", L"Confirm",
                    MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
        return;
    }
    SetDefaultKeys();
    SendMessageW(runOnStartupCheck_, BM_SETCHECK, BST_CHECKED, 0);
    OnRunOnStartup();
    RegisterShowListKey();
    SaveHotkeys();
}

void MainWindow::OnRunOnStartup() {
    const bool on = SendMessageW(runOnStartupCheck_, BM_GETCHECK, 0, 0) == BST_CHECKED;
    settings_->WriteBool("Main", "Startup", on);
    SetRunOnStartup(on);
}

// ---- options from a second copy -------------------------------------------------------------

void MainWindow::RunForwardedVerbs() {
    const std::vector<core::CommandVerb> verbs = std::move(forwardedVerbs_);
    forwardedVerbs_.clear();
    for (const core::CommandVerb verb : verbs) {
        // A second "--exit", or anything after one, finds the program already on its way out.
        if (destroyed_ || exitRequested_) return;
        switch (verb) {
            case core::CommandVerb::Exit:
                // "Exit" without its question: works while a dialog is open too, since the quit
                // message ends every modal loop on its way to the main one.
                exitRequested_ = true;
                HideToTray();
                OnCloseRequest();
                break;
            case core::CommandVerb::RestoreAll:
                if (hiding_) hiding_->RestoreAll();
                break;
            case core::CommandVerb::HideAll:
                if (hiding_) hiding_->HideAllWindows();
                break;
            case core::CommandVerb::Show:
                for (HWND window : {GetWindow(Hwnd(), GW_OWNER), Hwnd()}) {
                    if (window && IsIconic(window)) ShowWindow(window, SW_RESTORE);
                }
                OnShowSettings();
                break;
            default:
                break;
        }
    }
}

// ---- messages -------------------------------------------------------------------------------

void MainWindow::OnCommand(int id, int code) {
    if (id >= static_cast<int>(kFirstEntryId) && id <= static_cast<int>(kLastEntryId)) {
        hiding_->OnMenuCommand(static_cast<UINT>(id));
        return;
    }
    switch (id) {
        case kTrayExitId:
        case kMenuExitId:
            OnExit();
            break;
        case kMenuHideId:
            OnHide();
            break;
        case kMenuHelpContentsId:
            ShellOpen(HelpPagePath());
            break;
        case kMenuAutomaticCheckId:
            OnToggleAutomaticCheck();
            break;
        case kMenuCheckUpdateId:
        case kTrayCheckUpdateId:
            CheckUpdate(true);
            break;
        case kMenuMailSupportId:
            ShellOpen(core::SupportMailLink(core::kMainCaption));
            break;
        case kTrayWebsiteId:
        case kMenuWebsiteId:
            ShellOpen(core::kWebsite);
            break;
        case kMenuAboutId:
            ShowAboutBox(Hwnd());
            break;
        case kMenuLogFolderId:
            CreateDirectoryW(ProgramLog().Folder().c_str(), nullptr);
            ShellOpen(Narrow(ProgramLog().Folder()));
            break;
        case kTrayShowSettingsId:
            OnShowSettings();
            break;
        case kTrayTaskManagerId:
            ShellExecuteW(nullptr, L"open", L"taskmgr", L"", L"", SW_SHOWNORMAL);
            break;
        case kTrayCloseMenuId:
            break;
        case kTrayRestoreAllId:
            hiding_->RestoreAll();
            break;
        case kTrayPanicId:
            hiding_->Panic();
            break;
        case kHotkeyComboId:
            if (code == CBN_SELCHANGE) OnHotkeySelected();
            break;
        case kChangeButtonId:
            if (code == BN_CLICKED) OnChangeKey();
            break;
        case kDefaultButtonId:
            if (code == BN_CLICKED) OnDefaultKeys();
            break;
        case kRunOnStartupId:
            if (code == BN_CLICKED) OnRunOnStartup();
            break;
        default:
            break;
    }
}

LRESULT MainWindow::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    // Once the exit has begun, late commands, clicks and close requests find nothing to do.
    if (ending_ && (msg == WM_COMMAND || msg == WM_CLOSE || msg == WM_NOTIFY)) return 0;
    switch (msg) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_CLOSE:
            OnCloseRequest();
            return 0;
        case WM_HOTKEY:
            if (wParam == kShowListHotkeyId && !ending_) ShowHiddenList();
            return 0;
        case kUpdateReplyMessage:
            if (updateChecker_ && !ending_) updateChecker_->Finish();
            return 0;
        case WM_NOTIFY: {
            if (!SentByThisThread()) return 0;
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->hwndFrom == statusBar_ && header->code == NM_CLICK) OnStatusBarClick();
            return 0;
        }
        case WM_SIZE:
            if (statusBar_) SendMessageW(statusBar_, WM_SIZE, 0, 0);
            return 0;
        case WM_DESTROY:
            // Destroyed by anyone but our own exit (a close that reached the owner window's
            // default handling, another program): a program without its window could never give
            // the hidden windows back, so end cleanly now.
            if (!destroyed_) {
                ShutDown();
                PostQuitMessage(0);
            }
            return 0;
        case WM_QUERYENDSESSION:
            // The session is closing: give the hidden windows back first, so that their programs
            // can ask to save their work where the user can see them.
            if (hiding_) hiding_->RestoreAllOnExit();
            return TRUE;
        case WM_ENDSESSION:
            if (wParam) {
                ending_ = true;
                RestoreAndSaveBeforeEnding();
            }
            return 0;
        case WM_COPYDATA:
            if (const auto verb = AcceptForwardedVerb(wParam, lParam)) {
                forwardedVerbs_.push_back(*verb);
                PostMessageW(Hwnd(), kRunForwardedVerb, 0, 0);
                return TRUE;
            }
            return FALSE;
        case kRunForwardedVerb:
            RunForwardedVerbs();
            return 0;
        case WM_DPICHANGED: {
            if (!SentByThisThread()) return 0;
            const LRESULT r = FormWindow::OnMessage(msg, wParam, lParam);
            LayoutPage();
            int parts[] = {S(50)};
            SendMessageW(statusBar_, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));
            SendMessageW(statusBar_, WM_SIZE, 0, 0);
            return r;
        }
        default:
            return FormWindow::OnMessage(msg, wParam, lParam);
    }
}

}  // namespace quenvix::win
