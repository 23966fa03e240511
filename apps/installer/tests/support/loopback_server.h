#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace zarn::test {

using Headers = std::vector<std::pair<std::string, std::string>>;

// The answer to one request, written straight to the connection; the connection is closed
// after the handler returns.
class Reply {
public:
    explicit Reply(std::intptr_t socket) : socket_(socket) {}

    // The status line and headers; with a length, "Content-Length" is sent too.
    bool head(int status, const Headers& headers, std::optional<std::size_t> length);
    bool write(std::string_view bytes);
    // A whole response with its length.
    bool send(int status, std::string_view body, const Headers& headers = {});

private:
    std::intptr_t socket_;
};

using Handler = std::function<void(Reply&)>;

// A small HTTP/1.1 server on 127.0.0.1 at a free port, answering GET requests on threads of
// its own, one connection per request. Its port is taken when it is made; add the routes,
// then start it. A path without a route is answered with 404.
class LoopbackServer {
public:
    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // `path` is the request target exactly as the client sends it.
    void route(std::string path, Handler handler);
    // Starts answering; starting again does nothing.
    void start();
    // "http://127.0.0.1:{port}", without a trailing "/".
    std::string base_url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    // Each request's head as it arrived, in order.
    std::vector<std::string> requests() const;

private:
    void accept_connections();
    void answer(std::intptr_t connection);

    std::intptr_t listener_;
    int port_ = 0;
    std::map<std::string, Handler> routes_;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    mutable std::mutex mutex_;
    std::vector<std::thread> connections_;
    std::vector<std::string> requests_;
};

}  // namespace zarn::test
