#include "support/firmwareimages.h"
#include "support/windowharness.h"

#include "app/workers.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QProgressDialog>

#include <memory>

namespace {

QByteArray hex(const char* t) { return QByteArray::fromHex(t); }

const QByteArray kVersionQuery = hex("ffffffff57a00000");
const QByteArray kTypeQuery = hex("ffffffff56a00000");
const QByteArray kJump = hex("fffffff155b00000");
const QByteArray kStart = hex("fffffff155a00000");
const QByteArray kEnd = hex("fffffff155a10000");
const QByteArray kBusy = hex("f0fffff156a000");

QString writeImage(const WorkDir& dir, const QByteArray& bytes, const QString& name = "fw.rbl")
{
    const QString path = dir.path() + "/" + name;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return QString();
    f.write(bytes);
    return path;
}

// Every frame handed to the adapter, gathered across several takes.
struct SentLog {
    std::vector<SimSentFrame> all;
    void pull()
    {
        for (;;) {
            std::vector<SimSentFrame> part = takeSent();
            if (part.empty()) return;
            all.insert(all.end(), part.begin(), part.end());
        }
    }
    QList<QByteArray> chunks() const
    {
        QList<QByteArray> out;
        for (const SimSentFrame& f : all)
            if (f.frame.dataLen > 0 && f.frame.data[0] == 0xFA) out << frameBytes(f);
        return out;
    }
    QList<QByteArray> commands() const
    {
        QList<QByteArray> out;
        for (const SimSentFrame& f : all)
            if (f.frame.dataLen == 0 || f.frame.data[0] != 0xFA) out << frameBytes(f);
        return out;
    }
    int indexOf(const QByteArray& bytes, int from = 0) const
    {
        for (int i = from; i < int(all.size()); ++i)
            if (frameBytes(all[i]) == bytes) return i;
        return -1;
    }
    int chunkIndex(int n) const   // position of the n-th chunk (0-based) in all
    {
        for (int i = 0; i < int(all.size()); ++i)
            if (all[i].frame.data[0] == 0xFA && n-- == 0) return i;
        return -1;
    }
    qint64 msBetween(int a, int b) const { return qint64(all[b].timeUs - all[a].timeUs) / 1000; }
};

// Debug output of the program (the worker's only trace of some failures).
class DebugCapture {
public:
    DebugCapture()
    {
        QMutexLocker lock(&mutex());
        lines().clear();
        previous() = qInstallMessageHandler(handler);
    }
    ~DebugCapture() { qInstallMessageHandler(previous()); }
    static bool contains(const QString& text)
    {
        QMutexLocker lock(&mutex());
        return lines().contains(text);
    }

private:
    static QMutex& mutex()
    {
        static QMutex m;
        return m;
    }
    static QStringList& lines()
    {
        static QStringList l;
        return l;
    }
    static QtMessageHandler& previous()
    {
        static QtMessageHandler h = nullptr;
        return h;
    }
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        {
            QMutexLocker lock(&mutex());
            lines() << message;
        }
        if (type != QtDebugMsg && previous()) previous()(type, context, message);
    }
};

// Picks path in the file dialog after a moment, as a user would.
void answerWith(MainWindow& w, const QString& path, int* asked = nullptr)
{
    MainWindowProbe::answerOpenDialog(w, [&w, path, asked] {
        if (asked) ++*asked;
        QTest::qWait(100);
        // A loaded machine may take longer to bring the drive's answers to the queries.
        auto* ui = MainWindowProbe::ui(w);
        for (int i = 0; i < 300 && (ui->label_type->text().isEmpty() || ui->label_FW->text().isEmpty()); ++i)
            QTest::qWait(10);
        return path;
    });
}

bool finished(MainWindow& w) { return MainWindowProbe::fwDone(w) && !MainWindowProbe::fwUpdateBusy(w); }

}   // namespace

class FirmwareUpdate : public QObject {
    Q_OBJECT

private slots:
    void init() { SimReset(); }

    void refusalsBeforeTheTransfer()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        BoxCatcher boxes;
        int asked = 0;
        answerWith(w, writeImage(dir, firmwareimages::make(200, "2.0.0")), &asked);

