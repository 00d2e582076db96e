// The adapter or the drive failing while the tool streams, transfers or reads: the failure
// is reported where the operator expects it, and the tool works again after a port reopen.
#include "support/debugcapture.h"
#include "support/firmwareimages.h"
#include "support/windowharness.h"

#include "app/workers.h"

#include <QElapsedTimer>
#include <QRegularExpression>

namespace {

// Close Port, Open Port, then one parameter read must reach the drive and its reply the row.
void reopenAndReadAParameter(MainWindow& w)
{
    Ui_MainWindow* ui = MainWindowProbe::ui(w);
    SimSetFailures(0);
    SimSetDriveAttached(1);
    ui->pushButton_closeport->click();
    QVERIFY(!MainWindowProbe::can(w)->isOpen);
    openPort(w);
    if (QTest::currentTestFailed()) return;
    double driveValue = 0;
    QVERIFY(SimReadParameter(4, &driveValue));   // motor pole pairs
    QDoubleSpinBox* box = ui->doubleSpinBox_MotorPolePairs;
    box->setValue(qFuzzyCompare(driveValue, box->minimum()) ? box->maximum() : box->minimum());
    takeSent();
    ui->pushButton_MotorPolePairs_2->click();
    QCOMPARE(sentBytes().size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(box->value(), driveValue, 2000);
}

void startDisplay(MainWindow& w)
{
    Ui_MainWindow* ui = MainWindowProbe::ui(w);
    ui->checkBox_aCurrent->setChecked(true);
    ui->pushButton_display->click();
    QVERIFY(MainWindowProbe::curveDisplaying(w));
}

int plotted(MainWindow& w) { return MainWindowProbe::curveGraph(w, 1)->data()->size(); }

QString transLine(const QByteArray& frame) { return "[Trans ]: " + QString::fromLatin1(frame.toHex(' ')); }

// The read requests of Read All from the start state, in its order (the protection current
// rows and the baud-rate row are disabled).
QList<QByteArray> readAllRequests()
{
    const int codes[] = {1,  2,  3,  4,  5,  6,  7,  8,  55, 56, 57, 58, 59, 60, 34, 9,  10, 35, 36, 11, 12, 13, 14,
                         15, 37, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 38, 40, 42, 54, 53, 52, 30, 32, 33};
    const QList<int> intCodes{1, 4, 11, 16, 30, 32, 33, 34, 35, 36, 54};
    QList<QByteArray> out;
    for (int code : codes) {
        QByteArray f(8, '\0');
        f[0] = char(0xF1);
        f[1] = char(code);
        f[2] = char(intCodes.contains(code) ? 0x02 : 0x12);
        out << f;
    }
    return out;
}

// Starts the firmware update with an image of size bytes and waits until chunks flow.
void startFirmwareUpdate(MainWindow& w, const WorkDir& dir, int size)
{
    pressUpdateWithImage(w, dir.path(), firmwareimages::make(size, "8.8.8"));
    if (QTest::currentTestFailed()) return;
    QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::fwProgress(w) > 0, 3000);
}

// What a failed update shows: only the result box.
void expectUpdateFailedBox(MainWindow& w, const BoxCatcher& boxes)
{
    QTRY_VERIFY_WITH_TIMEOUT(!boxes.boxes.isEmpty(), 2000);
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes[0].title, QString("Tip"));
    QCOMPARE(boxes.boxes[0].text, QString("升级失败"));
    QTRY_VERIFY_WITH_TIMEOUT(!MainWindowProbe::fwUpdateBusy(w), 2000);
    QVERIFY(MainWindowProbe::ui(w)->pushButton_updateFW->isEnabled());
}

}   // namespace

class AdapterFaults : public QObject {
    Q_OBJECT

private slots:
    void init() { SimReset(); }

