#include "win/http.h"

#include <windows.h>
#include <winhttp.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <string>
#include <thread>
#include <utility>

#include "win/log.h"
#include "win/ui.h"

namespace quenvix::win {
namespace {

bool SetDword(HINTERNET handle, DWORD option, DWORD value) {
    return WinHttpSetOption(handle, option, &value, sizeof value) != FALSE;
}

// A refused WinHTTP call ends the request; the log keeps why (the address is not logged).
std::nullopt_t Failed(std::string_view call) {
    LogLastError(call);
    return std::nullopt;
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != text.npos;
}

struct CrackedUrl {
    bool secure = false;
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring pathAndQuery;
};

std::optional<CrackedUrl> Crack(const std::wstring& url) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    // No flags: the address is taken as it is, neither escaped nor unescaped.
    if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
        return std::nullopt;
    }
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
        return std::nullopt;
    }
    if (parts.lpszHostName == nullptr || parts.dwHostNameLength == 0) return std::nullopt;
    CrackedUrl cracked;
    cracked.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    cracked.host.assign(parts.lpszHostName, parts.dwHostNameLength);
    cracked.port = parts.nPort;
    if (parts.lpszUrlPath != nullptr)
        cracked.pathAndQuery.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo != nullptr) {
        cracked.pathAndQuery.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    }
    if (cracked.pathAndQuery.empty() || cracked.pathAndQuery.front() != L'/') {
        cracked.pathAndQuery.insert(0, 1, L'/');
    }
    return cracked;
}

}  // namespace

void* OpenProxiedSession(const wchar_t* agent, SessionOpener open) {
    if (!open) open = &WinHttpOpen;
    // WinHttpOpen (learn.microsoft.com/windows/win32/api/winhttp/nf-winhttp-winhttpopen):
    // WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY "uses system and per-user proxy settings (including the
    // Internet Explorer proxy configuration)" and is "supported in Windows 8.1 and newer";
    // WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, deprecated there, is what older systems have: the proxy
    // configured for WinHTTP itself, or none. A system that does not know the automatic type
    // refuses the call, and the check then goes out the older way rather than not at all.
    if (void* session = open(agent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, 0)) {
        return session;
    }
    LogLastError("WinHttpOpen (automatic proxy)");
    return open(agent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                WINHTTP_NO_PROXY_BYPASS, 0);
}

// The handles of one request, closed once: by the request when it ends, or earlier from another
// thread to abandon it (closing a handle is how WinHTTP cancels a blocked call). After that no
// new handle is kept, so the request can only fail from then on. A call already under way on a
// closed handle fails; no other handle can take its value meanwhile, since only the request
// itself opens handles and it opens none once abandoned.
class Win32HttpClient::RequestHandles {
  public:
    RequestHandles() = default;
    RequestHandles(const RequestHandles&) = delete;
    RequestHandles& operator=(const RequestHandles&) = delete;
    ~RequestHandles() { Close(); }

    // Takes over a new handle; nullptr (the handle closed) when there was none or the request
    // was abandoned.
    HINTERNET Keep(HINTERNET handle) {
        std::lock_guard lock(mutex_);
        if (handle && (closed_ || count_ == handles_.size())) {
            WinHttpCloseHandle(handle);
            return nullptr;
        }
        if (handle) handles_[count_++] = handle;
        return handle;
    }

    void Close() noexcept {
        std::lock_guard lock(mutex_);
        closed_ = true;
        // The request before its connection before its session.
        while (count_ > 0) WinHttpCloseHandle(handles_[--count_]);
    }

  private:
    std::mutex mutex_;
    std::array<HINTERNET, 3> handles_{};
    std::size_t count_ = 0;
    bool closed_ = false;
};

void Win32HttpClient::Cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    if (current_) current_->Close();
}

