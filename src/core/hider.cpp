#include "core/hider.h"

#include <algorithm>
#include <unordered_set>

#include "core/error.h"
#include "core/recovery.h"
#include "core/settings_store.h"
#include "core/spared_windows.h"
#include "core/text.h"

namespace quenvix::core {
bool SameOwner(const WindowOrigin& then, const WindowOrigin& now) {
    if (then.processId != now.processId || then.threadId != now.threadId) return false;
    // A start time that could not be read (access denied, say) proves nothing either way.
    if (then.processStartTime == 0 || now.processStartTime == 0) return true;
    return then.processStartTime == now.processStartTime;
}

std::string EntryText(const HiddenWindow& info) {
    return FirstCharacters(info.Caption, kEntryTextLength);
}

Hider::Hider(Desktop& desktop, SettingsStore* store, HiddenEntries* entries, OwnWindows own,
             HiddenListObserver* observer, std::string recoveryValue)
    : desktop_(desktop),
      store_(store),
      entries_(entries),
      own_(own),
      observer_(observer),
      recoveryValue_(std::move(recoveryValue)) {}

void Hider::HideActiveWindow() {
    const WindowId foreground = desktop_.ForegroundWindow();
    if (foreground == kNoWindow) return;
    const auto windows = desktop_.TopLevelWindows();
    if (std::find(windows.begin(), windows.end(), foreground) == windows.end()) return;
    Hide(RootOwner(foreground), std::nullopt);
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
    const bool dropped = DropGone();
    // Collect first: hiding changes what the enumeration would see next.
    const WindowId desktopWindow = desktop_.DesktopWindow();
    std::vector<WindowId> chosen;
    for (const WindowId w : desktop_.TopLevelWindows()) {
        if (!desktop_.IsVisible(w)) continue;
        const WindowId owner = desktop_.Owner(w);
        if (owner != kNoWindow && owner != desktopWindow) continue;
        chosen.push_back(w);
    }
    const std::size_t firstStarted = hiddenList_.size();
    std::vector<HiddenWindow*> started;
    for (const WindowId w : chosen) {
        if (HiddenWindow* info = StartRecord(w, std::nullopt)) started.push_back(info);
    }
    if (started.empty()) {
        if (dropped) ListChanged(true);
        return;
    }
    // The whole list is written down once, before any window disappears.
    ListChanged(true);
    // Each window's first command goes out before any window's second: every one of them is
    // gone from the screen as soon as its program gets to one command, not three. The bottom
    // window goes first: hiding the active window hands the activation to the next one down,
    // and top first that handing-on would run through every window in turn.
    for (auto it = started.rbegin(); it != started.rend(); ++it) {
        if (!QueueHide(**it, true)) *it = nullptr;  // closed or refused: its record is gone
    }
    std::erase(started, nullptr);
    for (HiddenWindow* info : started) QueueMinimizedHide(*info);
    // Only now, with every hide on its way, the captions and pictures; then the record once more,
    // with the captions: two writes however many windows went. Only this run's records are
    // dropped meanwhile, so the list's tail is exactly the others.
    for (std::size_t i = firstStarted; i < hiddenList_.size(); ++i) Describe(i);
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

bool Hider::HideMinimizedWindow(WindowId window, ShowState formerState) {
    return Hide(window, formerState);
}

bool Hider::IsHidden(WindowId window) const {
    return std::any_of(hiddenList_.begin(), hiddenList_.end(),
                       [&](const auto& p) { return p->Handle == window; });
}

bool Hider::Hide(WindowId window, std::optional<ShowState> formerState) {
    const bool dropped = DropGone();
    HiddenWindow* info = StartRecord(window, formerState);
    if (!info) {
        if (dropped) ListChanged(true);
        return false;
    }
    // Written down before the window disappears, so a crash from here on cannot lose it.
    ListChanged(true);
    if (!QueueHide(*info, !formerState)) return false;
    QueueMinimizedHide(*info);
    Describe(hiddenList_.size() - 1);
    ListChanged(true);
    return true;
}

HiddenWindow* Hider::StartRecord(WindowId window, std::optional<ShowState> formerState) {
    if (window == kNoWindow || IsExcluded(window)) return nullptr;
    if (!desktop_.Exists(window)) return nullptr;
    // Only what the system knows without asking the window's program: the caption and the icon
    // wait until the hide is on its way, so a key press is answered first.
    auto info = std::make_unique<HiddenWindow>();
    info->Handle = window;
    info->Origin = desktop_.Origin(window);
    info->State = formerState                 ? *formerState
                  : desktop_.IsIconic(window) ? ShowState::Minimized
                  : desktop_.IsZoomed(window) ? ShowState::Maximized
                                              : ShowState::Normal;
    info->StateOnExit = formerState ? ShowState::Minimized : info->State;
    AddRecorded(MakeRecoveryEntry(info->Handle, info->Origin, info->StateOnExit, info->State, {}));
    hiddenList_.push_back(std::move(info));
    return hiddenList_.back().get();
}

bool Hider::QueueHide(HiddenWindow& info, bool animate) {
    const WindowId window = info.Handle;
    ShowResult result = ShowResult::Failed;
    // Closed since it was chosen (hide-all hides one window after another) gets no command.
    if (desktop_.Exists(window)) {
        // A window on its way to the taskbar is not drawn towards the tray as well.
        if (animate && info.State != ShowState::Minimized) desktop_.AnimateTray(window, false);
        // Every command is queued to the window's own thread: a direct one waits for that
        // thread, and a program slow to handle it (or hung) would stall us all that time. The
        // queue keeps their order, so the window still ends up hidden and minimised, once it
        // gets to them.
        result = desktop_.ShowAsync(window, ShowCommand::Hide);
    }
    if (result == ShowResult::Queued) return true;
    // Nothing of ours waits in its queue: the window stays as it is, and so unrecorded.
    DropRecords([&](const HiddenWindow& r) { return &r == &info; });
    ListChanged(true);
    if (result == ShowResult::Refused) Refused(window, true);
    return false;
}

void Hider::QueueMinimizedHide(HiddenWindow& info) {
    desktop_.ShowAsync(info.Handle, ShowCommand::Minimize);
    desktop_.ShowAsync(info.Handle, ShowCommand::Hide);
    // Carried out already when the window is one of this thread's (or a test's).
    info.HideArrived = HiddenAsLeft(info.Handle);
}

void Hider::Describe(std::size_t index) {
    HiddenWindow& info = *hiddenList_[index];
    info.Caption = desktop_.Caption(info.Handle);
    info.Picture = desktop_.Picture(info.Handle);
    recorded_[index].caption = FirstCharacters(info.Caption, kRecoveryCaptionLimit);
    recordLines_[index] = EncodeRecoveryLine(recorded_[index]);
    if (entries_) entries_->Append(info, EntryText(info));
}

void Hider::Refused(WindowId window, bool hiding) {
    RefusedCommand refusal{window, desktop_.Caption(window), hiding, false};
    if (hiding) {
        const WindowOrigin origin = desktop_.Origin(window);
        std::erase_if(refusalsTold_,
                      [&](const auto& told) { return !desktop_.Exists(told.first); });
        const bool told = std::any_of(refusalsTold_.begin(), refusalsTold_.end(), [&](auto& t) {
            return t.first == window && SameOwner(t.second, origin);
        });
        if (!told) refusalsTold_.emplace_back(window, origin);
        refusal.firstForWindow = !told;
    }
    if (refused_) refused_(refusal);
}

bool Hider::HiddenAsLeft(WindowId window) {
    return !desktop_.IsVisible(window) && desktop_.IsIconic(window);
}

bool Hider::ShownByItsProgram(HiddenWindow& info) {
    // We showed it ourselves, and it goes back into hiding if the session goes on.
    if (info.ShownForSessionEnd) return false;
    const WindowId window = info.Handle;
    // Once our hide was seen carried out, one question settles the common case, a window still
    // hidden: the menu asks it of every window each time it opens.
    if (info.HideArrived) return desktop_.IsVisible(window) && !desktop_.IsIconic(window);
    // Until our hide has been seen carried out, a window that shows has not got to it yet. And
    // one that shows minimised may be half-way through our commands (the minimise shows a
    // hidden window, the hide behind it takes it away again): only a window its program brought
    // back onto the screen after that is surely out of our hands.
    const bool iconic = desktop_.IsIconic(window);
    if (!desktop_.IsVisible(window)) info.HideArrived = iconic;
    return false;
}

bool Hider::StillOurs(const HiddenWindow& info) {
    // A window that is gone has no thread: the origin answers both questions at once.
    const WindowOrigin now = desktop_.Origin(info.Handle);
    return now.threadId != 0 && SameOwner(info.Origin, now);
}

void Hider::RefreshHiddenMenu() {
    if (DropRecords([&](HiddenWindow& r) { return !StillOurs(r) || ShownByItsProgram(r); })) {
        ListChanged(true);
    }
    // The record keeps the caption of the hiding time: it only names a window whose own caption
    // is gone at the next start, and a renaming program must not cost a registry write each time.
    for (const auto& info : hiddenList_) {
        if (!info->CaptionChanged) continue;
        info->CaptionChanged = false;
        info->Caption = desktop_.Caption(info->Handle);
        info->Picture = desktop_.Picture(info->Handle);
        if (entries_) entries_->Redescribe(*info, EntryText(*info));
    }
}

void Hider::CaptionChanged(WindowId window) {
    for (const auto& info : hiddenList_) {
        if (info->Handle == window) info->CaptionChanged = true;
    }
}

const HiddenWindow* Hider::RecordAt(std::size_t index) const {
    return index < hiddenList_.size() ? hiddenList_[index].get() : nullptr;
}

TakeBack Hider::AdoptRecovered() {
    if (!store_) return TakeBack::Done;
    const std::optional<std::string> text = ReadRecoveryText(*store_, recoveryValue_);
    if (!text) return TakeBack::Unreadable;
    std::unordered_set<WindowId> known;
    for (const auto& info : hiddenList_) known.insert(info->Handle);
    for (const RecoveryEntry& e : DecodeRecovery(*text)) {
        if (known.contains(e.handle) || !desktop_.Exists(e.handle)) continue;
        const WindowOrigin now = desktop_.Origin(e.handle);
        if (!SameOwner(e.origin, now) || IsExcluded(e.handle)) continue;
        known.insert(e.handle);

        auto info = std::make_unique<HiddenWindow>();
        info->Handle = e.handle;
        info->State = UserState(e);
        info->StateOnExit = e.state;
        info->Origin = now;
        info->Caption = desktop_.Caption(e.handle);
        if (info->Caption.empty()) info->Caption = e.caption;
        info->Picture = desktop_.Picture(e.handle);
        // One that shows may not have got to the last run's hide yet: it stays until it is
        // seen hidden, and only leaves when its program shows it after that.
        info->HideArrived = HiddenAsLeft(e.handle);
        AddRecorded(MakeRecoveryEntry(info->Handle, info->Origin, info->StateOnExit, info->State,
                                      FirstCharacters(info->Caption, kRecoveryCaptionLimit)));
        hiddenList_.push_back(std::move(info));
        if (entries_) entries_->Append(*hiddenList_.back(), EntryText(*hiddenList_.back()));
    }
    // Rewritten even when nothing changed here: entries that named no such window go.
    ListChanged(true);
    return TakeBack::Done;
}

void Hider::Forget(const HiddenWindow& info, bool saveRecovery) {
    // Windows gone meanwhile leave with it.
    DropRecords([&](const HiddenWindow& r) { return &r == &info || !desktop_.Exists(r.Handle); });
    ListChanged(saveRecovery);
}

bool Hider::DropGone() {
    return DropRecords([&](const HiddenWindow& r) { return !desktop_.Exists(r.Handle); });
}

bool Hider::DropRecords(const std::function<bool(HiddenWindow&)>& drop) {
    // One pass, keeping the order: the list and its record view move together.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < hiddenList_.size(); ++i) {
        if (drop(*hiddenList_[i])) {
            if (entries_) entries_->Remove(*hiddenList_[i]);
            continue;
        }
        if (kept != i) {
            hiddenList_[kept] = std::move(hiddenList_[i]);
            recorded_[kept] = std::move(recorded_[i]);
            recordLines_[kept] = std::move(recordLines_[i]);
        }
        ++kept;
    }
    const bool dropped = kept != hiddenList_.size();
    hiddenList_.resize(kept);
    recorded_.resize(kept);
    recordLines_.resize(kept);
    return dropped;
}

void Hider::ListChanged(bool saveRecovery) {
    if (observer_) observer_->HiddenListChanged(recorded_);
    if (saveRecovery) SaveRecovery();
}

void Hider::SaveRecovery() {
    if (!store_) return;
    // The record is a safety net; failing to update it must not stop a window from being
    // hidden or shown. Whether and how the user hears of it is the observer's business.
    const std::string text = JoinRecoveryLines(recorded_, recordLines_,
                                               [this](WindowId w) { return desktop_.Exists(w); });
    if (!WriteRecoveryText(*store_, recoveryValue_, text)) {
        if (observer_) observer_->RecoveryWriteFailed();
    }
}

void Hider::AddRecorded(RecoveryEntry entry) {
    recordLines_.push_back(EncodeRecoveryLine(entry));
    recorded_.push_back(std::move(entry));
}

}  // namespace quenvix::core
