#pragma once
// Hiding other programs' windows and getting them back: which windows go, what is remembered
// about each, the restore command for each show state, the hidden list kept in hiding order,
// and the crash-recovery record that lets a restarted program take them back.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/ports/desktop.h"
#include "core/ports/hidden_list_observer.h"
#include "core/recovery.h"

namespace quenvix::core {

class SettingsStore;

// Characters of the caption shown in a hidden window's menu entry.
inline constexpr std::size_t kEntryTextLength = 32;

// One hidden window.
struct HiddenWindow {
    // In hiding order across the run: a later hide has a larger serial.
    std::uint64_t Serial = 0;
    WindowId Handle = kNoWindow;
    ShowState State = ShowState::Normal;  // as it comes back when the user brings it back
    // As it comes back at Exit, the session's end, a crash or a kill: the same, except for a
    // window a "minimise" rule took, which the user left minimised.
    ShowState StateOnExit = ShowState::Normal;
    std::string Caption;  // whole, as it was at hiding time
    WindowOrigin Origin;  // to tell the window from a later one that got its handle
    std::unique_ptr<WindowPicture> Picture;
    // Whether the window has been seen hidden, as our command leaves it. Until then a window that
    // still shows may simply not have got to it yet, however long that takes: a program can
    // answer messages and still leave its queued show commands waiting. From then on, a window
    // that shows was shown by its own program.
    bool HideArrived = false;
    // Shown again while the session asks to end, still listed: hidden again should the end be
    // cancelled.
    bool ShownForSessionEnd = false;
    // The window has changed its caption since it was read; the entry shows the new one from
    // the next refresh on.
    bool CaptionChanged = false;
};

// A show command the system would not carry out: the window runs with higher rights than ours.
struct RefusedCommand {
    WindowId window = kNoWindow;
    std::string caption;  // names the window's program to the user
    // A refused hide leaves the window where it is, unrecorded; a refused restore keeps the
    // record, to be tried again at the next restore and at the exit.
    bool hiding = false;
    // The first refused hide of this window: the user hears of it once, not at every attempt.
    bool firstForWindow = false;
};

// How the start's take-back of an earlier run's record went.
enum class TakeBack { Done, Unreadable };

// The text of a record's menu entry: the first 32 characters of its caption.
std::string EntryText(const HiddenWindow& info);

// The one command that brings a hidden window back in `state`: activated when `activate` (the
// one window the user chose), never for a window that comes back minimised, which must not take
// the keyboard where the user cannot see it.
ShowCommand RestoreCommandFor(ShowState state, bool activate);

// The hidden-window entries of the tray menu, one per record in list order. The hider keeps
// them in step with its list; the shell draws them.
class HiddenEntries {
  public:
    virtual ~HiddenEntries() = default;
    virtual void Append(const HiddenWindow& info, const std::string& text) = 0;
    virtual void Remove(const HiddenWindow& info) = 0;
    virtual void Clear() = 0;
    // The window took another caption, and its picture was read again with it (a program that
    // renames its window often changes its icon too); entries that show neither may let it pass.
    virtual void Redescribe(const HiddenWindow& /*info*/, const std::string& /*text*/) {}
};

// The program's own windows, which are never hidden.
struct OwnWindows {
    WindowId settingsWindow = kNoWindow;
    WindowId ownerWindow = kNoWindow;
};

class Hider {
  public:
    // `store` keeps the crash-recovery record (under `recoveryValue` of the recovery section),
    // `entries` mirrors the list and `observer` hears of every change of it; all three may be
    // null.
    Hider(Desktop& desktop, SettingsStore* store, HiddenEntries* entries, OwnWindows own,
          HiddenListObserver* observer = nullptr,
          std::string recoveryValue = std::string(kRecoveryValue));
    Hider(const Hider&) = delete;
    Hider& operator=(const Hider&) = delete;

    // Hides the root of the foreground window's owner chain.
    void HideActiveWindow();
    // Hides every window with a taskbar button, in the system's order: visible, not spared (see
    // WhySpared: tool windows, cloaked ones, the shell's …), and unowned or asking for a button
    // of its own with the app-window style ("The Taskbar", learn.microsoft.com: "an owned
    // window ... with WS_EX_APPWINDOW" has one).
    void HideAllWindows();
    // Records and hides one window; false when it is one that is never hidden.
    bool HideWindow(WindowId window);
    // Hides a window that has just been minimised (a rule sends it to the tray instead), without
    // the caption animation: the user brings it back in `formerState`; at Exit, the session's
    // end, a crash or a kill it comes back minimised, as the user left it.
    bool HideMinimizedWindow(WindowId window, ShowState formerState);
    bool IsHidden(WindowId window) const;
    // Told of every window the user brings back (menu, hotkey, "Restore all"), and whether it
    // was the one window chosen, shown activated: it is to take the keyboard.
    void SetBroughtBackHandler(std::function<void(WindowId, bool chosen)> handler) {
        broughtBack_ = std::move(handler);
    }
    // Told of every show command the system refused, as it happens (in the middle of a hide-all
    // too: nothing that waits for the user may run from it).
    void SetRefusedHandler(std::function<void(const RefusedCommand&)> handler) {
        refused_ = std::move(handler);
    }

