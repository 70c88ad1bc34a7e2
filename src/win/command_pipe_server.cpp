#include "win/command_pipe_server.h"

#include <sddl.h>

#include <memory>
#include <string>
#include <vector>

#include "win/command_pipe.h"
#include "win/log.h"

namespace quenvix::win {

namespace {

// Requests and answers are a few bytes; the system's buffers need hold no more than that.
constexpr DWORD kPipeBufferSize = 64;

using UniqueLocal = std::unique_ptr<void, decltype(&LocalFree)>;

// Full access for this account and for the system, nothing for anyone else. Without a descriptor
// of our own the pipe would get the default one, which also lets administrators in and gives
// Everyone and the anonymous account read access (Named Pipe Security and Access Rights,
// https://learn.microsoft.com/windows/win32/ipc/named-pipe-security-and-access-rights).
//
// No integrity label is set: "Objects that lack an integrity label are treated as medium by the
// operating system; this prevents low-integrity code from modifying unlabeled objects"
// (Mandatory Integrity Control,
// https://learn.microsoft.com/windows/win32/secauthz/mandatory-integrity-control). A
// low-integrity process of this same user (a sandboxed browser tab, say) is thus refused the write
// access that opening the pipe for a request needs, even though the DACL names its account.
UniqueLocal OnlyThisUser() {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken))
        return {nullptr, &LocalFree};
    UniqueHandle token(rawToken);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    LPWSTR rawSid = nullptr;
    if (size < sizeof(TOKEN_USER) ||
        !GetTokenInformation(token.get(), TokenUser, user.data(), size, &size) ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &rawSid)) {
        return {nullptr, &LocalFree};
    }
    const UniqueLocal sid(rawSid, &LocalFree);
    const std::wstring sddl =
        L"D:P(A;;GA;;;SY)(A;;GA;;;" + std::wstring(static_cast<const wchar_t*>(sid.get())) + L")";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        return {nullptr, &LocalFree};
    }
    return {descriptor, &LocalFree};
}

}  // namespace

CommandPipeServer::CommandPipeServer(std::wstring name, Receiver receiver, DWORD clientBoundMs)
    : name_(std::move(name)), receiver_(std::move(receiver)), clientBoundMs_(clientBoundMs) {
    Create();
    if (status_ == Status::Listening) AddMessageWaitSource(*this);
}

CommandPipeServer::~CommandPipeServer() {
    RemoveMessageWaitSource(*this);
    CancelInFlight();
}

void CommandPipeServer::Create() {
    event_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const UniqueLocal security = OnlyThisUser();
    if (!event_ || !security || name_.empty()) {
        LogLastError("Preparing the command pipe");
        return;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, security.get(), FALSE};
    // FILE_FLAG_FIRST_PIPE_INSTANCE: if anyone made a pipe of this name before us, creation fails
    // rather than adding an instance to theirs. PIPE_REJECT_REMOTE_CLIENTS: the system turns away
    // connections from other computers. One instance: a second client waits its turn.
    const HANDLE pipe = CreateNamedPipeW(
        name_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
        kPipeBufferSize, kPipeBufferSize, 0, &attributes);
    if (pipe == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // ERROR_ACCESS_DENIED is how the first-instance flag reports an existing pipe
        // (CreateNamedPipeW,
        // https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-createnamedpipew); a
        // full pipe (ERROR_PIPE_BUSY) has an owner too.
        if (error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY ||
            error == ERROR_ALREADY_EXISTS) {
            status_ = Status::NameTaken;
            Log("Command pipe: another process holds the name; running without the command line");
        } else {
            LogFailure("CreateNamedPipeW", error);
        }
        return;
    }
    pipe_.reset(pipe);
    // A second check beside the flag (which not every implementation of the pipe file system
    // honours): the instance limit is the first creator's, so one other than ours means we only
    // added an instance to someone else's pipe. (A pipe of theirs limited to one instance made
    // the creation fail above.)
    DWORD maxInstances = 0;
    if (!GetNamedPipeInfo(pipe_.get(), nullptr, nullptr, nullptr, &maxInstances) ||
        maxInstances != 1) {
        pipe_.reset();
        status_ = Status::NameTaken;
        Log("Command pipe: the name belongs to another pipe; running without the command line");
        return;
    }
    status_ = Status::Listening;
    Listen();
}

HANDLE CommandPipeServer::WaitHandle() const {
    return step_ == Step::Closed ? nullptr : event_.get();
}

ULONGLONG CommandPipeServer::Deadline() const {
    return step_ == Step::Closed || step_ == Step::Connecting ? 0 : deadline_;
}

