#pragma once
// A tiny HTTP server on 127.0.0.1 (a random free port) for tests of the HTTP client. Each
// connection's request head is recorded and answered with the bytes the test's responder
// returns; nullopt keeps the connection open without a word until the server stops. A server
// made with a pause sends the answer one byte per pause (a trickle). Winsock is
// loaded at run time so the program needs no import library beyond the product's own.
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace quenvix::test {

class LoopbackServer {
  public:
    using Responder = std::function<std::optional<std::string>(const std::string& requestHead)>;

    explicit LoopbackServer(Responder responder, int pauseMsPerByte = 0)
        : responder_(std::move(responder)), pauseMsPerByte_(pauseMsPerByte) {
        Load();
        WSADATA data{};
        if (api_.startup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup");
        listener_ = api_.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (listener_ == INVALID_SOCKET) throw std::runtime_error("socket");
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = 0;
        // 127.0.0.1 in network order; never any other interface.
        address.sin_addr.s_addr = static_cast<ULONG>(0x0100007F);
        if (api_.bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            api_.listen(listener_, 8) != 0) {
            throw std::runtime_error("bind/listen");
        }
        int length = sizeof address;
        api_.getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = (address.sin_port & 0xFF) << 8 | (address.sin_port >> 8 & 0xFF);
        thread_ = std::thread([this] { Serve(); });
    }

    ~LoopbackServer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        api_.closesocket(listener_);
        api_.cleanup();
        FreeLibrary(module_);
    }

    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int Port() const { return port_; }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_); }

    std::vector<std::string> Requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

  private:
    struct Api {
        decltype(&::WSAStartup) startup;
        decltype(&::WSACleanup) cleanup;
        decltype(&::socket) socket;
        decltype(&::bind) bind;
        decltype(&::listen) listen;
        decltype(&::accept) accept;
        decltype(&::recv) recv;
        decltype(&::send) send;
        decltype(&::closesocket) closesocket;
        decltype(&::getsockname) getsockname;
        decltype(&::select) select;
    };

    template <class T>
    void Bind(T& fn, const char* name) {
        fn = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
        if (!fn) throw std::runtime_error(name);
    }

    void Load() {
        module_ = LoadLibraryW(L"ws2_32.dll");
        if (!module_) throw std::runtime_error("ws2_32.dll");
        Bind(api_.startup, "WSAStartup");
        Bind(api_.cleanup, "WSACleanup");
        Bind(api_.socket, "socket");
        Bind(api_.bind, "bind");
        Bind(api_.listen, "listen");
        Bind(api_.accept, "accept");
        Bind(api_.recv, "recv");
        Bind(api_.send, "send");
        Bind(api_.closesocket, "closesocket");
        Bind(api_.getsockname, "getsockname");
        Bind(api_.select, "select");
    }

    bool Readable(SOCKET s) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval wait{0, 50 * 1000};
        return api_.select(0, &set, nullptr, nullptr, &wait) > 0;
    }

    void Serve() {
        while (!stop_) {
            if (!Readable(listener_)) continue;
            SOCKET client = api_.accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET) continue;
            std::string head;
            char buffer[2048];
            while (!stop_ && head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
                if (!Readable(client)) continue;
                const int got = api_.recv(client, buffer, sizeof buffer, 0);
                if (got <= 0) break;
                head.append(buffer, static_cast<std::size_t>(got));
            }
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(head);
            }
            const auto response = responder_(head);
            if (response) {
                std::size_t sent = 0;
                while (!stop_ && sent < response->size()) {
                    const std::size_t chunk = pauseMsPerByte_ > 0 ? 1 : response->size() - sent;
                    const int n =
                        api_.send(client, response->data() + sent, static_cast<int>(chunk), 0);
                    if (n <= 0) break;
                    sent += static_cast<std::size_t>(n);
                    if (pauseMsPerByte_ > 0) Sleep(static_cast<DWORD>(pauseMsPerByte_));
                }
            } else {
                while (!stop_) Sleep(20);
            }
            api_.closesocket(client);
        }
    }

    Responder responder_;
    int pauseMsPerByte_ = 0;
    HMODULE module_ = nullptr;
    Api api_{};
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
};

// A complete HTTP/1.1 response with the given status line, extra headers and body.
inline std::string HttpResponse(const std::string& statusLine, const std::string& body,
                                const std::string& extraHeaders = "") {
    return "HTTP/1.1 " + statusLine + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

}  // namespace quenvix::test
