#include "lookup/LookupClient.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "support/ScriptedLookup.h"

namespace {

using namespace std::chrono_literals;
using lookup::HttpError;
using lookup::LookupClient;
using lookup::LookupError;
using testsupport::Reply;
using testsupport::ScriptedHttpServer;
using After = Reply::After;
using cytest::Ok;
using cytest::UrlFor;

// The request head the client must send, written out here independently of the writer.
std::string ExpectedHead(const ScriptedHttpServer& server, const std::string& domainBytes,
                         const std::string& cookie = "") {
    return "GET " + cytest::LookupTarget() + domainBytes +
           " HTTP/1.1\r\n"
           "Content-Type: text/html\r\n"
           "Host: 127.0.0.1:" +
           std::to_string(server.Port()) +
           "\r\n"
           "Accept: text/html, */*\r\n"
           "User-Agent: Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1; .NET CLR 2.0.50727; "
           ".NET CLR 3.0.04506.30; CIBA; MAXTHON 2.0)\r\n" +
           (cookie.empty() ? "" : "Cookie: " + cookie + "\r\n") + "\r\n";
}

// A resolver the test controls: names starting with "silent" never answer until released,
// every other name is this machine. It counts the resolutions running at once. Shared with the
// resolution threads, which outlive the lookups that gave up on them.
struct TestResolver {
    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
    int calls = 0, running = 0, mostRunning = 0;

    static lookup::ResolveHost Seam(const std::shared_ptr<TestResolver>& self) {
        return [self](const std::string& host) {
            std::unique_lock lock(self->mutex);
            ++self->calls;
            self->mostRunning = std::max(self->mostRunning, ++self->running);
            self->changed.notify_all();
            if (host.starts_with("silent")) {
                self->changed.wait(lock, [&] { return self->released; });
            }
            --self->running;
            self->changed.notify_all();
            return lookup::ResolvedHost{{"127.0.0.1"}, ""};
        };
    }
};

// Lets the silent names answer when the test ends, and waits until they have.
struct ReleaseAtEnd {
    std::shared_ptr<TestResolver> resolver;
    ~ReleaseAtEnd() {
        std::unique_lock lock(resolver->mutex);
        resolver->released = true;
        resolver->changed.notify_all();
        resolver->changed.wait(lock, [&] { return resolver->running == 0; });
    }
};

TEST(LookupClient, RequestBytesForEveryKindOfDomain) {
    ScriptedHttpServer server;
    server.SetResponder([](const std::string&) { return Reply{Ok("page")}; });
    LookupClient client;
    struct Case {
        std::string domain, sent;
    } cases[] = {
        {" example.com\r\n", "example.com"},
        {"\ta b.example.cn  ", "a b.example.cn"},
        {"\xD6\xD0\xCE\xC4.cn", "\xD6\xD0\xCE\xC4.cn"},  // 中文.cn as raw GBK
        {"a#b.cn", "a"},
        {"a\\b.cn", "a/b.cn"},
        {"\xD5\x5C.cn", "\xD5\x5C.cn"},  // 誠... second byte 0x5C stays
        {" \r\n", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(client.FetchPage(UrlFor(server, c.domain)), "page");
    }
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), std::size(cases));
    for (std::size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i], ExpectedHead(server, cases[i].sent)) << i;
    }
    EXPECT_EQ(server.AcceptedConnections(), 1);  // one connection for the whole run
}

TEST(LookupClient, CookiesFromAnyResponseGoBackOnLaterRequests) {
    ScriptedHttpServer server;
    server.Enqueue(Ok(
        "one",
        {"Set-Cookie: sid=abc; path=/",
         // far-future expiries last; a past one or max-age 0 is removed
         "Set-Cookie: forever=1; path=/; expires=Fri, 31 Dec 9999 23:59:59 GMT",
         "Set-Cookie: long=2; path=/; Max-Age=9999999999", "Set-Cookie: now=3; path=/; Max-Age=0",
         "Set-Cookie: old=4; path=/; expires=Sun, 06 Nov 1994 08:49:37 GMT"}));
    server.Enqueue(ScriptedHttpServer::Response(
        "404 Not Found", "gone", {"Set-Cookie: lang=cn; Path=/icp/", "Set-Cookie: junk=1"}));
    server.Enqueue(Ok("three", {"Set-Cookie: sid=; path=/"}));
    server.Enqueue(Ok("four"));
    LookupClient client;
    EXPECT_EQ(client.FetchPage(UrlFor(server, "a.cn")), "one");
    EXPECT_THROW(client.FetchPage(UrlFor(server, "b.cn")), HttpError);
    EXPECT_EQ(client.FetchPage(UrlFor(server, "c.cn")), "three");
    EXPECT_EQ(client.FetchPage(UrlFor(server, "d.cn")), "four");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0], ExpectedHead(server, "a.cn"));
    EXPECT_EQ(requests[1], ExpectedHead(server, "b.cn", "sid=abc; forever=1; long=2"));
    // junk has no path, so it is never sent
    EXPECT_EQ(requests[2], ExpectedHead(server, "c.cn", "lang=cn; sid=abc; forever=1; long=2"));
    // sid was replaced by an empty value, which is not sent
    EXPECT_EQ(requests[3], ExpectedHead(server, "d.cn", "lang=cn; forever=1; long=2"));
}

