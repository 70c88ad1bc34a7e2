#pragma once
// The update check's HTTP GET over WinHTTP, and the same GET on a worker thread whose end is
// posted to a window. winhttp.h stays out of this header: WinHTTP's and WinINet's declarations
// cannot meet in one translation unit.
#include <windows.h>

#include <memory>
#include <mutex>

#include "core/update.h"

namespace quenvix::win {

class Win32HttpClient : public core::HttpClient {
  public:
    // Limits in milliseconds. Each stage has its own; `totalMs` bounds the whole request (kept by
    // BackgroundGet), so a server that trickles bytes cannot hold a check for long either.
    struct Limits {
        int resolveMs = 5000;
        int connectMs = 5000;
        int sendMs = 5000;
        int receiveMs = 10000;
        int totalMs = 30000;
    };

    Win32HttpClient() = default;
    explicit Win32HttpClient(const Limits& limits) : limits_(limits) {}

    // http and https with the system's certificate checks, HTTP/1.1, through the user's proxy
    // (OpenProxiedSession), the address sent
    // unescaped, redirects reported as their status. The body is read for every status.
    // Blocks the calling thread; run it off the user-interface thread (see BackgroundGet).
    std::optional<core::HttpReply> Get(const core::HttpRequest& request) override;

    // From any thread: closes the handles of the request in flight and makes this and every
    // later Get fail. Windows ends a blocked call at once; some WinHTTP implementations (Wine's)
    // let it run to its own stage time-out, which is why BackgroundGet never waits for it.
    void Cancel();

    const Limits& GetLimits() const { return limits_; }

  private:
    class RequestHandles;

    Limits limits_;
    std::mutex mutex_;
    bool cancelled_ = false;
    RequestHandles* current_ = nullptr;
};

// WinHttpOpen's shape (HINTERNET is a void pointer), so that a test can stand in for it.
using SessionOpener = void*(WINAPI*)(const wchar_t* agent, DWORD accessType, const wchar_t* proxy,
                                     const wchar_t* bypass, DWORD flags);

// A WinHTTP session that finds its way out as the user's other programs do: the system's and the
// user's proxy settings where the system can follow them (Windows 8.1 on), else the proxy set for
// WinHTTP. Null, with the system's error, when neither can be opened. `open` null is WinHttpOpen.
void* OpenProxiedSession(const wchar_t* agent, SessionOpener open = nullptr);

// One GET on a worker thread. Its end (a reply, a failure, or the overall deadline `totalMs`,
// whichever comes first) is posted once as `message` to `window`, which then takes the reply
// with TakeReply on its own thread. Cancel, or destroying this object, closes the request's
// handles; from then on nothing is posted. The threads share the request's state with this
// object, so a worker that a network call still holds may outlive it without harm.
class BackgroundGet {
  public:
    BackgroundGet(HWND window, UINT message, core::HttpRequest request,
                  const Win32HttpClient::Limits& limits = {});
    ~BackgroundGet();
    BackgroundGet(const BackgroundGet&) = delete;
    BackgroundGet& operator=(const BackgroundGet&) = delete;

    void Cancel();
    // True once the message has been posted.
    bool Done() const;
    // The reply once Done (nullopt for every failure and for the deadline); empty afterwards.
    std::optional<core::HttpReply> TakeReply();
    // Waits at most `ms` for the worker and its deadline watch to end; true when they have.
    bool WaitForThreads(int ms);

  private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace quenvix::win
