#pragma once
// Hiding other programs' windows and getting them back: which windows go, what is remembered
// about each, the restore command for each show state, the hidden list kept in hiding order,
// and the crash-recovery record that lets a restarted program take them back.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/desktop.h"

namespace quenvix::core {

class TMyRegistry;

// Show state just before hiding.
inline constexpr std::uint8_t kStateNormal = 0;
inline constexpr std::uint8_t kStateMinimized = 1;
inline constexpr std::uint8_t kStateMaximized = 2;

// Characters of the caption shown in a hidden window's menu entry.
inline constexpr std::size_t kEntryTextLength = 32;

// One hidden window.
struct THidenInfo {
    WindowId Handle = kNoWindow;
    std::uint8_t State = kStateNormal;
    std::string Caption;  // whole, as it was at hiding time
    WindowOrigin Origin;  // to tell the window from a later one that got its handle
    std::unique_ptr<WindowPicture> Picture;
};

// The text of a record's menu entry: the first 32 characters of its caption.
std::string EntryText(const THidenInfo& info);

// The first command that brings a window back in its former state; false for a state we never
// record (nothing is issued then).
bool RestoreCommandFor(std::uint8_t state, ShowCommand& command);

// The hidden-window entries of the tray menu, one per record in list order. The hider keeps
// them in step with its list; the shell draws them.
class HiddenEntries {
  public:
    virtual ~HiddenEntries() = default;
    virtual void Append(const THidenInfo& info, const std::string& text) = 0;
    virtual void Remove(const THidenInfo& info) = 0;
    virtual void Clear() = 0;
};

// The program's own windows, which are never hidden.
struct OwnWindows {
    WindowId settingsWindow = kNoWindow;
    WindowId ownerWindow = kNoWindow;
};

class Hider {
  public:
    // `store` keeps the crash-recovery record and `entries` mirrors the list; both may be null.
    Hider(Desktop& desktop, TMyRegistry* store, HiddenEntries* entries, OwnWindows own);
    Hider(const Hider&) = delete;
    Hider& operator=(const Hider&) = delete;

    // 0 hides the active program, 1 every program, anything else nothing.
    void HotKeyPressed(std::uint16_t index);
    // Hides the root of the foreground window's owner chain.
    void HideActiveWindow();
    // Hides every visible, unowned, non-tool top-level window, in the system's order.
    void HideAllWindows();
    // Records and hides one window; false when it is one that is never hidden.
    bool HideWindow(WindowId window);

    // Forgets windows that came back by themselves, died, or whose handle now names another
    // program's window; then rebuilds the menu entries from the list.
    void RefreshHiddenMenu();
    // Shows the record's window in its former state and forgets the record (with its entry).
    void RestoreWindow(const THidenInfo& info);
    // Restores every window in list order, letting pending messages run before each one; a
    // window hidden meanwhile is restored by the same run. The message runner answers false when
    // the run must stop (the program is closing); nothing here is touched after that.
    void Restoreall1Click(const std::function<bool()>& processMessages);
    // Restores everything, earliest first, and leaves the recovery record empty.
    void RestoreAllOnExit();

    // Takes back the windows that a previous run of the program left hidden, as if it had
    // just hidden them; forgets every entry that does not name such a window.
    void AdoptRecovered();

    const std::vector<std::unique_ptr<THidenInfo>>& FHiddenList() const { return hiddenList_; }
    std::size_t HiddenCount() const { return hiddenList_.size(); }
    // The record at `index` in list order, null when out of range.
    const THidenInfo* RecordAt(std::size_t index) const;

  private:
    bool IsExcluded(WindowId window);
    WindowId RootOwner(WindowId window);
    bool StillOurs(const THidenInfo& info);
    void Command(WindowId window, ShowCommand command);
    void Record(std::unique_ptr<THidenInfo> info, bool saveRecovery);
    void Forget(const THidenInfo& info);
    void SaveRecovery();

    Desktop& desktop_;
    TMyRegistry* store_;
    HiddenEntries* entries_;
    OwnWindows own_;
    std::vector<std::unique_ptr<THidenInfo>> hiddenList_;
};

}  // namespace quenvix::core
