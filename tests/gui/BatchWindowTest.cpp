// The batch button and the re-query command of the main window against a scripted lookup
// service, and quitting while batch workers are inside a lookup.
#include "Startup.h"
#include "U_Main.h"
#include "gui/DomainTableModel.h"
#include "table/DomainTable.h"

#include "support/FilingPages.h"
#include "support/ScriptedHttpServer.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using namespace std::chrono_literals;
using testsupport::Reply;
using testsupport::ScriptedHttpServer;

namespace {

Reply Answer(const std::string& request) {
    const std::string d = cytest::RequestedDomain(request);
    if (d.rfind("filed", 0) == 0) {
        return {ScriptedHttpServer::Response("200 OK",
                                             cytest::FiledPage("ICP-" + d, "S-" + d, "D-" + d))};
    }
    return {ScriptedHttpServer::Response("200 OK", cytest::UnfiledPage())};
}

std::string BaseUrl(const ScriptedHttpServer& server) {
    return server.BaseUrl() + "/icp/details.asp?CertType=0&Domain=";
}

QString Cell(TFrm_Main& w, int row, int column) {
    return w.Model().index(row, column).data().toString();
}

void Append(TFrm_Main& w, std::vector<std::string> lines) {
    w.Model().AppendDomainRows(std::span<const std::string>(lines));
}

const QString kNotFiled = QStringLiteral("没有备案");

}  // namespace

class BatchWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        server_ = std::make_unique<ScriptedHttpServer>();
        server_->SetResponder(Answer);
        window_ = std::make_unique<TFrm_Main>();
        window_->SetLookupBaseUrl(BaseUrl(*server_));
        window_->show();
    }
    void cleanup() {
        window_.reset();
        server_.reset();
    }

    void batchButtonFillsEveryRowOnAWorker() {
        Append(*window_, {"filed.example.com", " unfiled.example ", "filed2.test"});
        window_->findChild<QPushButton*>(QStringLiteral("btn4"))->click();
        QTRY_COMPARE(Cell(*window_, 2, 3), QStringLiteral("S-filed2.test"));
        QCOMPARE(Cell(*window_, 0, 2), QStringLiteral("ICP-filed.example.com"));
        QCOMPARE(Cell(*window_, 0, 4), QStringLiteral("D-filed.example.com"));
        QCOMPARE(Cell(*window_, 1, 2), kNotFiled);
        QCOMPARE(Cell(*window_, 1, 1), QStringLiteral(" unfiled.example "));
        QCOMPARE(Cell(*window_, 2, 2), QStringLiteral("ICP-filed2.test"));
    }

    void requeryNeedsASelectedRow() {
        Append(*window_, {"filed.example.com", "unfiled.example"});
        QAction* n9 = window_->findChild<QAction*>(QStringLiteral("N9"));
        n9->trigger();
        QVERIFY(server_->Requests().empty());

        auto* lv1 = window_->findChild<QTableView*>(QStringLiteral("lv1"));
        lv1->selectRow(1);
        n9->trigger();  // runs on this thread: the row is written when it returns
        QCOMPARE(server_->Requests().size(), std::size_t{1});
        QCOMPARE(window_->Table()->ReadCell(1, table::Cell::FilingNo),
                 std::string(table::NotFiledMark));
        lv1->selectRow(0);
        n9->trigger();
        QCOMPARE(window_->Table()->ReadCell(0, table::Cell::Sponsor),
                 std::string("S-filed.example.com"));
        QTRY_COMPARE(Cell(*window_, 0, 3), QStringLiteral("S-filed.example.com"));
    }

    // The event loop ends while two workers wait for slow answers; the windows are destroyed
    // and the workers finish later on the table and client they share, without touching the
    // destroyed window or model (ASan would report it).
    void quittingDuringABatchReturnsZero() {
        window_.reset();
        std::atomic<int> answered{0};
        server_->SetResponder([&](const std::string& request) {
            Reply r = Answer(request);
            r.delay = 200ms;
            ++answered;
            return r;
        });
        std::shared_ptr<table::DomainTable> table;
        int code = -1;
        QElapsedTimer clock;
        {
            Startup startup(*qApp, [&] {
                auto main = Startup::CreateWindows();
                main->SetLookupBaseUrl(BaseUrl(*server_));
                return main;
            });
            QTimer::singleShot(0, qApp, [&] {
                TFrm_Main& w = *startup.MainWindow();
                table = w.Table();
                Append(w, {"filed-a.example", "filed-b.example", "filed-c.example"});
                auto* btn4 = w.findChild<QPushButton*>(QStringLiteral("btn4"));
                btn4->click();
                btn4->click();
                QTimer::singleShot(100, qApp, [&w] {
                    w.findChild<QPushButton*>(QStringLiteral("btn6"))->click();
                });
            });
            clock.start();
            code = startup.Run();
        }
        QCOMPARE(code, 0);
        QVERIFY2(clock.elapsed() < 1000, "quitting must not wait for the workers");
        QVERIFY(answered < 6);  // the workers were still at work when the loop ended
        // Let the workers run to their end on the shared table, then their deleteLater.
        QTRY_VERIFY_WITH_TIMEOUT(answered == 6, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(table->ReadCell(2, table::Cell::Sponsor),
                                  std::string("S-filed-c.example"), 5000);
        QTest::qWait(300);
    }

private:
    std::unique_ptr<ScriptedHttpServer> server_;
    std::unique_ptr<TFrm_Main> window_;
};

QTEST_MAIN(BatchWindowTest)
#include "BatchWindowTest.moc"
