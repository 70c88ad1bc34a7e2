#include "win/hiding.h"

#include <utility>

#include "core/settings_store.h"
#include "win/desktop.h"
#include "win/log.h"
#include "win/win_event_hook.h"

namespace quenvix::win {
Hiding::Hiding(core::Desktop& desktop, core::SettingsStore& store, HMENU trayMenu,
               HWND settingsWindow, HWND ownerWindow, UINT firstEntryId, UINT entryIdCount,
               core::HiddenListObserver* observer, std::string recoveryValue)
    : trayMenu_(trayMenu),
      menu_(trayMenu, firstEntryId, entryIdCount),
      hider_(desktop, &store, &menu_, {ToId(settingsWindow), ToId(ownerWindow)}, observer,
             std::move(recoveryValue)),
      desktop_(desktop) {
    hider_.SetBroughtBackHandler([this](core::WindowId id) { BroughtBack(ToHwnd(id)); });
    hider_.SetRefusedHandler([this](const core::RefusedCommand& r) { OnRefused(r); });
}

void Hiding::OnRefused(const core::RefusedCommand& refusal) {
    // The handle only: captions are the user's business, not the log's.
    Log(std::string(refusal.hiding ? "Hide" : "Restore") + " of window " +
        std::to_string(refusal.window) + " refused by the system (it runs with higher rights); " +
        (refusal.hiding ? "not recorded" : "kept, to be tried again"));
    if (!refusal.hiding || !refusal.firstForWindow || !refusalNotice_) return;
    const std::string program =
        refusal.caption.empty() ? ExecutableOf(ToHwnd(refusal.window)) : refusal.caption;
    refusalNotice_(L"Windows did not let Quenvix hide " + Widen(program) +
                   L": it runs as administrator.");
}

Hiding::~Hiding() = default;

bool Hiding::HideWindow(HWND window) {
    return hider_.HideWindow(ToId(window));
}

bool Hiding::HideMinimizedWindow(HWND window, core::ShowState formerState) {
    return hider_.HideMinimizedWindow(ToId(window), formerState);
}

bool Hiding::IsHidden(HWND window) const {
    return hider_.IsHidden(ToId(window));
}

void Hiding::SetBroughtBackHandler(std::function<void(HWND)> handler) {
    broughtBack_ = std::move(handler);
}

void Hiding::BroughtBack(HWND window) {
    // At exit every window comes back at once and none was asked for in particular.
    if (!exiting_) keeper_.BringForward(ToId(window));
    if (broughtBack_) broughtBack_(window);
}

void Hiding::RestoreLastHidden() {
    hider_.RestoreLastHidden();
}
void Hiding::HideActiveWindow() {
    // While the session asks to end, the windows shown for it are the user's to answer: a hotkey
    // or "Panic!" takes none of them (they are listed already) until the end is decided.
    if (ShownForSessionEnd()) return;
    hider_.HideActiveWindow();
}
void Hiding::HideAllWindows() {
    if (ShownForSessionEnd()) return;
    hider_.HideAllWindows();
}
void Hiding::RunHotkeyAction(core::HotkeyAction action, const std::function<void()>& showList) {
    switch (action) {
        case core::HotkeyAction::HideActiveProgram:
            HideActiveWindow();
            break;
        case core::HotkeyAction::HideAllPrograms:
            HideAllWindows();
            break;
        case core::HotkeyAction::RestoreLastHidden:
            RestoreLastHidden();
            break;
        case core::HotkeyAction::ShowHiddenList:
            showList();
            break;
    }
}

void Hiding::Panic() {
    HideAllWindows();
}

void Hiding::RestoreAllOnExit() {
    // Those shown for the session's end are back already: commanded again, one the user has
    // moved on from (maximised, say) would be put back into its former state.
    hider_.ForgetShownForSessionEnd();
    exiting_ = true;
    hider_.RestoreAllOnExit();
}
void Hiding::ShowForSessionEnd() {
    hider_.ShowForSessionEnd();
}
void Hiding::HideAgainAfterCancelledEnd() {
    hider_.HideAgainAfterCancelledEnd();
}
void Hiding::AdoptRecovered() {
    if (hider_.AdoptRecovered() == core::TakeBack::Unreadable) {
        Log("The record of hidden windows cannot be read; nothing taken back, the record is left "
            "as it is");
    }
}

void Hiding::RefreshTrayMenu(UINT restoreAllId) {
    hider_.RefreshHiddenMenu();
    EnableMenuItem(trayMenu_, restoreAllId,
                   MF_BYCOMMAND | (hider_.HiddenCount() > 0 ? MF_ENABLED : MF_GRAYED));
}

bool Hiding::OnMenuCommand(UINT id) {
    if (!menu_.OwnsId(id)) return false;
    // An id of the range without an entry (a stale click) is ours all the same and does nothing.
    if (const core::HiddenWindow* info = menu_.RecordFor(id)) hider_.RestoreWindow(*info);
    return true;
}

void Hiding::RestoreAll() {
    const core::Liveness::Watch alive = liveness_.Observe();
    hider_.RestoreAll([alive] { return RunPendingMessages([alive] { return alive.Alive(); }); });
}

}  // namespace quenvix::win
