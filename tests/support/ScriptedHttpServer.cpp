#include "support/ScriptedHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string_view>

namespace testsupport {

namespace {

constexpr int kPollMs = 20;

}  // namespace

ScriptedHttpServer::ScriptedHttpServer() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        throw std::runtime_error("socket() failed");
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 64) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(addr.sin_port);
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
    stopping_ = true;
    acceptThread_.join();
    for (std::thread& t : connectionThreads_) {
        t.join();
    }
    ::close(listenFd_);
}

std::string ScriptedHttpServer::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

void ScriptedHttpServer::Enqueue(Reply reply) {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(reply));
}

void ScriptedHttpServer::Enqueue(std::string bytes, Reply::After after) {
    Reply reply;
    reply.bytes = std::move(bytes);
    reply.after = after;
    Enqueue(std::move(reply));
}

void ScriptedHttpServer::SetResponder(std::function<Reply(const std::string&)> responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

std::vector<std::string> ScriptedHttpServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<int> ScriptedHttpServer::RequestConnections() const {
    std::lock_guard lock(mutex_);
    return requestConnections_;
}

std::string ScriptedHttpServer::Response(std::string_view status, std::string_view body,
                                         const std::vector<std::string>& headers) {
    std::string out = "HTTP/1.1 ";
    out += status;
    out += "\r\n";
    for (const std::string& h : headers) {
        out += h;
        out += "\r\n";
    }
    out += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    out += body;
    return out;
}

bool ScriptedHttpServer::SendAll(int fd, std::string_view bytes) const {
    while (!bytes.empty()) {
        if (stopping_) {
            return false;
        }
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The client is not reading: wait for room, but never past the server's end.
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, kPollMs);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool ScriptedHttpServer::WaitReadable(int fd) const {
    while (!stopping_) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kPollMs) > 0) {
            return true;
        }
    }
    return false;
}

void ScriptedHttpServer::AcceptLoop() {
    while (WaitReadable(listenFd_)) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        const int one = 1;  // small scripted pieces go out at once
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const int connection = ++accepted_;
        connectionThreads_.emplace_back([this, fd, connection] { Serve(fd, connection); });
    }
}

Reply ScriptedHttpServer::NextReply(const std::string& request, int connection) {
    std::function<Reply(const std::string&)> responder;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        requestConnections_.push_back(connection);
        if (!queue_.empty()) {
            Reply reply = std::move(queue_.front());
            queue_.pop_front();
            return reply;
        }
        responder = responder_;
    }
    if (responder) {
        return responder(request);  // outside the lock: it may ask the server things
    }
    Reply reply;
    reply.bytes = Response("500 No scripted reply", "");
    return reply;
}

void ScriptedHttpServer::Serve(int fd, int connection) {
    std::string pending;
    bool open = true;
    while (open) {
        // One request: everything up to and including the first empty line.
        // Only bytes not searched yet are searched again (with three before them), so a head of
        // megabytes arriving in 4 KB pieces costs one pass.
        std::size_t end;
        std::size_t searched = 0;
        while ((end = pending.find("\r\n\r\n", searched)) == std::string::npos) {
            searched = pending.size() < 3 ? 0 : pending.size() - 3;
            if (!WaitReadable(fd)) {
                ::close(fd);
                return;
            }
            char buf[4096];
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) {
                ::close(fd);
                return;
            }
            pending.append(buf, static_cast<std::size_t>(n));
        }
        const std::string request = pending.substr(0, end + 4);
        pending.erase(0, end + 4);
        const Reply reply = NextReply(request, connection);
        auto sleep = [this](std::chrono::milliseconds d) {
            const auto until = std::chrono::steady_clock::now() + d;
            while (!stopping_ && std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        };
        sleep(reply.delay);
        const std::size_t piece = reply.pieceSize == 0 ? reply.bytes.size() : reply.pieceSize;
        for (std::size_t at = 0; at < reply.bytes.size() && !stopping_; at += piece) {
            if (at > 0) {
                sleep(reply.pause);
            }
            if (!SendAll(fd, std::string_view(reply.bytes).substr(at, piece))) {
                open = false;
                break;
            }
        }
        if (open && reply.more) {
            for (;;) {
                sleep(reply.pause);
                const std::string next = reply.more();
                if (next.empty()) {
                    break;
                }
                if (!SendAll(fd, next)) {
                    open = false;
                    break;
                }
            }
        }
        if (!open) {
            break;
        }
        if (reply.after == Reply::After::Close) {
            open = false;
        } else if (reply.after == Reply::After::Stall) {
            // Silent until the client goes away or the server stops.
            char buf[4096];
            while (WaitReadable(fd) && ::recv(fd, buf, sizeof buf, 0) > 0) {
            }
            open = false;
        }
    }
    ::close(fd);
}

}  // namespace testsupport
