#include "win/message_wait.h"

#include <algorithm>
#include <vector>

#include "win/log.h"
#include "win/ui.h"

namespace quenvix::win {

namespace {

// The message queue takes the last wait slot.
constexpr DWORD kMaxSources = MAXIMUM_WAIT_OBJECTS - 1;

thread_local std::vector<MessageWaitSource*> t_sources;

bool IsRegistered(const MessageWaitSource* source) {
    return std::find(t_sources.begin(), t_sources.end(), source) != t_sources.end();
}

DWORD TimeoutUntil(ULONGLONG deadline, ULONGLONG now) {
    if (deadline <= now) return 0;
    return static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, INFINITE - 1));
}

// Serves every source whose deadline has passed. A source may remove another while it is served,
// so each is looked up again before its turn.
void ServeOverdue() {
    const std::vector<MessageWaitSource*> sources = t_sources;
    for (MessageWaitSource* source : sources) {
        if (!IsRegistered(source)) continue;
        const ULONGLONG deadline = source->Deadline();
        if (deadline != 0 && deadline <= GetTickCount64()) source->Serve();
    }
}

}  // namespace

void AddMessageWaitSource(MessageWaitSource& source) {
    if (!IsRegistered(&source)) t_sources.push_back(&source);
}

void RemoveMessageWaitSource(MessageWaitSource& source) {
    std::erase(t_sources, &source);
}

namespace {

enum class Wake { Source, Queue, Failed };

// One wait on the sources and the queue; a source that woke it (or whose deadline passed) is
// served before this returns.
Wake WaitOnce() {
    HANDLE handles[kMaxSources];
    MessageWaitSource* owners[kMaxSources];
    DWORD count = 0;
    DWORD timeout = INFINITE;
    const ULONGLONG now = GetTickCount64();
    for (MessageWaitSource* source : t_sources) {
        if (const ULONGLONG deadline = source->Deadline()) {
            timeout = std::min(timeout, TimeoutUntil(deadline, now));
        }
        const HANDLE handle = source->WaitHandle();
        if (handle && count < kMaxSources) {
            handles[count] = handle;
            owners[count++] = source;
        }
    }
    // The sources come before the queue (a signalled handle wins over waiting input), so a
    // busy queue cannot starve them; MWMO_INPUTAVAILABLE returns at once for input that an
    // earlier peek saw but left in the queue.
    const DWORD woken =
        MsgWaitForMultipleObjectsEx(count, handles, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woken < WAIT_OBJECT_0 + count) {
        owners[woken - WAIT_OBJECT_0]->Serve();
        return Wake::Source;
    }
    if (woken == WAIT_TIMEOUT) {
        ServeOverdue();
        return Wake::Source;
    }
    if (woken == WAIT_FAILED) {
        LogLastError("MsgWaitForMultipleObjectsEx");
        return Wake::Failed;
    }
    return Wake::Queue;
}

}  // namespace

BOOL WaitForNextMessage(MSG& msg) {
    for (;;) {
        // Without sources this is the plain loop, the user's input ahead of other programs'
        // posts (PeekNextMessage).
        if (t_sources.empty()) {
            if (PeekNextMessage(msg)) return msg.message == WM_QUIT ? 0 : 1;
            return GetMessageW(&msg, nullptr, 0, 0);
        }
        // Never spin on a failing wait: the messages at least go on.
        if (WaitOnce() == Wake::Failed) return GetMessageW(&msg, nullptr, 0, 0);
        if (PeekNextMessage(msg)) return msg.message == WM_QUIT ? 0 : 1;
    }
}

namespace {

// How often a message box's loop lets the sources be looked at.
constexpr UINT kMessageBoxPollMs = 100;

// Serves, without waiting, every source whose event is signalled or whose deadline has passed.
void ServeReady() {
    const std::vector<MessageWaitSource*> sources = t_sources;
    for (MessageWaitSource* source : sources) {
        if (!IsRegistered(source)) continue;
        const HANDLE handle = source->WaitHandle();
        if (handle && WaitForSingleObject(handle, 0) == WAIT_OBJECT_0) source->Serve();
    }
    ServeOverdue();
}

void CALLBACK PollSources(HWND, UINT, UINT_PTR, DWORD) {
    ServeReady();
}

}  // namespace

int MessageBoxWhileServing(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) {
    // A thread timer of its own: its message runs PollSources from whatever loop the box runs.
    const UINT_PTR timer =
        t_sources.empty() ? 0 : SetTimer(nullptr, 0, kMessageBoxPollMs, &PollSources);
    const int answer = MessageBoxW(owner, text, caption, type);
    if (timer) KillTimer(nullptr, timer);
    return answer;
}

void ServeWhileIdle(HWND idleWindow) {
    if (t_sources.empty()) return;
    for (;;) {
        const Wake wake = WaitOnce();
        if (wake == Wake::Failed) return;
        if (wake == Wake::Queue || HIWORD(GetQueueStatus(QS_ALLINPUT)) != 0) break;
    }
    // The loop that went idle waits next for messages that are new to it, and the wait above has
    // already seen the one that woke it: one more posted message wakes that loop for certain.
    PostMessageW(idleWindow, WM_NULL, 0, 0);
}

}  // namespace quenvix::win
