#include "gui/DomainTableModel.h"
#include "table/DomainTable.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include <memory>
#include <string>
#include <thread>
#include <vector>

using table::Cell;

namespace {
std::vector<std::string> Lines(std::initializer_list<const char*> l) {
    return {l.begin(), l.end()};
}
}  // namespace

class DomainTableModelTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void columnsCaptionsAndGbkCells();
    void appendIsOneInsertionNumberedFromOne();
    void oddRowsColouredByCurrentIndexAlsoAfterClear();
    void workerWritesArriveAsOneDataChanged();
    void writesToRowsGoneByAClearAreDropped();
    void writeAfterTheModelIsGoneIsHarmless();
};

void DomainTableModelTest::columnsCaptionsAndGbkCells() {
    auto t = std::make_shared<table::DomainTable>();
    gui::DomainTableModel m(t);
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);

    const QStringList captions{QStringLiteral("行号"), QStringLiteral("域名"),
                               QStringLiteral("备案号"), QStringLiteral("主办单位"),
                               QStringLiteral("审核日期")};
    QCOMPARE(m.columnCount(), 5);
    for (int c = 0; c < 5; ++c) {
        QCOMPARE(m.headerData(c, Qt::Horizontal).toString(), captions[c]);
    }
    // "中国.cn", and "没有备案" written by a lookup, both GBK.
    m.AppendDomainRows(Lines({"\xD6\xD0\xB9\xFA.cn"}));
    t->WriteCell(t->IdAt(0), Cell::FilingNo, std::string(table::NotFiledMark));
    QCoreApplication::processEvents();
    QCOMPARE(m.data(m.index(0, 0)).toString(), QStringLiteral("1"));
    QCOMPARE(m.data(m.index(0, 1)).toString(), QStringLiteral("中国.cn"));
    QCOMPARE(m.data(m.index(0, 2)).toString(), QStringLiteral("没有备案"));
    QCOMPARE(m.data(m.index(0, 3)).toString(), QString());
    QVERIFY(!(m.flags(m.index(0, 1)) & Qt::ItemIsEditable));
}

void DomainTableModelTest::appendIsOneInsertionNumberedFromOne() {
    auto t = std::make_shared<table::DomainTable>();
    gui::DomainTableModel m(t);
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&m, &QAbstractItemModel::rowsInserted);

    m.AppendDomainRows(Lines({"a", "b", "c", "d"}));
    m.AppendDomainRows(std::vector<std::string>{});  // no lines: no insertion
    m.AppendDomainRows(Lines({"e", "f"}));
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(inserted[1][1].toInt(), 4);
    QCOMPARE(inserted[1][2].toInt(), 5);
    QStringList numbers;
    for (int r = 0; r < m.rowCount(); ++r) {
        numbers << m.data(m.index(r, 0)).toString();
    }
    QCOMPARE(numbers.join(QLatin1Char(',')), QStringLiteral("1,2,3,4,1,2"));
}

void DomainTableModelTest::oddRowsColouredByCurrentIndexAlsoAfterClear() {
    auto t = std::make_shared<table::DomainTable>();
    gui::DomainTableModel m(t);
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    auto colouredRows = [&] {
        QList<int> rows;
        for (int r = 0; r < m.rowCount(); ++r) {
            const QVariant bg = m.data(m.index(r, 3), Qt::BackgroundRole);
            if (bg.isValid()) {
                // A wrong colour shows up as a negative row.
                rows << (bg.value<QColor>() == QColor(166, 202, 240) ? r : -r);
            }
        }
        return rows;
    };
    m.AppendDomainRows(Lines({"a", "b", "c"}));
    m.AppendDomainRows(Lines({"d"}));
    QCOMPARE(colouredRows(), QList<int>({1, 3}));
    m.Clear();
    m.Clear();  // clearing an empty table is harmless
    QCOMPARE(m.rowCount(), 0);
    m.AppendDomainRows(Lines({"e", "f", "g"}));
    QCOMPARE(colouredRows(), QList<int>({1}));
}