    // Receive errors are polled through silently: no box, no log line, the plot simply gets
    // no samples; the adapter's error code goes to the debug output when it can be read.
    void receiveFailsDuringDisplay()
    {
        WorkDir dir(true);
        MainWindow w;
        BoxCatcher boxes;
        openPort(w);
        startDisplay(w);
        QTRY_VERIFY_WITH_TIMEOUT(plotted(w) > 10, 3000);
        const int logged = MainWindowProbe::logLines(w).size();
        DebugCapture dbg;
        SimSetFailures(SIM_FAIL_RECEIVE | SIM_FAIL_READ_ERR_INFO);
        QTest::qWait(100);
        const int before = plotted(w);
        QTest::qWait(300);
        QCOMPARE(plotted(w), before);
        QVERIFY(!dbg.contains("读取数据失败!"));
        SimSetFailures(SIM_FAIL_RECEIVE);
        QTRY_VERIFY(dbg.contains("读取数据失败!"));
        QVERIFY(dbg.contains("错误码为：1000"));
        QCOMPARE(MainWindowProbe::logLines(w).mid(logged), QStringList());
        QVERIFY(boxes.boxes.isEmpty());
        QVERIFY(MainWindowProbe::can(w)->isRunning());

        // The receive errors end: the samples come again on the same loop.
        SimSetFailures(0);
        QTRY_VERIFY_WITH_TIMEOUT(plotted(w) > before, 3000);
        MainWindowProbe::ui(w)->pushButton_display->click();
        QVERIFY(!MainWindowProbe::curveDisplaying(w));
        reopenAndReadAParameter(w);
        QVERIFY(boxes.boxes.isEmpty());
    }

    // A refused frame is not detected: stopping "succeeds" on the tool's side and is logged
    // as sent, the drive keeps streaming, and Close Port must still end cleanly.
    void transmitFailsDuringDisplay()
    {
        WorkDir dir(true);
        MainWindow w;
        BoxCatcher boxes;
        openPort(w);
        startDisplay(w);
        QTRY_VERIFY_WITH_TIMEOUT(plotted(w) > 10, 3000);
        const int logged = MainWindowProbe::logLines(w).size();
        DebugCapture dbg;
        SimSetFailures(SIM_FAIL_TRANSMIT);
        MainWindowProbe::ui(w)->pushButton_display->click();
        QVERIFY(!MainWindowProbe::curveDisplaying(w));
        QCOMPARE(MainWindowProbe::ui(w)->pushButton_display->text(), QString("Display"));
        QTest::qWait(200);
        QCOMPARE(MainWindowProbe::logLines(w).mid(logged), QStringList{"[Trans ]: ff ff ff ff 55 a1 ff ff"});
        QVERIFY(!dbg.contains("transmit error"));
        QVERIFY(boxes.boxes.isEmpty());
        reopenAndReadAParameter(w);
        // The reopened channel does not feed the stale stream into a stopped plot.
        const int points = plotted(w);
        QTest::qWait(200);
        QCOMPARE(plotted(w), points);
        QVERIFY(boxes.boxes.isEmpty());
    }

    // The drive goes silent: nothing is shown but the plot standing still.
    void driveGoneDuringDisplay()
    {
        WorkDir dir(true);
        MainWindow w;
        BoxCatcher boxes;
        openPort(w);
        startDisplay(w);
        QTRY_VERIFY_WITH_TIMEOUT(plotted(w) > 10, 3000);
        const int logged = MainWindowProbe::logLines(w).size();
        SimSetDriveAttached(0);
        QTest::qWait(150);
        const int before = plotted(w);
        QTest::qWait(250);
        QCOMPARE(plotted(w), before);
        MainWindowProbe::ui(w)->pushButton_display->click();
        QVERIFY(!MainWindowProbe::curveDisplaying(w));
        QTRY_COMPARE(MainWindowProbe::logLines(w).mid(logged), QStringList{"[Trans ]: ff ff ff ff 55 a1 ff ff"});
        QVERIFY(boxes.boxes.isEmpty());
        reopenAndReadAParameter(w);
        QVERIFY(boxes.boxes.isEmpty());
    }

