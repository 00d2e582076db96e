#include "support/windowharness.h"

#include "protocol/hybrid.h"
#include "app/workers.h"

#include <algorithm>
#include <memory>

namespace {

QByteArray bytes(const protocol::Frame& f) { return QByteArray(reinterpret_cast<const char*>(f.data()), 8); }
QByteArray hex(const char* t) { return QByteArray::fromHex(t); }

void setInputs(Ui_MainWindow* ui, int p, int v, int k, double d, int t, int times)
{
    ui->spinBox_TP_position->setValue(p);
    ui->spinBox_TP_speed->setValue(v);
    ui->spinBox_TP_Kp->setValue(k);
    ui->doubleSpinBox_TP_Kd->setValue(d);
    ui->spinBox_TP_torque->setValue(t);
    ui->spinBox_TP_times->setValue(times);
}

bool pageIdle(Ui_MainWindow* ui)
{
    return ui->groupBox_TP->isEnabled() && ui->pushButton_TP_start->isEnabled() &&
           !ui->pushButton_TP_start->isChecked() && ui->pushButton_TP_start->text() == "Start";
}

void expectRunning(Ui_MainWindow* ui)
{
    QVERIFY(!ui->groupBox_TP->isEnabled());
    QVERIFY(!ui->spinBox_TP_times->isEnabled());
    QVERIFY(!ui->pushButton_TP_start->isEnabled());
    QVERIFY(ui->pushButton_TP_start->isChecked());
    QCOMPARE(ui->pushButton_TP_start->text(), QString("Stop"));
}

}   // namespace

class HybridPage : public QObject {
    Q_OBJECT

private slots:
    void init() { SimReset(); }

    void packedFrame()
    {
        QCOMPARE(bytes(hybrid::packFrame(0x1234, 0x3FFF, 0x3FF, 2.5, 0xABCD)), hex("1234ffffff19abcd"));
        QCOMPARE(bytes(hybrid::packFrame(1000, 100, 300, 0.5, 2000)), hex("03e801912c0507d0"));
        QCOMPARE(bytes(hybrid::packFrame(0, 0, 0, 0.0, 0)), hex("0000000000000000"));
        // Every tenth of the Kd input goes out exactly, up to its maximum.
        for (int tenths = 0; tenths <= 100; ++tenths)
            QCOMPARE(int(hybrid::packFrame(0, 0, 0, QString::number(tenths / 10.0, 'f', 1).toDouble(), 0)[5]), tenths);
        // Fields wider than their slot keep their low bits and leave the neighbours alone.
        QCOMPARE(bytes(hybrid::packFrame(0, 0xFFFF, 0, 0, 0)), hex("0000fffc00000000"));
        QCOMPARE(bytes(hybrid::packFrame(0, 0, 0xFFFF, 0, 0)), hex("00000003ff000000"));
        QCOMPARE(bytes(hybrid::holdFrame(0x0102)), hex("0102000000000000"));
    }

