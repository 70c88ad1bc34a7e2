#pragma once
// The hidden windows' captions kept current without asking every window at each opening of the
// menu: the system tells us of each change. One out-of-context WinEvent hook per program that
// has a window listed, so that no other program's captions wake us. Out of context, the events
// come to the thread that set the hooks with its messages; nothing is injected anywhere.
// Windows sends EVENT_OBJECT_NAMECHANGE for a window object's text
// (https://learn.microsoft.com/windows/win32/winauto/event-constants); Wine 8 does not, and
// there an entry keeps the caption of the hiding time.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_map>

#include "core/hider.h"
#include "win/win_event_hook.h"

namespace quenvix::win {

// Stands between the hider and the menu's entries: passes every change of the list on to
// `entries`, and follows the programs of the listed windows meanwhile.
class CaptionWatch final : public core::HiddenEntries {
  public:
    // `changed` hears the handle of every window of a followed program whose caption changed;
    // whether it is a listed one is its business.
    CaptionWatch(core::HiddenEntries& entries, std::function<void(core::WindowId)> changed);
    ~CaptionWatch() override;
    CaptionWatch(const CaptionWatch&) = delete;
    CaptionWatch& operator=(const CaptionWatch&) = delete;

    void Append(const core::HiddenWindow& info, const std::string& text) override;
    void Remove(const core::HiddenWindow& info) override;
    void Clear() override;
    void Redescribe(const core::HiddenWindow& info, const std::string& text) override;

    std::size_t FollowedPrograms() const { return programs_.size(); }
    // The hook that follows a program, null when none does.
    HWINEVENTHOOK HookOf(std::uint32_t processId) const {
        const auto it = programs_.find(processId);
        return it == programs_.end() ? nullptr : it->second.hook.get();
    }

    static void CALLBACK OnEvent(HWINEVENTHOOK hook, DWORD event, HWND window, LONG idObject,
                                 LONG idChild, DWORD eventThread, DWORD eventTime) noexcept;

  private:
    struct Program {
        UniqueWinEventHook hook;
        std::size_t windows = 0;
    };
    void Follow(std::uint32_t processId);
    void Unfollow(std::uint32_t processId);

    core::HiddenEntries& entries_;
    std::function<void(core::WindowId)> changed_;
    std::unordered_map<const core::HiddenWindow*, std::uint32_t> processOf_;
    std::unordered_map<std::uint32_t, Program> programs_;
};

}  // namespace quenvix::win
