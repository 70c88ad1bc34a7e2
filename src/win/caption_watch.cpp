#include "win/caption_watch.h"

#include <utility>
#include <vector>

#include "win/desktop.h"
#include "win/log.h"
#include "win/ui.h"

namespace quenvix::win {
namespace {

// WinEvent callbacks carry no pointer of ours; the hook handle leads to the object, on the
// thread that set it.
thread_local std::unordered_map<HWINEVENTHOOK, CaptionWatch*> watchOfHook;

}  // namespace

CaptionWatch::CaptionWatch(core::HiddenEntries& entries,
                           std::function<void(core::WindowId)> changed)
    : entries_(entries), changed_(std::move(changed)) {}

CaptionWatch::~CaptionWatch() {
    for (auto& [processId, program] : programs_) watchOfHook.erase(program.hook.get());
}

void CaptionWatch::Append(const core::HiddenWindow& info, const std::string& text) {
    entries_.Append(info, text);
    const std::uint32_t processId = info.Origin.processId;
    if (processId == 0 || !processOf_.emplace(&info, processId).second) return;
    Follow(processId);
}

void CaptionWatch::Remove(const core::HiddenWindow& info) {
    entries_.Remove(info);
    const auto it = processOf_.find(&info);
    if (it == processOf_.end()) return;
    const std::uint32_t processId = it->second;
    processOf_.erase(it);
    Unfollow(processId);
}

void CaptionWatch::Clear() {
    entries_.Clear();
    for (auto& [processId, program] : programs_) watchOfHook.erase(program.hook.get());
    programs_.clear();
    processOf_.clear();
}

void CaptionWatch::Redescribe(const core::HiddenWindow& info, const std::string& text) {
    entries_.Redescribe(info, text);
}

void CaptionWatch::Follow(std::uint32_t processId) {
    Program& program = programs_[processId];
    if (program.windows++ > 0) return;
    // Without the hook the entry keeps the caption of the hiding time, as it always did.
    program.hook.reset(SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE, nullptr,
                                       &CaptionWatch::OnEvent, processId, 0,
                                       WINEVENT_OUTOFCONTEXT));
    if (program.hook) {
        watchOfHook[program.hook.get()] = this;
    } else {
        LogLastError("SetWinEventHook for caption changes");
    }
}

void CaptionWatch::Unfollow(std::uint32_t processId) {
    const auto it = programs_.find(processId);
    if (it == programs_.end() || --it->second.windows > 0) return;
    watchOfHook.erase(it->second.hook.get());
    programs_.erase(it);
}

void CALLBACK CaptionWatch::OnEvent(HWINEVENTHOOK hook, DWORD event, HWND window, LONG idObject,
                                    LONG idChild, DWORD, DWORD) noexcept {
    Guarded(nullptr, [&] {
        // The window's own caption, not the name of one of its controls.
        if (event != EVENT_OBJECT_NAMECHANGE || idObject != OBJID_WINDOW ||
            idChild != CHILDID_SELF || !window) {
            return;
        }
        const auto it = watchOfHook.find(hook);
        if (it != watchOfHook.end() && it->second->changed_) it->second->changed_(ToId(window));
    });
}

}  // namespace quenvix::win
