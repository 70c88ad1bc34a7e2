#pragma once
// The command line on Windows: a second quenvix.exe started with an option hands it to the copy
// that is already running (through the command pipe, see command_pipe_client.h) and ends; the
// running copy keeps what its pipe server took and carries it out from its own message loop.
#include <windows.h>

#include <functional>
#include <optional>
#include <vector>

#include "core/command_line.h"

namespace quenvix::win {

// Class name of the settings window (installers look for it to tell whether the program runs).
inline constexpr wchar_t kMainWindowClass[] = L"QuenvixMainForm";

// Handles the process's own command line. Nothing when it asks for a plain start; otherwise the
// request was answered (printed, forwarded or refused) and the result is the process's exit code.
std::optional<int> HandleCommandLine();

// Posted by the program to its own window, so that accepted requests (kept by the window, never
// carried in the message: anyone may post) are carried out after the sender has had its answer.
inline constexpr UINT kRunForwardedVerb = WM_APP + 0x51;

// The requests the program has accepted and not yet carried out.
class ForwardedVerbs {
  public:
    // `run` carries out the command of each verb (core::kVerbCommands).
    ForwardedVerbs(HWND window, std::function<void(core::Command)> run)
        : window_(window), run_(std::move(run)) {}

    // For the pipe server, with a verb it took from a client it checked: keeps it and posts
    // kRunForwardedVerb, so that the client has its answer before the work starts. False when the
    // post failed (the client is then told the request was not taken).
    bool Accept(core::CommandVerb verb);
    // kRunForwardedVerb: runs the kept requests in order. Nothing runs once `ended` answers true
    // or after an "Exit", this one's or an earlier one's.
    void RunKept(const std::function<bool()>& ended);

  private:
    HWND window_;
    std::function<void(core::Command)> run_;
    std::vector<core::CommandVerb> kept_;
    bool exitRequested_ = false;
    // Times the requests have waited for an open menu to close.
    static constexpr int kMaxMenuWaits = 20;
    int menuWaits_ = 0;
};

}  // namespace quenvix::win
