// The whole road through the windows against the stand-in lookup service (nginx serving the
// demo data): domains typed into the add dialog, a batch, and the three exports through the
// save dialog, compared byte for byte with the files a user should get.
#include "Startup.h"
#include "U_Main.h"
#include "U_add.h"
#include "gui/DomainTableModel.h"
#include "table/DomainTable.h"

#include "ModalAnswer.h"
#include "support/MainWindowDriver.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <string>

namespace {

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

QByteArray Bytes(const std::string& s) {
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

const std::string kNine = "         ";
const std::string kNotFiled = "\xC3\xBB\xD3\xD0\xB1\xB8\xB0\xB8";  // 没有备案
// 京ICP备00000001号-1, 浙ICP备00000004号-1, 沪ICP备00000002号-3 as the demo data holds them.
const std::string kExampleCom =
    "\xBE\xA9ICP\xB1\xB8"
    "00000001\xBA\xC5-1";
const std::string kShop =
    "\xD5\xE3ICP\xB1\xB8"
    "00000004\xBA\xC5-1";
const std::string kExampleNet =
    "\xBB\xA6ICP\xB1\xB8"
    "00000002\xBA\xC5-3";

}  // namespace

class EndToEndTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        QProcess start;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("CY_SERVICE_DIR"), dir_.filePath(QStringLiteral("service")));
        start.setProcessEnvironment(env);
        start.start(QStringLiteral(CY_SOURCE_DIR "/service/start"),
                    {QStringLiteral("127.0.0.1:0")});
        QVERIFY(start.waitForFinished(30000));
        const QString out = QString::fromUtf8(start.readAllStandardOutput());
        QCOMPARE(start.exitCode(), 0);
        const auto match =
            QRegularExpression(QStringLiteral("http://(127\\.0\\.0\\.1:\\d+)/")).match(out);
        QVERIFY2(match.hasMatch(), qPrintable(out));
        listen_ = match.captured(1);
        env_ = env;
    }

    void cleanupTestCase() {
        if (!listen_.isEmpty()) {
            QProcess stop;
            stop.setProcessEnvironment(env_);
            stop.start(QStringLiteral(CY_SOURCE_DIR "/service/stop"), {listen_});
            stop.waitForFinished(30000);
        }
    }

    void typedDomainsAreLookedUpAndExported() {
        std::unique_ptr<TFrm_Main> main = Startup::CreateWindows();
        main->SetLookupBaseUrl("http://" + listen_.toStdString() +
                               "/icp/details.asp?CertType=0&Domain=");
        main->show();
        const testsupport::MainWindowDriver ui(*main);

        // Type four lines into the add dialog and press 确定(&O).
        ModalAnswer<TFrm_Add> typeDomains([](TFrm_Add* dialog) {
            auto* memo = dialog->findChild<QPlainTextEdit*>(QStringLiteral("mmo1"));
            QVERIFY(memo != nullptr);
            const char* lines[] = {"example.com", "nothing-here.example", "shop.example.com",
                                   " example.net "};
            for (const char* line : lines) {
                QTest::keyClicks(memo, QString::fromLatin1(line));
                QTest::keyClick(memo, Qt::Key_Return);
            }
            dialog->findChild<QPushButton*>(QStringLiteral("btn1"))->click();
        });
        ui.btn1->click();
        QVERIFY(typeDomains.Answered());
        QVERIFY(!typeDomains.LeftOpen());
        QCOMPARE(main->Table()->RowCount(), std::size_t{4});

        ui.btn4->click();
        const auto& table = *main->Table();
        QTRY_VERIFY_WITH_TIMEOUT(!table.ReadCell(3, table::Cell::Sponsor).empty(), 10000);
        QCOMPARE(table.ReadCell(1, table::Cell::FilingNo), kNotFiled);

        const QString all = dir_.filePath(QStringLiteral("all.txt"));
        const QString filed = dir_.filePath(QStringLiteral("filed"));
        const QString unfiled = dir_.filePath(QStringLiteral("unfiled.txt"));
        for (auto [action, path] : {std::pair{"N1", all}, {"N2", filed}, {"N3", unfiled}}) {
            auto answer = Choose(path);
            ui.Press(action);
            QVERIFY(answer->Answered());
        }

        QCOMPARE(ReadFile(all),
                 Bytes("example.com" + kNine + kExampleCom + "\r\n" + "nothing-here.example" +
                       kNine + kNotFiled + "\r\n" + "shop.example.com" + kNine + kShop + "\r\n" +
                       " example.net " + kNine + kExampleNet + "\r\n"));
        QCOMPARE(ReadFile(filed),
                 Bytes("example.com" + kNine + kExampleCom + "\r\n" + "shop.example.com" + kNine +
                       kShop + "\r\n" + " example.net " + kNine + kExampleNet + "\r\n"));
        QCOMPARE(ReadFile(unfiled), Bytes("nothing-here.example\r\n"));
    }

private:
    QTemporaryDir dir_;
    QString listen_;
    QProcessEnvironment env_;
};

QTEST_MAIN(EndToEndTest)
#include "EndToEndTest.moc"
