#include "win/main_form.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <array>

#include "core/dialog_text.h"
#include "core/hotkey_settings.h"
#include "core/key_chord.h"
#include "core/product.h"
#include "core/shell_text.h"
#include "win/about_form.h"
#include "win/app.h"
#include "win/command_line_forwarding.h"
#include "win/confirm_dlg.h"
#include "win/cpu_gauge_view.h"
#include "win/crash_guard.h"
#include "win/desktop.h"
#include "win/hiding.h"
#include "win/key_record_dlg.h"
#include "win/key_state.h"
#include "win/log.h"
#include "win/notify_icon.h"
#include "win/registry.h"
#include "win/shell.h"
#include "win/timer.h"
#include "win/update_form.h"

namespace quenvix::win {
namespace {

// Menu and control identifiers. Hidden-window entries of the tray menu take ids from
// kFirstEntryId upward.
enum : int {
    idExit2 = 100,
    idHide1,
    idContents1,
    idCheckupdateautomatically1,
    idCheckupdate1,
    idEmailsupport1,
    idWebsite2,
    idAbout1,
    idShowWindow1 = 200,
    idCheckupdate2,
    idWebsite1,
    idWindowsTaskManager1,
    idExit1,
    idClosethismenu1,
    idRestoreall1,
    idPanic1,
    idPages1 = 300,
    idGroupBox1,
    idcbKeys,
    ideKey,
    idsbEditKey,
    idsbDefaultKey,
    idcbStartup,
    idStatusBar1,
    idOpenLogFolder = 400,
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

TMainForm::TMainForm(TApplication& app) : app_(app) {
    registryBackend_ = std::make_unique<Win32Registry>();
    timers_ = std::make_unique<WinTimerFactory>();
    keyState_ = std::make_unique<AsyncKeyState>();
    desktop_ = std::make_unique<Win32Desktop>();

    CreateBound(L"QuenvixMainForm", kFormStyle, kFormExStyle, Widen(core::kMainCaption), 5000, 148,
                kClient.cx, kClient.cy, app_.Hwnd());
    if (!Hwnd()) throw core::Error("The main window could not be created");
    AdoptDpi();
    CreateMenus();
    SizeToClient(kClient, kFormStyle, kFormExStyle, true);
    CreateControls();
    FormCreate();
    // Created visible, but off the screen until the first update-timer run puts it into the tray.
    ShowWindow(app_.Hwnd(), SW_SHOW);
    ShowWindow(Hwnd(), SW_SHOWNORMAL);
}

TMainForm::~TMainForm() {
    Guarded(nullptr, [&] { FormDestroy(); });
}

// ---- creation -------------------------------------------------------------------------------

void TMainForm::CreateMenus() {
    MainMenu1 = CreateMenu();
    HMENU File1 = CreatePopupMenu();
    const MenuEntry fileItems[] = {{idExit2, L"Exit"}};
    AppendItems(File1, fileItems, std::size(fileItems));
    HMENU Help1 = CreatePopupMenu();
    const std::wstring website = L"Website: " + Widen(core::kWebsite);
    const MenuEntry helpItems[] = {
        {idContents1, L"Help contents"},
        {idCheckupdateautomatically1, L"Automatic update check"},
        {idCheckupdate1, L"Check update"},
        {idEmailsupport1, L"E-mail support"},
        {idWebsite2, website.c_str()},
        {idOpenLogFolder, L"Open log folder"},
        {0, nullptr},
        {idAbout1, L"About"},
    };
    AppendItems(Help1, helpItems, std::size(helpItems));
    AppendMenuW(MainMenu1, MF_POPUP, reinterpret_cast<UINT_PTR>(File1), L"&Files");
    AppendMenuW(MainMenu1, MF_STRING, idHide1, L"Hide");
    AppendMenuW(MainMenu1, MF_POPUP, reinterpret_cast<UINT_PTR>(Help1), L"&Help");
    SetMenu(Hwnd(), MainMenu1);

    // "Windows Task Manager" is an invisible item: it is not put into the menu at all.
    PopSystray.reset(CreatePopupMenu());
    const MenuEntry trayItems[] = {
        {idShowWindow1, L"Show settings"},
        {idCheckupdate2, L"Check update"},
        {idWebsite1, L"Website"},
        {idExit1, L"Exit"},
        {0, nullptr},
        {idClosethismenu1, L"Close this menu"},
        {idRestoreall1, L"Restore all"},
        {idPanic1, L"Panic!"},
        {0, nullptr},  // StartList1
    };
    AppendItems(PopSystray.get(), trayItems, std::size(trayItems));
}

void TMainForm::CreateControls() {
    const FontSpec formFont{};  // MS Sans Serif, 8 point
    const int pageHeight = kClient.cy - kStatusHeight;
    Pages1 = AddControl(WC_TABCONTROLW, L"", WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, kClient.cx,
                        pageHeight, idPages1, formFont);
    TCITEMW tab{};
    tab.mask = TCIF_TEXT;
    wchar_t controls[] = L"Controls";
    tab.pszText = controls;
    TabCtrl_InsertItem(Pages1, 0, &tab);

    TabSheet4 = CreatePage(Hwnd());
    if (!TabSheet4) throw core::Error("The settings page could not be created");
    LayoutPage();
    GroupBox1 = AddControl(L"BUTTON", L"Short-cut keys: ", WS_VISIBLE | BS_GROUPBOX, 4, 0, 177, 81,
                           idGroupBox1, formFont, 0, TabSheet4);
    cbKeys = AddControl(WC_COMBOBOXW, L"", WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL,
                        4 + 8, 16, 161, 120, idcbKeys, formFont, 0, TabSheet4);
    eKey = AddControl(WC_EDITW, L"", WS_VISIBLE | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL, 4 + 8,
                      48, 89, 21, ideKey, formFont, WS_EX_CLIENTEDGE, TabSheet4);
    sbEditKey = AddControl(L"BUTTON", L"Change", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 4 + 104,
                           48, 65, 22, idsbEditKey, formFont, 0, TabSheet4);
    cbStartup = AddControl(L"BUTTON", L"Run on startup", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
                           192, 8, 129, 17, idcbStartup, formFont, 0, TabSheet4);
    sbDefaultKey = AddControl(L"BUTTON", L"Default", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 280,
                              78, 65, 22, idsbDefaultKey, formFont, 0, TabSheet4);
    // The group box frames the controls inside it and must lie behind them.
    SetWindowPos(GroupBox1, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    StatusBar1 = CreateWindowExW(
        0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, Hwnd(),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(idStatusBar1)), AppInstance(), nullptr);
    SendMessageW(StatusBar1, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(formFont)), FALSE);
    int parts[] = {S(50)};
    SendMessageW(StatusBar1, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));
    SendMessageW(StatusBar1, SB_SETMINHEIGHT, static_cast<WPARAM>(S(kStatusHeight)), 0);
    SendMessageW(StatusBar1, WM_SIZE, 0, 0);

