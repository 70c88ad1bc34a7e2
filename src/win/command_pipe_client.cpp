#include "win/command_pipe_client.h"

#include <algorithm>

#include "win/command_pipe.h"
#include "win/log.h"
#include "win/ui.h"

namespace quenvix::win {

namespace {

DWORD MsUntil(ULONGLONG deadline) {
    const ULONGLONG now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 60000));
}

// Opens the client end, waiting for our turn while another client is served. Null with the
// outcome to report when that fails.
UniqueHandle OpenPipe(const std::wstring& name, ULONGLONG deadline, SendOutcome* failure) {
    for (;;) {
        // Identification only: the server may learn who we are but never act as us.
        const HANDLE pipe = CreateFileW(
            name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
            FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) return UniqueHandle(pipe);
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            *failure = SendOutcome::NotRunning;
            return {};
        }
        if (error != ERROR_PIPE_BUSY || MsUntil(deadline) == 0) {
            LogFailure("CreateFileW (command pipe)", error);
            *failure = SendOutcome::NotTaken;
            return {};
        }
        // WaitNamedPipeW returns when the server listens again; should it fail at once, a short
        // pause keeps this from spinning until the deadline.
        if (!WaitNamedPipeW(name.c_str(), std::max<DWORD>(1, MsUntil(deadline))) &&
            GetLastError() != ERROR_SEM_TIMEOUT) {
            Sleep(20);
        }
    }
}

// One overlapped read or write, bounded by `deadline`; cancelled when the time is up.
bool Transfer(HANDLE pipe, bool write, void* data, DWORD size, DWORD* done, ULONGLONG deadline) {
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) return false;
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    const BOOL started = write ? WriteFile(pipe, data, size, nullptr, &overlapped)
                               : ReadFile(pipe, data, size, nullptr, &overlapped);
    if (!started && GetLastError() != ERROR_IO_PENDING) return false;
    if (WaitForSingleObject(event.get(), MsUntil(deadline)) != WAIT_OBJECT_0) {
        CancelIoEx(pipe, &overlapped);
        GetOverlappedResult(pipe, &overlapped, done, TRUE);
        return false;
    }
    return GetOverlappedResult(pipe, &overlapped, done, FALSE) != FALSE;
}

}  // namespace

SendOutcome SendToRunningCopy(const std::wstring& pipeName, core::CommandVerb verb,
                              const SendLimits& limits) {
    if (pipeName.empty()) return SendOutcome::NotTaken;
    const ULONGLONG deadline = GetTickCount64() + limits.answerMs;
    SendOutcome failure = SendOutcome::NotTaken;
    UniqueHandle pipe = OpenPipe(pipeName, deadline, &failure);
    if (!pipe) return failure;
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (!SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr)) {
        LogLastError("SetNamedPipeHandleState");
        return SendOutcome::NotTaken;
    }
    // The server is checked the way it checks us: a pipe of this name made by someone else (who
    // got there before the program started) hears nothing from us.
    DWORD serverId = 0;
    const UniqueHandle server = OpenPeerIfOurs(pipe.get(), false, SYNCHRONIZE, &serverId);
    if (!server) {
        Log("Command pipe: the server is not a process of this user and session");
        return SendOutcome::NotTaken;
    }
    // We were started by the user just now, so we may hand the foreground on: "--show" brings the
    // settings window to the front.
    AllowSetForegroundWindow(serverId);

    core::ForwardRequest request = core::EncodeForwardedVerb(verb);
    core::ForwardReply reply{};
    DWORD written = 0;
    DWORD read = 0;
    if (!Transfer(pipe.get(), true, request.data(), static_cast<DWORD>(request.size()), &written,
                  deadline) ||
        written != request.size() ||
        !Transfer(pipe.get(), false, reply.data(), static_cast<DWORD>(reply.size()), &read,
                  deadline) ||
        core::DecodeForwardReply(reply.data(), read) != core::kExitDone) {
        return SendOutcome::NotTaken;
    }
    // Our end goes first: the server waits for it before it listens for the next client.
    pipe.reset();
    if (verb == core::CommandVerb::Exit &&
        WaitForSingleObject(server.get(), limits.exitMs) != WAIT_OBJECT_0) {
        Log("--exit: the running copy took the request but has not ended yet");
    }
    return SendOutcome::Taken;
}

}  // namespace quenvix::win
