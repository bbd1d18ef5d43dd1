// The lookup client against a service that misbehaves on purpose: every reply must end as a
// failed lookup (or as a page, where the response rules make it one) within the time limits and
// with bounded memory, and the same client must serve the next lookup.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <random>
#include <string>

#include "lookup/BatchLookup.h"
#include "lookup/LookupClient.h"
#include "support/PeakMemory.h"
#include "support/ScriptedLookup.h"

namespace {

using namespace std::chrono_literals;
using lookup::HttpError;
using lookup::LookupClient;
using lookup::LookupError;
using lookup::LookupLimits;
using testsupport::PeakMemory;
using testsupport::Reply;
using testsupport::ScriptedHttpServer;
using After = Reply::After;
using cytest::Ok;
using cytest::UrlFor;

constexpr std::size_t kMemoryBudget = std::size_t{256} << 20;
// A batch frees one hostile reply's memory before the next; under AddressSanitizer those freed
// blocks stay resident in its quarantine for a while.
constexpr std::size_t kBatchMemoryBudget = kMemoryBudget + PeakMemory::kSanitizerAllowance;

// The program's size caps with short time limits, so a test waits fractions of a second.
LookupLimits ShortLimits() {
    LookupLimits limits;
    limits.connect = 1s;
    limits.stall = 300ms;
    limits.failureBodyPiece = 200ms;
    limits.exchange = 1500ms;
    return limits;
}

// A reply that sends head, then unit again and again. Without a pause, each send carries at
// least 4 KB of units, as a flooding server writes many small lines at once: so a loaded
// machine still reaches the caps long before the exchange limit.
Reply Endless(std::string head, std::string unit, std::chrono::milliseconds pause = {}) {
    Reply reply{std::move(head)};
    reply.pause = pause;
    std::string piece = unit;
    if (pause == std::chrono::milliseconds{}) {
        piece.clear();
        while (piece.size() < 4096) {
            piece += unit;
        }
    }
    reply.more = [piece = std::move(piece)] { return piece; };
    return reply;
}

// n bytes that are not valid GBK text: every byte value (NUL included) in a fixed random order,
// lone lead bytes, a lead byte before CR LF, and a lead byte as the very last byte.
std::string InvalidGbk(std::size_t n) {
    std::string bytes;
    for (int b = 0; b < 256; ++b) {
        bytes += static_cast<char>(b);
    }
    bytes += std::string("\x81\r\n\xFE\x00\x80\xFF\x7F", 8);
    std::mt19937 random(8);
    while (bytes.size() < n - 1) {
        bytes += static_cast<char>(random() & 0xFF);
    }
    bytes += '\x81';
    return bytes;
}

// Garbage without a single LF.
std::string NoLineEnd(std::size_t n) {
    std::string bytes;
    std::mt19937 random(3);
    while (bytes.size() < n) {
        const char c = static_cast<char>(random() & 0xFF);
        if (c != '\n') {
            bytes += c;
        }
    }
    return bytes;
}

struct HostileCase {
    const char* name;
    std::function<Reply()> reply;
    // The outcome: what() of the failure and, for an HttpError, its status; or, when error is
    // empty, the page returned.
    std::string error{};
    int status = 0;      // 0: a LookupError that is no HttpError
    std::string page{};  // or, given with an HttpError, the error page it carries
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.name;
}

class HostileService : public testing::TestWithParam<HostileCase> {};

const std::string kHead200 = "HTTP/1.1 200 OK\r\n";
const std::string kChunkedHead = kHead200 + "Transfer-Encoding: chunked\r\n\r\n";
const std::string kTooBig = "Response body exceeds 67108864 bytes.";
const std::string kTooLong = "Max line length exceeded.";
const std::string kTimedOut = "Read timed out.";

TEST_P(HostileService, EndsInTimeWithBoundedMemoryAndTheNextLookupWorks) {
    const HostileCase& c = GetParam();
    LookupLimits limits = ShortLimits();
    Reply reply = c.reply();
    if (c.error != kTimedOut && reply.pause == 0ms) {
        // A reply that neither stalls nor trickles ends on a cap, not on the clock: 64 MB may
        // take seconds to arrive on a loaded machine under a sanitizer.
        limits.exchange = 30s;
    }
    ScriptedHttpServer server;
    server.Enqueue(std::move(reply));
    server.Enqueue(Ok("after"));
    LookupClient client(limits);

    PeakMemory peak;
    const auto start = std::chrono::steady_clock::now();
    try {
        const std::string page = client.FetchPage(UrlFor(server, "a.cn"));
        EXPECT_TRUE(c.error.empty()) << "a page instead of the failure " << c.error;
        EXPECT_TRUE(page == c.page) << "page of " << page.size() << " bytes";
    } catch (const HttpError& e) {
        EXPECT_EQ(e.what(), c.error);
        EXPECT_EQ(e.Status(), c.status);
        EXPECT_LE(e.Body().size(), limits.maxBody);
        EXPECT_TRUE(c.page.empty() || e.Body() == c.page) << e.Body();
    } catch (const LookupError& e) {
        EXPECT_EQ(e.what(), c.error);
        EXPECT_EQ(c.status, 0);
    }
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, limits.exchange + 1500ms);
    EXPECT_LT(peak.GrowthBytes(), kMemoryBudget);

