#include "lookup/RequestWriter.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using lookup::FoldHeaderLine;
using lookup::WriteRequestHead;

const std::string kUserAgentLine =
    "User-Agent: Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1; .NET CLR 2.0.50727; .NET CLR "
    "3.0.04506.30; CIBA; MAXTHON 2.0)\r\n";

TEST(RequestWriter, HeadIsByteForByteInTheFixedOrder) {
    EXPECT_EQ(WriteRequestHead("/icp/details.asp?CertType=0&Domain=a b", "example.com", ""),
              "GET /icp/details.asp?CertType=0&Domain=a b HTTP/1.1\r\n"
              "Content-Type: text/html\r\n"
              "Host: example.com\r\n"
              "Accept: text/html, */*\r\n" +
                  kUserAgentLine + "\r\n");
    EXPECT_EQ(WriteRequestHead("/", "h:8080", "b=2; a=1"),
              "GET / HTTP/1.1\r\nContent-Type: text/html\r\nHost: h:8080\r\n"
              "Accept: text/html, */*\r\n" +
                  kUserAgentLine + "Cookie: b=2; a=1\r\n\r\n");
    // Written into the string of an earlier, longer head (as the client does), it replaces it.
    std::string reused = WriteRequestHead("/a/longer/target", "example.com", "x=1; y=2");
    WriteRequestHead(reused, "/", "h:8080", "b=2; a=1");
    EXPECT_EQ(reused, WriteRequestHead("/", "h:8080", "b=2; a=1"));
}

TEST(RequestWriter, LongLinesFoldAfterTheLastBlankOrCommaWithin1024Bytes) {
    const std::string a(1000, 'a');
    const std::string b(30, 'b');
    struct Case {
        std::string line, wire;
    } cases[] = {
        // exactly 1024 bytes: not folded
        {std::string(1024, 'x'), std::string(1024, 'x') + "\r\n"},
        // the break is after the last blank inside the first 1024 bytes
        {"Cookie: " + a + "; " + b + "; c=1", "Cookie: " + a + "; \r\n " + b + "; c=1\r\n"},
        // a comma counts as well, and the break stays within the first 1024 bytes
        {std::string(1020, 'x') + "," + std::string(10, 'y') + " z",
         std::string(1020, 'x') + ",\r\n " + std::string(10, 'y') + " z\r\n"},
        // nowhere to break: sent as it is
        {std::string(1500, 'n'), std::string(1500, 'n') + "\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FoldHeaderLine(c.line), c.wire) << c.line.size();
    }

    // A very long cookie list folds into several lines, none over 1024 bytes before its CR LF,
    // and unfolding (dropping each CR LF + blank) gives the line back with one extra blank per
    // fold.
    std::string list = "Cookie: ";
    for (int i = 0; i < 300; ++i) {
        list += (i ? "; " : "") + std::string("name") + std::to_string(i) + "=value" +
                std::to_string(i);
    }
    const std::string wire = FoldHeaderLine(list);
    std::size_t start = 0;
    std::size_t lines = 0;
    std::string unfolded;
    for (std::size_t end; (end = wire.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = wire.substr(start, end - start);
        EXPECT_LE(line.size(), 1024u);
        EXPECT_EQ(line.front() == ' ', lines > 0);
        unfolded += lines > 0 ? line.substr(1) : line;
        ++lines;
    }
    EXPECT_GT(lines, 3u);
    EXPECT_EQ(start, wire.size());
    EXPECT_EQ(unfolded, list);
}

// The fold written the plain way, copying what is left of the line at every fold.
std::string FoldByCopying(std::string rest) {
    std::string out;
    while (rest.size() > lookup::kFoldLength) {
        const std::size_t from = rest.front() == ' ' ? 1 : 0;
        std::size_t cut = std::string::npos;
        for (std::size_t i = lookup::kFoldLength; i-- > from;) {
            if (rest[i] == ' ' || rest[i] == ',') {
                cut = i;
                break;
            }
        }
        if (cut == std::string::npos) {
            break;
        }
        out += rest.substr(0, cut + 1) + "\r\n";
        rest = " " + rest.substr(cut + 1);
    }
    return out + rest + "\r\n";
}

// Lines of blanks, commas and letters in every density, runs of blanks and commas at the fold
// points included: the one-pass fold gives the same bytes as the plain one.
TEST(RequestWriter, FoldMatchesThePlainFoldOnRandomLines) {
    std::mt19937 random(20261209);
    for (int round = 0; round < 400; ++round) {
        const int breakEvery = 1 + static_cast<int>(random() % 1500);
        std::string line(random() % 6000, 'a');
        for (char& c : line) {
            if (static_cast<int>(random() % breakEvery) == 0) {
                c = " ,"[random() % 2];
            }
        }
        ASSERT_EQ(FoldHeaderLine(line), FoldByCopying(line)) << round << " " << breakEvery;
    }
}

}  // namespace
