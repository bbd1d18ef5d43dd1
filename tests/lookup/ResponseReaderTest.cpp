#include "lookup/ResponseReader.h"

#include <gtest/gtest.h>

#include <optional>

#include "lookup/LookupError.h"

namespace {

using lookup::LookupError;
using lookup::LookupLimits;
using lookup::ResponseReader;

// What reading one byte string gave.
struct Outcome {
    std::string error;  // what() of the failure, empty when none
    int status = 0;
    bool success = false;
    bool keepAlive = false;
    std::string body;
    std::size_t consumed = 0;
    bool doneBeforeClose = false;  // complete without the peer closing
    std::vector<std::string> cookies;

    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
    os << "{error=" << o.error << " status=" << o.status << " success=" << o.success
       << " keepAlive=" << o.keepAlive << " body.size=" << o.body.size()
       << " consumed=" << o.consumed << " doneBeforeClose=" << o.doneBeforeClose
       << " cookies=" << o.cookies.size() << "}";
    return os;
}

// Feeds the pieces in order, then (if the response is not complete) the close of the
// connection, the way the client does.
Outcome Read(const std::vector<std::string_view>& pieces, const LookupLimits& limits = {}) {
    ResponseReader reader(limits);
    Outcome out;
    try {
        for (std::string_view piece : pieces) {
            if (reader.Done()) {
                break;
            }
            out.consumed += reader.Feed(piece);
            for (auto& c : reader.TakeSetCookies()) {
                out.cookies.push_back(c);
            }
        }
        out.doneBeforeClose = reader.Done();
        if (!reader.Done()) {
            reader.FeedEnd();
        }
    } catch (const LookupError& e) {
        out.error = e.what();
        out.consumed = 0;  // what was taken before a failure does not matter
        return out;
    }
    out.status = reader.Status();
    out.success = reader.Success();
    out.keepAlive = reader.KeepAlive();
    out.body = reader.Body();
    return out;
}

// Reading whole must give `expected`; so must every split into two pieces and the byte-by-byte
// feed.
void ExpectEverySplit(const std::string& bytes, const Outcome& expected,
                      const LookupLimits& limits = {}) {
    ASSERT_EQ(Read({bytes}, limits), expected) << "whole";
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        const std::string_view all(bytes);
        const Outcome got = Read({all.substr(0, cut), all.substr(cut)}, limits);
        ASSERT_EQ(got, expected) << "split at " << cut;
    }
    std::vector<std::string_view> bytewise;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytewise.push_back(std::string_view(bytes).substr(i, 1));
    }
    ASSERT_EQ(Read(bytewise, limits), expected) << "byte by byte";
}

Outcome Ok(int status, std::string body, std::size_t consumed, bool doneBeforeClose,
           bool keepAlive = true, bool success = true) {
    Outcome o;
    o.status = status;
    o.success = success;
    o.keepAlive = keepAlive;
    o.body = std::move(body);
    o.consumed = consumed;
    o.doneBeforeClose = doneBeforeClose;
    return o;
}

Outcome Failed(std::string error, std::vector<std::string> cookies = {}) {
    Outcome o;
    o.error = std::move(error);
    o.cookies = std::move(cookies);
    return o;
}

// Every byte of the case is taken.
constexpr std::size_t kAll = static_cast<std::size_t>(-1);