    // The port closed under the transfer: the next chunk cannot go out and the update fails.
    void portClosedDuringFirmwareTransfer()
    {
        WorkDir dir(true);
        MainWindow w;
        BoxCatcher boxes;
        openPort(w);
        startFirmwareUpdate(w, dir, 7 * 3000);
        if (QTest::currentTestFailed()) return;
        DebugCapture dbg;
        MainWindowProbe::ui(w)->pushButton_closeport->click();
        QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::fwDone(w), 3000);
        QVERIFY(!MainWindowProbe::fwSuccess(w));
        expectUpdateFailedBox(w, boxes);
        QVERIFY(dbg.contains("transmit error"));
        QVERIFY(!dbg.contains("Receive Timeout"));
        reopenAndReadAParameter(w);
    }

    // The drive vanishes mid-block: its ready reply after the block never comes and the
    // transfer gives up after its 5 s wait, counted from the block's last chunk.
    void driveGoneDuringFirmwareTransfer()
    {
        WorkDir dir(true);
        MainWindow w;
        BoxCatcher boxes;
        openPort(w);
        takeSent();
        startFirmwareUpdate(w, dir, 7 * 1500);
        if (QTest::currentTestFailed()) return;
        SimSetDriveAttached(0);
        DebugCapture dbg;
        int chunks = 0;
        uint64_t blockEndUs = 0;
        QElapsedTimer guard;
        guard.start();
        while (!blockEndUs && guard.elapsed() < 9000) {
            for (const SimSentFrame& f : takeSent()) {
                if (f.frame.data[0] == 0xFA && ++chunks == 1024) blockEndUs = f.timeUs;
            }
            QTest::qWait(2);
        }
        QVERIFY2(blockEndUs, qPrintable(QString::number(chunks)));
        while (!MainWindowProbe::fwDone(w) && guard.elapsed() < 20000) QTest::qWait(2);
        QVERIFY(MainWindowProbe::fwDone(w));
        const double waitedMs = double(SimNowUs() - blockEndUs) / 1000.0;
        QVERIFY2(waitedMs >= 5000 && waitedMs < 7000, qPrintable(QString::number(waitedMs)));
        QCOMPARE(chunks, 1024);   // nothing after the block
        QVERIFY(sentBytes().isEmpty());
        QVERIFY(!MainWindowProbe::fwSuccess(w));
        QVERIFY(dbg.contains("Receive Timeout"));
        expectUpdateFailedBox(w, boxes);
        reopenAndReadAParameter(w);
    }

    // Refused frames and a silent drive do not stop Read All: every row is asked (and logged
    // as sent), no box.
    void readAllAgainstFailures_data()
    {
        QTest::addColumn<int>("failure");
        QTest::newRow("transmit refused") << 1;
        QTest::newRow("receive failing") << 2;
        QTest::newRow("drive detached") << 3;
    }

    void readAllAgainstFailures()
    {
        QFETCH(int, failure);
        WorkDir dir(true);
        MainWindow w;
        Ui_MainWindow* ui = MainWindowProbe::ui(w);
        BoxCatcher boxes;
        openPort(w);
        takeSent();
        ui->pushButton_clear->click();
        const uint32_t calls = SimCallCount(SIM_TRANSMIT);
        ui->pushButton_ReadAllConfig->click();
        QTRY_VERIFY_WITH_TIMEOUT(SimCallCount(SIM_TRANSMIT) >= calls + 5, 3000);
        if (failure == 1) SimSetFailures(SIM_FAIL_TRANSMIT);
        if (failure == 2) SimSetFailures(SIM_FAIL_RECEIVE);
        if (failure == 3) SimSetDriveAttached(0);
        QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::workers(w)->running() == 0, 5000);
        const QList<QByteArray> asked = readAllRequests();
        QCOMPARE(SimCallCount(SIM_TRANSMIT) - calls, uint32_t(asked.size()));
        if (failure != 1) QCOMPARE(sentBytes(), asked);   // what the drive's side received
        QStringList trans;
        for (const QByteArray& f : asked) trans << transLine(f);
        QTest::qWait(20);
        QCOMPARE(MainWindowProbe::logLines(w).filter(QRegularExpression("^\\[Trans ")), trans);
        QVERIFY(boxes.boxes.isEmpty());
        reopenAndReadAParameter(w);
    }
};

QTEST_MAIN(AdapterFaults)
#include "tst_adapterfaults.moc"