std::optional<core::HttpReply> Win32HttpClient::Get(const core::HttpRequest& request) {
    const auto url = Crack(Widen(request.url));
    if (!url) return std::nullopt;

    std::wstring agent;
    std::wstring extraHeaders;
    for (const auto& [name, value] : request.headers) {
        // A line break would let a value smuggle further headers into the request.
        if (name.empty() || HasLineBreak(name) || HasLineBreak(value)) return std::nullopt;
        if (name == "User-Agent") {
            agent = Widen(value);
        } else {
            extraHeaders += Widen(name) + L": " + Widen(value) + L"\r\n";
        }
    }

    RequestHandles handles;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_) return std::nullopt;
        current_ = &handles;
    }
    struct Unregister {
        Win32HttpClient& client;
        ~Unregister() {
            std::lock_guard lock(client.mutex_);
            client.current_ = nullptr;
        }
    } unregister{*this};

    HINTERNET session = handles.Keep(OpenProxiedSession(agent.empty() ? nullptr : agent.c_str()));
    if (!session) return Failed("WinHttpOpen");
    if (!WinHttpSetTimeouts(session, limits_.resolveMs, limits_.connectMs, limits_.sendMs,
                            limits_.receiveMs)) {
        return Failed("WinHttpSetTimeouts");
    }
    const bool sessionNoRedirects =
        SetDword(session, WINHTTP_OPTION_REDIRECT_POLICY, WINHTTP_OPTION_REDIRECT_POLICY_NEVER);

    HINTERNET connection = handles.Keep(WinHttpConnect(session, url->host.c_str(), url->port, 0));
    if (!connection) return Failed("WinHttpConnect");

    // The address goes out as built: the braces of the installation identifier stay braces.
    DWORD flags = WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY;
    if (url->secure) flags |= WINHTTP_FLAG_SECURE;
    HINTERNET req =
        handles.Keep(WinHttpOpenRequest(connection, L"GET", url->pathAndQuery.c_str(), L"HTTP/1.1",
                                        WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!req) return Failed("WinHttpOpenRequest");
    const bool requestNoRedirects =
        SetDword(req, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_REDIRECTS);
    // A redirect must never be followed: give up when neither way of saying so is understood.
    if (!sessionNoRedirects && !requestNoRedirects) return Failed("WinHttpSetOption (redirects)");
    WinHttpSetTimeouts(req, limits_.resolveMs, limits_.connectMs, limits_.sendMs,
                       limits_.receiveMs);
    // Some WinHTTP implementations only bound the wait for a silent server with this option.
    SetDword(req, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, static_cast<DWORD>(limits_.receiveMs));

    if (!extraHeaders.empty() &&
        !WinHttpAddRequestHeaders(req, extraHeaders.c_str(), static_cast<DWORD>(-1),
                                  WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
        return Failed("WinHttpAddRequestHeaders");
    }
    if (!WinHttpSendRequest(req, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                            0)) {
        return Failed("WinHttpSendRequest");
    }
    if (!WinHttpReceiveResponse(req, nullptr)) return Failed("WinHttpReceiveResponse");

    core::HttpReply reply;
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!WinHttpQueryHeaders(req, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                             WINHTTP_NO_HEADER_INDEX)) {
        return Failed("WinHttpQueryHeaders");
    }
    reply.status = static_cast<int>(status);

    char buffer[8192];
    for (;;) {
        DWORD read = 0;
        if (!WinHttpReadData(req, buffer, sizeof buffer, &read)) return Failed("WinHttpReadData");
        if (read == 0) break;
        reply.body.append(buffer, read);
        if (reply.body.size() > request.maxBodyBytes) return std::nullopt;
    }
    return reply;
}

// ---- BackgroundGet --------------------------------------------------------------------------

struct BackgroundGet::State {
    State(HWND to, UINT what, const Win32HttpClient::Limits& limits)
        : client(limits), window(to), message(what) {}

    // The first outcome wins. Posting under the lock means a Cancel either comes first (and
    // nothing is posted) or finds the outcome already settled.
    void Settle(std::optional<core::HttpReply> outcome) {
        std::lock_guard lock(mutex);
        if (settled) return;
        settled = true;
        reply = std::move(outcome);
        posted = PostMessageW(window, message, 0, 0) != FALSE;
        changed.notify_all();
    }

    void ThreadEnded() {
        std::lock_guard lock(mutex);
        --threads;
        changed.notify_all();
    }

    Win32HttpClient client;
    const HWND window;
    const UINT message;
    std::mutex mutex;
    std::condition_variable changed;
    bool settled = false;
    bool posted = false;
    int threads = 0;
    std::optional<core::HttpReply> reply;
};

namespace {

// Starts a thread that owns a share of the state and reports its end; no exception leaves it.
template <class State, class Fn>
void StartThread(const std::shared_ptr<State>& state, Fn body) {
    {
        std::lock_guard lock(state->mutex);
        ++state->threads;
    }
    try {
        std::thread([state, body]() noexcept {
            try {
                body(*state);
            } catch (...) {
                state->Settle(std::nullopt);
            }
            state->ThreadEnded();
        }).detach();
    } catch (...) {
        state->ThreadEnded();
        throw;
    }
}

}  // namespace

BackgroundGet::BackgroundGet(HWND window, UINT message, core::HttpRequest request,
                             const Win32HttpClient::Limits& limits)
    : state_(std::make_shared<State>(window, message, limits)) {
    try {
        StartThread(state_, [request = std::move(request)](State& state) {
            state.Settle(core::FetchReply(state.client, request));
        });
        // The deadline of the whole request, the wait for the first byte included: stage
        // time-outs alone let a server that trickles a byte now and then go on for ever.
        StartThread(state_, [](State& state) {
            const auto limit = std::chrono::milliseconds(state.client.GetLimits().totalMs);
            bool late = false;
            {
                std::unique_lock lock(state.mutex);
                late = !state.changed.wait_for(lock, limit, [&] { return state.settled; });
            }
            if (!late) return;
            state.Settle(std::nullopt);
            state.client.Cancel();
        });
    } catch (...) {
        Cancel();
        throw;
    }
}

BackgroundGet::~BackgroundGet() {
    Cancel();
}

void BackgroundGet::Cancel() {
    {
        std::lock_guard lock(state_->mutex);
        state_->settled = true;
        state_->changed.notify_all();
    }
    state_->client.Cancel();
}

bool BackgroundGet::Done() const {
    std::lock_guard lock(state_->mutex);
    return state_->posted;
}

std::optional<core::HttpReply> BackgroundGet::TakeReply() {
    std::lock_guard lock(state_->mutex);
    return std::exchange(state_->reply, std::nullopt);
}

bool BackgroundGet::WaitForThreads(int ms) {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, std::chrono::milliseconds(ms),
                                    [&] { return state_->threads == 0; });
}

}  // namespace quenvix::win