struct Case {
    const char* name;
    std::string bytes;
    Outcome expected;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class Framing : public testing::TestWithParam<Case> {};

TEST_P(Framing, SameOutcomeForEverySplit) {
    Outcome expected = GetParam().expected;
    if (expected.consumed == kAll) {
        expected.consumed = GetParam().bytes.size();
    }
    ExpectEverySplit(GetParam().bytes, expected);
}

const std::string kCrlf200 = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello";
const std::string kLf200 = "HTTP/1.1 200 OK\nContent-Length: 5\n\nhello";
const std::string kChunked =
    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
    "5\r\nhello\r\n7 ;ext=1\r\n, world\r\n0\r\n\r\n";
// The size is the text up to the first blank: "7;ext=1" is no number, so it ends the body.
const std::string kUnspacedExtension =
    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
    "2\r\nhi\r\n7;ext=1\r\n\r\n";
const std::string kGarbageChunk =
    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3 x\r\nabc\r\nzz\r\n\r\nignored";
const std::string kLengthWins =
    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 5\r\n\r\n4\r\nab";
const std::string k204 = "HTTP/1.1 204 No Content\r\nContent-Length: 4\r\n\r\n";
const std::string k100 =
    "HTTP/1.1 100 Continue\r\nSet-Cookie: a=1\r\n\r\n"
    "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

INSTANTIATE_TEST_SUITE_P(
    ResponseReader, Framing,
    testing::Values(
        Case{"CrLfLines", kCrlf200, Ok(200, "hello", kCrlf200.size(), true)},
        Case{"BareLfLines", kLf200, Ok(200, "hello", kLf200.size(), true)},
        Case{"BytesAfterTheBodyAreNotTaken", kCrlf200 + "HTTP/1.1 200",
             Ok(200, "hello", kCrlf200.size(), true)},
        Case{"FoldedHeaderContinuesTheValue",
             "HTTP/1.1 200 OK\r\nConnection: keep-\r\n\talive,\r\n close\r\n"
             "Content-Length: 1\r\n\r\nx",
             Ok(200, "x", kAll, true, true)},
        Case{"FoldedCloseEndsKeepAlive",
             "HTTP/1.1 200 OK\r\nX: 1\r\nConnection:\r\n  Close  \r\nContent-Length: 1\r\n\r\nx",
             Ok(200, "x", kAll, true, false)},
        Case{"ProxyConnectionClose",
             "HTTP/1.0 200 OK\nProxy-Connection: CLOSE\nContent-Length: 1\n\nx",
             Ok(200, "x", kAll, true, false)},
        Case{"NonNumericLengthReadsToClose",
             "HTTP/1.1 200 OK\r\nContent-Length: abc\r\n\r\nuntil close",
             Ok(200, "until close", kAll, false)},
        Case{"NegativeLengthReadsToClose",
             "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\nuntil close",
             Ok(200, "until close", kAll, false)},
        Case{"NoLengthReadsToClose", "HTTP/1.1 200 OK\r\n\r\nall of it\r\n",
             Ok(200, "all of it\r\n", kAll, false)},
        Case{"ZeroLengthIsEmpty", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
             Ok(200, "", kAll, true)},
        Case{"ShortBodyAtCloseIsTheBody", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc",
             Ok(200, "abc", kAll, false)},
        Case{"ChunksJoinedExtensionsIgnored", kChunked,
             Ok(200, "hello, world", kChunked.size(), true)},
        Case{"UnspacedExtensionIsNoSize", kUnspacedExtension, Ok(200, "hi", kAll, true)},
        Case{"GarbageChunkSizeEndsTheBody", kGarbageChunk,
             Ok(200, "abc", kGarbageChunk.size() - 7, true)},
        Case{"ContentLengthWinsOverChunked", kLengthWins,
             Ok(200, "4\r\nab", kLengthWins.size(), true)},
        Case{"ChunkedWhenLengthIsZero",
             "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nTransfer-Encoding: gzip, chunked\r\n\r\n"
             "2\r\nhi\r\n0\r\n\r\n",
             Ok(200, "hi", kAll, true)},
        Case{"UpperCaseChunkedIsNotChunked",
             "HTTP/1.1 200 OK\r\nTransfer-Encoding: CHUNKED\r\n\r\n2\r\nhi",
             Ok(200, "2\r\nhi", kAll, false)},
        Case{"Status100Skipped", k100,
             [] {
                 Outcome o = Ok(200, "ok", k100.size(), true);
                 o.cookies = {"a=1"};
                 return o;
             }()},
        Case{"NoContent204HasNoBody", k204 + "abcd", Ok(204, "", k204.size(), true)},
        Case{"Status304BodyIsRead", "HTTP/1.1 304 Not Modified\r\nContent-Length: 3\r\n\r\nold",
             Ok(304, "old", kAll, true, true, false)},
        Case{"Status404ChunkedBody",
             "HTTP/1.1 404 Not Found\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nmiss\r\n0\r\n\r\n",
             Ok(404, "miss", kAll, true, true, false)},
        Case{"LocationMakes200AFailure",
             "HTTP/1.1 200 OK\r\nLocation: /x\r\nContent-Length: 1\r\n\r\nx",
             Ok(200, "x", kAll, true, true, false)},
        Case{"EmptyLocationDoesNot", "HTTP/1.1 200 OK\r\nLocation:  \r\nContent-Length: 1\r\n\r\nx",
             Ok(200, "x", kAll, true)},
        Case{"RedirectWithBodyIsAFailure",
             "HTTP/1.1 302 Found\r\nLocation: http://elsewhere/\r\n\r\nmoved",
             Ok(302, "moved", kAll, false, true, false)},
        Case{"NonNumericStatusIsMinusOne", "HTTP/1.1 OK fine\r\nContent-Length: 0\r\n\r\n",
             Ok(-1, "", kAll, true, true, false)},
        Case{"HeadCutByCloseFails", "HTTP/1.1 200 OK\r\nContent-Le",
             Failed("Connection closed gracefully.")},
        Case{"ChunkedCutByCloseFails",
             "HTTP/1.1 200 OK\r\nSet-Cookie: s=1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab",
             Failed("Connection closed gracefully.", {"s=1"})}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(ResponseReader, SetCookieHeadersOfAnyCaseAndFoldedAreCollected) {
    const std::string bytes =
        "HTTP/1.1 404 Not Found\r\nset-cookie: a=1;\r\n path=/\r\nSET-COOKIE2: b=2\r\n"
        "Set-Cookies: no\r\nContent-Length: 0\r\n\r\n";
    ResponseReader reader;
    reader.Feed(bytes);
    ASSERT_TRUE(reader.Done());
    EXPECT_EQ(reader.TakeSetCookies(), (std::vector<std::string>{"a=1; path=/", "b=2"}));
}

// The line limit: 16384 bytes before the LF pass, one more fails, on every kind of line.
TEST(ResponseReader, LineLimitOnStatusHeaderAndChunkSizeLines) {
    const LookupLimits limits;
    const std::string atLimit(limits.maxLine, 'a');
    const std::string over(limits.maxLine + 1, 'a');
    const std::string chunkedHead = "HTTP/1.1 200 OK\nTransfer-Encoding: chunked\n\n";
    struct LimitCase {
        std::string bytes;
        bool fails;
    } cases[] = {
        {"HTTP/1.1 200 " + atLimit.substr(13) + "\nContent-Length: 0\n\n", false},
        {"HTTP/1.1 200 " + over.substr(13) + "\nContent-Length: 0\n\n", true},
        // CR counts as a byte before the LF
        {"HTTP/1.1 200 " + atLimit.substr(13) + "\r\nContent-Length: 0\r\n\r\n", true},
        {"HTTP/1.1 200 OK\nX: " + atLimit.substr(3) + "\nContent-Length: 0\n\n", false},
        {"HTTP/1.1 200 OK\nX: " + over.substr(3) + "\nContent-Length: 0\n\n", true},
        {chunkedHead + "1 " + atLimit.substr(2) + "\nx\n0\n\n", false},
        {chunkedHead + "1 " + over.substr(2) + "\nx\n0\n\n", true},
    };
    for (const auto& c : cases) {
        const Outcome whole = Read({c.bytes});
        EXPECT_EQ(!whole.error.empty(), c.fails) << c.bytes.size();
        if (c.fails) {
            EXPECT_EQ(whole.error, "Max line length exceeded.");
        }
        // Every split gives the same (every 97th cut keeps the test quick).
        for (std::size_t cut = 0; cut <= c.bytes.size(); cut += 97) {
            const std::string_view all(c.bytes);
            EXPECT_EQ(Read({all.substr(0, cut), all.substr(cut)}), whole) << cut;
        }
    }
    // The failure comes as soon as the limit is passed, without waiting for an LF.
    ResponseReader reader;
    EXPECT_THROW(reader.Feed(over), LookupError);
}

TEST(ResponseReader, HeaderBlockAndBodyAreCapped) {
    LookupLimits small;
    small.maxHeaderBlock = 200;
    small.maxBody = 100;
    const std::string head = "HTTP/1.1 200 OK\r\n";
    const std::string filler = "X-Filler: " + std::string(80, 'f') + "\r\n";  // 92 bytes
    const std::string body100(100, 'b');
    struct CapCase {
        std::string bytes;
        std::string error;  // empty: read fine
    } cases[] = {
        {head + filler + "Content-Length: 0\r\n\r\n", ""},
        {head + filler + filler + "Content-Length: 0\r\n\r\n",
         "Response header exceeds 200 bytes."},
        // 100 blocks count too
        {"HTTP/1.1 100 Continue\r\n" + filler + "\r\n" + head + filler + "\r\n",
         "Response header exceeds 200 bytes."},
        {head + "Content-Length: 100\r\n\r\n" + body100, ""},
        {head + "Content-Length: 101\r\n\r\n" + body100, "Response body exceeds 100 bytes."},
        {head + "Content-Length: 99999999999999999999999\r\n\r\n",
         "Response body exceeds 100 bytes."},
        {head + "\r\n" + body100, ""},
        {head + "\r\n" + body100 + "b", "Response body exceeds 100 bytes."},
        {head + "Transfer-Encoding: chunked\r\n\r\n64\r\n" + body100 + "\r\n0\r\n\r\n", ""},
        {head + "Transfer-Encoding: chunked\r\n\r\n60\r\n" + body100.substr(0, 96) +
             "\r\n5\r\nbbbbb\r\n0\r\n\r\n",
         "Response body exceeds 100 bytes."},
        {head + "Transfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFFFFFFFFFF\r\n",
         "Response body exceeds 100 bytes."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 60));
        const Outcome whole = Read({c.bytes}, small);
        EXPECT_EQ(whole.error, c.error);
        for (std::size_t cut = 0; cut <= c.bytes.size(); ++cut) {
            const std::string_view all(c.bytes);
            ASSERT_EQ(Read({all.substr(0, cut), all.substr(cut)}, small).error, c.error) << cut;
        }
    }
}

TEST(ResponseReader, DefaultCapsAreOneMebibyteOfHeadAnd64MebibytesOfBody) {
    const LookupLimits limits;
    EXPECT_EQ(limits.maxHeaderBlock, 1u << 20);
    EXPECT_EQ(limits.maxBody, 64u << 20);

    // A huge Content-Length is refused at once, before any body byte is held.
    ResponseReader huge;
    EXPECT_THROW(huge.Feed("HTTP/1.1 200 OK\r\nContent-Length: 67108865\r\n\r\n"), LookupError);
    ResponseReader exact;
    exact.Feed("HTTP/1.1 200 OK\r\nContent-Length: 67108864\r\n\r\n");
    EXPECT_FALSE(exact.Done());

    // Many short header lines add up to more than 1 MiB.
    ResponseReader many;
    many.Feed("HTTP/1.1 200 OK\r\n");
    const std::string line = "X: " + std::string(1000, 'h') + "\r\n";
    EXPECT_THROW(
        {
            for (int i = 0; i < 1100; ++i) {
                many.Feed(line);
            }
        },
        LookupError);
}

TEST(ResponseReader, SpentAfterAFailure) {
    ResponseReader reader;
    EXPECT_THROW(reader.Feed(std::string(20000, 'x')), LookupError);
    EXPECT_THROW(reader.Feed("HTTP/1.1 200 OK\r\n\r\n"), LookupError);
    EXPECT_THROW(reader.FeedEnd(), LookupError);
    EXPECT_FALSE(reader.HeadDone());
}

}  // namespace