    EXPECT_EQ(client.FetchPage(UrlFor(server, "b.cn")), "after");
    if (!c.error.empty()) {
        EXPECT_EQ(server.AcceptedConnections(), 2);  // a broken connection is not reused
    }
}

const HostileCase kCases[] = {
    // Instead of a status line
    HostileCase{"GarbageWithoutLineEnd",
                [] {
                    return Reply{NoLineEnd(1 << 20), {}, 0, {}, After::Close};
                },
                kTooLong},
    HostileCase{"AnotherProtocolsGreeting",
                [] {
                    return Reply{"SSH-2.0-OpenSSH_9.2\r\n", {}, 0, {}, After::Stall};
                },
                kTimedOut},
    HostileCase{
        "GarbageLinesAreAFailure",
        [] {
            return Reply{
                "\x16\x03\x01 hello\r\n\x80\xFF: \x01\r\n\r\nrest", {}, 0, {}, After::Close};
        },
        "\x16\x03\x01 hello", -1},
    HostileCase{"AnyFirstWordBefore200IsAPage",
                [] {
                    return Reply{"ICY 200 OK\r\n\r\nstream", {}, 0, {}, After::Close};
                },
                "", 0, "stream"},
    // Heads without end
    HostileCase{"TenMegabyteHeaderLine",
                [] { return Reply{kHead200 + "X: " + std::string(10 << 20, 'x') + "\r\n\r\n"}; },
                kTooLong},
    HostileCase{"EndlessHeaderBlock", [] { return Endless(kHead200, "a:b\n"); },
                "Response header exceeds 1048576 bytes."},
    HostileCase{"EndlessHundredContinues",
                [] { return Endless("", "HTTP/1.1 100 Continue\r\n\r\n"); },
                "Response header exceeds 1048576 bytes."},
    HostileCase{"HeaderLinesTrickledForever",
                [] { return Endless(kHead200, "X-Slow: 1\r\n", 50ms); }, kTimedOut},
    // Bodies without end
    HostileCase{"EndlessChunkedBody",
                [] { return Endless(kChunkedHead, "1000\r\n" + std::string(4096, 'c') + "\r\n"); },
                kTooBig},
    HostileCase{"EndlessBodyToTheClose",
                [] { return Endless(kHead200 + "\r\n", std::string(1 << 16, 'b')); }, kTooBig},
    HostileCase{"EndlessErrorPage",
                [] {
                    return Endless("HTTP/1.1 500 Oops\r\nTransfer-Encoding: chunked\r\n\r\n",
                                   "1000\r\n" + std::string(4096, 'e') + "\r\n");
                },
                "HTTP/1.1 500 Oops", 500},
    HostileCase{"BodyTrickledForever", [] { return Endless(kChunkedHead, "1\r\nx\r\n", 50ms); },
                kTimedOut},
    HostileCase{"ErrorPageTrickledForever",
                [] { return Endless("HTTP/1.1 404 Not Found\r\n\r\n", "x", 50ms); },
                "HTTP/1.1 404 Not Found", 404},
    // Lengths
    HostileCase{
        "NegativeLengthReadsToTheClose",
        [] {
            return Reply{kHead200 + "Content-Length: -42\r\n\r\npage", {}, 0, {}, After::Close};
        },
        "", 0, "page"},
    HostileCase{
        "NegativeLengthAndTheConnectionStaysOpen",
        [] {
            return Reply{kHead200 + "Content-Length: -1\r\n\r\npage", {}, 0, {}, After::Stall};
        },
        kTimedOut},
    HostileCase{"EnormousLength",
                [] { return Reply{kHead200 + "Content-Length: 99999999999999999999\r\n\r\nx"}; },
                kTooBig},
    HostileCase{"EnormousLengthOnAnErrorPage",
                [] {
                    return Reply{
                        "HTTP/1.1 404 Not Found\r\nContent-Length: 99999999999999999999\r\n\r\n"};
                },
                "HTTP/1.1 404 Not Found", 404},
    HostileCase{"ChunkSizeOfSixteenFs",
                [] { return Reply{kChunkedHead + "ffffffffffffffff\r\nabc"}; }, kTooBig},
    // One byte over a limit, and replies that stop
    HostileCase{"HeaderLineOverTheLimit",
                [] { return Reply{kHead200 + "X: " + std::string(16385 - 3, 'x') + "\r\n\r\n"}; },
                kTooLong},
    HostileCase{"StatusLineOverTheLimit",
                [] { return Reply{"HTTP/1.1 200 " + std::string(16385, 's') + "\n\n"}; }, kTooLong},
    HostileCase{
        "ChunkSizeLineOverTheLimit",
        [] { return Reply{kChunkedHead + "1 " + std::string(16384, ' ') + "\r\nx\r\n0\r\n\r\n"}; },
        kTooLong},
    HostileCase{"LengthOverTheCap",
                [] { return Reply{kHead200 + "Content-Length: 67108865\r\n\r\n"}; }, kTooBig},
    HostileCase{"ClosedBeforeTheHeadEnds",
                [] {
                    return Reply{kHead200 + "Content-", {}, 0, {}, After::Close};
                },
                "Connection closed gracefully."},
    HostileCase{"NeverAnswers",
                [] {
                    return Reply{"", {}, 0, {}, After::Stall};
                },
                kTimedOut},
    HostileCase{
        "StallsInTheBody",
        [] {
            return Reply{kHead200 + "Content-Length: 10\r\n\r\nabc", {}, 0, {}, After::Stall};
        },
        kTimedOut},
    HostileCase{
        "ErrorPageStalls",
        [] {
            return Reply{
                "HTTP/1.1 404 Not Found\r\nContent-Length: 10\r\n\r\nabc", {}, 0, {}, After::Stall};
        },
        "HTTP/1.1 404 Not Found", 404, "abc"},
    HostileCase{"ErrorPageNeverEnds",
                [] {
                    return Reply{"HTTP/1.1 503 Busy\r\n\r\nsorry", {}, 0, {}, After::Stall};
                },
                "HTTP/1.1 503 Busy", 503, "sorry"},
    // Bytes that are no text come back as they are
    HostileCase{"InvalidGbkAndNulBytes", [] { return Reply{Ok(InvalidGbk(100000))}; }, "", 0,
                InvalidGbk(100000)},
    HostileCase{"InvalidGbkAndNulBytesChunked",
                [] {
                    const std::string body = InvalidGbk(5000);
                    std::string bytes = kChunkedHead;
                    for (std::size_t at = 0; at < body.size(); at += 777) {
                        const std::string piece = body.substr(at, 777);
                        char size[16];
                        std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
                        bytes += size + piece + "\r\n";
                    }
                    Reply reply{bytes + "0\r\n\r\n"};
                    reply.pieceSize = 1000;
                    return reply;
                },
                "", 0, InvalidGbk(5000)},
};

