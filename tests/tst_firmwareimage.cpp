#include <QtTest>

#include "formats/firmwareimage.h"
#include "support/firmwareimages.h"

namespace {

QByteArray image(int size, const QByteArray& version = "1.2.3", const QByteArray& model = "T71")
{
    return firmwareimages::make(size, version, model);
}

}   // namespace

class FirmwareImageTest : public QObject {
    Q_OBJECT

private slots:
    void acceptance_data();
    void acceptance();
    void textFields();
    void versionsMatch_data();
    void versionsMatch();
    void chunking_data();
    void chunking();
    void chunksRebuildTheImage();
};

void FirmwareImageTest::acceptance_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    QTest::newRow("76 bytes") << image(76) << true;
    QTest::newRow("75 bytes with the magic") << image(75) << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("3 bytes of magic") << QByteArray("RBL") << false;
    QByteArray lower = image(200);
    lower[0] = 'r';
    QTest::newRow("wrong magic") << lower << false;
    QByteArray noNul = image(200);
    noNul[3] = ' ';
    QTest::newRow("magic without its NUL") << noNul << false;
}

void FirmwareImageTest::acceptance()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    const FirmwareImageHeader header = readFirmwareImageHeader(bytes);
    QCOMPARE(header.isValid(), valid);
    if (valid) {
        QCOMPARE(header.version, QStringLiteral("1.2.3"));
        QCOMPARE(header.model, QStringLiteral("T71"));
    }
}

void FirmwareImageTest::textFields()
{
    // A full 24-byte version runs up to the model field and no further.
    const QByteArray full = "V2.10.300-build-20240101";
    QCOMPARE(full.size(), 24);
    FirmwareImageHeader header = readFirmwareImageHeader(image(76, full, "T73"));
    QCOMPARE(header.version, QString::fromLatin1(full));
    QCOMPARE(header.model, QStringLiteral("T73"));

    // The model field ends at byte 76 even when no NUL follows it.
    QByteArray longModel = image(100, "1.0.0", "MMMMMMMMMMMMMMMMMMMMMMMM");
    longModel[76] = 'Z';
    header = readFirmwareImageHeader(longModel);
    QCOMPARE(header.model, QString(24, QLatin1Char('M')));

    // Text stops at the first NUL; bytes behind it are not part of it.
    QByteArray withTail = image(120, QByteArray("1.2\0garbage", 11), "电机");
    header = readFirmwareImageHeader(withTail);
    QCOMPARE(header.version, QStringLiteral("1.2"));
    QCOMPARE(header.model, QStringLiteral("电机"));

    // Empty fields read as empty texts.
    header = readFirmwareImageHeader(image(76, "", ""));
    QVERIFY(header.isValid());
    QVERIFY(header.version.isEmpty());
    QVERIFY(header.model.isEmpty());
}

void FirmwareImageTest::versionsMatch_data()
{
    QTest::addColumn<QString>("image");
    QTest::addColumn<QString>("drive");
    QTest::addColumn<bool>("match");

    QTest::newRow("same text") << "1.6.0" << "1.6.0" << true;
    QTest::newRow("leading zero in a number") << "1.07.0" << "1.7.0" << true;
    QTest::newRow("two zeros for zero") << "1.6.00" << "1.6.0" << true;
    QTest::newRow("zeros everywhere") << "001.006.000" << "1.6.0" << true;
    QTest::newRow("other third number") << "1.6.0" << "1.6.1" << false;
    QTest::newRow("10 is not 1") << "1.10.0" << "1.1.0" << false;
    QTest::newRow("100 is not 10") << "1.6.100" << "1.6.10" << false;
    QTest::newRow("numbers past any int, equal") << "1.099999999999999999999.0" << "1.99999999999999999999.0"
                                                 << true;
    QTest::newRow("numbers past any int, differing") << "1.99999999999999999999.0" << "1.99999999999999999998.0"
                                                     << false;
    QTest::newRow("no version reported yet") << "1.6.0" << "" << false;
    QTest::newRow("both empty") << "" << "" << true;

    // Anything but three decimal numbers compares as text.
    QTest::newRow("two numbers, same text") << "1.6" << "1.6" << true;
    QTest::newRow("two numbers, leading zero") << "1.06" << "1.6" << false;
    QTest::newRow("two numbers against three") << "1.6" << "1.6.0" << false;
    QTest::newRow("four numbers") << "1.6.0.0" << "1.6.0" << false;
    QTest::newRow("empty number") << "1..0" << "1.0.0" << false;
    QTest::newRow("trailing dot") << "1.6.0." << "1.6.0" << false;
    QTest::newRow("prefix letter") << "v1.6.0" << "1.6.0" << false;
    QTest::newRow("plus sign") << "+1.6.0" << "1.6.0" << false;
    QTest::newRow("minus zero") << "-0.6.0" << "0.6.0" << false;
    QTest::newRow("leading space") << " 1.6.0" << "1.6.0" << false;
    QTest::newRow("space inside") << "1. 6.0" << "1.6.0" << false;
    QTest::newRow("full-width digits") << QStringLiteral("１.６.０") << "1.6.0" << false;
    QTest::newRow("Arabic-Indic digits") << QStringLiteral("١.٦.٠") << "1.6.0" << false;
}

