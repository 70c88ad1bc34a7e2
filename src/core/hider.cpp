#include "core/hider.h"

#include <algorithm>
#include <chrono>

#include "core/error.h"
#include "core/recovery.h"
#include "core/settings_store.h"
#include "core/spared_windows.h"
#include "core/text.h"

namespace quenvix::core {
namespace {}  // namespace

bool SameOwner(const WindowOrigin& then, const WindowOrigin& now) {
    if (then.processId != now.processId || then.threadId != now.threadId) return false;
    // A start time that could not be read (access denied, say) proves nothing either way.
    if (then.processStartTime == 0 || now.processStartTime == 0) return true;
    return then.processStartTime == now.processStartTime;
}

std::string EntryText(const HiddenWindow& info) {
    return FirstCharacters(info.Caption, kEntryTextLength);
}

bool RestoreCommandFor(std::uint8_t state, ShowCommand& command) {
    switch (state) {
        case kStateNormal:
            command = ShowCommand::Restore;
            return true;
        case kStateMinimized:
            command = ShowCommand::Show;
            return true;
        case kStateMaximized:
            command = ShowCommand::ShowMaximized;
            return true;
        default:
            return false;
    }
}

Hider::Hider(Desktop& desktop, SettingsStore* store, HiddenEntries* entries, OwnWindows own,
             HiddenListObserver* observer, MillisecondClock clock, std::string recoveryValue)
    : desktop_(desktop),
      store_(store),
      entries_(entries),
      own_(own),
      observer_(observer),
      clock_(std::move(clock)),
      recoveryValue_(std::move(recoveryValue)) {
    if (!clock_) {
        clock_ = [] {
            using namespace std::chrono;
            return static_cast<std::uint64_t>(
                duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
        };
    }
}

void Hider::HideActiveWindow() {
    const WindowId foreground = desktop_.ForegroundWindow();
    if (foreground == kNoWindow) return;
    const auto windows = desktop_.TopLevelWindows();
    if (std::find(windows.begin(), windows.end(), foreground) == windows.end()) return;
    HideWindow(RootOwner(foreground));
}

WindowId Hider::RootOwner(WindowId window) {
    // The desktop window owns nothing worth hiding: the chain ends below it.
    const WindowId desktopWindow = desktop_.DesktopWindow();
    for (int step = 0; step < kOwnerChainLimit; ++step) {
        const WindowId owner = desktop_.Owner(window);
        if (owner == kNoWindow || owner == desktopWindow || owner == window) break;
        window = owner;
    }
    return window;
}

void Hider::HideAllWindows() {
    // Collect first: hiding changes what the enumeration would see next.
    const WindowId desktopWindow = desktop_.DesktopWindow();
    std::vector<WindowId> chosen;
    for (const WindowId w : desktop_.TopLevelWindows()) {
        if (!desktop_.IsVisible(w)) continue;
        const WindowId owner = desktop_.Owner(w);
        if (owner != kNoWindow && owner != desktopWindow) continue;
        chosen.push_back(w);
    }
    std::vector<HiddenWindow*> started;
    for (const WindowId w : chosen) {
        if (HiddenWindow* info = StartRecord(w, std::nullopt)) started.push_back(info);
    }
    if (started.empty()) return;
    // The whole list is written down once, before any window disappears.
    ListChanged(true);
    // Each window's first command goes out before any window's second: every one of them is
    // gone from the screen as soon as its program gets to one command, not three. The bottom
    // window goes first: hiding the active window hands the activation to the next one down,
    // and top first that handing-on would run through every window in turn.
    for (auto it = started.rbegin(); it != started.rend(); ++it) {
        if (!QueueHide(**it, true)) *it = nullptr;  // closed meanwhile: its record is gone
    }
    std::erase(started, nullptr);
    for (HiddenWindow* info : started) QueueMinimizedHide(*info);
    for (HiddenWindow* info : started) Describe(*info);
    ListChanged(true);
}

bool Hider::IsExcluded(WindowId window) {
    if (window == own_.settingsWindow || window == own_.ownerWindow) return true;
    // The same list the rules go by.
    return WhySpared(desktop_.Traits(window)) != Spared::No;
}

bool Hider::HideWindow(WindowId window) {
    return Hide(window, std::nullopt);
}

bool Hider::HideMinimizedWindow(WindowId window, std::uint8_t formerState) {
    return Hide(window, formerState);
}

bool Hider::IsHidden(WindowId window) const {
    return std::any_of(hiddenList_.begin(), hiddenList_.end(),
                       [&](const auto& p) { return p->Handle == window; });
}

bool Hider::Hide(WindowId window, std::optional<std::uint8_t> formerState) {
    HiddenWindow* info = StartRecord(window, formerState);
    if (!info) return false;
    // Written down before the window disappears, so a crash from here on cannot lose it.
    ListChanged(true);
    if (!QueueHide(*info, !formerState)) return false;
    QueueMinimizedHide(*info);
    Describe(*info);
    ListChanged(true);
    return true;
}

HiddenWindow* Hider::StartRecord(WindowId window, std::optional<std::uint8_t> formerState) {
    if (window == kNoWindow || IsExcluded(window)) return nullptr;
    if (!desktop_.Exists(window)) return nullptr;
    // Only what the system knows without asking the window's program: the caption and the icon
    // wait until the hide is on its way, so a key press is answered first.
    auto info = std::make_unique<HiddenWindow>();
    info->Handle = window;
    info->Origin = desktop_.Origin(window);
    info->State = formerState                 ? *formerState
                  : desktop_.IsIconic(window) ? kStateMinimized
                  : desktop_.IsZoomed(window) ? kStateMaximized
                                              : kStateNormal;
    info->HiddenAt = clock_();
    hiddenList_.push_back(std::move(info));
    return hiddenList_.back().get();
}

bool Hider::QueueHide(HiddenWindow& info, bool animate) {
    const WindowId window = info.Handle;
    // Closed since it was chosen (hide-all hides one window after another).
    if (!desktop_.Exists(window)) {
        std::erase_if(hiddenList_, [&](const auto& p) { return p.get() == &info; });
        ListChanged(true);
        return false;
    }
    // A window on its way to the taskbar is not drawn towards the tray as well.
    if (animate && info.State != kStateMinimized) desktop_.AnimateTray(window, false);
    // Every command is queued to the window's own thread: a direct one waits for that thread,
    // and a program slow to handle it (or hung) would stall us all that time. The queue keeps
    // their order, so the window still ends up hidden and minimised, once it gets to them.
    desktop_.ShowAsync(window, ShowCommand::Hide);
    return true;
}

void Hider::QueueMinimizedHide(HiddenWindow& info) {
    desktop_.ShowAsync(info.Handle, ShowCommand::Minimize);
    desktop_.ShowAsync(info.Handle, ShowCommand::Hide);
    // Carried out already when the window is one of this thread's (or a test's).
    info.HideArrived = HiddenAsLeft(info.Handle);
}

void Hider::Describe(HiddenWindow& info) {
    info.Caption = desktop_.Caption(info.Handle);
    info.Picture = desktop_.Picture(info.Handle);
    if (entries_) entries_->Append(info, EntryText(info));
}

bool Hider::HiddenAsLeft(WindowId window) {
    return !desktop_.IsVisible(window) && desktop_.IsIconic(window);
}

bool Hider::ShownByItsProgram(HiddenWindow& info) {
    // We showed it ourselves, and it goes back into hiding if the session goes on.
    if (info.ShownForSessionEnd) return false;
    const WindowId window = info.Handle;
    if (!desktop_.IsVisible(window)) {
        if (!info.HideArrived) info.HideArrived = desktop_.IsIconic(window);
        return false;
    }
    // Our hide may still wait in the window's queue: the window is only slow to get to it.
    if (!info.HideArrived && clock_() - info.HiddenAt < kHideArrivalMs) return false;
    // A window that stopped answering has not got to it either.
    return !desktop_.IsHung(window);
}

bool Hider::StillOurs(const HiddenWindow& info) {
    return desktop_.Exists(info.Handle) && SameOwner(info.Origin, desktop_.Origin(info.Handle));
}

void Hider::RefreshHiddenMenu() {
    bool dropped = false;
    for (auto i = hiddenList_.size(); i-- > 0;) {
        HiddenWindow& info = *hiddenList_[i];
        if (!StillOurs(info) || ShownByItsProgram(info)) {
            hiddenList_.erase(hiddenList_.begin() + static_cast<std::ptrdiff_t>(i));
            dropped = true;
        }
    }
    if (entries_) {
        entries_->Clear();
        for (const auto& info : hiddenList_) entries_->Append(*info, EntryText(*info));
    }
    if (dropped) ListChanged(true);
}

void Hider::RestoreWindow(const HiddenWindow& info) {
    const auto it = std::find_if(hiddenList_.begin(), hiddenList_.end(),
                                 [&](const auto& p) { return p.get() == &info; });
    if (it == hiddenList_.end()) return;

    // A window that died, or whose handle now names someone else's window, is only forgotten:
    // showing a stranger's hidden window would be worse than doing nothing.
    if (StillOurs(info)) {
        const WindowId window = info.Handle;
        if (info.State != kStateMinimized) desktop_.AnimateTray(window, true);
        // Queued like the hide, behind it if the window has not got to the hide yet.
        ShowCommand first{};
        if (RestoreCommandFor(info.State, first)) desktop_.ShowAsync(window, first);
        desktop_.ShowAsync(window, ShowCommand::Show);
        if (broughtBack_) broughtBack_(window);
    }
    Forget(info);
}

bool Hider::RestoreLastHidden() {
    while (!hiddenList_.empty()) {
        HiddenWindow& last = *hiddenList_.back();
        if (StillOurs(last) && !ShownByItsProgram(last)) {
            RestoreWindow(last);
            return true;
        }
        // Pressed again, the key must reach the one before, not stop at a window already gone.
        Forget(last);
    }
    return false;
}

void Hider::RestoreAll(const std::function<bool()>& processMessages) {
    // The list is looked at afresh after every message run: those messages may have hidden,
    // restored or dropped windows.
    for (;;) {
        if (processMessages && !processMessages()) return;
        if (hiddenList_.empty()) break;
        RestoreWindow(*hiddenList_.front());
    }
}

void Hider::RestoreAllOnExit() {
    while (!hiddenList_.empty()) RestoreWindow(*hiddenList_.front());
    SaveRecovery(RecoveryEntries());
}

void Hider::ShowForSessionEnd() {
    for (const auto& info : hiddenList_) {
        if (info->ShownForSessionEnd || !StillOurs(*info)) continue;
        info->ShownForSessionEnd = true;
        // Queued like any restore, and without the caption animation: nobody watches it while
        // the system waits on every program's answer.
        ShowCommand first{};
        if (RestoreCommandFor(info->State, first)) desktop_.ShowAsync(info->Handle, first);
        desktop_.ShowAsync(info->Handle, ShowCommand::Show);
    }
}

void Hider::HideAgainAfterCancelledEnd() {
    bool dropped = false;
    std::vector<HiddenWindow*> shown;
    for (auto i = hiddenList_.size(); i-- > 0;) {
        HiddenWindow& info = *hiddenList_[i];
        if (!info.ShownForSessionEnd) continue;
        info.ShownForSessionEnd = false;
        if (StillOurs(info)) {
            shown.push_back(&info);
            continue;
        }
        if (entries_) entries_->Remove(info);
        hiddenList_.erase(hiddenList_.begin() + static_cast<std::ptrdiff_t>(i));
        dropped = true;
    }
    // The commands of a first hide, so that each window is left hidden and minimised as before;
    // its recorded state stays the one it comes back in.
    for (HiddenWindow* info : shown) {
        info->HiddenAt = clock_();
        desktop_.ShowAsync(info->Handle, ShowCommand::Hide);
        QueueMinimizedHide(*info);
    }
    if (dropped) ListChanged(true);
}

void Hider::ForgetShownForSessionEnd() {
    const auto shown = [](const auto& p) { return p->ShownForSessionEnd; };
    if (std::none_of(hiddenList_.begin(), hiddenList_.end(), shown)) return;
    if (entries_) {
        for (const auto& info : hiddenList_) {
            if (info->ShownForSessionEnd) entries_->Remove(*info);
        }
    }
    std::erase_if(hiddenList_, shown);
    ListChanged(true);
}

bool Hider::ShownForSessionEnd() const {
    return std::any_of(hiddenList_.begin(), hiddenList_.end(),
                       [](const auto& p) { return p->ShownForSessionEnd; });
}

const HiddenWindow* Hider::RecordAt(std::size_t index) const {
    return index < hiddenList_.size() ? hiddenList_[index].get() : nullptr;
}

void Hider::AdoptRecovered() {
    if (!store_) return;
    std::string text;
    try {
        text = store_->ReadString(kRecoverySection, recoveryValue_, "");
    } catch (const Error&) {
        // A value of the wrong type is as good as none; it is rewritten below.
    }
    for (const RecoveryEntry& e : DecodeRecovery(text)) {
        const bool known = std::any_of(hiddenList_.begin(), hiddenList_.end(),
                                       [&](const auto& p) { return p->Handle == e.handle; });
        if (known || !desktop_.Exists(e.handle)) continue;
        const WindowOrigin now = desktop_.Origin(e.handle);
        if (!SameOwner(e.origin, now) || IsExcluded(e.handle)) continue;

        auto info = std::make_unique<HiddenWindow>();
        info->Handle = e.handle;
        info->State = e.state;
        info->Origin = now;
        info->Caption = desktop_.Caption(e.handle);
        if (info->Caption.empty()) info->Caption = e.caption;
        info->Picture = desktop_.Picture(e.handle);
        // A window that shows gets the same time for our hide to arrive as one hidden just now.
        info->HiddenAt = clock_();
        info->HideArrived = HiddenAsLeft(e.handle);
        Record(std::move(info), false);
    }
    // Rewritten even when nothing changed here: entries that named no such window go.
    SaveRecovery(RecoveryEntries());
}

void Hider::Record(std::unique_ptr<HiddenWindow> info, bool saveRecovery) {
    hiddenList_.push_back(std::move(info));
    const HiddenWindow& added = *hiddenList_.back();
    if (entries_) entries_->Append(added, EntryText(added));
    ListChanged(saveRecovery);
}

void Hider::Forget(const HiddenWindow& info) {
    if (entries_) entries_->Remove(info);
    std::erase_if(hiddenList_, [&](const auto& p) { return p.get() == &info; });
    ListChanged(true);
}

void Hider::ListChanged(bool saveRecovery) {
    const auto entries = RecoveryEntries();
    if (observer_) observer_->HiddenListChanged(entries);
    if (saveRecovery) SaveRecovery(entries);
}

std::vector<RecoveryEntry> Hider::RecoveryEntries() const {
    std::vector<RecoveryEntry> entries;
    entries.reserve(hiddenList_.size());
    for (const auto& info : hiddenList_) {
        entries.push_back({info->Handle, info->Origin, info->State, info->Caption});
    }
    return entries;
}

void Hider::SaveRecovery(const std::vector<RecoveryEntry>& entries) {
    if (!store_) return;
    try {
        store_->WriteString(kRecoverySection, recoveryValue_, EncodeRecovery(entries));
    } catch (const std::exception&) {
        // The record is a safety net; failing to update it must not stop a window from being
        // hidden or shown. Whether and how the user hears of it is the observer's business.
        if (observer_) observer_->RecoveryWriteFailed();
    }
}

}  // namespace quenvix::core