INSTANTIATE_TEST_SUITE_P(Replies, HostileService, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<HostileCase>& info) {
                             return std::string(info.param.name);
                         });

// A head with 10,000 cookies is an ordinary page; the store keeps the 50 set last (one domain),
// and they go back with the next request, whose Cookie header is folded into lines of at most
// 1024 bytes.
TEST(HostileServiceCookies, TenThousandSetCookieHeaders) {
    constexpr int kCookies = 10000;
    const std::string value(50, 'v');
    std::vector<std::string> headers;
    for (int i = 0; i < kCookies; ++i) {
        headers.push_back("Set-Cookie: c" + std::to_string(i) + "=" + value + "; path=/");
    }
    ScriptedHttpServer server;
    server.Enqueue(Ok("flood", headers));
    server.Enqueue(Ok("after"));
    LookupClient client(ShortLimits());

    PeakMemory peak;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.FetchPage(UrlFor(server, "a.cn")), "flood");
    EXPECT_EQ(client.FetchPage(UrlFor(server, "b.cn")), "after");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_LT(peak.GrowthBytes(), kMemoryBudget);

    const std::string request = server.Requests().at(1);
    // The Cookie header, unfolded: each continuation joins the value with one blank.
    int cookieLines = 0;
    std::string cookies;
    bool inCookie = false;
    for (std::size_t at = 0; at < request.size();) {
        const std::size_t end = request.find("\r\n", at);
        const std::string line = request.substr(at, end - at);
        at = end + 2;
        EXPECT_LE(line.size(), 1024u);
        if (line.rfind("Cookie: ", 0) == 0) {
            inCookie = true;
            cookies = line.substr(8);
            ++cookieLines;
        } else if (inCookie && !line.empty() && line[0] == ' ') {
            while (!cookies.empty() && cookies.back() == ' ') {
                cookies.pop_back();
            }
            cookies += ' ' + line.substr(line.find_first_not_of(' '));
            ++cookieLines;
        } else {
            inCookie = false;
        }
    }
    EXPECT_GT(cookieLines, 2);
    std::string expected;
    for (int i = kCookies - 50; i < kCookies; ++i) {
        expected += (expected.empty() ? "c" : "; c") + std::to_string(i) + "=" + value;
    }
    EXPECT_EQ(cookies, expected);
}