void CommandPipeServer::Serve() noexcept {
    try {
        if (step_ == Step::Closed) return;
        DWORD bytes = 0;
        const bool done = GetOverlappedResult(pipe_.get(), &overlapped_, &bytes, FALSE);
        const DWORD error = done ? ERROR_SUCCESS : GetLastError();
        if (!done && error == ERROR_IO_INCOMPLETE) {
            // Woken by the deadline: a client that connects and then says nothing must not keep
            // the pipe from the next one.
            if (step_ != Step::Connecting && GetTickCount64() >= deadline_) NextClient();
            return;
        }
        inFlight_ = false;
        Advance(done, error, bytes);
    } catch (...) {
        // Only the receiver can throw; the client is let go without an answer.
        Log("Command pipe: a request failed");
        NextClient();
    }
}

void CommandPipeServer::Advance(bool done, DWORD error, DWORD bytes) {
    switch (step_) {
        case Step::Connecting:
            if (!done) {
                // A client that came and went before we saw it (ERROR_NO_DATA).
                NextClient();
                return;
            }
            // Who is there, asked of the system before reading anything the client wrote.
            if (!OpenPeerIfOurs(pipe_.get(), true, 0, nullptr)) {
                Log("Command pipe: refused a client of another user or session");
                NextClient();
                return;
            }
            deadline_ = GetTickCount64() + clientBoundMs_;
            StartRead();
            return;
        case Step::Reading: {
            // ERROR_MORE_DATA (a longer message than any request) is refused with the rest.
            const auto verb = done ? core::DecodeForwardedVerb(request_.data(), bytes)
                                   : std::optional<core::CommandVerb>();
            if (!verb) {
                Log("Command pipe: refused a malformed request");
                NextClient();
                return;
            }
            Reply(receiver_(*verb));
            return;
        }
        case Step::Replying:
            if (!done) {
                NextClient();
                return;
            }
            // Disconnecting now would throw the answer away unread: wait (within the same bound)
            // for the client to close its end, which ends this read.
            step_ = Step::Draining;
            StartRead();
            return;
        case Step::Draining:
        case Step::Closed:
            (void)error;
            NextClient();
            return;
    }
}

void CommandPipeServer::ArmOverlapped() {
    overlapped_ = OVERLAPPED{};
    overlapped_.hEvent = event_.get();
    ResetEvent(event_.get());
}

void CommandPipeServer::Listen() {
    // A client that connects and leaves at once can make a try fail; a pipe that keeps failing is
    // given up rather than retried in a loop.
    for (int attempt = 0; attempt < 3; ++attempt) {
        ArmOverlapped();
        step_ = Step::Connecting;
        if (ConnectNamedPipe(pipe_.get(), &overlapped_)) {
            inFlight_ = true;
            return;
        }
        switch (const DWORD error = GetLastError()) {
            case ERROR_IO_PENDING:
                inFlight_ = true;
                return;
            case ERROR_PIPE_CONNECTED:
                // Connected between creation (or the last disconnect) and this call: nothing is in
                // flight, and the zeroed overlapped reads as a success.
                SetEvent(event_.get());
                return;
            case ERROR_NO_DATA:
                DisconnectNamedPipe(pipe_.get());
                break;
            default:
                LogFailure("ConnectNamedPipe", error);
                Close("the pipe fails");
                return;
        }
    }
    Close("clients keep leaving before they are seen");
}

void CommandPipeServer::StartRead() {
    if (step_ != Step::Draining) step_ = Step::Reading;
    ArmOverlapped();
    inFlight_ = true;
    if (!ReadFile(pipe_.get(), request_.data(), static_cast<DWORD>(request_.size()), nullptr,
                  &overlapped_) &&
        GetLastError() != ERROR_IO_PENDING && GetLastError() != ERROR_MORE_DATA) {
        // Failed at once: the event stays quiet, so the client is dropped here.
        inFlight_ = false;
        NextClient();
    }
}

void CommandPipeServer::Reply(bool taken) {
    reply_ = core::EncodeForwardReply(taken ? core::kExitDone : core::kExitNotRunning);
    step_ = Step::Replying;
    ArmOverlapped();
    inFlight_ = true;
    if (!WriteFile(pipe_.get(), reply_.data(), static_cast<DWORD>(reply_.size()), nullptr,
                   &overlapped_) &&
        GetLastError() != ERROR_IO_PENDING) {
        inFlight_ = false;
        NextClient();
    }
}

void CommandPipeServer::CancelInFlight() {
    if (!inFlight_ || !pipe_) return;
    // The overlapped structure and the buffers must stay untouched until the system is done with
    // them; a cancelled pipe operation completes at once.
    DWORD bytes = 0;
    CancelIoEx(pipe_.get(), &overlapped_);
    GetOverlappedResult(pipe_.get(), &overlapped_, &bytes, TRUE);
    inFlight_ = false;
}

void CommandPipeServer::NextClient() {
    CancelInFlight();
    if (step_ == Step::Closed) return;
    DisconnectNamedPipe(pipe_.get());
    Listen();
}

void CommandPipeServer::Close(const char* why) {
    CancelInFlight();
    step_ = Step::Closed;
    status_ = Status::Failed;
    pipe_.reset();
    Log(std::string("Command pipe closed: ") + why);
}

}  // namespace quenvix::win
