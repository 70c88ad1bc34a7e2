// Bringing hidden windows back: the restore command for each state, one window, the last hidden,
// all of them (from the menu and at the exit), and the showing and re-hiding around the session's
// end.
#include <algorithm>

#include "core/hider.h"

namespace quenvix::core {

ShowCommand RestoreCommandFor(ShowState state, bool activate) {
    switch (state) {
        case ShowState::Minimized:
            return ShowCommand::ShowMinimizedNoActivate;
        case ShowState::Maximized:
            // Hidden maximised, the window is maximised still: shown as it is, it comes back so.
            // (ShowWindow has no command that maximises without activating.)
            return activate ? ShowCommand::ShowMaximized : ShowCommand::ShowAsIsNoActivate;
        case ShowState::Normal:
            break;
    }
    // At normal size also for a window a "minimise" rule took, which is minimised while hidden.
    return activate ? ShowCommand::ShowNormal : ShowCommand::ShowNormalNoActivate;
}

bool Hider::IssueRestore(const HiddenWindow& info, Asked asked) {
    // A window that died, or whose handle now names someone else's window, gets nothing:
    // showing a stranger's hidden window would be worse than doing nothing.
    if (!StillOurs(info)) return true;
    const WindowId window = info.Handle;
    const bool chosen = asked == Asked::Chosen;
    const ShowState state = asked == Asked::Exit ? info.StateOnExit : info.State;
    // The caption's flight from the tray is for the one window the user watches come back; a
    // bulk restore drawing it once per window would hold everything up (it is synchronous).
    if (chosen && state != ShowState::Minimized) desktop_.AnimateTray(window, true);
    // Queued like the hide, behind it if the window has not got to the hide yet (and harmless
    // if it never does). One command: the placement kept the state, nothing has to be undone.
    if (desktop_.ShowAsync(window, RestoreCommandFor(state, chosen)) == ShowResult::Refused) {
        Refused(window, false);
        return false;
    }
    if (asked != Asked::Exit && broughtBack_) {
        broughtBack_(window, chosen && state != ShowState::Minimized);
    }
    return true;
}

bool Hider::RestoreWindow(const HiddenWindow& info) {
    return Restore(info, true, Asked::Chosen);
}

bool Hider::Restore(const HiddenWindow& info, bool saveRecovery, Asked asked) {
    const bool listed = std::any_of(hiddenList_.begin(), hiddenList_.end(),
                                    [&](const auto& p) { return p.get() == &info; });
    if (!listed) return true;
    if (!IssueRestore(info, asked)) return false;
    Forget(info, saveRecovery);
    return true;
}

bool Hider::RestoreLastHidden() {
    if (DropGone()) ListChanged(true);
    for (std::size_t i = hiddenList_.size(); i > 0;) {
        HiddenWindow& last = *hiddenList_[i - 1];
        if (StillOurs(last) && !ShownByItsProgram(last)) {
            if (RestoreWindow(last)) return true;
            --i;  // refused, and kept: the one before gets its turn
            continue;
        }
        // Pressed again, the key must reach the one before, not stop at a window already gone.
        Forget(last, true);
        i = std::min(i - 1, hiddenList_.size());
    }
    return false;
}

HiddenWindow* Hider::FirstToRestore(const std::vector<const HiddenWindow*>& passed,
                                    std::uint64_t hiddenBefore) const {
    for (const auto& info : hiddenList_) {
        if (info->Serial >= hiddenBefore) continue;
        if (std::find(passed.begin(), passed.end(), info.get()) == passed.end()) return info.get();
    }
    return nullptr;
}

void Hider::RestoreAll(const std::function<bool()>& processMessages) {
    // The list is looked at afresh after every message run: those messages may have hidden,
    // restored or dropped windows. The last command wins: a window hidden meanwhile (a hotkey, a
    // rule) stays hidden, and "Panic!" meanwhile ends the run, so that what it hid stays hidden.
    // A refused window is passed over for the rest of the run. The record is written once, at the
    // end: until then it names every window still listed and some already back, and a record with
    // too many windows loses none (a hide meanwhile writes its own at once).
    std::vector<const HiddenWindow*> refused;
    bool restored = false;
    const std::uint64_t hiddenBefore = nextSerial_;
    const std::uint64_t hideAllsBefore = hideAllsAsked_;
    for (;;) {
        if (processMessages && !processMessages()) return;
        if (hideAllsAsked_ != hideAllsBefore) break;
        HiddenWindow* next = FirstToRestore(refused, hiddenBefore);
        if (!next) break;
        if (Restore(*next, false, Asked::All)) {
            restored = true;
        } else {
            refused.push_back(next);
        }
    }
    if (restored) SaveRecovery();
}

void Hider::RestoreAllOnExit() {
    // One write for the lot: the exit must not grow with the square of the list.
    std::vector<const HiddenWindow*> refused;
    for (const auto& info : hiddenList_) {
        if (!IssueRestore(*info, Asked::Exit)) refused.push_back(info.get());
    }
    DropRecords([&](const HiddenWindow& r) {
        return std::find(refused.begin(), refused.end(), &r) == refused.end();
    });
    ListChanged(true);
}

void Hider::ShowForSessionEnd() {
    for (const auto& info : hiddenList_) {
        if (info->ShownForSessionEnd || !StillOurs(*info)) continue;
        info->ShownForSessionEnd = true;
        // Queued like any restore, not activated (none of them was asked for in particular), and
        // without the caption animation: nobody watches it while the system waits on every
        // program's answer.
        desktop_.ShowAsync(info->Handle, RestoreCommandFor(info->StateOnExit, false));
    }
}

void Hider::HideAgainAfterCancelledEnd() {
    // The objects stay where they are while the list is thinned, so these stay valid.
    std::vector<HiddenWindow*> shown;
    const bool dropped = DropRecords([&](HiddenWindow& info) {
        if (!info.ShownForSessionEnd) return false;
        info.ShownForSessionEnd = false;
        if (!StillOurs(info)) return true;
        shown.push_back(&info);
        return false;
    });
    // The command of a first hide; its recorded state stays the one it comes back in.
    for (HiddenWindow* info : shown) {
        info->HideArrived = false;
        desktop_.ShowAsync(info->Handle, ShowCommand::Hide);
        info->HideArrived = !desktop_.IsVisible(info->Handle);
    }
    if (dropped) ListChanged(true);
}

void Hider::ForgetShownForSessionEnd() {
    if (DropRecords([](const HiddenWindow& info) { return info.ShownForSessionEnd; })) {
        ListChanged(true);
    }
}

bool Hider::ShownForSessionEnd() const {
    return std::any_of(hiddenList_.begin(), hiddenList_.end(),
                       [](const auto& p) { return p->ShownForSessionEnd; });
}

}  // namespace quenvix::core