// 200 responses, each with about 1 MiB of Set-Cookie lines no other response repeats, then an
// ordinary one: the store stays within its bounds, so the next request head stays small and
// memory flat, and the cookie the ordinary response set (path "/") is sent with the rest.
TEST(HostileServiceCookies, TwoHundredFloodsOfDistinctCookies) {
    constexpr int kFloods = 200;
    const std::string value(100, 'v');
    // The head of flood r and the number of cookies it sets.
    auto flood = [&value](int r) {
        std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n";
        int i = 0;
        for (; head.size() < (std::size_t{1} << 20) - 200; ++i) {
            head += "Set-Cookie: r" + std::to_string(r) + "c" + std::to_string(i) + "=" + value +
                    "; path=/\r\n";
        }
        return std::pair{head + "\r\nflood", i};
    };
    int response = 0;
    ScriptedHttpServer server;
    server.SetResponder([&](const std::string&) {
        const int r = response++;
        if (r < kFloods) {
            return Reply{flood(r).first};
        }
        return Reply{r == kFloods ? Ok("ordinary", {"Set-Cookie: sid=fresh; path=/"})
                                  : Ok("after")};
    });
    // The exchange limit is wide: reading a whole mebibyte on a loaded machine is not what is
    // checked here.
    LookupLimits limits = ShortLimits();
    limits.exchange = 60s;
    limits.stall = 10s;
    LookupClient client(limits);

    PeakMemory peak;
    for (int r = 0; r < kFloods; ++r) {
        ASSERT_EQ(client.FetchPage(UrlFor(server, "flood.cn")), "flood") << r;
    }
    EXPECT_EQ(client.FetchPage(UrlFor(server, "plain.cn")), "ordinary");
    EXPECT_EQ(client.FetchPage(UrlFor(server, "next.cn")), "after");
    EXPECT_LT(peak.GrowthBytes(), (std::size_t{64} << 20) + PeakMemory::kSanitizerAllowance);

    const int perFlood = flood(kFloods - 1).second;
    ASSERT_GT(perFlood, 7500);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), kFloods + 2u);
    const std::string& last = requests.back();
    EXPECT_LT(last.size(), 256u * 1024);
    // One domain, so 50 cookies: the last flood's final 49 and sid, folded.
    std::string expected = "Cookie: ";
    for (int i = perFlood - 49; i < perFlood; ++i) {
        expected +=
            "r" + std::to_string(kFloods - 1) + "c" + std::to_string(i) + "=" + value + "; ";
    }
    expected += "sid=fresh";
    std::string unfolded;
    for (std::size_t at = last.find("Cookie: "); at != std::string::npos && at < last.size();) {
        const std::size_t end = last.find("\r\n", at);
        unfolded += last.substr(at, end - at);
        at = last.compare(end + 2, 1, " ") == 0 ? end + 3 : std::string::npos;
    }
    EXPECT_EQ(unfolded, expected);
}

