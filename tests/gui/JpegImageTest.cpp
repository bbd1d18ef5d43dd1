#include <QFile>
#include <QTest>

#include "gui/JpegImage.h"

namespace {

QByteArray AboutPicture() {
    QFile file(QStringLiteral(":/images/about-picture.jpg"));
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("about picture missing from the resources");
    }
    return file.readAll();
}

// Offset of the first byte after the start-of-scan segment, where the compressed data begins.
qsizetype ScanDataStart(const QByteArray& jpeg) {
    const qsizetype sos = jpeg.indexOf(QByteArray("\xFF\xDA", 2));
    const int length = (static_cast<uchar>(jpeg[sos + 2]) << 8) | static_cast<uchar>(jpeg[sos + 3]);
    return sos + 2 + length;
}

// Writes a new width and height into the start-of-frame segment.
QByteArray WithSize(QByteArray jpeg, int width, int height) {
    const qsizetype sof = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    jpeg[sof + 5] = static_cast<char>(height >> 8);
    jpeg[sof + 6] = static_cast<char>(height & 0xFF);
    jpeg[sof + 7] = static_cast<char>(width >> 8);
    jpeg[sof + 8] = static_cast<char>(width & 0xFF);
    return jpeg;
}

}  // namespace

class JpegImageTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decodesTheAboutPicture() {
        const QImage image = gui::DecodeJpeg(AboutPicture());
        QCOMPARE(image.size(), QSize(63, 63));
        QVERIFY(!image.hasAlphaChannel());
        // Red, green and blue land in the right channels: the top is nearly white, the band
        // along the bottom is the picture's dark blue (#1f5fa8).
        const QColor top = image.pixelColor(2, 1);
        QVERIFY2(top.red() > 230 && top.green() > 230 && top.blue() > 230, qPrintable(top.name()));
        const QColor band = image.pixelColor(1, 61);
        QVERIFY2(qAbs(band.red() - 0x1f) < 24 && qAbs(band.green() - 0x5f) < 24 &&
                     qAbs(band.blue() - 0xa8) < 24,
                 qPrintable(band.name()));
    }

    void refusesBrokenData_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good = AboutPicture();
        const qsizetype scan = ScanDataStart(good);
        QByteArray badMarker = good;
        badMarker[scan + 40] = '\xFF';
        badMarker[scan + 41] = '\xC4';  // a table segment in the middle of the compressed data

        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not a JPEG") << QByteArray("GIF89a not a jpeg at all");
        QTest::newRow("start marker only") << good.left(2);
        QTest::newRow("cut inside the headers") << good.left(scan - 20);
        QTest::newRow("cut after the headers") << good.left(scan);
        QTest::newRow("cut halfway through the picture")
            << good.left(scan + (good.size() - scan) / 2);
        QTest::newRow("end marker missing") << good.left(good.size() - 2);
        QTest::newRow("marker inside the scan") << badMarker;
        QTest::newRow("zero width") << WithSize(good, 0, 63);
        QTest::newRow("huge size") << WithSize(good, 60000, 60000);
    }
    void refusesBrokenData() {
        QFETCH(QByteArray, bytes);
        QVERIFY_THROWS_EXCEPTION(gui::JpegError, gui::DecodeJpeg(bytes));
    }

    void errorNamesTheProblem() {
        try {
            gui::DecodeJpeg(QByteArray("plain text"));
            QFAIL("no exception");
        } catch (const gui::JpegError& e) {
            QVERIFY2(QByteArray(e.what()).startsWith("JPEG: Not a JPEG file"), e.what());
        }
    }
};

QTEST_GUILESS_MAIN(JpegImageTest)
#include "JpegImageTest.moc"
