#include "win/command_line_forwarding.h"

#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "core/product.h"
#include "win/ui.h"

namespace quenvix::win {

namespace {

// The running copy answers at once (it only posts itself the work); a hung one must not keep
// this process, or an installer waiting on it, for long.
constexpr UINT kSendTimeoutMs = 5000;

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

// The window WM_COPYDATA names as its sender: this process needs one, and a message-only window
// is the least there is.
struct SenderWindow {
    HWND hwnd = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    ~SenderWindow() {
        if (hwnd) DestroyWindow(hwnd);
    }
};

int Forward(core::CommandVerb verb) {
    HWND target = FindWindowW(kMainWindowClass, nullptr);
    if (!target) {
        Tell(std::string(core::kProductName) + " is not running.", true, false);
        return core::kExitNotRunning;
    }
    // We were started by the user just now, so we may hand the foreground on: "--show" brings the
    // settings window to the front.
    DWORD targetProcess = 0;
    GetWindowThreadProcessId(target, &targetProcess);
    AllowSetForegroundWindow(targetProcess);

    SenderWindow sender;
    core::ForwardPayload payload = core::EncodeForwardedVerb(verb);
    COPYDATASTRUCT data{};
    data.dwData = core::kForwardMagic;
    data.cbData = static_cast<DWORD>(payload.size());
    data.lpData = payload.data();
    DWORD_PTR answer = 0;
    const LRESULT sent = SendMessageTimeoutW(
        target, WM_COPYDATA, reinterpret_cast<WPARAM>(sender.hwnd), reinterpret_cast<LPARAM>(&data),
        SMTO_ABORTIFHUNG | SMTO_BLOCK, kSendTimeoutMs, &answer);
    if (!sent || answer != TRUE) {
        // Gone between the look-up and the send, hung, or it refused us.
        Tell(std::string(core::kProductName) + " did not take the request.", true, false);
        return core::kExitNotRunning;
    }
    return core::kExitDone;
}

struct AccountSid {
    std::vector<BYTE> buffer;
    PSID Sid() const { return reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid; }
};

std::optional<AccountSid> ProcessUser(HANDLE process) {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &rawToken)) return {};
    UniqueHandle token(rawToken);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    AccountSid user{std::vector<BYTE>(size)};
    if (!GetTokenInformation(token.get(), TokenUser, user.buffer.data(), size, &size)) return {};
    return user;
}

// Only the user who runs us may steer us: the sender's process must be in our session and run
// under our account. A sender whose token we may not read is refused.
bool SentBySameUser(HWND sender) {
    DWORD senderProcess = 0;
    if (!sender || !GetWindowThreadProcessId(sender, &senderProcess) || senderProcess == 0) {
        return false;
    }
    DWORD senderSession = 0;
    DWORD ownSession = 0;
    if (!ProcessIdToSessionId(senderProcess, &senderSession) ||
        !ProcessIdToSessionId(GetCurrentProcessId(), &ownSession) || senderSession != ownSession) {
        return false;
    }
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, senderProcess));
    if (!process) return false;
    const auto senderUser = ProcessUser(process.get());
    const auto ownUser = ProcessUser(GetCurrentProcess());
    return senderUser && ownUser && EqualSid(senderUser->Sid(), ownUser->Sid());
}

}  // namespace

std::optional<int> HandleCommandLine() {
    const core::CommandLineRequest request = core::ParseCommandLine(ProgramArguments());
    if (!request.error.empty()) {
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

std::optional<core::CommandVerb> AcceptForwardedVerb(WPARAM wParam, LPARAM lParam) {
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (!data) return {};
    const auto verb = core::DecodeForwardedVerb(data->dwData, data->lpData, data->cbData);
    if (!verb || !SentBySameUser(reinterpret_cast<HWND>(wParam))) return {};
    return verb;
}

LRESULT ForwardedVerbs::Accept(WPARAM wParam, LPARAM lParam) {
    const auto verb = AcceptForwardedVerb(wParam, lParam);
    if (!verb) return FALSE;
    kept_.push_back(*verb);
    PostMessageW(window_, kRunForwardedVerb, 0, 0);
    return TRUE;
}

void ForwardedVerbs::RunKept(const std::function<bool()>& ended) {
    const std::vector<core::CommandVerb> verbs = std::move(kept_);
    kept_.clear();
    for (const core::CommandVerb verb : verbs) {
        // A second "--exit", or anything after one, finds the program already on its way out.
        if (ended() || exitRequested_) return;
        switch (verb) {
            case core::CommandVerb::Exit:
                // Works while a dialog is open too, since the quit message ends every modal loop
                // on its way to the main one.
                exitRequested_ = true;
                actions_.exit();
                break;
            case core::CommandVerb::RestoreAll:
                actions_.restoreAll();
                break;
            case core::CommandVerb::HideAll:
                actions_.hideAll();
                break;
            case core::CommandVerb::Show:
                actions_.show();
                break;
            default:
                break;
        }
    }
}

}  // namespace quenvix::win
