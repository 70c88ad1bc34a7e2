#include "win/command_line_forwarding.h"

#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "core/product.h"
#include "win/command_pipe.h"
#include "win/command_pipe_client.h"
#include "win/log.h"
#include "win/ui.h"

namespace quenvix::win {

namespace {

std::vector<std::string> ProgramArguments() {
    int count = 0;
    std::unique_ptr<LPWSTR, decltype(&LocalFree)> argv(
        CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
    std::vector<std::string> args;
    if (!argv) return args;
    for (int i = 1; i < count; ++i) args.push_back(Narrow(argv.get()[i]));
    return args;
}

bool WriteTo(HANDLE out, const std::wstring& text) {
    if (!out || out == INVALID_HANDLE_VALUE || GetFileType(out) == FILE_TYPE_UNKNOWN) return false;
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(out, &mode)) {
        return WriteConsoleW(out, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
    std::string bytes = Narrow(text);
    return WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// Tells the user: on the handle the caller gave us (redirected output), else on the console of the
// command prompt we were started from, else in a message box. `boxWhenNoConsole` false keeps quiet
// instead of a box, for answers a script asks for and a person would not read.
void Tell(const std::string& message, bool isError, bool boxWhenNoConsole) {
    std::wstring text = Widen(message);
    std::wstring line = text;
    for (std::size_t at = 0; (at = line.find(L'\n', at)) != std::wstring::npos; at += 2) {
        line.insert(at, 1, L'\r');
    }
    line += L"\r\n";
    if (WriteTo(GetStdHandle(isError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE), line)) return;
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        UniqueHandle console(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         0, nullptr));
        // The prompt came back when we started; begin on a line of our own.
        const bool written = WriteTo(console.get(), L"\r\n" + line);
        FreeConsole();
        if (written) return;
    }
    if (!boxWhenNoConsole) return;
    const std::wstring title = Widen(core::kProductName);
    MessageBoxW(nullptr, text.c_str(), title.c_str(),
                MB_OK | MB_SETFOREGROUND | (isError ? MB_ICONERROR : MB_ICONINFORMATION));
}

int Forward(core::CommandVerb verb) {
    switch (SendToRunningCopy(CommandPipeName(), verb)) {
        case SendOutcome::Taken:
            return core::kExitDone;
        case SendOutcome::NotRunning:
            // An older copy of the program answers no pipe but still has its window.
            if (!FindWindowW(kMainWindowClass, nullptr)) {
                Tell(std::string(core::kProductName) + " is not running.", true, false);
                return core::kExitNotRunning;
            }
            break;
        case SendOutcome::NotTaken:
            break;
    }
    // Refused, not answered in time, or not ours to talk to.
    Log("Command line: the running copy did not take the request (verb " +
        std::to_string(static_cast<int>(verb)) + ")");
    Tell(std::string(core::kProductName) + " did not take the request.", true, false);
    return core::kExitNotRunning;
}

}  // namespace

std::optional<int> HandleCommandLine() {
    const core::CommandLineRequest request = core::ParseCommandLine(ProgramArguments());
    if (!request.error.empty()) {
        Log("Command line refused: " + request.error);
        Tell(request.error, true, true);
        return core::kExitBadCommandLine;
    }
    switch (request.verb) {
        case core::CommandVerb::Start:
            return {};
        case core::CommandVerb::Version:
            Tell(core::VersionText(), false, true);
            return core::kExitDone;
        case core::CommandVerb::Help:
            Tell(core::UsageText(), false, true);
            return core::kExitDone;
        default:
            return Forward(request.verb);
    }
}

bool ForwardedVerbs::Accept(core::CommandVerb verb) {
    kept_.push_back(verb);
    if (PostMessageW(window_, kRunForwardedVerb, 0, 0)) return true;
    // A full queue: the client is told, rather than the verb running at some later message.
    kept_.pop_back();
    return false;
}

void ForwardedVerbs::RunKept(const std::function<bool()>& ended) {
    // An open menu of ours runs this message inside its own loop: its entries would go stale under
    // a "Restore all", and the quit of an "Exit" would be swallowed by it. The menu is closed and
    // the requests run after it, from the loop beneath. Bounded, should a menu refuse to close.
    // The wake-up alone (anyone may post it) closes nothing.
    if (kept_.empty()) return;
    if (MenuOpenOnThisThread() && menuWaits_ < kMaxMenuWaits) {
        ++menuWaits_;
        EndMenu();
        if (PostMessageW(window_, kRunForwardedVerb, 0, 0)) return;
    }
    menuWaits_ = 0;
    const std::vector<core::CommandVerb> verbs = std::move(kept_);
    kept_.clear();
    for (const core::CommandVerb verb : verbs) {
        // A second "--exit", or anything after one, finds the program already on its way out.
        if (ended() || exitRequested_) return;
        const std::optional<core::Command> command = core::CommandOfVerb(verb);
        if (!command) continue;
        // Works while a dialog is open too, since the quit message ends every modal loop on its
        // way to the main one.
        if (verb == core::CommandVerb::Exit) exitRequested_ = true;
        run_(*command);
    }
}

}  // namespace quenvix::win
