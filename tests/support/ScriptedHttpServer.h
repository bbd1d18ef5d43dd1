#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace testsupport {

// What the server does with one request.
struct Reply {
    enum class After {
        KeepOpen,  // wait for the next request on the same connection
        Close,     // close the connection
        Stall,     // say nothing more and never close (until the client does or the server ends)
    };

    std::string bytes;                   // sent exactly as given (may be empty)
    std::chrono::milliseconds delay{0};  // before the first byte
    std::size_t pieceSize = 0;           // 0: one send; otherwise pieces of this many bytes
    std::chrono::milliseconds pause{0};  // between pieces (and before each call of more)
    After after = After::KeepOpen;
    // For replies without end: once bytes are sent, what more() returns is sent next, again
    // and again, until it returns "" (then `after` applies), the client goes away or the
    // server stops. Called on the connection's thread only.
    std::function<std::string()> more{};
};

// A raw-socket HTTP server for tests on 127.0.0.1 and a free port. It records the exact bytes
// of every request (up to and including the empty line) and answers each with the next queued
// Reply, or, when the queue is empty, with the responder's Reply (default: a 500 with no body).
// Each connection is served by its own thread; everything stops when the server is destroyed.
//
//   ScriptedHttpServer server;
//   server.Enqueue(ScriptedHttpServer::Response("200 OK", "page", {"Set-Cookie: a=1; path=/"}));
//   server.Enqueue("HTTP/1.1 200 OK\r\n\r\nto the close", Reply::After::Close);
//   server.SetResponder([](const std::string& request) { return Reply{...}; });  // the rest
//   client.FetchPage(server.BaseUrl() + "/icp/details.asp?CertType=0&Domain=a.cn");
//   server.Requests()[0]            // "GET /icp/details.asp?... HTTP/1.1\r\n...\r\n\r\n"
//   server.AcceptedConnections()    // connections opened so far
//
// The responder runs on a connection thread, possibly on several at once.
class ScriptedHttpServer {
public:
    ScriptedHttpServer();
    ~ScriptedHttpServer();
    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

    std::uint16_t Port() const { return port_; }
    // "http://127.0.0.1:<port>"
    std::string BaseUrl() const;

    void Enqueue(Reply reply);
    void Enqueue(std::string bytes, Reply::After after = Reply::After::KeepOpen);
    void SetResponder(std::function<Reply(const std::string& request)> responder);

    // Exact bytes of every request received so far, in order of arrival.
    std::vector<std::string> Requests() const;
    // For each request, the number (from 1) of the connection that carried it.
    std::vector<int> RequestConnections() const;
    int AcceptedConnections() const { return accepted_.load(); }

    // A complete response with a Content-Length body: "HTTP/1.1 <status>", extra header lines
    // (each without line end), the body.
    static std::string Response(std::string_view status, std::string_view body,
                                const std::vector<std::string>& headers = {});

private:
    void AcceptLoop();
    void Serve(int fd, int connection);
    Reply NextReply(const std::string& request, int connection);
    // Waits until fd is readable or the server stops; false when stopping.
    bool WaitReadable(int fd) const;
    // Sends all of bytes unless the client goes away or the server stops (false then).
    bool SendAll(int fd, std::string_view bytes) const;

    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> accepted_{0};
    mutable std::mutex mutex_;
    std::deque<Reply> queue_;
    std::function<Reply(const std::string&)> responder_;
    std::vector<std::string> requests_;
    std::vector<int> requestConnections_;
    std::vector<std::thread> connectionThreads_;
    std::thread acceptThread_;
};

}  // namespace testsupport