TEST(LookupClient, FailureResponsesCarryStatusLineAndErrorPage) {
    struct Case {
        std::string response;
        int status;
        std::string statusLine, body;
    } cases[] = {
        {ScriptedHttpServer::Response("302 Found", "moved", {"Location: http://127.0.0.1:1/x"}),
         302, "HTTP/1.1 302 Found", "moved"},
        {Ok("with location", {"Location: /elsewhere"}), 200, "HTTP/1.1 200 OK", "with location"},
        {ScriptedHttpServer::Response("404 Not Found", "no such page"), 404,
         "HTTP/1.1 404 Not Found", "no such page"},
        {"HTTP/1.1 500 Oops\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nbad\r\n0\r\n\r\n", 500,
         "HTTP/1.1 500 Oops", "bad"},
        {ScriptedHttpServer::Response("304 Not Modified", "stale"), 304,
         "HTTP/1.1 304 Not Modified", "stale"},
        {"HTTP/1.1 100 Continue\r\n\r\n" + ScriptedHttpServer::Response("101 Switching", "x"), 101,
         "HTTP/1.1 101 Switching", "x"},
        {ScriptedHttpServer::Response("abc", "odd"), -1, "HTTP/1.1 abc", "odd"},
    };
    ScriptedHttpServer server;
    LookupClient client;
    for (const auto& c : cases) {
        server.Enqueue(c.response);
        try {
            client.FetchPage(UrlFor(server, "x.cn"));
            ADD_FAILURE() << "no failure for " << c.response;
        } catch (const HttpError& e) {
            EXPECT_EQ(e.Status(), c.status);
            EXPECT_EQ(e.what(), c.statusLine);
            EXPECT_EQ(e.Body(), c.body);
        }
    }
    // Locations are never followed; every failure left the connection open for the next.
    EXPECT_EQ(server.Requests().size(), std::size(cases));
    EXPECT_EQ(server.AcceptedConnections(), 1);
}

TEST(LookupClient, BodiesAndConnectionReuse) {
    struct Case {
        const char* name;
        std::string response;
        After after;
        std::string body;
        bool newConnectionNext;
    } cases[] = {
        {"length", Ok("hello"), After::KeepOpen, "hello", false},
        {"keep-alive", Ok("ka", {"Connection: Keep-Alive"}), After::KeepOpen, "ka", false},
        {"chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n",
         After::KeepOpen, "abcde", false},
        {"to close", "HTTP/1.1 200 OK\r\n\r\nuntil the end", After::Close, "until the end", true},
        {"204", "HTTP/1.1 204 No Content\r\n\r\n", After::KeepOpen, "", false},
        {"short at close", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial", After::Close,
         "partial", true},
        {"close", Ok("bye", {"Connection:  close "}), After::KeepOpen, "bye", true},
        {"proxy close", Ok("bye", {"Proxy-Connection: CLOSE"}), After::KeepOpen, "bye", true},
        {"404 close", ScriptedHttpServer::Response("404 Not Found", "", {"Connection: close"}),
         After::KeepOpen, "", true},
        // the server drops the idle connection without saying so: noticed before the next
        {"silent drop", Ok("dropped"), After::Close, "dropped", true},
        {"binary", Ok(std::string("\x00\xFF\x80\r\n\x81", 6)), After::KeepOpen,
         std::string("\x00\xFF\x80\r\n\x81", 6), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server;
        server.Enqueue(c.response, c.after);
        server.Enqueue(Ok("next"));
        LookupClient client;
        try {
            EXPECT_EQ(client.FetchPage(UrlFor(server, "a.cn")), c.body);
        } catch (const HttpError& e) {
            EXPECT_EQ(std::string(c.name), "404 close") << e.what();
        }
        if (c.after == After::Close) {
            // Let the server's close arrive first: a close that crosses the next request on
            // the wire fails that lookup (there are no retries), which is not this case.
            std::this_thread::sleep_for(100ms);
        }
        EXPECT_EQ(client.FetchPage(UrlFor(server, "b.cn")), "next");
        EXPECT_EQ(server.AcceptedConnections(), c.newConnectionNext ? 2 : 1);
        EXPECT_EQ(server.RequestConnections(), (std::vector<int>{1, c.newConnectionNext ? 2 : 1}));
    }
}

TEST(LookupClient, ErrorPageIsWaitedForBrieflyAndThePageBodyPatiently) {
    lookup::LookupLimits limits;
    limits.stall = 3s;
    limits.failureBodyPiece = 200ms;
    ScriptedHttpServer server;
    // The error page stops after its first piece: the failure comes after the short wait.
    server.Enqueue(
        Reply{"HTTP/1.1 404 Not Found\r\nContent-Length: 10\r\n\r\nabc", {}, 0, {}, After::Stall});
    // A page whose pieces come 500 ms apart is still read whole.
    Reply slow{Ok("0123456789")};
    slow.pieceSize = slow.bytes.size() - 5;
    slow.pause = 500ms;
    server.Enqueue(slow);
    LookupClient client(limits);
    auto start = std::chrono::steady_clock::now();
    try {
        client.FetchPage(UrlFor(server, "a.cn"));
        ADD_FAILURE() << "no failure";
    } catch (const HttpError& e) {
        EXPECT_EQ(e.Body(), "abc");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.FetchPage(UrlFor(server, "b.cn")), "0123456789");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 500ms);
}