    void enableWithoutPort()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        ui->pushButton_TP_start->setChecked(true);
        BoxCatcher boxes;
        ui->pushButton_TP_Enable->click();
        QCOMPARE(boxes.texts(), QStringList{"请先打开设备"});
        QVERIFY(!ui->pushButton_TP_start->isChecked());
        QVERIFY(!ui->pushButton_TP_start->isEnabled());
        QVERIFY(takeSent().empty());
    }

    void enableWithoutReplyGivesUpAfterTwoSeconds()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        SimSetDriveAttached(0);
        openPort(w);
        takeSent();
        QElapsedTimer clock;
        clock.start();
        ui->pushButton_TP_Enable->click();
        const qint64 took = clock.elapsed();
        QVERIFY2(took >= 1990 && took < 3000, qPrintable(QString::number(took)));
        QCOMPARE(sentBytes(), QList<QByteArray>{hex("ffffffffffffff9c")});
        const QStringList log = MainWindowProbe::logLines(w);
        QVERIFY(log.contains(">>> Get Position"));
        QVERIFY(log.contains(">>> Cannot get Position"));
        QVERIFY(!log.contains(">>> Enable"));
        QVERIFY(!ui->pushButton_TP_start->isEnabled());
    }

    void enableHoldsThePositionThenABurstMoves()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        SimConfigure("position", "258");
        openPort(w);
        takeSent();
        QElapsedTimer clock;
        clock.start();
        ui->pushButton_TP_Enable->click();
        QVERIFY(clock.elapsed() < 1000);   // left as soon as the reply came
        QCOMPARE(MainWindowProbe::tpCurrentPosition(w), uint16_t(0x0102));
        QCOMPARE(sentBytes(),
                 (QList<QByteArray>{hex("ffffffffffffff9c"), hex("fffffffffffffcfc"), hex("0102000000000000")}));
        QVERIFY(pageIdle(ui));
        const QStringList log = MainWindowProbe::logLines(w);
        QVERIFY(log.indexOf(">>> Get Position") < log.indexOf(">>> Enable"));

        // The drive follows the burst towards the target; its feedback reaches the page.
        setInputs(ui, 1000, 100, 10, 0.5, 0, 10);
        ui->pushButton_TP_start->click();
        QTRY_VERIFY_WITH_TIMEOUT(pageIdle(ui), 2000);
        QTRY_COMPARE_WITH_TIMEOUT(ui->lineEdit_TP_currentPosition->text(), QString("1000"), 2000);
        QCOMPARE(MainWindowProbe::tpCurrentPosition(w), uint16_t(1000));
    }

    void burstOnAFiveMillisecondGrid()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        openPort(w);
        ui->pushButton_TP_start->setEnabled(true);
        setInputs(ui, 1000, 100, 300, 0.5, 2000, 100);
        takeSent();
        ui->pushButton_clear->click();
        ui->pushButton_TP_start->click();
        expectRunning(ui);
        QTRY_VERIFY_WITH_TIMEOUT(pageIdle(ui), 3000);

        const std::vector<SimSentFrame> sent = takeSent();
        QCOMPARE(int(sent.size()), 100);
        // The grid starts when the worker starts, which is not seen on the bus: take the
        // earliest start the frames allow (the first frame itself may have been late).
        int64_t t1 = int64_t(sent.front().timeUs);
        for (size_t i = 0; i < sent.size(); ++i) t1 = std::min(t1, int64_t(sent[i].timeUs) - 5000 * int64_t(i));
        std::vector<double> lateMs;
        for (size_t i = 0; i < sent.size(); ++i) {
            QCOMPARE(frameBytes(sent[i]), hex("03e801912c0507d0"));
            const double late = (double(int64_t(sent[i].timeUs) - t1) - 5000.0 * double(i)) / 1000.0;
            QVERIFY2(late > -0.5, qPrintable(QString("frame %1 early by %2 ms").arg(i + 1).arg(-late)));
            lateMs.push_back(late);
        }
        // Deadlines come from the start, so lateness does not pile up.
        std::vector<double> tail(lateMs.end() - 20, lateMs.end());
        std::nth_element(tail.begin(), tail.begin() + 10, tail.end());
        QVERIFY2(tail[10] < 2.0, qPrintable(QString("median lateness %1 ms").arg(tail[10])));
        int trans = 0;
        for (const QString& l : MainWindowProbe::logLines(w)) trans += l.startsWith("[Trans ]: 03 e8 01 91") ? 1 : 0;
        QCOMPARE(trans, 100);
    }

    void burstOfOneResetsThePage()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        openPort(w);
        ui->pushButton_TP_start->setEnabled(true);
        setInputs(ui, 5, 0, 0, 0, 0, 1);
        takeSent();
        ui->pushButton_TP_start->click();
        expectRunning(ui);
        QTRY_VERIFY_WITH_TIMEOUT(pageIdle(ui), 1000);
        QCOMPARE(sentBytes(), QList<QByteArray>{hex("0005000000000000")});
        QTRY_COMPARE_WITH_TIMEOUT(MainWindowProbe::workers(w)->running(), 0, 1000);
    }

    void otherSendersDoNotMixIntoABurst()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        SimSetDriveAttached(0);   // no reply: the enable waits its two seconds, serving events
        openPort(w);
        ui->pushButton_TP_start->setEnabled(true);
        setInputs(ui, 0x1234, 0x3FFF, 0x3FF, 2.5, 0xABCD, 300);
        takeSent();
        ui->pushButton_TP_start->click();
        QTest::qWait(20);
        ui->pushButton_TP_Enable->click();
        QTRY_VERIFY_WITH_TIMEOUT(pageIdle(ui), 3000);
        int burst = 0, request = 0;
        for (const QByteArray& f : sentBytes()) {
            if (f == hex("1234ffffff19abcd"))
                ++burst;
            else if (f == hex("ffffffffffffff9c"))
                ++request;
            else
                QFAIL(qPrintable("unexpected frame " + f.toHex()));
        }
        QCOMPARE(burst, 300);
        QCOMPARE(request, 1);
    }

    void burstEndWaitsForTheSharedGuard()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        openPort(w);
        ui->pushButton_TP_start->setEnabled(true);
        setInputs(ui, 0, 0, 0, 0, 0, 2);
        ui->pushButton_TP_start->click();
        // Another guarded slot is busy (as in a nested box) when the burst ends.
        MainWindowProbe::reentryGuard(w) = true;
        QTest::qWait(100);
        QVERIFY(!pageIdle(ui));
        MainWindowProbe::reentryGuard(w) = false;
        QTRY_VERIFY_WITH_TIMEOUT(pageIdle(ui), 1000);
    }

    void closingThePortEndsABurst()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        BoxCatcher boxes;
        openPort(w);
        ui->pushButton_TP_start->setEnabled(true);
        setInputs(ui, 0, 0, 0, 0, 0, 100000);
        ui->pushButton_TP_start->click();
        QTest::qWait(60);
        ui->pushButton_closeport->click();
        QTRY_VERIFY_WITH_TIMEOUT(pageIdle(ui), 500);
        QTRY_COMPARE_WITH_TIMEOUT(MainWindowProbe::workers(w)->running(), 0, 500);
        const int count = int(takeSent().size());
        QVERIFY(count > 5 && count < 1000);
        QTest::qWait(30);
        QVERIFY(takeSent().empty());
        QVERIFY(boxes.boxes.isEmpty());   // silently
    }

    void closingTheWindowEndsTheEnableWait_data() { ClosableWindow::addRows(); }

    void closingTheWindowEndsTheEnableWait()
    {
        QFETCH(bool, deleteOnClose);
        WorkDir dir(false);
        ClosableWindow window(deleteOnClose);
        MainWindow* w = window.w;
        SimSetDriveAttached(0);   // no position reply: the wait would take its two seconds
        openPort(*w);
        takeSent();
        BoxCatcher boxes;
        QElapsedTimer sinceClose;
        runLikeMain([w, &sinceClose] {
            QTimer::singleShot(100, w, [w, &sinceClose] {
                sinceClose.start();
                w->close();
            });
            MainWindowProbe::ui(*w)->pushButton_TP_Enable->click();
        });
        QVERIFY(sinceClose.isValid());
        QVERIFY2(sinceClose.elapsed() < 1000, qPrintable(QString::number(sinceClose.elapsed())));
        if (deleteOnClose) {
            QTRY_VERIFY_WITH_TIMEOUT(window.alive.isNull(), 1000);
        } else {
            QVERIFY(!MainWindowProbe::logLines(*w).contains(">>> Cannot get Position"));
            QVERIFY(!MainWindowProbe::ui(*w)->pushButton_TP_start->isEnabled());
            // A reply that comes before the loop ends shows no box either.
            MainWindowProbe::decode(*w, {0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE});
        }
        QTest::qWait(100);
        QVERIFY(boxes.boxes.isEmpty());
        QCOMPARE(sentBytes(), QList<QByteArray>{hex("ffffffffffffff9c")});
    }

    void closingTheWindowDuringABurst()
    {
        WorkDir dir(false);
        auto w = std::make_unique<MainWindow>();
        auto* ui = MainWindowProbe::ui(*w);
        w->show();
        openPort(*w);
        ui->pushButton_TP_start->setEnabled(true);
        setInputs(ui, 0, 0, 0, 0, 0, 100000);
        ui->pushButton_TP_start->click();
        QTest::qWait(50);
        w->close();
        QElapsedTimer clock;
        clock.start();
        w.reset();
        QVERIFY(clock.elapsed() < 1000);
        takeSent();
        QTest::qWait(30);
        QVERIFY(takeSent().empty());
    }
};

QTEST_MAIN(HybridPage)
#include "tst_hybridpage.moc"