    // Forgets windows that died, whose handle now names another program's window, or that were
    // seen hidden and have since been shown by their own program; their menu entries go with
    // them. A window still showing because our hide has not reached it yet stays, however long
    // that takes.
    void RefreshHiddenMenu();
    // A listed window changed its caption: read again at the next refresh, for that window
    // only. Any other window is no business of ours.
    void CaptionChanged(WindowId window);
    // Shows the record's window in its former state and forgets the record (with its entry).
    // False when the system refused: the record stays.
    bool RestoreWindow(const HiddenWindow& info);
    // Restores the most recently hidden window that is still ours, forgetting on the way every
    // newer record whose window died, changed hands or was shown by its program, and passing
    // over (keeping) one whose restore is refused. False when nothing could be restored.
    bool RestoreLastHidden();
    // Restores every window in list order, letting pending messages run before each one; a
    // window hidden meanwhile stays hidden, a refused one is tried once, and a HideAllWindows
    // meanwhile ends the run. The
    // message runner answers false when the run must stop (the program is closing); nothing
    // here is touched after that.
    void RestoreAll(const std::function<bool()>& processMessages);
    // Restores everything, earliest first; the record keeps only the windows whose restore was
    // refused, for the next start.
    void RestoreAllOnExit();

    // The session asks to end: every listed window that is still ours is shown in its former
    // state, earliest first, so that its program can ask its questions where the user sees them.
    // The list, the entries and the recovery record stay as they are: the end may be cancelled.
    void ShowForSessionEnd();
    // The end was cancelled: the windows shown for it are hidden again, in their recorded states,
    // and stay listed; a window that closed or changed hands meanwhile is forgotten.
    void HideAgainAfterCancelledEnd();
    // The end goes ahead: the windows shown for it are already back and are forgotten.
    void ForgetShownForSessionEnd();
    bool ShownForSessionEnd() const;

    // Takes back the windows that earlier runs of the program left hidden, from every record of
    // this session (see CollectRecords), as if it had just hidden them; forgets every entry that
    // does not name such a window, and every window that shows. A record that cannot be read is
    // left as it is (Unreadable), and this run keeps its own under another name.
    TakeBack AdoptRecovered();
    // The value this run keeps its record under.
    const std::string& RecoveryValue() const { return recoveryValue_; }

    const std::vector<std::unique_ptr<HiddenWindow>>& HiddenList() const { return hiddenList_; }
    std::size_t HiddenCount() const { return hiddenList_.size(); }
    // The record at `index` in list order, null when out of range.
    const HiddenWindow* RecordAt(std::size_t index) const;

  private:
    bool Hide(WindowId window, std::optional<ShowState> formerState);
    // The steps of a hide. The record is listed without caption or icon (null when the window
    // is never hidden or is gone); the hide is queued (false, and the record dropped, when the
    // window closed meanwhile); then the caption, the icon and the menu entry, read once the
    // window is on its way out.
    HiddenWindow* StartRecord(WindowId window, std::optional<ShowState> formerState);
    bool QueueHide(HiddenWindow& info, bool animate);
    void Describe(std::size_t index);
    bool IsExcluded(WindowId window);
    WindowId RootOwner(WindowId window);
    bool StillOurs(const HiddenWindow& info);
    bool ShownByItsProgram(HiddenWindow& info);
    void Refused(WindowId window, bool hiding);
    // The first listed window hidden before `hiddenBefore` (a serial) and not `passed`.
    HiddenWindow* FirstToRestore(const std::vector<const HiddenWindow*>& passed,
                                 std::uint64_t hiddenBefore) const;
    // Who asked for a window back decides its state, its activation and its animation.
    enum class Asked {
        Chosen,  // the one window the user chose: the user's state, activated, animated
        All,     // "Restore all": the user's states, none activated or animated
        Exit,    // the program's end, the session's end, --restore-recorded: states on exit
    };
    // Issues the command that brings the record's window back, without forgetting the record;
    // false when the system refused it. A window that is no longer ours gets none.
    bool IssueRestore(const HiddenWindow& info, Asked asked);
    void Forget(const HiddenWindow& info, bool saveRecovery);
    bool Restore(const HiddenWindow& info, bool saveRecovery, Asked asked);
    // Removes every record for which `drop` holds, with its entry, in one pass; true if any.
    bool DropRecords(const std::function<bool(HiddenWindow&)>& drop);
    // Records whose window no longer exists leave at the next change of the list.
    bool DropGone();
    void ListChanged(bool saveRecovery);
    // False when the record could not be written (the observer has heard of it).
    bool SaveRecovery();
    void AddRecorded(RecoveryEntry entry);

    Desktop& desktop_;
    SettingsStore* store_;
    HiddenEntries* entries_;
    OwnWindows own_;
    HiddenListObserver* observer_;
    // The session's record name, and the one this run writes (another when that one cannot be
    // read).
    const std::string sessionValue_;
    std::string recoveryValue_;
    std::vector<std::unique_ptr<HiddenWindow>> hiddenList_;
    // The list as the record and the observer see it, kept in step with hiddenList_ so that a
    // change costs no copy of every caption.
    std::vector<RecoveryEntry> recorded_;
    std::vector<std::string> recordLines_;  // each entry's line of the record
    // Windows whose refused hide the user has heard of.
    std::vector<std::pair<WindowId, WindowOrigin>> refusalsTold_;
    // The next record's serial, and the hide-alls asked for: what a restore-all run looks at to
    // leave alone what was hidden after it began.
    std::uint64_t nextSerial_ = 0;
    std::uint64_t hideAllsAsked_ = 0;
    std::function<void(WindowId, bool)> broughtBack_;
    std::function<void(const RefusedCommand&)> refused_;
};

}  // namespace quenvix::core
