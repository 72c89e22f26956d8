#pragma once

// A small HTTP/1.1 server on 127.0.0.1 for the update tests: one thread, one connection at a
// time, every connection closed after its reply. It stops (and joins) in its destructor; every
// wait inside it is bounded and watches the stop flag.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace TestSupport {

struct HttpRequest {
    std::string method;
    std::string target;
    // Names lower-cased.
    std::map<std::string, std::string> headers;
};

struct HttpReply {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // false: no Content-Length, the body ends when the connection closes.
    bool sendLength = true;
    // Waits before the status line, or after stallAfterBytes bytes of the body.
    int stallBeforeHeadersMs = 0;
    std::int64_t stallAfterBytes = -1;
    int stallMs = 0;
    // After the body, one more byte every trickleMs until the client or the server stops (5 s
    // at most).
    int trickleMs = 0;
};

// Deterministic bytes for bodies and their expected digests.
inline std::string patternBytes(std::size_t count) {
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = char((i * 7 + i / 251) % 256);
    return bytes;
}

inline const char* reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 304:
        return "Not Modified";
    case 404:
        return "Not Found";
    default:
        return "Status";
    }
}

class LoopbackHttpServer {
public:
    using Handler = std::function<HttpReply(const HttpRequest&)>;

    explicit LoopbackHttpServer(Handler handler) : m_handler(std::move(handler)) {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
            ::listen(m_listener, 16) == 0) {
            socklen_t length = sizeof(address);
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
            m_port = ntohs(address.sin_port);
            m_thread = std::thread([this] { run(); });
        }
    }

    ~LoopbackHttpServer() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_listener >= 0)
            ::close(m_listener);
    }

    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    bool isListening() const { return m_port != 0; }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    std::vector<HttpRequest> requests() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }

    // A port nothing listens on (bound, then released).
    static int closedPort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        ::close(fd);
        return ntohs(address.sin_port);
    }

private:
    void run() {
        while (!m_stop) {
            pollfd waiting = {m_listener, POLLIN, 0};
            if (::poll(&waiting, 1, 20) <= 0)
                continue;
            const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            serve(client);
            ::close(client);
        }
    }

    // Sleeps in short slices so the destructor never waits long.
    bool pause(int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!m_stop && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return !m_stop;
    }

    bool sendAll(int fd, const char* data, std::size_t size) {
        while (size > 0) {
            pollfd writable = {fd, POLLOUT, 0};
            if (m_stop || ::poll(&writable, 1, 50) < 0)
                return false;
            if (!(writable.revents & POLLOUT)) {
                if (writable.revents & (POLLERR | POLLHUP))
                    return false;
                continue;
            }
            const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
            if (sent <= 0)
                return false;
            data += sent;
            size -= std::size_t(sent);
        }
        return true;
    }

    bool readRequest(int fd, HttpRequest& request) {
        std::string raw;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (raw.find("\r\n\r\n") == std::string::npos) {
            if (m_stop || raw.size() > 65536 || std::chrono::steady_clock::now() > deadline)
                return false;
            pollfd readable = {fd, POLLIN, 0};
            if (::poll(&readable, 1, 20) <= 0)
                continue;
            char buffer[4096];
            const ssize_t got = ::recv(fd, buffer, sizeof(buffer), 0);
            if (got <= 0)
                return false;
            raw.append(buffer, std::size_t(got));
        }
        std::size_t lineEnd = raw.find("\r\n");
        const std::string first = raw.substr(0, lineEnd);
        const std::size_t space = first.find(' ');
        request.method = first.substr(0, space);
        request.target = first.substr(space + 1, first.rfind(' ') - space - 1);
        for (std::size_t at = lineEnd + 2; at < raw.size();) {
            const std::size_t end = raw.find("\r\n", at);
            const std::string line = raw.substr(at, end - at);
            if (line.empty())
                break;
            const std::size_t colon = line.find(':');
            std::string name = line.substr(0, colon);
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char c) { return char(std::tolower(c)); });
            std::string value = colon == std::string::npos ? "" : line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            request.headers[name] = value;
            at = end + 2;
        }
        return true;
    }

    void serve(int fd) {
        HttpRequest request;
        if (!readRequest(fd, request))
            return;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests.push_back(request);
        }
        const HttpReply reply = m_handler(request);
        if (reply.stallBeforeHeadersMs > 0 && !pause(reply.stallBeforeHeadersMs))
            return;
        std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " +
                           reasonPhrase(reply.status) + "\r\nConnection: close\r\n";
        for (const auto& header : reply.headers)
            head += header.first + ": " + header.second + "\r\n";
        if (reply.sendLength)
            head += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
        head += "\r\n";
        if (!sendAll(fd, head.data(), head.size()))
            return;
        std::size_t sent = 0;
        if (reply.stallAfterBytes >= 0) {
            sent = std::min(reply.body.size(), std::size_t(reply.stallAfterBytes));
            if (!sendAll(fd, reply.body.data(), sent) || !pause(reply.stallMs))
                return;
        }
        if (!sendAll(fd, reply.body.data() + sent, reply.body.size() - sent))
            return;
        // Bounded all the same, so that a client without a deadline fails its test, not hangs.
        const auto trickleEnd = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (reply.trickleMs > 0 && std::chrono::steady_clock::now() < trickleEnd &&
               pause(reply.trickleMs) && sendAll(fd, " ", 1)) {
        }
    }

    Handler m_handler;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<HttpRequest> m_requests;
    std::thread m_thread;
};

} // namespace TestSupport