    // The "Change" button shows its hint as a tooltip.
    hintTip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Hwnd(),
                               nullptr, AppInstance(), nullptr);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = Hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(sbEditKey);
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(hintTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void TMainForm::LayoutPage() {
    RECT area{};
    GetClientRect(Pages1, &area);
    TabCtrl_AdjustRect(Pages1, FALSE, &area);
    MapWindowPoints(Pages1, Hwnd(), reinterpret_cast<POINT*>(&area), 2);
    SetWindowPos(TabSheet4, HWND_TOP, area.left, area.top, area.right - area.left,
                 area.bottom - area.top, SWP_NOACTIVATE);
}

void TMainForm::FormCreate() {
    // Left edge 5000 was given at creation; the hidden list lives in the hiding component below.
    FPeekKey = std::make_unique<core::TPeekKey>(*keyState_, *timers_);
    SetDefaultKeys();
    MyRegistry = std::make_unique<core::TMyRegistry>(*registryBackend_, core::kSettingsKeyPath);

    imCPU = CreateCpuImageList();
    cpuGauge_ = std::make_unique<CpuGaugeView>(imCPU);
    NotifyIcon1 = std::make_unique<TNotifyIcon>(Hwnd());
    NotifyIcon1->SetAnimated(true);
    NotifyIcon1->SetAnimateDelay(200);
    NotifyIcon1->SetHint("Click mouse to show the menu");
    NotifyIcon1->SetImageList(imCPU);
    NotifyIcon1->SetIconIndex(0);
    NotifyIcon1->SetPopupMenu(PopSystray.get());
    NotifyIcon1->OnDblClick = [this] { ShowWindow1Click(); };
    NotifyIcon1->OnMenuCommand = [this](UINT id) { OnCommand(static_cast<int>(id), 0); };

    crashGuard_ = std::make_unique<CrashGuard>([this] { ShowUnprotectedWarning(Hwnd()); });
    // One record per session: another copy of ours (another session of the same user) keeps
    // its own, and neither overwrites the other's.
    const std::string recoveryValue = RecoveryValueName();
    hiding_ = std::make_unique<Hiding>(*desktop_, *MyRegistry, PopSystray.get(), Hwnd(),
                                       app_.Hwnd(), kFirstEntryId, kLastEntryId - kFirstEntryId + 1,
                                       crashGuard_.get(), recoveryValue);
    NotifyIcon1->OnPopup = [this] { hiding_->PopSystrayPopup(idRestoreall1); };

    FPeekKey->StartDetect([this](std::uint16_t index) { HotKeyPressed(index); });
    rawKeyboard_ = FollowKeyEvents(*FPeekKey);

    // A damaged setting is reported and costs only its own step: the program still starts,
    // takes back what an earlier copy left hidden, and goes into the tray.
    LoadSettings();
    Guarded(Hwnd(), [&] {
        FGUID = MyRegistry->ReadString("Main", "GUID", "");
        if (FGUID.empty()) {
            FGUID = NewGUIDString();
            MyRegistry->WriteString("Main", "GUID", FGUID);
        }
    });
    bool autoCheck = true;
    Guarded(Hwnd(), [&] {
        autoCheck = MyRegistry->ReadBool("Preference", "Automatic update check", true);
    });
    CheckMenuItem(MainMenu1, idCheckupdateautomatically1,
                  MF_BYCOMMAND | (autoCheck ? MF_CHECKED : MF_UNCHECKED));

    // Windows hidden by a copy that did not end cleanly come back under this copy's care.
    Guarded(Hwnd(), [&] {
        TakeOverLegacyRecovery(*MyRegistry, recoveryValue);
        hiding_->AdoptRecovered();
        Log("Windows taken back from an earlier run: " + std::to_string(hiding_->HiddenCount()));
    });

    CPUUsage = timers_->MakeTimer();
    CPUUsage->SetInterval(500);
    CPUUsage->SetOnTick([this] { CPUUsageTimer(); });
    CPUUsage->SetEnabled(true);

    updateChecker_ = std::make_unique<UpdateChecker>(Hwnd(), *MyRegistry);
    TimerUpdate = timers_->MakeTimer();
    TimerUpdate->SetInterval(1000);
    TimerUpdate->SetOnTick([this] { TimerUpdateTimer(); });
    TimerUpdate->SetEnabled(true);
}

void TMainForm::FormDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    ending_ = true;
    if (CPUUsage) CPUUsage->SetEnabled(false);
    if (TimerUpdate) TimerUpdate->SetEnabled(false);
    // A pending update request is abandoned: its late answer must not reach this window.
    updateChecker_.reset();
    RestoreAndSaveBeforeEnding();
    // The tray icon goes last: removing it waits on the shell, and nothing hidden may depend on
    // that wait.
    if (NotifyIcon1) NotifyIcon1->SetActive(false);
    rawKeyboard_.reset();
    FPeekKey.reset();
    hiding_.reset();
    NotifyIcon1.reset();
    MyRegistry.reset();
}

void TMainForm::RestoreAndSaveBeforeEnding() {
    // Every window still hidden comes back, the earliest first, before anything that can fail
    // or wait: the user's windows matter more than the hotkeys or the icon.
    if (hiding_) Guarded(nullptr, [&] { hiding_->RestoreAllOnExit(); });
    if (FPeekKey && MyRegistry) Guarded(nullptr, [&] { SaveShortKeys(); });
}

// ---- showing and hiding the settings window -------------------------------------------------

void TMainForm::ShowHideForm(bool show) {
    AnimateTray(Hwnd(), show);
    HWND owner = GetWindow(Hwnd(), GW_OWNER);
    const int cmd = show ? SW_SHOW : SW_HIDE;
    ShowWindow(owner, cmd);
    ShowWindowAsync(owner, cmd);
    ShowWindowAsync(Hwnd(), cmd);
}

void TMainForm::HideToTray() {
    // A question answered after Exit began (a re-entrant close, say) must not revive the icon.
    if (ending_) return;
    NotifyIcon1->SetActive(true);
    ShowHideForm(false);
    FInTray = true;
}

void TMainForm::ShowFromTray() {
    ShowHideForm(true);
    // Minimised with its own button, the window would come back as a taskbar button only.
    if (IsIconic(Hwnd())) ShowWindow(Hwnd(), SW_RESTORE);
    FInTray = false;
    RECT r{};
    GetWindowRect(Hwnd(), &r);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    SetWindowPos(Hwnd(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TMainForm::ShowWindow1Click() {
    ShowFromTray();
    SetForegroundWindow(Hwnd());
    SetFocus(Hwnd());
}

bool TMainForm::Confirm(core::TDialogKind kind, const char* ident, const char* text) {
    core::TDialogText dialog;
    dialog.Kind = kind;
    dialog.Ident = ident;
    dialog.Text = text;
    return ConfirmDialog(*MyRegistry, dialog, Hwnd());
}

void TMainForm::FormCloseQuery() {
    if (FInTray) {
        FormClose();
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

void TMainForm::Exit1Click() {
    if (!Confirm(core::dkConfirmation, "AskToClose", "Close Quenvix?")) return;
    HideToTray();
    FormCloseQuery();
}

void TMainForm::FormClose() {
    if (ending_) return;
    ending_ = true;
    if (TimerUpdate) TimerUpdate->SetEnabled(false);
    RestoreAndSaveBeforeEnding();
    NotifyIcon1->SetActive(false);
    ShowOnClose();
    // The message loop ends; the entry point then destroys this window, which restores what is
    // hidden.
    PostQuitMessage(0);
}

void TMainForm::ShowOnClose() {
    ShowFromTray();
    SetFocus(Hwnd());
    SendMessageW(StatusBar1, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(statusHint_.c_str()));
}

void TMainForm::sbHideClick() {
    Confirm(core::dkInformation, "Hiding window",
            "Quenvix will be hidden in tray icon on the right bottom.\n"
            "Click on the tray icon to show menu.");
    HideToTray();
}

void TMainForm::StatusBar1Click() {
    if (statusHint_.empty()) return;
    const DWORD attributes = GetFileAttributesW(statusHint_.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ShellOpen(Narrow(statusHint_));
    }
}

// ---- timers ---------------------------------------------------------------------------------

void TMainForm::TimerUpdateTimer() {
    TimerUpdate->SetEnabled(false);
    const bool autoCheck =
        GetMenuState(MainMenu1, idCheckupdateautomatically1, MF_BYCOMMAND) & MF_CHECKED;
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

void TMainForm::CPUUsageTimer() {
    CPUUsage->SetEnabled(false);
    // Re-armed on every way out, an error included, unless the gauge says it is over for good
    // (no processor counters on this system, or the program is closing).
    bool again = true;
    struct Rearm {
        core::Timer& timer;
        const bool& again;
        ~Rearm() {
            if (again) timer.SetEnabled(true);
        }
    } rearm{*CPUUsage, again};
    again = cpuGauge_->Tick();
}

void TMainForm::CheckUpdate(bool manual) {
    // A click while a check is running does nothing.
    updateChecker_->Start(manual);
}

void TMainForm::Checkupdateautomatically1Click() {
    const bool ticked =
        !(GetMenuState(MainMenu1, idCheckupdateautomatically1, MF_BYCOMMAND) & MF_CHECKED);
    CheckMenuItem(MainMenu1, idCheckupdateautomatically1,
                  MF_BYCOMMAND | (ticked ? MF_CHECKED : MF_UNCHECKED));
    MyRegistry->WriteBool("Preference", "Automatic update check", ticked);
    TimerUpdate->SetEnabled(true);
}

// ---- hotkeys --------------------------------------------------------------------------------

void TMainForm::HotKeyPressed(std::uint16_t index) {
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

void TMainForm::ShowHiddenList() {
    if (ending_ || !NotifyIcon1) return;
    NotifyIcon1->ShowPopupMenu(true);
}

void TMainForm::RegisterShowListKey() {
    if (showListRegistered_) UnregisterHotKey(Hwnd(), kShowListHotkeyId);
    showListRegistered_ = false;
    const auto index = core::HotkeyIndexOf(core::HotkeyAction::ShowHiddenList);
    if (!FPeekKey || !index || *index >= FPeekKey->FList.Count()) return;
    const std::string& text = FPeekKey->FList.Item(*index).Key;
    // An earlier hotkey with the same text wins that press; the list must not open as well.
    for (std::size_t i = 0; i < *index; ++i) {
        if (FPeekKey->FList.Item(i).Key == text) return;
    }
    const auto chord = core::ChordOfKeyText(text);
    if (!chord) return;  // modifiers only, or off: the detector alone serves it
    const UINT modifiers = MOD_NOREPEAT | (chord->ctrl ? MOD_CONTROL : 0) |
                           (chord->alt ? MOD_ALT : 0) | (chord->shift ? MOD_SHIFT : 0);
    showListRegistered_ = RegisterHotKey(Hwnd(), kShowListHotkeyId, modifiers, chord->key) != FALSE;
    // Taken by another program: the detector still opens the list, without the foreground right.
    if (!showListRegistered_) LogLastError("RegisterHotKey");
}

void TMainForm::FillKeyList() {
    SendMessageW(cbKeys, CB_RESETCONTENT, 0, 0);
    FPeekKey->FillList(keyLines_);
    for (const auto& line : keyLines_) {
        SendMessageW(cbKeys, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(line.first).c_str()));
    }
    SendMessageW(cbKeys, CB_SETCURSEL, 0, 0);
    cbKeysChange();
}

void TMainForm::SetDefaultKeys() {
    // The list's lines point at the hotkeys that are about to be freed.
    SendMessageW(cbKeys, CB_RESETCONTENT, 0, 0);
    keyLines_.clear();
    core::SetDefaultKeys(*FPeekKey);
    FillKeyList();
}

void TMainForm::LoadSettings() {
    core::LoadShortKeys(*FPeekKey, *MyRegistry,
                        [this](const std::string& message) { ReportError(Hwnd(), message); });
    FillKeyList();
    RegisterShowListKey();
    // An unreadable choice leaves the Windows start-up entry as it is.
    Guarded(Hwnd(), [&] {
        const bool startup = MyRegistry->ReadBool("Main", "Startup", true);
        SendMessageW(cbStartup, BM_SETCHECK, startup ? BST_CHECKED : BST_UNCHECKED, 0);
        cbStartupClick();
    });
}

void TMainForm::SaveShortKeys() {
    core::SaveShortKeys(*FPeekKey, *MyRegistry);
}

void TMainForm::SetEditKeyHint(const std::wstring& hint) {
    editKeyHint_ = hint;
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = Hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(sbEditKey);
    tool.lpszText = editKeyHint_.data();
    SendMessageW(hintTip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void TMainForm::cbKeysChange() {
    const LRESULT sel = SendMessageW(cbKeys, CB_GETCURSEL, 0, 0);
    if (sel == CB_ERR || static_cast<size_t>(sel) >= keyLines_.size()) return;
    const auto& line = keyLines_[static_cast<size_t>(sel)];
    SetWindowTextW(eKey, Widen(line.second->Key).c_str());
    SetEditKeyHint(L"Edit short-cut key for " + Widen(line.first));
}

void TMainForm::sbEditKeyClick() {
    const LRESULT sel = SendMessageW(cbKeys, CB_GETCURSEL, 0, 0);
    if (sel == CB_ERR || static_cast<size_t>(sel) >= keyLines_.size()) return;
    auto& line = keyLines_[static_cast<size_t>(sel)];
    wchar_t current[256] = {};
    GetWindowTextW(eKey, current, 256);
    // While the user presses a new combination, the list's registration must not take it.
    if (showListRegistered_) UnregisterHotKey(Hwnd(), kShowListHotkeyId);
    showListRegistered_ = false;
    TKeyRecordDlg dialog(Hwnd());
    const bool recorded = dialog.Execute(line.first, Narrow(current), *FPeekKey);
    if (recorded) {
        line.second->Key = dialog.NewKey();
        SetWindowTextW(eKey, Widen(line.second->Key).c_str());
    }
    RegisterShowListKey();
    if (recorded) SaveShortKeys();
}

void TMainForm::sbDefaultKeyClick() {
    if (MessageBoxW(Hwnd(), L"Restore all short-keys to original value?", L"Confirm",
                    MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
        return;
    }
    SetDefaultKeys();
    SendMessageW(cbStartup, BM_SETCHECK, BST_CHECKED, 0);
    cbStartupClick();
    RegisterShowListKey();
    SaveShortKeys();
}

void TMainForm::cbStartupClick() {
    const bool on = SendMessageW(cbStartup, BM_GETCHECK, 0, 0) == BST_CHECKED;
    MyRegistry->WriteBool("Main", "Startup", on);
    SetRunOnStartup(on);
}

// ---- options from a second copy -------------------------------------------------------------

void TMainForm::RunForwardedVerbs() {
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
                FormCloseQuery();
                break;
            case core::CommandVerb::RestoreAll:
                if (hiding_) hiding_->Restoreall1Click();
                break;
            case core::CommandVerb::HideAll:
                if (hiding_) hiding_->HideAllWindows();
                break;
            case core::CommandVerb::Show:
                for (HWND window : {GetWindow(Hwnd(), GW_OWNER), Hwnd()}) {
                    if (window && IsIconic(window)) ShowWindow(window, SW_RESTORE);
                }
                ShowWindow1Click();
                break;
            default:
                break;
        }
    }
}

// ---- messages -------------------------------------------------------------------------------

void TMainForm::OnCommand(int id, int code) {
    if (id >= static_cast<int>(kFirstEntryId) && id <= static_cast<int>(kLastEntryId)) {
        hiding_->OnMenuCommand(static_cast<UINT>(id));
        return;
    }
    switch (id) {
        case idExit1:
        case idExit2:
            Exit1Click();
            break;
        case idHide1:
            sbHideClick();
            break;
        case idContents1:
            ShellOpen(HelpPagePath());
            break;
        case idCheckupdateautomatically1:
            Checkupdateautomatically1Click();
            break;
        case idCheckupdate1:
        case idCheckupdate2:
            CheckUpdate(true);
            break;
        case idEmailsupport1:
            ShellOpen(core::SupportMailLink(core::kMainCaption));
            break;
        case idWebsite1:
        case idWebsite2:
            ShellOpen(core::kWebsite);
            break;
        case idAbout1:
            ShowAboutBox(Hwnd());
            break;
        case idOpenLogFolder:
            CreateDirectoryW(ProgramLog().Folder().c_str(), nullptr);
            ShellOpen(Narrow(ProgramLog().Folder()));
            break;
        case idShowWindow1:
            ShowWindow1Click();
            break;
        case idWindowsTaskManager1:
            ShellExecuteW(nullptr, L"open", L"taskmgr", L"", L"", SW_SHOWNORMAL);
            break;
        case idClosethismenu1:
            break;
        case idRestoreall1:
            hiding_->Restoreall1Click();
            break;
        case idPanic1:
            hiding_->Panic1Click();
            break;
        case idcbKeys:
            if (code == CBN_SELCHANGE) cbKeysChange();
            break;
        case idsbEditKey:
            if (code == BN_CLICKED) sbEditKeyClick();
            break;
        case idsbDefaultKey:
            if (code == BN_CLICKED) sbDefaultKeyClick();
            break;
        case idcbStartup:
            if (code == BN_CLICKED) cbStartupClick();
            break;
        default:
            break;
    }
}

LRESULT TMainForm::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    // Once the exit has begun, late commands, clicks and close requests find nothing to do.
    if (ending_ && (msg == WM_COMMAND || msg == WM_CLOSE || msg == WM_NOTIFY)) return 0;
    switch (msg) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_CLOSE:
            FormCloseQuery();
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
            if (header->hwndFrom == StatusBar1 && header->code == NM_CLICK) StatusBar1Click();
            return 0;
        }
        case WM_SIZE:
            if (StatusBar1) SendMessageW(StatusBar1, WM_SIZE, 0, 0);
            return 0;
        case WM_DESTROY:
            // Destroyed by anyone but our own exit (a close that reached the owner window's
            // default handling, another program): a program without its window could never give
            // the hidden windows back, so end cleanly now.
            if (!destroyed_) {
                FormDestroy();
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
            SendMessageW(StatusBar1, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));
            SendMessageW(StatusBar1, WM_SIZE, 0, 0);
            return r;
        }
        default:
            return FormWindow::OnMessage(msg, wParam, lParam);
    }
}

}  // namespace quenvix::win
