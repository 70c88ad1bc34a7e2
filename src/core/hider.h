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
#include <vector>

#include "core/ports/desktop.h"
#include "core/ports/hidden_list_observer.h"
#include "core/recovery.h"

namespace quenvix::core {

class SettingsStore;

// Show state just before hiding.
inline constexpr std::uint8_t kStateNormal = 0;
inline constexpr std::uint8_t kStateMinimized = 1;
inline constexpr std::uint8_t kStateMaximized = 2;

// Characters of the caption shown in a hidden window's menu entry.
inline constexpr std::size_t kEntryTextLength = 32;

// Milliseconds since any fixed start; only differences between two readings are used.
using MillisecondClock = std::function<std::uint64_t()>;

// How long our queued hide may take to reach a window before the window showing counts as
// brought back by its own program. One second over the system's five seconds after which a
// window that does not pump counts as hung, so that a window busy with our hide is covered by
// one rule or the other all along.
inline constexpr std::uint64_t kHideArrivalMs = 6000;

// One hidden window.
struct HiddenWindow {
    WindowId Handle = kNoWindow;
    std::uint8_t State = kStateNormal;
    std::string Caption;  // whole, as it was at hiding time
    WindowOrigin Origin;  // to tell the window from a later one that got its handle
    std::unique_ptr<WindowPicture> Picture;
    // When the hide commands were queued (or the record adopted), and whether the window has
    // since been seen hidden and minimised, as they leave it. Until then a window that still
    // shows may simply not have got to our commands yet.
    std::uint64_t HiddenAt = 0;
    bool HideArrived = false;
    // Shown again while the session asks to end, still listed: hidden again should the end be
    // cancelled.
    bool ShownForSessionEnd = false;
};

// The text of a record's menu entry: the first 32 characters of its caption.
std::string EntryText(const HiddenWindow& info);

// The first command that brings a window back in its former state; false for a state we never
// record (nothing is issued then).
bool RestoreCommandFor(std::uint8_t state, ShowCommand& command);

// The hidden-window entries of the tray menu, one per record in list order. The hider keeps
// them in step with its list; the shell draws them.
class HiddenEntries {
  public:
    virtual ~HiddenEntries() = default;
    virtual void Append(const HiddenWindow& info, const std::string& text) = 0;
    virtual void Remove(const HiddenWindow& info) = 0;
    virtual void Clear() = 0;
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
    // null. Without a clock, the standard steady clock is read.
    Hider(Desktop& desktop, SettingsStore* store, HiddenEntries* entries, OwnWindows own,
          HiddenListObserver* observer = nullptr, MillisecondClock clock = {},
          std::string recoveryValue = std::string(kRecoveryValue));
    Hider(const Hider&) = delete;
    Hider& operator=(const Hider&) = delete;

    // Hides the root of the foreground window's owner chain.
    void HideActiveWindow();
    // Hides every visible, unowned top-level window that is not spared (see WhySpared), in the
    // system's order.
    void HideAllWindows();
    // Records and hides one window; false when it is one that is never hidden.
    bool HideWindow(WindowId window);
    // Hides a window that has just been minimised (a rule sends it to the tray instead): it is
    // recorded in `formerState`, the state it comes back in, without the caption animation.
    bool HideMinimizedWindow(WindowId window, std::uint8_t formerState);
    bool IsHidden(WindowId window) const;
    // Told of every window the user brings back (menu, hotkey, "Restore all").
    void SetBroughtBackHandler(std::function<void(WindowId)> handler) {
        broughtBack_ = std::move(handler);
    }

    // Forgets windows that came back by themselves, died, or whose handle now names another
    // program's window; then rebuilds the menu entries from the list. A window still showing
    // because our hide has not reached it yet (it is busy or hung) is kept.
    void RefreshHiddenMenu();
    // Shows the record's window in its former state and forgets the record (with its entry).
    void RestoreWindow(const HiddenWindow& info);
    // Restores the most recently hidden window that is still hidden and still the same window,
    // forgetting on the way every newer record whose window died, changed hands or was shown by
    // its program. False when nothing was left to restore.
    bool RestoreLastHidden();
    // Restores every window in list order, letting pending messages run before each one; a
    // window hidden meanwhile is restored by the same run. The message runner answers false when
    // the run must stop (the program is closing); nothing here is touched after that.
    void RestoreAll(const std::function<bool()>& processMessages);
    // Restores everything, earliest first, and leaves the recovery record empty.
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

    // Takes back the windows that a previous run of the program left hidden, as if it had
    // just hidden them; forgets every entry that does not name such a window. One that shows
    // is taken back too: the previous run may have ended before its hide reached the window,
    // and the menu refresh drops it once the hide had time to arrive.
    void AdoptRecovered();

    const std::vector<std::unique_ptr<HiddenWindow>>& HiddenList() const { return hiddenList_; }
    std::size_t HiddenCount() const { return hiddenList_.size(); }
    // The record at `index` in list order, null when out of range.
    const HiddenWindow* RecordAt(std::size_t index) const;

  private:
    bool Hide(WindowId window, std::optional<std::uint8_t> formerState);
    // The three steps of a hide. The record is listed without caption or icon (null when the
    // window is never hidden or is gone); the hide is queued (false, and the record dropped,
    // when the window closed meanwhile); then the minimise behind it; then the caption, the
    // icon and the menu entry, read once the window is on its way out.
    HiddenWindow* StartRecord(WindowId window, std::optional<std::uint8_t> formerState);
    bool QueueHide(HiddenWindow& info, bool animate);
    void QueueMinimizedHide(HiddenWindow& info);
    void Describe(HiddenWindow& info);
    bool IsExcluded(WindowId window);
    WindowId RootOwner(WindowId window);
    bool StillOurs(const HiddenWindow& info);
    bool ShownByItsProgram(HiddenWindow& info);
    bool HiddenAsLeft(WindowId window);
    void Record(std::unique_ptr<HiddenWindow> info, bool saveRecovery);
    void Forget(const HiddenWindow& info);
    void ListChanged(bool saveRecovery);
    std::vector<RecoveryEntry> RecoveryEntries() const;
    void SaveRecovery(const std::vector<RecoveryEntry>& entries);

    Desktop& desktop_;
    SettingsStore* store_;
    HiddenEntries* entries_;
    OwnWindows own_;
    HiddenListObserver* observer_;
    MillisecondClock clock_;
    std::string recoveryValue_;
    std::vector<std::unique_ptr<HiddenWindow>> hiddenList_;
    std::function<void(WindowId)> broughtBack_;
};

}  // namespace quenvix::core
