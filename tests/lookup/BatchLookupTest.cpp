#include "lookup/BatchLookup.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "lookup/FilingLiterals.h"
#include "lookup/LookupClient.h"
#include "lookup/PageParser.h"
#include "support/FilingPages.h"
#include "support/ScriptedHttpServer.h"

namespace {

using namespace std::chrono_literals;
using table::Cell;
using table::NotFiledMark;
using testsupport::Reply;
using testsupport::ScriptedHttpServer;

std::string Base(const ScriptedHttpServer& server) {
    return server.BaseUrl() + "/icp/details.asp?CertType=0&Domain=";
}

// Answers by the requested domain: "filed*" → a page whose fields name the domain,
// "fail*" → 500, anything else → the no-record page.
Reply ByDomain(const std::string& request) {
    const std::string d = cytest::RequestedDomain(request);
    if (d.rfind("filed", 0) == 0) {
        return {ScriptedHttpServer::Response("200 OK",
                                             cytest::FiledPage("ICP-" + d, "S-" + d, "D-" + d))};
    }
    if (d.rfind("fail", 0) == 0) {
        return {ScriptedHttpServer::Response("500 Internal Server Error", "oops")};
    }
    return {ScriptedHttpServer::Response("200 OK", cytest::UnfiledPage())};
}

struct Cells {
    std::string filingNo, sponsor, reviewDate;
    bool operator==(const Cells&) const = default;
};

Cells CellsAt(const table::DomainTable& t, std::size_t i) {
    return {t.ReadCell(i, Cell::FilingNo), t.ReadCell(i, Cell::Sponsor),
            t.ReadCell(i, Cell::ReviewDate)};
}

Cells FiledCells(const std::string& d) {
    return {"ICP-" + d, "S-" + d, "D-" + d};
}

void Append(table::DomainTable& t, std::vector<std::string> lines) {
    t.AppendDomainRows(std::span<const std::string>(lines));
}

class BatchLookup : public ::testing::Test {
protected:
    BatchLookup() { server.SetResponder(ByDomain); }
    ScriptedHttpServer server;
    lookup::LookupClient client;
    table::DomainTable t;
};

TEST_F(BatchLookup, EmptyTableSendsNothing) {
    lookup::RunBatch(t, client, Base(server));
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(BatchLookup, FillsFiledRowsMarksUnfiledAndSkipsFailures) {
    Append(t, {" filed.example.com ", "", "fail.example.com", "unfiled.example", "filed2.test"});
    // A row filed earlier whose page now has no filing number keeps Sponsor and Review date.
    t.WriteCell(t.IdAt(3), Cell::Sponsor, "old sponsor");
    t.WriteCell(t.IdAt(3), Cell::ReviewDate, "2010-05-20");
    t.WriteCell(t.IdAt(2), Cell::Sponsor, "kept");

    lookup::RunBatch(t, client, Base(server));

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(cytest::RequestedDomain(requests[0]), "filed.example.com");  // trimmed
    EXPECT_EQ(cytest::RequestedDomain(requests[1]), "");  // a blank Domain is still looked up
    EXPECT_EQ(CellsAt(t, 0), FiledCells("filed.example.com"));
    EXPECT_EQ(CellsAt(t, 1), (Cells{std::string(NotFiledMark), "", ""}));
    EXPECT_EQ(CellsAt(t, 2), (Cells{"", "kept", ""}));  // failed lookup: row unchanged
    EXPECT_EQ(CellsAt(t, 3), (Cells{std::string(NotFiledMark), "old sponsor", "2010-05-20"}));
    EXPECT_EQ(CellsAt(t, 4), FiledCells("filed2.test"));
    EXPECT_EQ(t.ReadCell(0, Cell::Domain), " filed.example.com ");  // Domain never rewritten
}

TEST_F(BatchLookup, WritesFilingNumberThenReviewDateThenSponsor) {
    Append(t, {"filed.example.com"});
    std::vector<Cells> seen;
    t.SetDirtyListener([&] {
        (void)t.TakeDirtyRange();  // re-arm, so every write reports
        seen.push_back(CellsAt(t, 0));
    });
    lookup::RunBatch(t, client, Base(server));
    const auto& d = "filed.example.com";
    const std::vector<Cells> expected{{std::string("ICP-") + d, "", ""},
                                      {std::string("ICP-") + d, "", std::string("D-") + d},
                                      FiledCells(d)};
    EXPECT_EQ(seen, expected);
}

TEST_F(BatchLookup, UnreachableServiceLeavesEveryRowAndReturns) {
    Append(t, {"filed.example.com", "filed2.example.com"});
    int port;
    {
        ScriptedHttpServer gone;  // a port that was free a moment ago and is closed now
        port = gone.Port();
    }
    const auto start = std::chrono::steady_clock::now();
    lookup::RunBatch(t, client,
                     "http://127.0.0.1:" + std::to_string(port) + "/icp/details.asp?Domain=");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(CellsAt(t, 0), Cells{});
    EXPECT_EQ(CellsAt(t, 1), Cells{});
}

TEST_F(BatchLookup, TwoWorkersAndASecondBatchSendTheSameRequests) {
    Append(t, {"filed-a.example", "unfiled.example", "filed-b.example"});
    std::thread other([&] { lookup::RunBatch(t, client, Base(server)); });
    lookup::RunBatch(t, client, Base(server));
    other.join();
    lookup::RunBatch(t, client, Base(server));

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 9u);
    std::multiset<std::string> first(requests.begin(), requests.begin() + 6);
    for (std::size_t k = 6; k < 9; ++k) {
        EXPECT_EQ(first.count(requests[k]), 2u) << "every request of a batch is the same";
    }
    EXPECT_EQ(CellsAt(t, 0), FiledCells("filed-a.example"));
    EXPECT_EQ(CellsAt(t, 1), (Cells{std::string(NotFiledMark), "", ""}));
    EXPECT_EQ(CellsAt(t, 2), FiledCells("filed-b.example"));
}

TEST_F(BatchLookup, ClearDuringARunNeverWritesOldResultsIntoNewRows) {
    Append(t, {"filed-old0.example", "filed-old1.example", "filed-old2.example"});
    std::atomic<int> answered{0};
    std::atomic<bool> inFlight{false}, release{false};
    server.SetResponder([&](const std::string& request) {
        // Hold the first answer until the table has been cleared and refilled.
        if (answered++ == 0) {
            inFlight = true;
            while (!release) {
                std::this_thread::sleep_for(1ms);
            }
        }
        return ByDomain(request);
    });
    std::thread worker([&] { lookup::RunBatch(t, client, Base(server)); });
    while (!inFlight) {
        std::this_thread::sleep_for(1ms);
    }
    t.Clear();
    Append(t, {"filed-new0.example", "filed-new1.example"});
    release = true;
    worker.join();

    // Row 0 was replaced while its lookup was in flight: the old result did not land in it.
    EXPECT_EQ(CellsAt(t, 0), Cells{});
    // The new row at the worker's remaining index 1 was looked up under its own name.
    EXPECT_EQ(CellsAt(t, 1), FiledCells("filed-new1.example"));
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);  // index 2 had no row any more
    EXPECT_EQ(cytest::RequestedDomain(requests[1]), "filed-new1.example");
}