void FirmwareImageTest::versionsMatch()
{
    QFETCH(QString, image);
    QFETCH(QString, drive);
    QFETCH(bool, match);
    QCOMPARE(firmwareVersionsMatch(image, drive), match);
    QCOMPARE(firmwareVersionsMatch(drive, image), match);
}

void FirmwareImageTest::chunking_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<qint64>("chunks");
    QTest::addColumn<int>("lastLength");
    QTest::addColumn<QList<qint64>>("blockEnds");   // chunks before which the ready flag drops

    QTest::newRow("7 x 1024: the 1024th chunk is the last") << 7 * 1024 << qint64(1024) << 7 << QList<qint64>{};
    QTest::newRow("7 x 1024 + 1: one byte left over") << 7 * 1024 + 1 << qint64(1025) << 1 << QList<qint64>{1023};
    QTest::newRow("76-byte image") << 76 << qint64(11) << 6 << QList<qint64>{};
    QList<qint64> thirteen;
    for (int b = 1; b <= 13; ++b) thirteen << qint64(b) * 1024 - 1;
    QTest::newRow("100000 bytes") << 100000 << qint64(14286) << 5 << thirteen;
}

void FirmwareImageTest::chunking()
{
    QFETCH(int, size);
    QFETCH(qint64, chunks);
    QFETCH(int, lastLength);
    QFETCH(QList<qint64>, blockEnds);

    const QByteArray bytes = image(size);
    const qint64 n = firmwareChunkCount(size);
    QCOMPARE(n, chunks);
    QCOMPARE(firmwareChunkLength(size, n - 1), lastLength);
    QCOMPARE(firmwareChunkLength(size, n), 0);

    const QByteArray last = firmwareChunkFrame(bytes, n - 1);
    QCOMPARE(last.size(), 1 + lastLength);
    QCOMPARE(quint8(last.at(0)), FirmwareChunkPrefix);
    QCOMPARE(last.mid(1), bytes.right(lastLength));
    QVERIFY(firmwareChunkFrame(bytes, n).isEmpty());
    QCOMPARE(firmwareChunkFrame(bytes, 0).size(), qMin(8, 1 + size));

    QList<qint64> ends;
    for (qint64 k = 0; k < n; ++k)
        if (firmwareChunkEndsBlock(k, n)) ends << k;
    QCOMPARE(ends, blockEnds);

    // The progress never shows 100 while chunks are going out.
    QVERIFY(firmwareTransferProgress(n - 1, n) < 100);
    QCOMPARE(firmwareTransferProgress(0, n), 0);
}

void FirmwareImageTest::chunksRebuildTheImage()
{
    QCOMPARE(firmwareChunkCount(0), qint64(0));
    QCOMPARE(firmwareTransferProgress(14285, 14286), 99);

    for (int size : {76, 77, 83, 7 * 1024 + 1}) {
        const QByteArray bytes = image(size);
        QByteArray rebuilt;
        for (qint64 k = 0; k < firmwareChunkCount(size); ++k) {
            const QByteArray frame = firmwareChunkFrame(bytes, k);
            QVERIFY(frame.size() >= 2 && frame.size() <= 8);
            rebuilt += frame.mid(1);
        }
        QCOMPARE(rebuilt, bytes);
    }
}

QTEST_MAIN(FirmwareImageTest)
#include "tst_firmwareimage.moc"