// The replies above and a few more, one per row of a batch, between ordinary rows: the batch
// never throws and ends in bounded time; the ordinary rows get their results, a row whose
// lookup failed keeps what it held, and a hostile reply that is a page by the response rules
// marks its row as not filed, or fills it when the filing fragments are in it.
TEST(HostileServiceBatch, HostileRowsLeaveTheOtherRowsAlone) {
    const std::string kept = "kept";  // the Sponsor every row holds before the batch
    const std::string mark(table::NotFiledMark);
    struct Row {
        std::string domain;
        std::function<Reply()> reply;
        std::string filingNo, sponsor, reviewDate;  // after the batch
    };
    std::vector<std::string> flood;
    for (int i = 0; i < 10000; ++i) {
        flood.push_back("Set-Cookie: c" + std::to_string(i) + "=v; path=/");
    }
    std::vector<Row> rows{
        {"unfiled.test", [] { return Reply{Ok(cytest::UnfiledPage())}; }, mark, kept, ""},
        {"cookie-flood.test", [&] { return Reply{Ok(cytest::UnfiledPage(), flood)}; }, mark, kept,
         ""},
        {"filed-in-garbage.test",
         [] {
             // The filing fragments between bytes that are no GBK text.
             std::string garbage = InvalidGbk(5000);
             std::replace(garbage.begin(), garbage.end(), '\0', '\1');
             return Reply{Ok(garbage + "\r\n" + cytest::FiledPage("ICP-g", "S-g", "D-g") +
                             InvalidGbk(5000))};
         },
         "ICP-g", "S-g", "D-g"},
        // The filing number is searched only up to the page's first zero byte.
        {"zero-before-filing.test",
         [] { return Reply{Ok(std::string(1, '\0') + cytest::FiledPage("ICP-z", "S-z", "D-z"))}; },
         mark, kept, ""},
    };
    // None of the pages among the cases holds a filing number.
    for (const HostileCase& c : kCases) {
        rows.push_back(
            {std::string(c.name) + ".test", c.reply, c.error.empty() ? mark : "", kept, ""});
    }
    // An ordinary filed row after every third row.
    for (std::size_t at = 3; at <= rows.size(); at += 4) {
        const std::string d = "filed-" + std::to_string(at) + ".test";
        const Reply filed{Ok(cytest::FiledPage("ICP-" + d, "S-" + d, "D-" + d))};
        rows.insert(rows.begin() + at,
                    {d, [filed] { return filed; }, "ICP-" + d, "S-" + d, "D-" + d});
    }

    ScriptedHttpServer server;
    server.SetResponder([&](const std::string& request) {
        const std::string domain = cytest::RequestedDomain(request);
        for (const Row& row : rows) {
            if (row.domain == domain) {
                return row.reply();
            }
        }
        return Reply{ScriptedHttpServer::Response("404 Not Found", "")};
    });
    table::DomainTable t;
    std::vector<std::string> domains;
    for (const Row& row : rows) {
        domains.push_back(row.domain);
    }
    t.AppendDomainRows(domains);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        t.WriteCell(t.IdAt(i), table::Cell::Sponsor, kept);
    }
    LookupClient client(ShortLimits());

    PeakMemory peak;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NO_THROW(lookup::RunBatch(t, client, cytest::LookupBase(server)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
    EXPECT_LT(peak.GrowthBytes(), kBatchMemoryBudget);

    ASSERT_EQ(t.RowCount(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].domain);
        EXPECT_EQ(t.ReadCell(i, table::Cell::FilingNo), rows[i].filingNo);
        EXPECT_EQ(t.ReadCell(i, table::Cell::Sponsor), rows[i].sponsor);
        EXPECT_EQ(t.ReadCell(i, table::Cell::ReviewDate), rows[i].reviewDate);
    }
    EXPECT_EQ(server.Requests().size(), rows.size());  // every row was asked once
}

// As many cookies as one head may carry: storing them costs time in proportion to their number,
// not to its square, so a service cannot keep the client busy that way.
TEST(HostileServiceCookies, HeadFullOfCookies) {
    std::string head = "HTTP/1.1 200 OK\nContent-Length: 4\n";
    int count = 0;
    for (;;) {
        const std::string line = "Set-Cookie:c" + std::to_string(count) + "=v;path=/\n";
        if (head.size() + line.size() + 1 > LookupLimits{}.maxHeaderBlock) {
            break;
        }
        head += line;
        ++count;
    }
    ASSERT_GT(count, 35000);
    ScriptedHttpServer server;
    server.Enqueue(head + "\nfull");
    server.Enqueue(Ok("after"));
    LookupClient client(ShortLimits());

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.FetchPage(UrlFor(server, "a.cn")), "full");
    EXPECT_EQ(client.FetchPage(UrlFor(server, "b.cn")), "after");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    const std::string request = server.Requests().at(1);
    EXPECT_NE(request.find(" c" + std::to_string(count - 1) + "=v\r\n\r\n"), std::string::npos);
}

}  // namespace
