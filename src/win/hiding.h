#pragma once
// Hiding and restoring as the main window offers them: the hotkeys, the tray menu's hidden-window
// entries and "Restore all" / "Panic!", the restore at exit and the take-back at start of what a
// crashed run left hidden.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/foreground_keeper.h"
#include "core/hider.h"
#include "core/hotkey_settings.h"
#include "core/liveness.h"
#include "core/ports/desktop.h"
#include "win/foreground.h"
#include "win/hidden_menu.h"

namespace quenvix::core {
class SettingsStore;
}

namespace quenvix::win {

class Hiding {
  public:
    // `trayMenu` is the tray popup menu; entries are appended at its end (after the separator
    // that ends the fixed items) with command ids from [firstEntryId, firstEntryId + entryIdCount).
    // The settings window and the application's owner window are never hidden. `observer`, when
    // given, hears of every change of the hidden list. The crash-recovery record is kept under
    // `recoveryValue` in the store's "Hidden" section.
    Hiding(core::Desktop& desktop, core::SettingsStore& store, HMENU trayMenu, HWND settingsWindow,
           HWND ownerWindow, UINT firstEntryId, UINT entryIdCount,
           core::HiddenListObserver* observer = nullptr, std::string recoveryValue = "Windows");
    ~Hiding();
    Hiding(const Hiding&) = delete;
    Hiding& operator=(const Hiding&) = delete;

    void HideActiveWindow();
    void HideAllWindows();
    // A rule's hides: one window as a hotkey hides it, or one just minimised, to come back in
    // `formerState`.
    bool HideWindow(HWND window);
    bool HideMinimizedWindow(HWND window, core::ShowState formerState);
    bool IsHidden(HWND window) const;
    // Told of every window the user brings back (menu, hotkey, "Restore all"), once it has
    // been brought to the front.
    void SetBroughtBackHandler(std::function<void(HWND)> handler);
    // Told, once per window, that the system refused to let us hide it, with the text for the
    // user. It runs in the middle of a hide (of Panic too): it must not wait for the user.
    // Every refused command, restores included, is logged here.
    void SetRefusalNotice(std::function<void(const std::wstring&)> notice) {
        refusalNotice_ = std::move(notice);
    }
    void RestoreLastHidden();
    // What a hotkey does here; the hidden list's hotkey calls `showList`.
    void RunHotkeyAction(core::HotkeyAction action, const std::function<void()>& showList);
    // Before the tray menu opens: forget windows that came back or died, rebuild the entries,
    // and enable "Restore all" only while something is hidden.
    void RefreshTrayMenu(UINT restoreAllId);
    // A click on a hidden-window entry restores that window; false for ids outside the entries'
    // range.
    bool OnMenuCommand(UINT id);
    // Restores every hidden window in menu order, letting pending messages run before each.
    void RestoreAll();
    void Panic();
    // Everything back, earliest first (the program is ending or the session is).
    void RestoreAllOnExit();
    // The session asks to end: the hidden windows show, still listed; hidden again if the end is
    // cancelled.
    void ShowForSessionEnd();
    void HideAgainAfterCancelledEnd();
    bool ShownForSessionEnd() const { return hider_.ShownForSessionEnd(); }
    // At start: takes back the windows a previous run left hidden; a record that cannot be read
    // is logged and left as it is.
    void AdoptRecovered();
    std::size_t HiddenCount() const { return hider_.HiddenCount(); }

  private:
    // The window brought back takes the keyboard, except in the restore at exit.
    void BroughtBack(HWND window);
    void OnRefused(const core::RefusedCommand& refusal);

    HMENU trayMenu_;
    HiddenMenu menu_;
    core::Hider hider_;
    core::Desktop& desktop_;
    Win32Foreground foreground_;
    core::ForegroundKeeper keeper_{desktop_, foreground_};
    std::function<void(HWND)> broughtBack_;
    bool exiting_ = false;
    std::function<void(const std::wstring&)> refusalNotice_;
    // Cleared when this object goes, so a message run inside "Restore all" that ends the
    // program stops the run instead of touching a destroyed object.
    core::Liveness liveness_;
};

}  // namespace quenvix::win
