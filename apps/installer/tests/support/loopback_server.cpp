#include "support/loopback_server.h"

#include <chrono>
#include <cstring>
#include <stdexcept>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace zarn::test {

namespace {

#ifdef _WIN32
using Socket = SOCKET;
constexpr int kSendFlags = 0;
void close_socket(Socket socket) { ::closesocket(socket); }
void end_sending(Socket socket) { ::shutdown(socket, SD_SEND); }
void start_sockets() {
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) throw std::runtime_error("WSAStartup failed");
}
#else
using Socket = int;
constexpr int kSendFlags = MSG_NOSIGNAL;
void close_socket(Socket socket) { ::close(socket); }
void end_sending(Socket socket) { ::shutdown(socket, SHUT_WR); }
void start_sockets() {}
#endif

Socket as_socket(std::intptr_t value) { return static_cast<Socket>(value); }

// Waits up to `ms` for the socket to become readable.
bool readable(Socket socket, int ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval wait{0, ms * 1000};
    return ::select(static_cast<int>(socket + 1), &set, nullptr, nullptr, &wait) > 0;
}

std::string reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 302: return "Found";
        case 404: return "Not Found";
        case 500: return "Internal Server Error";
        default: return "Status";
    }
}

}  // namespace

bool Reply::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const auto sent = ::send(as_socket(socket_), bytes.data(), static_cast<int>(bytes.size()), kSendFlags);
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

bool Reply::head(int status, const Headers& headers, std::optional<std::size_t> length) {
    std::string text = "HTTP/1.1 " + std::to_string(status) + " " + reason(status) + "\r\nConnection: close\r\n";
    if (length) text += "Content-Length: " + std::to_string(*length) + "\r\n";
    for (const auto& [name, value] : headers) text += name + ": " + value + "\r\n";
    return write(text + "\r\n");
}

bool Reply::send(int status, std::string_view body, const Headers& headers) {
    return head(status, headers, body.size()) && write(body);
}

LoopbackServer::LoopbackServer() {
    start_sockets();
    const Socket listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 16) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        close_socket(listener);
        throw std::runtime_error("no free port on 127.0.0.1");
    }
    listener_ = static_cast<std::intptr_t>(listener);
    port_ = ntohs(address.sin_port);
}

LoopbackServer::~LoopbackServer() {
    stopping_ = true;
    if (acceptor_.joinable()) acceptor_.join();
    close_socket(as_socket(listener_));
    std::lock_guard lock(mutex_);
    for (auto& connection : connections_) connection.join();
}

void LoopbackServer::route(std::string path, Handler handler) { routes_[std::move(path)] = std::move(handler); }

void LoopbackServer::start() {
    if (!acceptor_.joinable()) acceptor_ = std::thread([this] { accept_connections(); });
}

std::vector<std::string> LoopbackServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void LoopbackServer::accept_connections() {
    while (!stopping_) {
        if (!readable(as_socket(listener_), 20)) continue;
        const Socket connection = ::accept(as_socket(listener_), nullptr, nullptr);
        std::lock_guard lock(mutex_);
        connections_.emplace_back([this, connection] { answer(static_cast<std::intptr_t>(connection)); });
    }
}

void LoopbackServer::answer(std::intptr_t connection) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        const auto got = ::recv(as_socket(connection), buffer, sizeof buffer, 0);
        if (got <= 0) break;
        head.append(buffer, static_cast<std::size_t>(got));
    }
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(head);
    }
    // "GET {target} HTTP/1.1"
    const auto first = head.find(' ');
    const auto second = head.find(' ', first + 1);
    const std::string target =
        first == std::string::npos || second == std::string::npos ? "" : head.substr(first + 1, second - first - 1);
    Reply reply(connection);
    if (const auto found = routes_.find(target); found != routes_.end()) {
        found->second(reply);
    } else {
        reply.send(404, "no route");
    }
    end_sending(as_socket(connection));
    close_socket(as_socket(connection));
}

}  // namespace zarn::test
