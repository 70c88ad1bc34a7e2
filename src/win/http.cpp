#include "win/http.h"

#include <windows.h>
#include <winhttp.h>

#include <memory>
#include <string>
#include <type_traits>

#include "win/ui.h"

namespace quenvix::win {
namespace {

struct InternetDeleter {
    void operator()(HINTERNET h) const noexcept {
        if (h) WinHttpCloseHandle(h);
    }
};
using UniqueInternet = std::unique_ptr<std::remove_pointer_t<HINTERNET>, InternetDeleter>;

bool SetDword(HINTERNET handle, DWORD option, DWORD value) {
    return WinHttpSetOption(handle, option, &value, sizeof value) != FALSE;
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

std::optional<core::HttpReply> WinHttpClient::Get(const core::HttpRequest& request) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(limits_.totalMs);
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

    UniqueInternet session(WinHttpOpen(agent.empty() ? nullptr : agent.c_str(),
                                       WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return std::nullopt;
    if (!WinHttpSetTimeouts(session.get(), limits_.resolveMs, limits_.connectMs, limits_.sendMs,
                            limits_.receiveMs)) {
        return std::nullopt;
    }
    const bool sessionNoRedirects = SetDword(session.get(), WINHTTP_OPTION_REDIRECT_POLICY,
                                             WINHTTP_OPTION_REDIRECT_POLICY_NEVER);

    UniqueInternet connection(WinHttpConnect(session.get(), url->host.c_str(), url->port, 0));
    if (!connection) return std::nullopt;

    // The address goes out as built: the braces of the installation identifier stay braces.
    DWORD flags = WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY;
    if (url->secure) flags |= WINHTTP_FLAG_SECURE;
    UniqueInternet req(WinHttpOpenRequest(connection.get(), L"GET", url->pathAndQuery.c_str(),
                                          L"HTTP/1.1", WINHTTP_NO_REFERER,
                                          WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!req) return std::nullopt;
    const bool requestNoRedirects =
        SetDword(req.get(), WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_REDIRECTS);
    // A redirect must never be followed: give up when neither way of saying so is understood.
    if (!sessionNoRedirects && !requestNoRedirects) return std::nullopt;
    WinHttpSetTimeouts(req.get(), limits_.resolveMs, limits_.connectMs, limits_.sendMs,
                       limits_.receiveMs);
    // Some WinHTTP implementations only bound the wait for a silent server with this option.
    SetDword(req.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT,
             static_cast<DWORD>(limits_.receiveMs));

    if (!extraHeaders.empty() &&
        !WinHttpAddRequestHeaders(req.get(), extraHeaders.c_str(), static_cast<DWORD>(-1),
                                  WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
        return std::nullopt;
    }
    if (!WinHttpSendRequest(req.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                            0, 0) ||
        !WinHttpReceiveResponse(req.get(), nullptr)) {
        return std::nullopt;
    }

    core::HttpReply reply;
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!WinHttpQueryHeaders(req.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                             WINHTTP_NO_HEADER_INDEX)) {
        return std::nullopt;
    }
    reply.status = static_cast<int>(status);

    char buffer[8192];
    for (;;) {
        if (GetTickCount64() > deadline) return std::nullopt;
        DWORD read = 0;
        if (!WinHttpReadData(req.get(), buffer, sizeof buffer, &read)) return std::nullopt;
        if (read == 0) break;
        reply.body.append(buffer, read);
        if (reply.body.size() > request.maxBodyBytes) return std::nullopt;
    }
    return reply;
}

}  // namespace quenvix::win