void DomainTableModelTest::workerWritesArriveAsOneDataChanged() {
    auto t = std::make_shared<table::DomainTable>();
    gui::DomainTableModel m(t);
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    m.AppendDomainRows(std::vector<std::string>(10, "x.com"));
    QSignalSpy changed(&m, &QAbstractItemModel::dataChanged);

    // A burst of writes from another thread, all before the GUI thread gets to run.
    std::thread worker([t] {
        for (std::size_t i = 2; i <= 6; ++i) {
            const table::RowId id = t->IdAt(i);
            t->WriteCell(id, Cell::FilingNo, "ICP-" + std::to_string(i));
            t->WriteCell(id, Cell::Sponsor, "S");
            t->WriteCell(id, Cell::ReviewDate, "D");
        }
        t->SetFailure(t->IdAt(4), "\xB2\xE9\xD1\xAF");  // 查询
    });
    worker.join();
    QCOMPARE(changed.count(), 0);  // nothing is emitted on the worker thread
    QTRY_COMPARE(changed.count(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(changed.count(), 1);
    const auto topLeft = changed[0][0].value<QModelIndex>();
    const auto bottomRight = changed[0][1].value<QModelIndex>();
    QCOMPARE(topLeft.row(), 2);
    QCOMPARE(bottomRight.row(), 6);
    QCOMPARE(topLeft.column(), 0);  // the failure reason is every cell's tooltip
    QCOMPARE(bottomRight.column(), 4);
    QCOMPARE(m.data(m.index(6, 2)).toString(), QStringLiteral("ICP-6"));
    // The failed row's tooltip and dark red text, on every cell, are announced with the write.
    QVERIFY(changed[0][2].value<QList<int>>().contains(Qt::ForegroundRole));
    for (int column = 0; column < gui::DomainTableModel::kColumnCount; ++column) {
        QCOMPARE(m.data(m.index(4, column), Qt::ToolTipRole).toString(), QStringLiteral("查询"));
        QCOMPARE(m.data(m.index(4, column), Qt::ForegroundRole), QVariant(gui::FailedRowTextColor));
    }
    QVERIFY(!m.data(m.index(5, 1), Qt::ToolTipRole).isValid());
    QVERIFY(!m.data(m.index(5, 1), Qt::ForegroundRole).isValid());

    // The next burst is announced again.
    std::thread([t] { t->WriteCell(t->IdAt(9), Cell::Sponsor, "T"); }).join();
    QTRY_COMPARE(changed.count(), 2);
    QCOMPARE(changed[1][0].value<QModelIndex>().row(), 9);
}

void DomainTableModelTest::writesToRowsGoneByAClearAreDropped() {
    auto t = std::make_shared<table::DomainTable>();
    gui::DomainTableModel m(t);
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    m.AppendDomainRows(std::vector<std::string>(4, "x.com"));
    QSignalSpy changed(&m, &QAbstractItemModel::dataChanged);
    t->WriteCell(t->IdAt(3), Cell::FilingNo, "late");  // flush queued, not yet run
    m.Clear();
    m.AppendDomainRows(std::vector<std::string>(8, "y.com"));
    QCoreApplication::processEvents();
    QCOMPARE(changed.count(), 0);
    QCOMPARE(m.data(m.index(3, 2)).toString(), QString());
}

void DomainTableModelTest::writeAfterTheModelIsGoneIsHarmless() {
    auto t = std::make_shared<table::DomainTable>();
    {
        gui::DomainTableModel m(t);
        m.AppendDomainRows(Lines({"a", "b"}));
        t->WriteCell(t->IdAt(0), Cell::FilingNo, "queued");  // flush queued for a dying model
    }
    std::thread([t] { t->WriteCell(t->IdAt(1), Cell::FilingNo, "after"); }).join();
    QCoreApplication::processEvents();  // the queued flush finds no model and does nothing
    QCOMPARE(t->ReadCell(1, Cell::FilingNo), std::string("after"));
}

QTEST_MAIN(DomainTableModelTest)
#include "DomainTableModelTest.moc"