        // Port closed: the first query fails with its box and no file is asked for.
        ui->pushButton_updateFW->click();
        QCOMPARE(boxes.texts(), QStringList{"请先打开设备"});
        QCOMPARE(asked, 0);

        openPort(w);
        takeSent();
        MainWindowProbe::setCurveDisplaying(w, true);
        ui->pushButton_updateFW->click();
        QCOMPARE(boxes.texts().last(), QString("请先关闭波形显示"));
        QVERIFY(sentBytes().isEmpty());
        MainWindowProbe::setCurveDisplaying(w, false);

        // Cancelled dialog: the two queries only, no box.
        MainWindowProbe::answerOpenDialog(w, [] { return QString(); });
        ui->pushButton_updateFW->click();
        QCOMPARE(boxes.texts().size(), 2);
        QCOMPARE(sentBytes(), (QList<QByteArray>{kVersionQuery, kTypeQuery}));

        // A missing file, a 75-byte file with the magic and a 76-byte file without it.
        answerWith(w, dir.path() + "/missing.rbl");
        ui->pushButton_updateFW->click();
        QCOMPARE(boxes.texts().size(), 2);
        QByteArray wrongMagic = firmwareimages::make(76, "2.0.0");
        wrongMagic[3] = 'X';
        for (const QByteArray& bad : {firmwareimages::make(75, "2.0.0"), wrongMagic}) {
            answerWith(w, writeImage(dir, bad, "bad.rbl"));
            ui->pushButton_updateFW->click();
            QCOMPARE(boxes.texts().last(), QString("File Error"));
        }
        QCOMPARE(boxes.texts().size(), 4);
        QCOMPARE(sentBytes(),
                 (QList<QByteArray>{kVersionQuery, kTypeQuery, kVersionQuery, kTypeQuery, kVersionQuery, kTypeQuery}));
        QVERIFY(ui->pushButton_updateFW->isEnabled());
        QVERIFY(!MainWindowProbe::fwUpdateBusy(w));
    }

    void sameVersionSendsOnlyTheQueries_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QByteArray>("driveVersion");
        QTest::addColumn<QByteArray>("imageVersion");
        QTest::newRow("QM72") << "QM72" << QByteArray("2.0.0") << QByteArray("2.0.0");
        QTest::newRow("T71 is not sent to its bootloader") << "T71" << QByteArray("2.0.0") << QByteArray("2.0.0");
        QTest::newRow("1.6.00 on a 1.6.0 drive") << "QM72" << QByteArray("1.6.0") << QByteArray("1.6.00");
        QTest::newRow("01.007.0 on a 1.7.0 T73 drive") << "T73" << QByteArray("1.7.0") << QByteArray("01.007.0");
    }

    void sameVersionSendsOnlyTheQueries()
    {
        QFETCH(QString, type);
        QFETCH(QByteArray, driveVersion);
        QFETCH(QByteArray, imageVersion);
        SimConfigure("product_type", type.toLatin1().constData());
        SimConfigure("fw_version", driveVersion.constData());
        WorkDir dir(false);
        MainWindow w;
        openPort(w);
        takeSent();
        BoxCatcher boxes;
        answerWith(w, writeImage(dir, firmwareimages::make(200, imageVersion, "QM72")));
        MainWindowProbe::ui(w)->pushButton_updateFW->click();
        QTest::qWait(100);
        QCOMPARE(boxes.texts(), QStringList{"版本号一致，无需更新"});
        QCOMPARE(sentBytes(), (QList<QByteArray>{kVersionQuery, kTypeQuery}));
    }

    // Only Yes goes on; a stray Enter or Space presses the default, No.
    void otherModelIsAskedAbout_data()
    {
        QTest::addColumn<QMessageBox::StandardButton>("button");
        QTest::addColumn<Qt::Key>("key");
        QTest::addColumn<bool>("yes");
        QTest::newRow("No sends nothing") << QMessageBox::No << Qt::Key_unknown << false;
        QTest::newRow("Yes jumps to the bootloader first") << QMessageBox::Yes << Qt::Key_unknown << true;
        QTest::newRow("Enter is No") << QMessageBox::NoButton << Qt::Key_Return << false;
        QTest::newRow("Space on the focused button is No") << QMessageBox::NoButton << Qt::Key_Space << false;
        QTest::newRow("Escape is No") << QMessageBox::NoButton << Qt::Key_Escape << false;
    }

    void otherModelIsAskedAbout()
    {
        QFETCH(QMessageBox::StandardButton, button);
        QFETCH(Qt::Key, key);
        QFETCH(bool, yes);
        SimConfigure("product_type", "T73");
        WorkDir dir(false);
        MainWindow w;
        openPort(w);
        takeSent();
        BoxCatcher boxes = key == Qt::Key_unknown ? BoxCatcher(button) : BoxCatcher(key);
        answerWith(w, writeImage(dir, firmwareimages::make(100, "2.0.0", "T71")));
        MainWindowProbe::ui(w)->pushButton_updateFW->click();
        QCOMPARE(boxes.texts().value(0), QString("产品型号不一致，是否继续升级"));
        QCOMPARE(boxes.boxes.value(0).defaultButton, QMessageBox::No);
        QVERIFY(!boxes.boxes.value(0).keyIgnored);
        SentLog sent;
        if (!yes) {
            QTest::qWait(100);
            sent.pull();
            QCOMPARE(sent.commands(), (QList<QByteArray>{kVersionQuery, kTypeQuery}));
            QCOMPARE(boxes.texts().size(), 1);
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(finished(w), 5000);
        sent.pull();
        QCOMPARE(sent.commands(), (QList<QByteArray>{kVersionQuery, kTypeQuery, kJump, kStart, kEnd, kVersionQuery}));
        QCOMPARE(sent.chunks().size(), 15);   // ceil(100 / 7)
        QVERIFY(MainWindowProbe::fwSuccess(w));
        QTRY_COMPARE_WITH_TIMEOUT(boxes.texts(), (QStringList{"产品型号不一致，是否继续升级", "升级成功"}), 1000);
    }

    void wholeBlockEndsAtOnce()
    {
        WorkDir dir(false);
        MainWindow w;
        openPort(w);
        takeSent();
        BoxCatcher boxes;
        const QByteArray image = firmwareimages::make(7 * 1024, "2.0.0");
        answerWith(w, writeImage(dir, image));
        MainWindowProbe::ui(w)->pushButton_updateFW->click();
        QVERIFY(MainWindowProbe::progressDialog(w)->isVisible());
        QVERIFY(!MainWindowProbe::ui(w)->pushButton_updateFW->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(finished(w), 10000);
        SentLog sent;
        sent.pull();

        QCOMPARE(sent.commands(), (QList<QByteArray>{kVersionQuery, kTypeQuery, kStart, kEnd, kVersionQuery}));
        const QList<QByteArray> chunks = sent.chunks();
        QCOMPARE(chunks.size(), 1024);
        QByteArray rebuilt;
        for (const QByteArray& c : chunks) {
            QCOMPARE(c.size(), 8);
            rebuilt += c.mid(1);
        }
        QCOMPARE(rebuilt, image);
        // The last chunk closes the block but is the last: the end frame follows without a
        // 200 ms poll.
        const int last = sent.chunkIndex(1023);
        QCOMPARE(sent.indexOf(kEnd), last + 1);
        QVERIFY2(sent.msBetween(last, last + 1) < 200, qPrintable(QString::number(sent.msBetween(last, last + 1))));
        // Chunks are paced, not burst.
        QVERIFY(sent.msBetween(sent.chunkIndex(0), last) >= 1023 * 1.5);

        QVERIFY(MainWindowProbe::fwSuccess(w));
        QCOMPARE(MainWindowProbe::fwProgress(w), 100);
        QCOMPARE(MainWindowProbe::fwVersion(w), QString("2.0.0"));
        QCOMPARE(MainWindowProbe::ui(w)->label_FW->text(), QString("2.0.0"));
        QVERIFY(MainWindowProbe::ui(w)->pushButton_updateFW->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(boxes.texts(), QStringList{"升级成功"}, 1000);
        QVERIFY(!MainWindowProbe::progressDialog(w)->isVisible());
        const QStringList log = MainWindowProbe::logLines(w);
        QVERIFY(log.contains("[Trans ]: ff ff ff f1 55 a0 00 00"));
        QVERIFY(log.filter("[Trans ]: fa").isEmpty());   // chunks are not logged
    }

    void oneByteOverWaitsForTheDrive()
    {
        // A slow drive: its busy reply comes 100 ms after the block's last chunk, ready 50 ms
        // later. Only the tool's own clearing of the flag before chunk 1024 keeps chunk 1025
        // from reaching the busy drive, which would spoil the image.
        SimConfigure("fw_busy_delay_ms", "100");
        SimConfigure("fw_ready_delay_ms", "50");
        WorkDir dir(false);
        MainWindow w;
        openPort(w);
        takeSent();
        BoxCatcher boxes;
        const QByteArray image = firmwareimages::make(7 * 1024 + 1, "2.0.1");
        answerWith(w, writeImage(dir, image));
        MainWindowProbe::ui(w)->pushButton_updateFW->click();
        QTRY_VERIFY_WITH_TIMEOUT(finished(w), 10000);
        SentLog sent;
        sent.pull();

        const QList<QByteArray> chunks = sent.chunks();
        QCOMPARE(chunks.size(), 1025);
        QCOMPARE(chunks.last(), QByteArray("\xFA", 1) + image.right(1));
        const int c1024 = sent.chunkIndex(1023);
        QCOMPARE(sent.chunkIndex(1024), c1024 + 1);
        QVERIFY2(sent.msBetween(c1024, c1024 + 1) >= 150,
                 qPrintable(QString::number(sent.msBetween(c1024, c1024 + 1))));
        // No poll inside the block: a poll sleeps 200 ms.
        QVERIFY(sent.msBetween(sent.chunkIndex(1022), c1024) < 200);
        QCOMPARE(sent.indexOf(kEnd), c1024 + 2);
        QVERIFY(MainWindowProbe::fwSuccess(w));
        QTRY_COMPARE_WITH_TIMEOUT(boxes.texts(), QStringList{"升级成功"}, 1000);
    }

    void busyReplyPausesTheStream()
    {
        WorkDir dir(false);
        MainWindow w;
        openPort(w);
        takeSent();
        BoxCatcher boxes;
        answerWith(w, writeImage(dir, firmwareimages::make(7 * 900, "2.0.2")));   // one block, no pause of its own
        MainWindowProbe::ui(w)->pushButton_updateFW->click();
        SentLog sent;
        QTRY_VERIFY_WITH_TIMEOUT((sent.pull(), sent.chunks().size() >= 100), 5000);

        MainWindowProbe::decode(w, {0xF0, 0xFF, 0xFF, 0xF1, 0x56, 0xA0, 0x00});
        sent.pull();
        const int atBusy = int(sent.chunks().size());
        QTest::qWait(700);
        sent.pull();
        QVERIFY2(sent.chunks().size() <= atBusy + 1, qPrintable(QString::number(sent.chunks().size() - atBusy)));
        QVERIFY(!MainWindowProbe::fwDone(w));

        MainWindowProbe::decode(w, {0xF0, 0xFF, 0xFF, 0xF1, 0x56, 0xA1, 0x00});
        QTRY_VERIFY_WITH_TIMEOUT(finished(w), 5000);
        sent.pull();
        QCOMPARE(sent.chunks().size(), 900);
        QVERIFY(MainWindowProbe::fwSuccess(w));
        QTRY_COMPARE_WITH_TIMEOUT(boxes.texts(), QStringList{"升级成功"}, 1000);
    }

    void readyTimeoutFails()
    {
        SimConfigure("fw_ready_reply", "0");
        DebugCapture debug;
        WorkDir dir(false);
        MainWindow w;
        openPort(w);
        takeSent();
        BoxCatcher boxes;
        answerWith(w, writeImage(dir, firmwareimages::make(7 * 1024 + 50, "2.0.3")));
        QElapsedTimer clock;
        MainWindowProbe::ui(w)->pushButton_updateFW->click();
        SentLog sent;
        QTRY_VERIFY_WITH_TIMEOUT((sent.pull(), sent.chunks().size() == 1024), 5000);
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(finished(w), 8000);
        QVERIFY2(clock.elapsed() >= 4800, qPrintable(QString::number(clock.elapsed())));
        sent.pull();
        QCOMPARE(sent.chunks().size(), 1024);
        QCOMPARE(sent.indexOf(kEnd), -1);
        QVERIFY(!MainWindowProbe::fwSuccess(w));
        QVERIFY(DebugCapture::contains("Receive Timeout"));
        QTRY_COMPARE_WITH_TIMEOUT(boxes.texts(), QStringList{"升级失败"}, 1000);
        QVERIFY(MainWindowProbe::ui(w)->pushButton_updateFW->isEnabled());
    }

    // The drive's version after the transfer decides; it compares by its three numbers. A
    // damaged image is not installed, so the drive keeps its version.
    void resultFollowsTheDrivesVersion_data()
    {
        using namespace firmwareimages;
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<QString>("driveVersion");   // afterwards
        QTest::addColumn<QString>("box");

        QTest::newRow("1.07.0 reported as 1.7.0") << make(200, "1.07.0") << "1.7.0" << "升级成功";
        // The drive runs 1.6.0; the image's 24-byte field only begins with it.
        QTest::newRow("full version field") << make(200, "1.6.0" + QByteArray(19, 'x')) << "1.6.0" << "升级失败";

        const QByteArray sound = make(200, "2.0.0");
        QByteArray headerCrc = sound;
        headerCrc[93] = char(headerCrc[93] ^ 0x10);
        QTest::newRow("bad header CRC") << headerCrc << "1.6.0" << "升级失败";
        QByteArray body = sound;
        body[150] = char(body[150] ^ 0x01);
        QTest::newRow("bad body CRC") << body << "1.6.0" << "升级失败";
        QByteArray size = sound;
        putLE32(size, 88, 200 - 96 + 7);
        sealHeader(size);
        QTest::newRow("size mismatch") << size << "1.6.0" << "升级失败";
        QTest::newRow("truncated") << sound.left(190) << "1.6.0" << "升级失败";
    }

    void resultFollowsTheDrivesVersion()
    {
        QFETCH(QByteArray, image);
        QFETCH(QString, driveVersion);
        QFETCH(QString, box);
        WorkDir dir(false);
        MainWindow w;
        openPort(w);
        takeSent();
        BoxCatcher boxes;
        answerWith(w, writeImage(dir, image));
        MainWindowProbe::ui(w)->pushButton_updateFW->click();
        QTRY_VERIFY_WITH_TIMEOUT(finished(w), 5000);
        SentLog sent;
        sent.pull();
        QCOMPARE(sent.commands(), (QList<QByteArray>{kVersionQuery, kTypeQuery, kStart, kEnd, kVersionQuery}));
        QByteArray rebuilt;
        for (const QByteArray& c : sent.chunks()) rebuilt += c.mid(1);
        QCOMPARE(rebuilt, image);   // sent as it is, damaged or not
        QCOMPARE(MainWindowProbe::fwVersion(w), driveVersion);
        QCOMPARE(MainWindowProbe::fwSuccess(w), box == "升级成功");
        QTRY_COMPARE_WITH_TIMEOUT(boxes.texts(), QStringList{box}, 1000);
    }

    void missingEndAcknowledgementIsNoError()
    {
        SimConfigure("fw_end_ack", "0");
        WorkDir dir(false);
        MainWindow w;
        openPort(w);
        takeSent();
        BoxCatcher boxes;
        answerWith(w, writeImage(dir, firmwareimages::make(100, "2.1.0")));
        MainWindowProbe::ui(w)->pushButton_updateFW->click();
        QTRY_VERIFY_WITH_TIMEOUT(finished(w), 15000);
        SentLog sent;
        sent.pull();
        const int end = sent.indexOf(kEnd);
        const int query = sent.indexOf(kVersionQuery, end);
        QVERIFY(end > 0 && query > end);
        QVERIFY2(sent.msBetween(end, query) >= 10000, qPrintable(QString::number(sent.msBetween(end, query))));
        QVERIFY(MainWindowProbe::fwSuccess(w));
        QTRY_COMPARE_WITH_TIMEOUT(boxes.texts(), QStringList{"升级成功"}, 1000);
    }

    void bootloaderWaitKeepsTheWindowLiveAndRefusesASecondUpdate()
    {
        SimConfigure("product_type", "T71");
        SimConfigure("fw_jump_ack", "0");
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        openPort(w);
        takeSent();
        BoxCatcher boxes;
        int asked = 0;
        answerWith(w, writeImage(dir, firmwareimages::make(100, "2.0.0", "T71")), &asked);
        bool ticked = false;
        bool secondRefused = false;
        QTimer::singleShot(1000, [&] {
            ticked = true;
            ui->pushButton_updateFW->click();
            secondRefused = asked == 1;
        });
        QElapsedTimer clock;
        clock.start();
        ui->pushButton_updateFW->click();
        const qint64 waited = clock.elapsed();
        QVERIFY(ticked);
        QVERIFY(secondRefused);
        QVERIFY2(waited >= 9900 && waited < 12000, qPrintable(QString::number(waited)));
        QCOMPARE(boxes.texts(), QStringList{"跳转失败，请重试！"});
        SentLog sent;
        sent.pull();
        QCOMPARE(sent.commands(), (QList<QByteArray>{kVersionQuery, kTypeQuery, kJump}));
        QVERIFY(ui->pushButton_updateFW->isEnabled());
        QVERIFY(!MainWindowProbe::fwUpdateBusy(w));
    }

    void closingTheWindowEndsTheBootloaderWait_data() { ClosableWindow::addRows(); }

    void closingTheWindowEndsTheBootloaderWait()
    {
        QFETCH(bool, deleteOnClose);
        SimConfigure("product_type", "T71");
        SimConfigure("fw_jump_ack", "0");
        WorkDir dir(false);
        ClosableWindow window(deleteOnClose);
        MainWindow* w = window.w;
        openPort(*w);
        takeSent();
        BoxCatcher boxes;
        // Closed a moment after the file is picked, when the jump frame is out and the wait runs.
        QElapsedTimer sinceClose;
        const QString path = writeImage(dir, firmwareimages::make(100, "2.0.0", "T71"));
        MainWindowProbe::answerOpenDialog(*w, [w, path, &sinceClose] {
            for (int i = 0; i < 300 && MainWindowProbe::ui(*w)->label_type->text().isEmpty(); ++i) QTest::qWait(10);
            QTimer::singleShot(300, w, [w, &sinceClose] {
                sinceClose.start();
                w->close();
            });
            return path;
        });
        runLikeMain([w] { MainWindowProbe::ui(*w)->pushButton_updateFW->click(); });
        QVERIFY(sinceClose.isValid());
        QVERIFY2(sinceClose.elapsed() < 2000, qPrintable(QString::number(sinceClose.elapsed())));
        if (deleteOnClose) QTRY_VERIFY_WITH_TIMEOUT(window.alive.isNull(), 1000);

        QTest::qWait(200);
        QVERIFY(boxes.boxes.isEmpty());
        SentLog sent;
        sent.pull();
        QCOMPARE(sent.commands(), (QList<QByteArray>{kVersionQuery, kTypeQuery, kJump}));
        QVERIFY(sent.chunks().isEmpty());
    }

    void closingTheWindowEndsTheTransfer_data()
    {
        QTest::addColumn<bool>("duringEndWait");
        QTest::newRow("while chunks flow") << false;
        QTest::newRow("while waiting for the end acknowledgement") << true;
    }

    void closingTheWindowEndsTheTransfer()
    {
        QFETCH(bool, duringEndWait);
        if (duringEndWait) SimConfigure("fw_end_ack", "0");
        WorkDir dir(false);
        auto w = std::make_unique<MainWindow>();
        openPort(*w);
        takeSent();
        BoxCatcher boxes;
        answerWith(*w, writeImage(dir, firmwareimages::make(duringEndWait ? 700 : 7 * 1024 * 4, "2.0.0")));
        MainWindowProbe::ui(*w)->pushButton_updateFW->click();
        SentLog sent;
        if (duringEndWait)
            QTRY_VERIFY_WITH_TIMEOUT((sent.pull(), sent.indexOf(kEnd) >= 0), 5000);
        else
            QTRY_VERIFY_WITH_TIMEOUT((sent.pull(), sent.chunks().size() >= 200), 5000);
        QCOMPARE(MainWindowProbe::workers(*w)->running(), 1);

        QElapsedTimer clock;
        clock.start();
        w.reset();
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        const int before = int(sent.all.size());
        QTest::qWait(100);
        sent.pull();
        QVERIFY(int(sent.all.size()) <= before + 1);
    }
};

QTEST_MAIN(FirmwareUpdate)
#include "tst_firmwareupdate.moc"