TEST(LookupClient, TimeLimitIsOnProgressNotOnTheWholeResponse) {
    lookup::LookupLimits limits;
    limits.stall = 300ms;
    ScriptedHttpServer server;
    Reply slow{Ok(std::string(20, 'z'))};
    slow.pieceSize = 10;
    slow.pause = 100ms;  // about 800 ms in all, never 300 ms without a byte
    server.Enqueue(slow);
    LookupClient client(limits);
    EXPECT_EQ(client.FetchPage(UrlFor(server, "a.cn")), std::string(20, 'z'));
}

// A request head far larger than the socket buffers (a thousand cookies of 8 KB) goes out in
// many writes; when the service stops reading, the stall limit ends the write, and Abort() cuts
// a write that waits.
TEST(LookupClient, LongRequestHeadsAreWrittenWholeOrFailInTime) {
    lookup::LookupLimits limits;
    limits.maxCookiesPerDomain = limits.maxCookies = 1000;
    limits.maxCookieBytes = 9000;
    ScriptedHttpServer server;
    auto given = std::make_shared<std::atomic<int>>(0);
    server.SetResponder([given](const std::string&) {
        std::vector<std::string> cookies;
        for (int i = 0; i < 100; ++i) {
            cookies.push_back("Set-Cookie: c" + std::to_string((*given)++) + "=" +
                              std::string(8000, 'v') + "; path=/");
        }
        return Reply{Ok("cookies", cookies)};
    });
    // A listener that takes connections into its backlog and never reads from them.
    const int deaf = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(deaf, 0);
    const int small = 4096;
    ::setsockopt(deaf, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(deaf, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(deaf, 4), 0);
    ASSERT_EQ(::getsockname(deaf, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const std::string deafUrl =
        "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/x?Domain=a.cn";

    auto withLongHead = [&](std::chrono::milliseconds stall) {
        limits.stall = stall;
        auto client = std::make_unique<LookupClient>(limits);
        for (int i = 0; i < 10; ++i) {
            EXPECT_EQ(client->FetchPage(UrlFor(server, "a.cn")), "cookies");
        }
        return client;
    };
    {
        auto client = withLongHead(1s);
        EXPECT_EQ(client->FetchPage(UrlFor(server, "b.cn")), "cookies");
        const std::string head = server.Requests().back();
        EXPECT_GT(head.size(), 8'000'000u);
        EXPECT_NE(head.find("c999=" + std::string(8000, 'v') + "\r\n\r\n"), std::string::npos);
        try {
            client->FetchPage(deafUrl);
            ADD_FAILURE() << "no failure";
        } catch (const LookupError& e) {
            EXPECT_STREQ(e.what(), "Write timed out.");
            EXPECT_EQ(e.GetKind(), LookupError::Kind::WriteTimeout);
        }
    }
    {
        auto client = withLongHead(60s);
        std::atomic<bool> done{false};
        std::thread stopper([&] {
            while (!done) {
                std::this_thread::sleep_for(50ms);
                client->Abort();  // cuts only an exchange in flight
            }
        });
        const auto start = std::chrono::steady_clock::now();
        try {
            client->FetchPage(deafUrl);
            ADD_FAILURE() << "no failure";
        } catch (const LookupError& e) {
            EXPECT_EQ(e.GetKind(), LookupError::Kind::Stopped) << e.what();
        }
        done = true;
        stopper.join();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
    }
    ::close(deaf);
}

TEST(LookupClient, ConnectFailuresAndBadUrlsLeaveTheClientUsable) {
    LookupClient client;
    std::uint16_t closedPort;
    {
        ScriptedHttpServer gone;
        closedPort = gone.Port();
    }
    EXPECT_THROW(client.FetchPage("http://127.0.0.1:" + std::to_string(closedPort) + "/x"),
                 LookupError);
    EXPECT_THROW(client.FetchPage("https://127.0.0.1/x"), LookupError);
    EXPECT_THROW(client.FetchPage("http://no-such-host.invalid/x"), LookupError);
    ScriptedHttpServer server;
    server.Enqueue(Ok("fine"));
    EXPECT_EQ(client.FetchPage(UrlFor(server, "a.cn")), "fine");
}

TEST(LookupClient, ConnectLimitCoversAResolverThatNeverAnswers) {
    lookup::LookupLimits limits;
    limits.connect = 500ms;
    const auto resolver = std::make_shared<TestResolver>();
    ReleaseAtEnd release{resolver};
    ScriptedHttpServer server;
    server.Enqueue(Ok("fine"));
    LookupClient client(limits, TestResolver::Seam(resolver));
    // Asked twice: the second lookup waits for the same resolution instead of starting another.
    for (int i = 0; i < 2; ++i) {
        const auto start = std::chrono::steady_clock::now();
        try {
            client.FetchPage("http://silent.test/x");
            ADD_FAILURE() << "no failure";
        } catch (const LookupError& e) {
            EXPECT_STREQ(e.what(), "Connect timed out.");
        }
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_GE(took, limits.connect);
        EXPECT_LT(took, limits.connect + 1s);
    }
    // The name is resolved on another thread, which the client no longer waits for; the other
    // resolution slot is still free.
    EXPECT_EQ(client.FetchPage("http://working.test:" + std::to_string(server.Port()) + "/x"),
              "fine");
    std::lock_guard lock(resolver->mutex);
    EXPECT_EQ(resolver->calls, 2);
}

TEST(LookupClient, SilentResolutionsHoldAtMostTheirSlots) {
    lookup::LookupLimits limits;
    limits.connect = 100ms;
    const auto resolver = std::make_shared<TestResolver>();
    ScriptedHttpServer server;
    server.Enqueue(Ok("fine"));
    const std::string working = "http://working.test:" + std::to_string(server.Port()) + "/x";
    LookupClient client(limits, TestResolver::Seam(resolver));
    {
        ReleaseAtEnd release{resolver};
        // Four names, each asked three times: the first two start resolutions, the others wait
        // in vain for a slot, and a name asked again joins its running resolution.
        for (int i = 0; i < 12; ++i) {
            try {
                client.FetchPage("http://silent" + std::to_string(i % 4) + ".test/x");
                ADD_FAILURE() << "no failure";
            } catch (const LookupError& e) {
                EXPECT_STREQ(e.what(), "Connect timed out.");
            }
        }
        // A numeric host needs no resolution, so no slot.
        EXPECT_EQ(client.FetchPage(UrlFor(server, "a.cn")), "fine");
        std::unique_lock lock(resolver->mutex);
        // (a loaded machine may start a resolution thread late)
        resolver->changed.wait_for(lock, 10s, [&] { return resolver->calls >= 2; });
        EXPECT_EQ(resolver->calls, lookup::HostResolver::kMaxRunning);
        EXPECT_EQ(resolver->mostRunning, lookup::HostResolver::kMaxRunning);
    }
    // Once the resolutions end their slots are free again (the threads free them a moment after
    // the resolver returns, so a lookup just before then may still time out).
    server.Enqueue(Ok("again"));
    std::string page;
    for (const auto until = std::chrono::steady_clock::now() + 10s;
         page.empty() && std::chrono::steady_clock::now() < until;) {
        try {
            page = client.FetchPage(working);
        } catch (const LookupError& e) {
            EXPECT_STREQ(e.what(), "Connect timed out.");
        }
    }
    EXPECT_EQ(page, "again");
}

TEST(LookupClient, ConcurrentCallersEachGetTheirOwnResponse) {
    ScriptedHttpServer server;
    server.SetResponder([](const std::string& request) {
        // The page names the domain it was asked for.
        const std::size_t at = request.find("Domain=") + 7;
        Reply reply{Ok("page of " + request.substr(at, request.find(' ', at) - at))};
        reply.pieceSize = 5;  // arrive in pieces so interleaving would show
        return reply;
    });
    LookupClient client;
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i) {
                const std::string domain = "t" + std::to_string(t) + "-" + std::to_string(i);
                if (client.FetchPage(UrlFor(server, domain)) != "page of " + domain) {
                    ++wrong;
                }
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(server.Requests().size(), 100u);
    EXPECT_EQ(server.AcceptedConnections(), 1);
}

}  // namespace
