#pragma once
// The running copy's end of the command pipe: one client at a time, each checked by the system's
// record of its process before a byte of its request is read, each given a few seconds to send a
// whole request, then answered and let go. Served by the UI thread's message wait (no thread of
// its own) while the server listens.
#include <windows.h>

#include <array>
#include <functional>
#include <string>

#include "core/command_line.h"
#include "win/message_wait.h"
#include "win/ui.h"

namespace quenvix::win {

class CommandPipeServer final : public MessageWaitSource {
  public:
    enum class Status {
        Listening,
        // The pipe exists already: another process made it first. We never serve under, or talk
        // to, a pipe we did not make; the program runs without its command line channel.
        NameTaken,
        Failed,
    };
    // Takes a request's verb; true when it was taken, which the client is told.
    using Receiver = std::function<bool(core::CommandVerb)>;

    // A client that has not sent a whole request (or not gone after its answer) this long after
    // it connected is dropped for the next one.
    static constexpr DWORD kClientBoundMs = 2000;

    // Creates the pipe `name` and listens on it, registered with this thread's message wait.
    CommandPipeServer(std::wstring name, Receiver receiver, DWORD clientBoundMs = kClientBoundMs);
    ~CommandPipeServer();
    CommandPipeServer(const CommandPipeServer&) = delete;
    CommandPipeServer& operator=(const CommandPipeServer&) = delete;

    Status GetStatus() const { return status_; }

    HANDLE WaitHandle() const override;
    ULONGLONG Deadline() const override;
    void Serve() noexcept override;

  private:
    // What the one overlapped operation in flight is for.
    enum class Step { Closed, Connecting, Reading, Replying, Draining };

    void Create();
    void Advance(bool done, DWORD error, DWORD bytes);
    void Listen();
    void StartRead();
    void Reply(bool taken);
    // Ends the current client (its operation cancelled first) and listens for the next one.
    void NextClient();
    void CancelInFlight();
    void Close(const char* why);
    void ArmOverlapped();

    std::wstring name_;
    Receiver receiver_;
    DWORD clientBoundMs_;
    Status status_ = Status::Failed;
    UniqueHandle event_;
    UniqueHandle pipe_;
    OVERLAPPED overlapped_{};
    bool inFlight_ = false;
    Step step_ = Step::Closed;
    ULONGLONG deadline_ = 0;
    // One byte more than any request, so that a longer one shows as such even where the system
    // fills the buffer without reporting ERROR_MORE_DATA.
    std::array<std::uint8_t, core::kForwardRequestSize + 1> request_{};
    core::ForwardReply reply_{};
};

}  // namespace quenvix::win
