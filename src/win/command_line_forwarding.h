#pragma once
// The command line on Windows: a second quenvix.exe started with an option hands it to the copy
// that is already running (WM_COPYDATA to its main window) and ends; the running copy checks what
// it received before acting on it.
#include <windows.h>

#include <functional>
#include <optional>
#include <vector>

#include "core/command_line.h"

namespace quenvix::win {

// Class name of the main window, which receives forwarded options.
inline constexpr wchar_t kMainWindowClass[] = L"QuenvixMainForm";

// Handles the process's own command line. Nothing when it asks for a plain start; otherwise the
// request was answered (printed, forwarded or refused) and the result is the process's exit code.
std::optional<int> HandleCommandLine();

// For the main window's WM_COPYDATA: the verb of a well-formed request from a process of the same
// user in the same session, or nothing.
std::optional<core::CommandVerb> AcceptForwardedVerb(WPARAM wParam, LPARAM lParam);

// Posted by the main window to itself, so that accepted requests (kept by the window, never carried
// in the message: anyone may post) are carried out after the sender has had its answer.
inline constexpr UINT kRunForwardedVerb = WM_APP + 0x51;

// What the running copy does for each option.
struct ForwardedVerbActions {
    std::function<void()> exit;  // "Exit" without its question
    std::function<void()> restoreAll;
    std::function<void()> hideAll;
    std::function<void()> show;
};

// The requests the main window has accepted and not yet carried out.
class ForwardedVerbs {
  public:
    ForwardedVerbs(HWND window, ForwardedVerbActions actions)
        : window_(window), actions_(std::move(actions)) {}

    // WM_COPYDATA: keeps an acceptable request and posts kRunForwardedVerb; TRUE when accepted.
    LRESULT Accept(WPARAM wParam, LPARAM lParam);
    // kRunForwardedVerb: runs the kept requests in order. Nothing runs once `ended` answers true
    // or after an "Exit", this one's or an earlier one's.
    void RunKept(const std::function<bool()>& ended);

  private:
    HWND window_;
    ForwardedVerbActions actions_;
    std::vector<core::CommandVerb> kept_;
    bool exitRequested_ = false;
};

}  // namespace quenvix::win
