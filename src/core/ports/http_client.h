#pragma once
// Port: one HTTP GET, for the update check.
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quenvix::core {

struct HttpRequest {
    std::string url;  // sent exactly as given: no escaping of any part
    std::vector<std::pair<std::string, std::string>> headers;
    std::size_t maxBodyBytes = 0;  // a longer body makes the request fail
};

struct HttpReply {
    int status = 0;
    std::string body;
};

// One HTTP GET. Redirects are never followed (a 3xx comes back as its status). Answers nullopt
// for every failure to get a reply at all: bad address, no connection, time-out, body too long.
// Never throws for such failures.
class HttpClient {
  public:
    virtual ~HttpClient() = default;
    virtual std::optional<HttpReply> Get(const HttpRequest& request) = 0;
};

}  // namespace quenvix::core