TEST_F(BatchLookup, RequeryWritesAllThreeFieldsAndMarksUnfiledRows) {
    Append(t, {"filed.example.com", " unfiled.example ", "fail.example"});
    t.WriteCell(t.IdAt(1), Cell::Sponsor, "old sponsor");
    t.WriteCell(t.IdAt(2), Cell::Sponsor, "kept");

    EXPECT_TRUE(lookup::RequeryRow(t, client, 0, Base(server)));
    EXPECT_EQ(CellsAt(t, 0), FiledCells("filed.example.com"));

    // An unfiled page gives the mark (so the exports keep counting the row as unfiled), and
    // the patterns' results, here empty, replace Sponsor and Review date.
    EXPECT_TRUE(lookup::RequeryRow(t, client, 1, Base(server)));
    EXPECT_EQ(CellsAt(t, 1), (Cells{std::string(NotFiledMark), "", ""}));

    EXPECT_FALSE(lookup::RequeryRow(t, client, 2, Base(server)));
    EXPECT_EQ(CellsAt(t, 2), (Cells{"", "kept", ""}));

    const auto before = server.Requests().size();
    EXPECT_FALSE(lookup::RequeryRow(t, client, 7, Base(server)));  // no such row
    EXPECT_EQ(server.Requests().size(), before);
}

TEST_F(BatchLookup, RequeryOfASilentServiceFailsWithinTheTimeLimit) {
    Append(t, {"filed.example.com"});
    server.SetResponder([](const std::string&) {
        Reply r;
        r.after = Reply::After::Stall;
        return r;
    });
    lookup::LookupLimits limits;
    limits.stall = 300ms;
    lookup::LookupClient impatient(limits);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(lookup::RequeryRow(t, impatient, 0, Base(server)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_EQ(CellsAt(t, 0), Cells{});
}

// About 9 MB whose second line holds a sponsor fragment and then the sponsor label again and
// again, never closed: the plain loop of pcre_exec tries each label up to the line's end, which
// takes hours. None of those attempts reaches PCRE's match limit (the line is shorter than
// it), so the plain loop's fields are those of the three fragments, as the small copy shows.
TEST_F(BatchLookup, RequeryOfAHugeHostilePageTakesSecondsAndGivesThePlainLoopsFields) {
    const std::string labelEnd = "</label><span class=\"fontred\">";
    const std::string sponsor = cytest::Hex("D6F7 B0EC B5A5 CEBB C3FB B3C6 A3BA") + labelEnd;
    const std::string review = cytest::Hex("C9F3 BACB CDA8 B9FD CAB1 BCE4 A3BA") + labelEnd;
    auto page = [&](std::size_t bytes) {
        std::string p = "<div><label>" + cytest::Hex("B1B8 B0B8 2F D0ED BFC9 D6A4 BAC5 A3BA") +
                        labelEnd + "ICP-h</span></div>\r\n<div><label>" + sponsor +
                        "S-h</span></div>";
        while (p.size() < bytes) {
            p += sponsor + "S-h</span>";
        }
        return p + "\r\n<div><label>" + review + "D-h</span></div>\r\n";
    };
    const std::string small = page(20000);
    EXPECT_EQ(lookup::RegexGroupTextPlain(small, std::string(lookup::SponsorPattern)), "S-h");
    EXPECT_EQ(lookup::RegexGroupTextPlain(small, std::string(lookup::ReviewDatePattern)), "D-h");

    server.SetResponder([body = page(9'000'000)](const std::string&) {
        return Reply{ScriptedHttpServer::Response("200 OK", body)};
    });
    Append(t, {"hostile.example"});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(lookup::RequeryRow(t, client, 0, Base(server)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
    EXPECT_EQ(CellsAt(t, 0), (Cells{"ICP-h", "S-h", "D-h"}));
}

}  // namespace
