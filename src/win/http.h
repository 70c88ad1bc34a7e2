#pragma once
// The update check's HTTP GET over WinHTTP. Kept out of every other header: WinHTTP's and
// WinINet's declarations cannot meet in one translation unit.
#include "core/update.h"

namespace quenvix::win {

class WinHttpClient : public core::HttpClient {
  public:
    // Limits in milliseconds. Each stage has its own; `totalMs` bounds the whole request, so a
    // server that trickles bytes cannot hold the user interface for long either.
    struct Limits {
        int resolveMs = 5000;
        int connectMs = 5000;
        int sendMs = 5000;
        int receiveMs = 10000;
        int totalMs = 30000;
    };

    WinHttpClient() = default;
    explicit WinHttpClient(const Limits& limits) : limits_(limits) {}

    // http and https with the system's certificate checks, HTTP/1.1, no proxy, the address sent
    // unescaped, redirects reported as their status. The body is read for every status.
    std::optional<core::HttpReply> Get(const core::HttpRequest& request) override;

  private:
    Limits limits_;
};

}  // namespace quenvix::win
