#include "lookup/BatchLookup.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "lookup/FilingLiterals.h"
#include "lookup/LookupClient.h"
#include "lookup/PageParser.h"
#include "support/ScriptedLookup.h"
#include "text/CodePage936.h"

namespace {

using namespace std::chrono_literals;
using cytest::ByDomain;
using cytest::LookupBase;
using table::Cell;
using table::NotFiledMark;
using testsupport::Reply;
using testsupport::ScriptedHttpServer;

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

// The reason a row carries, as the window shows it.
std::u16string Failure(const table::DomainTable& t, std::size_t i) {
    return text::cp936::ToUtf16(t.Failure(i));
}

struct Tally {
    std::size_t total, done, filed, unfiled, failed;
    bool operator==(const Tally&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Tally& t) {
    return os << t.done << "/" << t.total << " filed " << t.filed << " unfiled " << t.unfiled
              << " failed " << t.failed;
}
Tally TallyOf(const lookup::BatchProgress& p) {
    const auto c = p.Counts();
    return {c.total, c.done, c.filed, c.unfiled, c.failed};
}

class BatchLookup : public ::testing::Test {
protected:
    BatchLookup() { server.SetResponder(ByDomain); }
    ScriptedHttpServer server;
    lookup::LookupClient client;
    table::DomainTable t;
};

TEST_F(BatchLookup, FillsFiledRowsMarksUnfiledAndSkipsFailures) {
    lookup::RunBatch(t, client, LookupBase(server));
    EXPECT_TRUE(server.Requests().empty());  // an empty table sends nothing

    Append(t, {" filed.example.com ", "", "fail.example.com", "unfiled.example", "filed2.test"});
    // A row filed earlier whose page now has no filing number keeps Sponsor and Review date.
    t.WriteCell(t.IdAt(3), Cell::Sponsor, "old sponsor");
    t.WriteCell(t.IdAt(3), Cell::ReviewDate, "2010-05-20");
    t.WriteCell(t.IdAt(2), Cell::Sponsor, "kept");

    lookup::RunBatch(t, client, LookupBase(server));

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
    lookup::RunBatch(t, client, LookupBase(server));
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
    std::thread other([&] { lookup::RunBatch(t, client, LookupBase(server)); });
    lookup::RunBatch(t, client, LookupBase(server));
    other.join();
    lookup::RunBatch(t, client, LookupBase(server));

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
    std::thread worker([&] { lookup::RunBatch(t, client, LookupBase(server)); });
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

// Every kind of answer, counted and explained on its row; a later success removes the reason.
TEST_F(BatchLookup, CountsEveryOutcomeAndLeavesEachFailureItsReason) {
    lookup::LookupLimits limits;
    limits.stall = 300ms;
    lookup::LookupClient impatient(limits);
    Append(t,
           {"filed.example", "unfiled.example", "fail.example", "drop.example", "stall.example"});
    lookup::BatchProgress progress;
    lookup::RunBatch(t, impatient, LookupBase(server), &progress);

    EXPECT_EQ(TallyOf(progress), (Tally{5, 5, 1, 1, 3}));
    EXPECT_EQ(progress.Counts().running, 0u);
    EXPECT_FALSE(progress.Counts().stopped);
    EXPECT_EQ(Failure(t, 0), u"");
    EXPECT_EQ(Failure(t, 1), u"");
    EXPECT_EQ(Failure(t, 2), u"查询失败：服务返回 500");
    EXPECT_EQ(Failure(t, 3), u"查询失败：服务关闭了连接");
    EXPECT_EQ(Failure(t, 4), u"查询失败：读取超时");
    EXPECT_EQ(CellsAt(t, 2), Cells{});  // the cells stay as they were

    // The service recovers: the next run counts afresh and the reasons go.
    server.SetResponder(
        [](const std::string&) { return Reply{cytest::Ok(cytest::UnfiledPage())}; });
    lookup::RunBatch(t, impatient, LookupBase(server), &progress);
    EXPECT_EQ(TallyOf(progress), (Tally{5, 5, 0, 5, 0}));
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(Failure(t, i), u"") << i;
    }

    // A refused connection, and a re-query, which returns the cause and marks the row too.
    int port;
    {
        ScriptedHttpServer gone;
        port = gone.Port();
    }
    const std::string dead = "http://127.0.0.1:" + std::to_string(port) + "/?Domain=";
    const auto cause = lookup::RequeryRow(t, impatient, 1, dead);
    ASSERT_TRUE(cause.has_value());
    EXPECT_EQ(text::cp936::ToUtf16(*cause), u"连接被拒绝");
    EXPECT_EQ(Failure(t, 1), u"查询失败：连接被拒绝");
    EXPECT_EQ(lookup::RequeryRow(t, impatient, 1, LookupBase(server)), std::nullopt);
    EXPECT_EQ(Failure(t, 1), u"");
}

// Two batches at once add up; a clear during a run counts the vanished rows as done, not
// failed.
TEST_F(BatchLookup, ConcurrentBatchesAddUpAndAClearIsNoFailure) {
    Append(t, {"filed-a.example", "unfiled.example", "fail.example"});
    lookup::BatchProgress progress;
    // The first answer waits until both batches have begun, so that they overlap however the
    // threads are scheduled on a busy machine.
    std::atomic<bool> first{true};
    server.SetResponder([&](const std::string& request) {
        if (first.exchange(false)) {
            const auto until = std::chrono::steady_clock::now() + 20s;
            while (progress.Counts().running < 2 && std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_for(1ms);
            }
        }
        return ByDomain(request);
    });
    std::thread other([&] { lookup::RunBatch(t, client, LookupBase(server), &progress); });
    lookup::RunBatch(t, client, LookupBase(server), &progress);
    other.join();
    EXPECT_EQ(TallyOf(progress), (Tally{6, 6, 2, 2, 2}));

    std::atomic<bool> inFlight{false}, release{false};
    server.SetResponder([&](const std::string& request) {
        if (!inFlight.exchange(true)) {
            while (!release) {
                std::this_thread::sleep_for(1ms);
            }
        }
        return ByDomain(request);
    });
    std::thread worker([&] { lookup::RunBatch(t, client, LookupBase(server), &progress); });
    while (!inFlight) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(progress.Counts().running, 1u);
    EXPECT_EQ(TallyOf(progress), (Tally{3, 0, 0, 0, 0}));  // a new run begins at zero
    t.Clear();
    release = true;
    worker.join();
    EXPECT_EQ(TallyOf(progress), (Tally{3, 3, 0, 0, 0}));
}

// A stop ends every running batch at once, also one whose exchange hangs, keeps what was
// written, and leaves the client ready; a later batch runs afresh.
TEST_F(BatchLookup, StopEndsHangingBatchesAtOnceAndKeepsResults) {
    Append(t, {"filed.example", "unfiled.example", "stall.example", "filed-late.example"});
    lookup::BatchProgress progress;  // the client waits 30 s for a stalled answer
    std::thread first([&] { lookup::RunBatch(t, client, LookupBase(server), &progress); });
    std::thread second([&] { lookup::RunBatch(t, client, LookupBase(server), &progress); });
    // One batch is inside the stalled exchange, the other waits for the client.
    const auto stalled = [&] {
        for (const auto& r : server.Requests()) {
            if (cytest::RequestedDomain(r) == "stall.example") {
                return true;
            }
        }
        return false;
    };
    const auto waitStart = std::chrono::steady_clock::now();
    while ((!stalled() || progress.Counts().running < 2) &&
           std::chrono::steady_clock::now() - waitStart < 20s) {
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_TRUE(stalled());

    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(progress.Stop(client, 10s));
    const auto took = std::chrono::steady_clock::now() - start;
    first.join();
    second.join();
    // The cut is immediate; the wide margin is for a loaded machine.
    EXPECT_LT(took, 1s);

    const auto c = progress.Counts();
    EXPECT_TRUE(c.stopped);
    EXPECT_EQ(c.running, 0u);
    EXPECT_EQ(c.total, 8u);
    EXPECT_EQ(c.failed, 0u);  // the cut exchange is no failure of its row
    EXPECT_LT(c.done, 8u);
    EXPECT_EQ(CellsAt(t, 0), FiledCells("filed.example"));
    EXPECT_EQ(CellsAt(t, 1), (Cells{std::string(NotFiledMark), "", ""}));
    EXPECT_EQ(Failure(t, 2), u"");
    EXPECT_EQ(CellsAt(t, 3), Cells{});  // never reached

    // The client is ready at once, and a new batch is not stopped by the old stop.
    server.SetResponder([](const std::string& request) {
        return cytest::RequestedDomain(request) == "stall.example"
                   ? Reply{cytest::Ok(cytest::UnfiledPage())}
                   : ByDomain(request);
    });
    EXPECT_EQ(lookup::RequeryRow(t, client, 3, LookupBase(server)), std::nullopt);
    lookup::RunBatch(t, client, LookupBase(server), &progress);
    EXPECT_FALSE(progress.Counts().stopped);
    EXPECT_EQ(TallyOf(progress), (Tally{4, 4, 2, 2, 0}));
    EXPECT_TRUE(progress.Stop(client));  // nothing runs: nothing to do
    EXPECT_FALSE(progress.Counts().stopped);
}

// Which rows are unfinished after each way a lookup can end, and that a batch over them, the
// service mended, requests exactly those rows, in table order, and finishes them all.
class UnfinishedRows;
struct UnfinishedCase {
    const char* name;
    std::vector<std::string> rows;
    // Runs against a service that answers 500 for "fail*" and stalls on "stall*" while broken.
    std::function<void(UnfinishedRows&)> act;
    std::vector<std::string> actRequests;  // the domains the service saw during act
    std::vector<std::string> unfinished;   // the Domains of the unfinished rows after act
};

class UnfinishedRows : public BatchLookup, public ::testing::WithParamInterface<UnfinishedCase> {
protected:
    UnfinishedRows() {
        server.SetResponder([this](const std::string& request) {
            if (std::function<void()> hook = TakeHook()) {
                hook();
            }
            const std::string d = cytest::RequestedDomain(request);
            if (!broken && (d.rfind("fail", 0) == 0 || d.rfind("stall", 0) == 0)) {
                return Reply{cytest::Ok(cytest::UnfiledPage())};
            }
            return ByDomain(request);
        });
    }

public:
    using BatchLookup::client;
    using BatchLookup::server;
    using BatchLookup::t;

    std::vector<std::string> DomainsRequestedSince(std::size_t first) const {
        std::vector<std::string> out;
        const auto requests = server.Requests();
        for (std::size_t k = first; k < requests.size(); ++k) {
            out.push_back(cytest::RequestedDomain(requests[k]));
        }
        return out;
    }
    std::vector<std::string> UnfinishedDomains() const {
        std::vector<std::string> out;
        for (const table::RowId id : t.UnfinishedRows()) {
            out.push_back(t.ReadDomainOf(id));
        }
        return out;
    }
    void Batch() { lookup::RunBatch(t, client, LookupBase(server), &progress); }
    // Runs once, on the server's thread, before the next request is answered.
    void OnNextRequest(std::function<void()> hook) {
        std::lock_guard lock(hookMutex_);
        hook_ = std::move(hook);
    }

    std::atomic<bool> broken{true};
    lookup::BatchProgress progress;

private:
    std::function<void()> TakeHook() {
        std::lock_guard lock(hookMutex_);
        return std::exchange(hook_, {});
    }
    std::mutex hookMutex_;
    std::function<void()> hook_;
};

TEST_P(UnfinishedRows, AfterEachOutcomeTheCommandTakesExactlyTheUnfinishedRows) {
    const UnfinishedCase& c = GetParam();
    Append(t, c.rows);
    GetParam().act(*this);
    EXPECT_EQ(DomainsRequestedSince(0), c.actRequests);
    EXPECT_EQ(UnfinishedDomains(), c.unfinished);
    EXPECT_EQ(t.UnfinishedCount(), c.unfinished.size());

    broken = false;
    const auto before = server.Requests().size();
    const std::vector<table::RowId> ids = t.UnfinishedRows();
    lookup::RunBatchOver(t, client, ids, LookupBase(server), &progress);
    EXPECT_EQ(DomainsRequestedSince(before), c.unfinished);
    EXPECT_EQ(TallyOf(progress).total, ids.size());
    EXPECT_EQ(TallyOf(progress).done, ids.size());
    EXPECT_EQ(TallyOf(progress).failed, 0u);
    EXPECT_EQ(t.UnfinishedCount(), 0u);
    EXPECT_TRUE(t.UnfinishedRows().empty());
    for (std::size_t i = 0; i < t.RowCount(); ++i) {
        EXPECT_FALSE(t.ReadCell(i, Cell::FilingNo).empty()) << "row " << i << " not filled";
        EXPECT_EQ(t.Failure(i), "") << i;
    }
}

const UnfinishedCase kUnfinishedCases[] = {
    {"NewRows", {"filed-a", "unfiled-b"}, [](UnfinishedRows&) {}, {}, {"filed-a", "unfiled-b"}},
    {"Success",
     {"filed-a", "", "unfiled-c"},
     [](UnfinishedRows& f) { f.Batch(); },
     {"filed-a", "", "unfiled-c"},
     {}},
    {"Failure",
     {"filed-a", "fail-b", "unfiled-c", "fail-d"},
     [](UnfinishedRows& f) { f.Batch(); },
     {"filed-a", "fail-b", "unfiled-c", "fail-d"},
     {"fail-b", "fail-d"}},
    {"FailureThenSuccessThenFailure",
     {"fail-a", "fail-b", "fail-c"},
     [](UnfinishedRows& f) {
         f.Batch();
         f.broken = false;
         EXPECT_EQ(lookup::RequeryRow(f.t, f.client, 0, LookupBase(f.server)), std::nullopt);
         EXPECT_EQ(lookup::RequeryRow(f.t, f.client, 1, LookupBase(f.server)), std::nullopt);
         f.broken = true;
         EXPECT_NE(lookup::RequeryRow(f.t, f.client, 1, LookupBase(f.server)), std::nullopt);
     },
     {"fail-a", "fail-b", "fail-c", "fail-a", "fail-b", "fail-b"},
     {"fail-b", "fail-c"}},
    {"StopBeforeReaching",
     {"filed-a", "stall-b", "unfiled-c", "filed-d"},
     [](UnfinishedRows& f) {
         std::thread batch([&] { f.Batch(); });
         const auto until = std::chrono::steady_clock::now() + 20s;
         while (f.server.Requests().size() < 2 && std::chrono::steady_clock::now() < until) {
             std::this_thread::sleep_for(1ms);
         }
         EXPECT_TRUE(f.progress.Stop(f.client, 10s));
         batch.join();
     },
     {"filed-a", "stall-b"},
     {"stall-b", "unfiled-c", "filed-d"}},
    {"ClearEndsABatchOverRowsTakenBefore",
     {"fail-a", "filed-b", "fail-c"},
     [](UnfinishedRows& f) {
         f.Batch();
         const std::vector<table::RowId> taken = f.t.UnfinishedRows();
         f.t.Clear();
         EXPECT_EQ(f.t.UnfinishedCount(), 0u);
         Append(f.t, {"filed-new0", "filed-new1", "filed-new2"});
         f.broken = false;
         lookup::RunBatchOver(f.t, f.client, taken, LookupBase(f.server), &f.progress);
         EXPECT_EQ(TallyOf(f.progress), (Tally{2, 2, 0, 0, 0}));
         EXPECT_EQ(CellsAt(f.t, 0), Cells{});  // an old id never names a new row
     },
     {"fail-a", "filed-b", "fail-c"},
     {"filed-new0", "filed-new1", "filed-new2"}},
    {"RowsAddedDuringARunAreNotTaken",
     {"fail-a", "filed-b", "fail-c"},
     [](UnfinishedRows& f) {
         f.Batch();
         f.broken = false;
         const std::vector<table::RowId> taken = f.t.UnfinishedRows();
         f.OnNextRequest([&f] { Append(f.t, {"unfiled-late"}); });
         lookup::RunBatchOver(f.t, f.client, taken, LookupBase(f.server), &f.progress);
     },
     {"fail-a", "filed-b", "fail-c", "fail-a", "fail-c"},
     {"unfiled-late"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, UnfinishedRows, ::testing::ValuesIn(kUnfinishedCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BatchLookup, RequeryWritesAllThreeFieldsMarksUnfiledRowsAndFailsInTime) {
    Append(t, {"filed.example.com", " unfiled.example ", "fail.example", "stall.example.com"});
    t.WriteCell(t.IdAt(1), Cell::Sponsor, "old sponsor");
    t.WriteCell(t.IdAt(2), Cell::Sponsor, "kept");
    lookup::LookupLimits limits;
    limits.stall = 300ms;
    lookup::LookupClient impatient(limits);

    EXPECT_EQ(lookup::RequeryRow(t, impatient, 0, LookupBase(server)), std::nullopt);
    EXPECT_EQ(CellsAt(t, 0), FiledCells("filed.example.com"));

    // An unfiled page gives the mark (so the exports keep counting the row as unfiled), and
    // the patterns' results, here empty, replace Sponsor and Review date.
    EXPECT_EQ(lookup::RequeryRow(t, impatient, 1, LookupBase(server)), std::nullopt);
    EXPECT_EQ(CellsAt(t, 1), (Cells{std::string(NotFiledMark), "", ""}));

    EXPECT_NE(lookup::RequeryRow(t, impatient, 2, LookupBase(server)), std::nullopt);
    EXPECT_EQ(CellsAt(t, 2), (Cells{"", "kept", ""}));

    const auto start = std::chrono::steady_clock::now();  // a silent service
    EXPECT_NE(lookup::RequeryRow(t, impatient, 3, LookupBase(server)), std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_EQ(CellsAt(t, 3), Cells{});

    const auto before = server.Requests().size();
    EXPECT_NE(lookup::RequeryRow(t, impatient, 7, LookupBase(server)),
              std::nullopt);  // no such row
    EXPECT_EQ(server.Requests().size(), before);
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
    EXPECT_EQ(lookup::RequeryRow(t, client, 0, LookupBase(server)), std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
    EXPECT_EQ(CellsAt(t, 0), (Cells{"ICP-h", "S-h", "D-h"}));
}

}  // namespace
