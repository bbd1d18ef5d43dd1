// The batch button and the re-query command of the main window against a scripted lookup
// service, and quitting while batch workers are inside a lookup.
#include "Startup.h"
#include "U_Main.h"
#include "gui/DomainTableModel.h"
#include "gui/ErrorBox.h"
#include "gui/PanelStatusBar.h"
#include "lookup/BatchLookup.h"
#include "table/DomainTable.h"

#include "support/MainWindowDriver.h"
#include "support/ScriptedLookup.h"

#include "MessageBoxCapture.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

using namespace std::chrono_literals;
using testsupport::Reply;
using testsupport::ScriptedHttpServer;

namespace {

using cytest::ByDomain;

// Answers as ByDomain does, each after a pause, so a batch runs long enough to be watched.
Reply Slowly(const std::string& request) {
    Reply r = ByDomain(request);
    r.delay = 20ms;
    return r;
}

const QString kNotFiled = QStringLiteral("没有备案");

}  // namespace

class BatchWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        server_ = std::make_unique<ScriptedHttpServer>();
        server_->SetResponder(ByDomain);
        window_ = std::make_unique<TFrm_Main>();
        window_->SetLookupBaseUrl(cytest::LookupBase(*server_));
        window_->show();
        ui_.emplace(*window_);
    }
    void cleanup() {
        ui_.reset();
        window_.reset();
        server_.reset();
    }

    void batchButtonFillsEveryRowOnAWorker() {
        QCOMPARE(ui_->Progress(), QString());  // nothing to say before the first batch
        ui_->Append({"filed.example.com", " unfiled.example ", "filed2.test"});
        ui_->btn4->click();
        QTRY_COMPARE(ui_->Cell(2, 3), QStringLiteral("S-filed2.test"));
        QCOMPARE(ui_->Cell(0, 2), QStringLiteral("ICP-filed.example.com"));
        QCOMPARE(ui_->Cell(0, 4), QStringLiteral("D-filed.example.com"));
        QCOMPARE(ui_->Cell(1, 2), kNotFiled);
        QCOMPARE(ui_->Cell(1, 1), QStringLiteral(" unfiled.example "));
        QCOMPARE(ui_->Cell(2, 2), QStringLiteral("ICP-filed2.test"));
    }

    // The panel follows two batches at once, then sums them up; a failed row carries its
    // reason until a later success; a failed re-query says why in the panel.
    void progressPanelAndFailureReasons() {
        server_->SetResponder(Slowly);
        std::vector<std::string> rows;
        for (int i = 0; i < 20; ++i) {
            rows.push_back((i % 10 == 3 ? "fail"
                            : i % 2     ? "filed"
                                        : "unfiled") +
                           std::to_string(i) + ".example");
        }
        ui_->Append(rows);
        ui_->btn4->click();
        ui_->btn4->click();
        QCOMPARE(window_->Progress()->Counts().total, std::size_t{40});  // counted at the click
        QTRY_VERIFY(ui_->Progress().startsWith(QStringLiteral("查询 ")) &&
                    ui_->Progress().contains(QStringLiteral("/40 失败 ")));
        QVERIFY(ui_->ProgressTip().endsWith(QStringLiteral("单击停止查询")));
        QTRY_COMPARE_WITH_TIMEOUT(ui_->Progress(), QStringLiteral("完成 40 失败 4"), 20000);
        const QString tip = ui_->ProgressTip();
        QVERIFY2(tip.startsWith(QStringLiteral("已备案 16\n未备案 20\n失败 4\n用时 0:00:")),
                 qPrintable(tip));
        QVERIFY(tip.contains(QStringLiteral("每秒 ")));
        QVERIFY(!tip.contains(QStringLiteral("单击停止查询")));

        QCOMPARE(ui_->CellTip(3), QStringLiteral("查询失败：服务返回 500"));
        QCOMPARE(ui_->CellTip(3, 0), ui_->CellTip(3));
        QCOMPARE(ui_->Cell(3, 2), QString());  // the cells stay as they were
        QCOMPARE(ui_->CellTip(4), QString());

        QAction* n9 = ui_->N9;
        ui_->lv1->selectRow(13);
        n9->trigger();
        QCOMPARE(ui_->Progress(), QStringLiteral("重查失败：服务返回 500"));
        server_->SetResponder(
            [](const std::string&) { return Reply{cytest::Ok(cytest::UnfiledPage())}; });
        n9->trigger();
        QTRY_COMPARE(ui_->CellTip(13), QString());
        QCOMPARE(ui_->CellTip(3), QStringLiteral("查询失败：服务返回 500"));

        ui_->btn3->click();
        ui_->Append({"x.example", "y.example", "z.example", "w.example"});
        QCOMPARE(ui_->CellTip(3), QString());  // a clear takes every reason with it
    }

    // A click on the panel while batches run asks first; "no" goes on, "yes" ends every batch
    // within a second although an exchange hangs, and keeps what was written.
    void clickOnThePanelStopsTheBatches() {
        ui_->Append({"filed0.example", "unfiled1.example", "stall2.example", "filed3.example"});
        {
            MessageBoxCapture none;
            QVERIFY(ui_->ClickProgressPanel());  // nothing runs: nothing is asked
            QCOMPARE(none.Count(), 0u);
        }
        ui_->btn4->click();
        ui_->btn4->click();
        QTRY_COMPARE(ui_->Cell(1, 2), kNotFiled);
        QTRY_VERIFY(window_->Progress()->Counts().running == 2);

        MessageBoxCapture no([](const gui::ShownBox&) { return QMessageBox::No; });
        QVERIFY(ui_->ClickProgressPanel());
        QCOMPARE(no.Count(), 1u);
        QCOMPARE(no[0].title, gui::kApplicationTitle);
        QCOMPARE(no[0].text, QStringLiteral("停止批量查询？"));
        QCOMPARE(no[0].icon, QMessageBox::Question);
        QCOMPARE(no[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(no[0].defaultButton, QMessageBox::No);
        QTest::qWait(150);
        QCOMPARE(window_->Progress()->Counts().running, std::size_t{2});
        QVERIFY(ui_->Progress().startsWith(QStringLiteral("查询 ")));

        MessageBoxCapture yes([](const gui::ShownBox&) { return QMessageBox::Yes; });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(ui_->ClickProgressPanel());
        QCOMPARE(yes.Count(), 1u);
        QCOMPARE(window_->Progress()->Counts().running, std::size_t{0});
        QVERIFY2(clock.elapsed() < 3000, "the stop cuts the hanging exchange off at once");
        QVERIFY(ui_->Progress().startsWith(QStringLiteral("已停止 ")));
        QVERIFY(ui_->Progress().endsWith(QStringLiteral("/8")));
        QTRY_VERIFY(!ui_->ProgressTip().contains(QStringLiteral("单击")));
        QCOMPARE(ui_->Cell(0, 2), QStringLiteral("ICP-filed0.example"));
        QCOMPARE(ui_->Cell(3, 2), QString());
        QCOMPARE(ui_->CellTip(2), QString());  // cut off, not failed

        // The next press starts afresh, on a client that is ready.
        server_->SetResponder([](const std::string& request) {
            return cytest::RequestedDomain(request).rfind("stall", 0) == 0
                       ? Reply{cytest::Ok(cytest::UnfiledPage())}
                       : ByDomain(request);
        });
        ui_->btn4->click();
        QTRY_COMPARE_WITH_TIMEOUT(ui_->Progress(), QStringLiteral("完成 4 失败 0"), 10000);
        QCOMPARE(ui_->Cell(3, 2), QStringLiteral("ICP-filed3.example"));
        QCOMPARE(yes.Count(), 1u);
        QVERIFY(ui_->ClickProgressPanel());  // ended: a click does nothing
        QCOMPARE(yes.Count(), 1u);
    }

    // The popup menu's last item, after a separator, looks up again only the rows without a
    // result: after a batch that failed on 100 of 600 rows, and after a batch stopped half way.
    void rerunCommandLooksUpOnlyTheUnfinishedRows() {
        const QList<QAction*> items = ui_->pm1->actions();
        QStringList names;
        for (QAction* a : items) {
            names << a->objectName();
        }
        QCOMPARE(names, QString::fromLatin1("N9 N10 N1 N2 N3 N11 N12").split(QLatin1Char(' ')));
        QVERIFY(items[1]->isSeparator() && items[5]->isSeparator());
        QAction* rerun = items[6];
        QCOMPARE(rerun, ui_->N12);
        QCOMPARE(rerun->text(), QStringLiteral("重查未完成的域名"));
        const QString nothing = QStringLiteral("没有未完成的域名");
        rerun->trigger();
        QCOMPARE(ui_->Progress(), nothing);

        // "bad*" answers 500 until the service mends.
        std::atomic<bool> broken{true};
        server_->SetResponder([&broken](const std::string& request) {
            const std::string d = cytest::RequestedDomain(request);
            if (d.rfind("bad", 0) == 0) {
                return broken ? Reply{ScriptedHttpServer::Response("500 Internal Server Error", "")}
                              : Reply{ScriptedHttpServer::Response(
                                    "200 OK", cytest::FiledPage("ICP-" + d, "S", "D"))};
            }
            return ByDomain(request);
        });
        const auto domainsSince = [this](std::size_t first) {
            std::vector<std::string> out;
            const auto requests = server_->Requests();
            for (std::size_t k = first; k < requests.size(); ++k) {
                out.push_back(cytest::RequestedDomain(requests[k]));
            }
            return out;
        };
        const auto everyRowFilledAndBlack = [this] {
            for (int i = 0; i < window_->Model().rowCount(); ++i) {
                QVERIFY2(!ui_->Cell(i, 2).isEmpty(), qPrintable(QString::number(i)));
                QVERIFY(!window_->Model().index(i, 1).data(Qt::ForegroundRole).isValid());
            }
        };
        std::vector<std::string> rows, bad;
        for (int i = 0; i < 600; ++i) {
            const char* kind = i % 6 == 5 ? "bad" : i % 2 ? "unfiled" : "filed";
            rows.push_back(kind + std::to_string(i) + ".example");
            if (i % 6 == 5) {
                bad.push_back(rows.back());
            }
        }
        ui_->Append(rows);
        ui_->btn4->click();
        QTRY_COMPARE_WITH_TIMEOUT(ui_->Progress(), QStringLiteral("完成 600 失败 100"), 60000);
        QVERIFY(ui_->ProgressTip().contains(QStringLiteral("重查未完成的域名")));
        QTRY_COMPARE(window_->Model().index(5, 3).data(Qt::ForegroundRole),
                     QVariant(gui::FailedRowTextColor));
        QVERIFY(!window_->Model().index(4, 3).data(Qt::ForegroundRole).isValid());

        broken = false;
        std::size_t before = server_->Requests().size();
        rerun->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(ui_->Progress(), QStringLiteral("完成 100 失败 0"), 30000);
        QCOMPARE(domainsSince(before), bad);
        QTRY_VERIFY(!window_->Model().index(5, 3).data(Qt::ForegroundRole).isValid());
        everyRowFilledAndBlack();
        QVERIFY(!ui_->ProgressTip().contains(QStringLiteral("重查")));
        before = server_->Requests().size();
        rerun->trigger();
        QCOMPARE(ui_->Progress(), nothing);
        QCOMPARE(server_->Requests().size(), before);
        ui_->btn3->click();
        QCOMPARE(ui_->Progress(), QString());  // a clear ends the notice

        // A batch stopped where it hangs, half way; then the command takes the rest.
        rows[300] = "stall300.example";
        ui_->Append(rows);
        ui_->btn4->click();
        QTRY_VERIFY_WITH_TIMEOUT(domainsSince(0).back() == "stall300.example", 30000);
        {
            MessageBoxCapture yes([](const gui::ShownBox&) { return QMessageBox::Yes; });
            QVERIFY(ui_->ClickProgressPanel());
            QCOMPARE(yes.Count(), 1u);
        }
        QVERIFY(ui_->Progress().startsWith(QStringLiteral("已停止 ")));
        server_->SetResponder(
            [](const std::string&) { return Reply{cytest::Ok(cytest::UnfiledPage())}; });
        before = server_->Requests().size();
        rerun->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(ui_->Progress(), QStringLiteral("完成 300 失败 0"), 30000);
        QCOMPARE(domainsSince(before), std::vector<std::string>(rows.begin() + 300, rows.end()));
        QTRY_VERIFY(!ui_->Cell(599, 2).isEmpty());
        everyRowFilledAndBlack();
    }

    void requeryNeedsASelectedRow() {
        ui_->Append({"filed.example.com", "unfiled.example"});
        QAction* n9 = ui_->N9;
        QTableView* lv1 = ui_->lv1;
        n9->trigger();
        QVERIFY(server_->Requests().empty());

        lv1->selectRow(1);
        n9->trigger();  // runs on this thread: the row is written when it returns
        QCOMPARE(server_->Requests().size(), std::size_t{1});
        QCOMPARE(window_->Table()->ReadCell(1, table::Cell::FilingNo),
                 std::string(table::NotFiledMark));
        lv1->selectRow(0);
        n9->trigger();
        QCOMPARE(window_->Table()->ReadCell(0, table::Cell::Sponsor),
                 std::string("S-filed.example.com"));
        QTRY_COMPARE(ui_->Cell(0, 3), QStringLiteral("S-filed.example.com"));
    }

    // The event loop ends while two workers wait for slow answers; the windows are destroyed
    // and the workers finish later on the table and client they share, without touching the
    // destroyed window or model (ASan would report it).
    void quittingDuringABatchReturnsZero() {
        ui_.reset();
        window_.reset();
        std::atomic<int> answered{0};
        server_->SetResponder([&](const std::string& request) {
            Reply r = ByDomain(request);
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
                main->SetLookupBaseUrl(cytest::LookupBase(*server_));
                return main;
            });
            QTimer::singleShot(0, qApp, [&] {
                TFrm_Main& w = *startup.MainWindow();
                table = w.Table();
                const testsupport::MainWindowDriver ui(w);
                ui.Append({"filed-a.example", "filed-b.example", "filed-c.example"});
                ui.btn4->click();
                ui.btn4->click();
                QTimer::singleShot(100, qApp, [btn6 = ui.btn6] { btn6->click(); });
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
    std::optional<testsupport::MainWindowDriver> ui_;
};

QTEST_MAIN(BatchWindowTest)
#include "BatchWindowTest.moc"
