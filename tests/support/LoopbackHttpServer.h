#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Ipv4SocketAddress.h"
#include "platform/Socket.h"

// A web directory of the test's own on 127.0.0.1: takes one connection after
// another, records each request line, and either answers every request with
// a short 200 or, when silent, never answers and holds the connection open.
class LoopbackHttpServer {
public:
    enum class Behaviour { Answer, Silent };

    // `onRequest` runs on the server thread as each request line arrives,
    // before any answer, while the client still waits.
    explicit LoopbackHttpServer(Behaviour behaviour = Behaviour::Answer,
                                std::function<void()> onRequest = {})
        : behaviour_(behaviour),
          onRequest_(std::move(onRequest)),
          listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address = platform::Ipv4SocketAddress(INADDR_LOOPBACK, 0);
        socklen_t length = sizeof address;
        if (bind(listener_.Descriptor(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(listener_.Descriptor(), 8) != 0 ||
            getsockname(listener_.Descriptor(), reinterpret_cast<sockaddr*>(&address), &length) !=
                0)
            return;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~LoopbackHttpServer() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    std::string Origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

    std::vector<std::string> RequestLines() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return requestLines_;
    }
    int Connections() const { return connections_; }

private:
    void Serve() {
        std::vector<platform::Socket> held;
        while (!stop_) {
            if (!Readable(listener_.Descriptor()))
                continue;
            platform::Socket connection(
                accept4(listener_.Descriptor(), nullptr, nullptr, SOCK_CLOEXEC));
            if (!connection.IsValid())
                continue;
            ++connections_;
            std::string head;
            if (!ReadHead(connection.Descriptor(), head))
                continue;
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                requestLines_.push_back(head.substr(0, head.find("\r\n")));
            }
            if (onRequest_)
                onRequest_();
            if (behaviour_ == Behaviour::Silent) {
                held.push_back(std::move(connection));
                continue;
            }
            const std::string answer =
                "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nOK";
            send(connection.Descriptor(), answer.data(), answer.size(), MSG_NOSIGNAL);
        }
    }

    // Waits briefly, so that the loops see `stop_` soon after it is raised.
    static bool Readable(int descriptor) {
        pollfd entry{descriptor, POLLIN, 0};
        return poll(&entry, 1, 20) > 0;
    }

    // Reads up to the blank line that ends the request head.
    bool ReadHead(int descriptor, std::string& head) const {
        while (!stop_ && head.find("\r\n\r\n") == std::string::npos) {
            if (!Readable(descriptor))
                continue;
            char buffer[1024];
            const ssize_t got = recv(descriptor, buffer, sizeof buffer, 0);
            if (got <= 0)
                return false;
            head.append(buffer, static_cast<size_t>(got));
        }
        return !stop_;
    }

    const Behaviour behaviour_;
    const std::function<void()> onRequest_;
    platform::Socket listener_;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> requestLines_;
    std::thread thread_;
};
