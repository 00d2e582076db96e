// The adapter or the drive failing while the tool streams, transfers or reads: the failure
// is reported where the operator expects it, and the tool works again after a port reopen.
#include "support/debugcapture.h"
#include "support/firmwareimages.h"
#include "support/windowharness.h"

#include "app/workers.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>

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
QString refusedLine(const QByteArray& frame) { return "[Adapter refused]: " + QString::fromLatin1(frame.toHex(' ')); }
QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

void refuseFrames(const QByteArray& prefix)
{
    SimRefuseFrames(reinterpret_cast<const uint8_t*>(prefix.constData()), uint32_t(prefix.size()));
}

// What an action of many frames reports once it has ended: each refused frame its own line,
// then one line and one box that count them against the frames it handed over.
void expectOneRefusalReport(MainWindow& w, const BoxCatcher& boxes, int logged, int refused, int handed)
{
    const QStringList log = MainWindowProbe::logLines(w).mid(logged);
    QCOMPARE(log.filter(QRegularExpression("^\\[Adapter refused\\]: ")).size(), refused);
    QCOMPARE(log.filter(QRegularExpression("^\\[Trans ")).size(), handed - refused);
    QCOMPARE(log.filter(">>> Adapter refused"),
             QStringList{QString(">>> Adapter refused %1 of %2 frames").arg(refused).arg(handed)});
    // The count comes after every line it counts.
    const int summary = log.indexOf(QRegularExpression(">>> Adapter refused .*"));
    QVERIFY(log.lastIndexOf(QRegularExpression("\\[(Trans |Adapter refused\\]).*")) < summary);
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes[0].title, QString("ERROR"));
    QCOMPARE(boxes.boxes[0].text, QString("适配器拒绝发送 %1 帧（共 %2 帧）").arg(refused).arg(handed));
}

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
        QTRY_VERIFY(dbg.contains("错误码为：1000"));
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

    // The stop frame refused: the display goes on (the drive still streams), the log and a
    // box say the frame did not leave, and a second press stops it.
    void transmitFailsDuringDisplay()
    {
        WorkDir dir(true);
        MainWindow w;
        BoxCatcher boxes;
        openPort(w);
        startDisplay(w);
        QTRY_VERIFY_WITH_TIMEOUT(plotted(w) > 10, 3000);
        const int logged = MainWindowProbe::logLines(w).size();
        SimSetFailures(SIM_FAIL_TRANSMIT);
        MainWindowProbe::ui(w)->pushButton_display->click();
        QVERIFY(MainWindowProbe::curveDisplaying(w));
        QCOMPARE(MainWindowProbe::ui(w)->pushButton_display->text(), QString("Stop"));
        QTRY_COMPARE(boxes.texts(), QStringList{"适配器拒绝发送该帧"});
        QCOMPARE(MainWindowProbe::logLines(w).mid(logged), QStringList{"[Adapter refused]: ff ff ff ff 55 a1 ff ff"});

        SimSetFailures(0);
        MainWindowProbe::ui(w)->pushButton_display->click();
        QVERIFY(!MainWindowProbe::curveDisplaying(w));
        QCOMPARE(MainWindowProbe::ui(w)->pushButton_display->text(), QString("Display"));
        QTRY_COMPARE(MainWindowProbe::logLines(w).mid(logged + 1), QStringList{"[Trans ]: ff ff ff ff 55 a1 ff ff"});
        QCOMPARE(boxes.boxes.size(), 1);
        reopenAndReadAParameter(w);
        // The reopened channel does not feed the stale stream into a stopped plot.
        const int points = plotted(w);
        QTest::qWait(200);
        QCOMPARE(plotted(w), points);
        QCOMPARE(boxes.boxes.size(), 1);
    }

    // A single operation whose frame the adapter refuses: its own line stays, the frame gets
    // a refused line instead of a sent one, and the box says the adapter refused it; the
    // same press goes out once the adapter takes frames again.
    void refusedFrameIsReported_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QStringList>("before");   // the operation's own lines
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("parameter write") << "pushButton_CurrentLimit"
                                         << QStringList{">>> Set \"CurrentLimit\" Value: 25"} << hex("f1071100 00c84100");
        QTest::newRow("parameter read") << "pushButton_CurrentLimit_2"
                                        << QStringList{">>> Send \"CurrentLimit\" get command"}
                                        << hex("f1071200 00000000");
        QTest::newRow("command") << "pushButton_fw" << QStringList() << hex("ffffffff57a00000");
        QTest::newRow("temperature stream") << "pushButton_Temp" << QStringList() << hex("ffffffff5ea00000");
    }

    void refusedFrameIsReported()
    {
        QFETCH(QString, button);
        QFETCH(QStringList, before);
        QFETCH(QByteArray, frame);
        WorkDir dir(true);
        MainWindow w;
        auto* press = w.findChild<QPushButton*>(button);
        QVERIFY(press);
        openPort(w);
        QTest::qWait(50);
        takeSent();
        BoxCatcher boxes;
        DebugCapture dbg;
        int logged = MainWindowProbe::logLines(w).size();
        SimSetFailures(SIM_FAIL_TRANSMIT);
        press->click();
        QTRY_COMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes[0].title, QString("ERROR"));
        QCOMPARE(boxes.boxes[0].text, QString("适配器拒绝发送该帧"));
        QCOMPARE(MainWindowProbe::logLines(w).mid(logged), before + QStringList{refusedLine(frame)});
        QVERIFY(dbg.contains("transmit error"));
        QVERIFY(takeSent().empty());

        SimSetFailures(0);
        logged = MainWindowProbe::logLines(w).size();
        press->click();
        QCOMPARE(sentBytes(), QList<QByteArray>{frame});
        QTRY_COMPARE(MainWindowProbe::logLines(w).mid(logged, before.size() + 1), before + QStringList{transLine(frame)});
        QCOMPARE(boxes.boxes.size(), 1);
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

    // Refused frames and a silent drive do not stop Read All: every row is asked, each
    // refused one logged as refused, and refusals end in one box.
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
        const QList<QByteArray> took = sentBytes();   // what the drive's side received
        QCOMPARE(took, asked.mid(0, took.size()));
        QStringList frames;
        for (int i = 0; i < asked.size(); ++i)
            frames << (i < took.size() ? transLine(asked[i]) : refusedLine(asked[i]));
        QTest::qWait(20);
        QCOMPARE(MainWindowProbe::logLines(w).filter(QRegularExpression("^\\[(Trans |Adapter refused)")), frames);
        if (failure == 1) {
            QTRY_COMPARE(boxes.boxes.size(), 1);
            expectOneRefusalReport(w, boxes, 0, int(asked.size() - took.size()), int(asked.size()));
        } else {
            QCOMPARE(took.size(), asked.size());
            QVERIFY(boxes.boxes.isEmpty());
        }
        reopenAndReadAParameter(w);
    }

    // A page's write-all with one row refused: the others go out, one box at the end counts it.
    void writeAllWithARefusedRow_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QByteArray>("refused");
        QTest::addColumn<int>("rows");
        QTest::newRow("写入所有") << "pushButton_WriteAllConfig" << hex("f10711") << 43;
        QTest::newRow("Write ALL") << "pushButton_WriteALLinformation" << hex("f14701") << 5;
    }

    void writeAllWithARefusedRow()
    {
        QFETCH(QString, button);
        QFETCH(QByteArray, refused);
        QFETCH(int, rows);
        WorkDir dir(true);
        MainWindow w;
        BoxCatcher boxes;
        Ui_MainWindow* ui = MainWindowProbe::ui(w);
        // Values the Information rows can send (the combo boxes start on no value).
        for (CustomComboBox* box :
             {ui->comboBox_ProductBatch, ui->comboBox_VendorType, ui->comboBox_HardwareVersion, ui->comboBox_MotorType})
            box->setCurrentIndex(1);
        openPort(w);
        takeSent();
        ui->pushButton_clear->click();
        refuseFrames(refused);
        w.findChild<QPushButton*>(button)->click();
        QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::workers(w)->running() == 0, 5000);
        QTRY_COMPARE(boxes.boxes.size(), 1);
        QCOMPARE(sentBytes().size(), rows - 1);
        expectOneRefusalReport(w, boxes, 0, 1, rows);
    }

    // A frame sent by another action while a pressed row's box is open is that action's:
    // its own box, and nothing in the count of the rows.
    void otherSendDuringARowsBoxIsNotCounted()
    {
        WorkDir dir(true);
        MainWindow w;
        Ui_MainWindow* ui = MainWindowProbe::ui(w);
        BoxCatcher boxes;
        openPort(w);
        takeSent();
        refuseFrames(hex("f10711"));
        // Runs in the event loop of the first "参数错误" box (the combo boxes start on no value).
        QTimer::singleShot(0, ui->pushButton_CurrentLimit, &QPushButton::click);
        ui->pushButton_WriteALLinformation->click();
        QTRY_COMPARE(boxes.boxes.size(), 5);
        QTest::qWait(50);
        QCOMPARE(boxes.texts().count("参数错误"), 4);
        QCOMPARE(boxes.texts().count("适配器拒绝发送该帧"), 1);
        QCOMPARE(boxes.boxes.size(), 5);
        QVERIFY(MainWindowProbe::logLines(w).filter(">>> Adapter refused").isEmpty());
        QCOMPARE(sentBytes(), QList<QByteArray>{hex("f148010000000000")});
    }

    // A sequence of steps ends at the first frame the adapter refuses, with one box: no mode
    // change after a refused current limit, no torque set-point after a refused mode.
    void refusedStepEndsTheSequence_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("controlMode");
        QTest::addColumn<QByteArray>("refused");
        QTest::addColumn<QList<QByteArray>>("sent");
        const QByteArray query = hex("ffffffff56a00000");
        QTest::newRow("enter, current limit refused")
            << "pushButton_EnterMotorMode" << 1 << hex("f10711") << QList<QByteArray>{query};
        QTest::newRow("exit refused") << "pushButton_ExitMotorMode" << 4 << hex("fffffffffffffffd")
                                      << QList<QByteArray>{query};
        QTest::newRow("identification, control mode refused")
            << "pushButton_Identify" << 0 << hex("f10b01") << QList<QByteArray>{};
        QTest::newRow("identification, enter refused") << "pushButton_Identify" << 0 << hex("fffffffffffffffc")
                                                       << QList<QByteArray>{hex("f10b010200000000"), query};
    }

    void refusedStepEndsTheSequence()
    {
        QFETCH(QString, button);
        QFETCH(int, controlMode);
        QFETCH(QByteArray, refused);
        QFETCH(QList<QByteArray>, sent);
        WorkDir dir(true);
        MainWindow w;
        Ui_MainWindow* ui = MainWindowProbe::ui(w);
        BoxCatcher boxes;
        SimSetDriveAttached(0);   // no replies: the buttons stay as the test sets them
        openPort(w);
        takeSent();
        ui->comboBox_ControlMode->setCurrentIndex(controlMode);
        auto* press = w.findChild<QPushButton*>(button);
        press->setEnabled(true);
        refuseFrames(refused);
        press->click();
        QTRY_COMPARE(boxes.texts(), QStringList{"适配器拒绝发送该帧"});
        QTest::qWait(50);
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(sentBytes(), sent);
        QCOMPARE(MainWindowProbe::logLines(w).filter(QRegularExpression("^\\[Adapter refused\\]")).size(), 1);
    }

    // A roundtrip whose down steps are refused runs to its end and reports them once.
    void roundtripWithRefusedSteps()
    {
        WorkDir dir(false);
        MainWindow w;
        Ui_MainWindow* ui = MainWindowProbe::ui(w);
        BoxCatcher boxes;
        openPort(w);
        ui->doubleSpinBox_torque_down->setValue(0.5);
        ui->doubleSpinBox_torque_up->setValue(1.0);
        ui->doubleSpinBox_intervaltime_torque->setValue(0.05);
        ui->doubleSpinBox_runalltime_torque->setValue(0.5);
        takeSent();
        ui->pushButton_clear->click();
        refuseFrames(hex("f1301100 00003f"));   // 0.5 as a float
        ui->pushButton_Roundtrip_Torque->click();
        QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::logLines(w).contains(">>> Stop Roundtrip"), 3000);
        QTRY_COMPARE(boxes.boxes.size(), 1);
        const QList<QByteArray> ups = sentBytes();
        const int steps = MainWindowProbe::logLines(w).filter(">>> Set \"Torque\" Value: ").size();
        QVERIFY2(steps >= 9, qPrintable(QString::number(steps)));
        QCOMPARE(ups.size(), steps / 2);
        for (const QByteArray& f : ups) QCOMPARE(f, hex("f1301100 00803f00"));
        expectOneRefusalReport(w, boxes, 0, steps - steps / 2, steps);
        // The count comes after the run has ended, and the buttons are back.
        const QStringList log = MainWindowProbe::logLines(w);
        QVERIFY(log.indexOf(">>> Stop Roundtrip") < log.indexOf(QRegularExpression(">>> Adapter refused .*")));
        QCOMPARE(ui->pushButton_Roundtrip_Torque->text(), QString("Start Roundtrip"));
    }

    // A hybrid burst keeps its count through refusals and reports them once, at its end.
    void hybridBurstWithRefusedFrames()
    {
        WorkDir dir(false);
        MainWindow w;
        Ui_MainWindow* ui = MainWindowProbe::ui(w);
        BoxCatcher boxes;
        openPort(w);
        ui->pushButton_TP_Enable->click();
        QVERIFY(ui->pushButton_TP_start->isEnabled());
        ui->spinBox_TP_times->setValue(40);
        QTest::qWait(50);
        takeSent();
        ui->pushButton_clear->click();
        ui->pushButton_TP_start->click();
        QTest::qWait(60);
        SimSetFailures(SIM_FAIL_TRANSMIT);
        QTest::qWait(60);
        SimSetFailures(0);
        QTRY_VERIFY_WITH_TIMEOUT(ui->pushButton_TP_start->isEnabled(), 3000);
        QTRY_COMPARE(boxes.boxes.size(), 1);
        const int took = int(sentBytes().size());
        QVERIFY2(took > 0 && took < 40, qPrintable(QString::number(took)));
        expectOneRefusalReport(w, boxes, 0, 40 - took, 40);
        QVERIFY(!ui->pushButton_TP_start->isChecked());
    }

    // A burst that the closed port ended had refused frames: it ends quietly, as a burst ended
    // by a close always has; the refusals are logged, with no box.
    void hybridBurstEndedByCloseWithRefusedFrames()
    {
        WorkDir dir(false);
        MainWindow w;
        Ui_MainWindow* ui = MainWindowProbe::ui(w);
        BoxCatcher boxes;
        openPort(w);
        ui->pushButton_TP_start->setEnabled(true);
        ui->spinBox_TP_times->setValue(100000);
        ui->pushButton_clear->click();
        ui->pushButton_TP_start->click();
        QTest::qWait(40);
        SimSetFailures(SIM_FAIL_TRANSMIT);
        QTest::qWait(40);
        // The port closes while a refused frame is still inside the adapter: that frame was
        // refused, not kept back by the close, and is counted as such.
        SimHoldTransmit(300);
        QTRY_VERIFY(SimTransmitHeld());
        ui->pushButton_closeport->click();
        SimSetFailures(0);
        QTRY_VERIFY_WITH_TIMEOUT(ui->pushButton_TP_start->isEnabled(), 1000);
        const QRegularExpression countLine("^>>> Adapter refused \\d+ of \\d+ frames$");
        QTRY_COMPARE(MainWindowProbe::logLines(w).filter(countLine).size(), 1);
        QTest::qWait(100);
        QVERIFY2(boxes.boxes.isEmpty(), qPrintable(boxes.texts().join(" | ")));
        const QStringList log = MainWindowProbe::logLines(w);
        const int refused = log.filter(QRegularExpression("^\\[Adapter refused\\]: ")).size();
        QVERIFY(refused > 0);
        const QString count = log.filter(QRegularExpression("^>>> Adapter refused ")).first();
        QCOMPARE(count.section(' ', 3, 3).toInt(), refused);
        QCOMPARE(count.section(' ', 5, 5).toInt(), refused + log.filter(QRegularExpression("^\\[Trans ")).size());
    }

    // 上使能 ends at its first frame that did not leave and says so at once. No hold follows a
    // refused enable, and after a refused enable or hold Start waits for one that succeeds
    // (a refused position request, which reached nothing, leaves Start as it was).
    void hybridEnableEndsAtARefusedFrame_data()
    {
        QTest::addColumn<QByteArray>("refused");
        QTest::addColumn<QList<QByteArray>>("sent");
        QTest::addColumn<bool>("enableLogged");
        QTest::addColumn<bool>("startBefore");
        QTest::addColumn<bool>("startAfter");
        const QByteArray position = hex("ffffffffffffff9c"), enable = hex("fffffffffffffcfc");
        const QByteArray hold = hex("0102000000000000");
        QTest::newRow("position request") << position << QList<QByteArray>{} << false << false << false;
        QTest::newRow("position request, enabled before") << position << QList<QByteArray>{} << false << true << true;
        QTest::newRow("enable") << enable << QList<QByteArray>{position} << true << false << false;
        QTest::newRow("enable, enabled before") << enable << QList<QByteArray>{position} << true << true << false;
        QTest::newRow("hold") << hold << QList<QByteArray>{position, enable} << true << false << false;
        QTest::newRow("hold, enabled before") << hold << QList<QByteArray>{position, enable} << true << true << false;
    }

    void hybridEnableEndsAtARefusedFrame()
    {
        QFETCH(QByteArray, refused);
        QFETCH(QList<QByteArray>, sent);
        QFETCH(bool, enableLogged);
        QFETCH(bool, startBefore);
        QFETCH(bool, startAfter);
        SimConfigure("position", "258");
        WorkDir dir(false);
        MainWindow w;
        Ui_MainWindow* ui = MainWindowProbe::ui(w);
        BoxCatcher boxes;
        openPort(w);
        takeSent();
        ui->pushButton_clear->click();
        ui->pushButton_TP_start->setEnabled(startBefore);
        refuseFrames(refused);
        QElapsedTimer clock;
        clock.start();
        ui->pushButton_TP_Enable->click();
        QTRY_COMPARE(boxes.texts(), QStringList{"适配器拒绝发送该帧"});
        // Well before the 2 s the position reply is waited for.
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QTest::qWait(50);
        QCOMPARE(sentBytes(), sent);
        QCOMPARE(ui->pushButton_TP_start->isEnabled(), startAfter);
        const QStringList log = MainWindowProbe::logLines(w);
        QCOMPARE(log.contains(">>> Enable"), enableLogged);
        QVERIFY(!log.contains(">>> Cannot get Position"));
        QCOMPARE(log.last(), refusedLine(refused));
        QCOMPARE(boxes.boxes.size(), 1);
    }

    // The boot-loader jump of a T71/T73 update that did not leave ends the update at once,
    // with the box of its failure and nothing sent after it.
    void bootloaderJumpThatDidNotLeave_data()
    {
        QTest::addColumn<bool>("closeInDialog");
        QTest::addColumn<QString>("box");
        QTest::newRow("refused by the adapter") << false << "适配器拒绝发送该帧";
        QTest::newRow("port closed while the file was chosen") << true << "请先打开设备";
    }

    void bootloaderJumpThatDidNotLeave()
    {
        QFETCH(bool, closeInDialog);
        QFETCH(QString, box);
        SimConfigure("product_type", "T71");
        WorkDir dir(false);
        MainWindow w;
        Ui_MainWindow* ui = MainWindowProbe::ui(w);
        BoxCatcher boxes;
        openPort(w);
        takeSent();
        const QByteArray jump = hex("fffffff155b00000");
        refuseFrames(jump);
        const QString path = dir.path() + "/fw.rbl";
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(firmwareimages::make(100, "8.8.8", "T71"));
        f.close();
        QElapsedTimer sinceChosen;
        MainWindowProbe::answerOpenDialog(w, [ui, path, closeInDialog, &sinceChosen] {
            for (int i = 0; i < 300 && (ui->label_type->text().isEmpty() || ui->label_FW->text().isEmpty()); ++i)
                QTest::qWait(10);
            if (closeInDialog) ui->pushButton_closeport->click();
            sinceChosen.start();
            return path;
        });
        ui->pushButton_updateFW->click();
        // Not the 10 s a jump's answer is waited for.
        QVERIFY2(sinceChosen.elapsed() < 2000, qPrintable(QString::number(sinceChosen.elapsed())));
        QCOMPARE(boxes.texts(), QStringList{box});
        QVERIFY(!boxes.texts().contains("跳转失败，请重试！"));
        QCOMPARE(sentBytes(), (QList<QByteArray>{hex("ffffffff57a00000"), hex("ffffffff56a00000")}));
        QCOMPARE(MainWindowProbe::logLines(w).filter(refusedLine(jump)).size(), closeInDialog ? 0 : 1);
        QVERIFY(ui->pushButton_updateFW->isEnabled());
        QVERIFY(!MainWindowProbe::fwUpdateBusy(w));
        QTest::qWait(100);
        QVERIFY(sentBytes().isEmpty());
    }

    // A firmware chunk refused for a moment fails the update: nothing is sent after it.
    void chunkRefusedDuringFirmwareTransfer()
    {
        WorkDir dir(true);
        MainWindow w;
        BoxCatcher boxes;
        openPort(w);
        startFirmwareUpdate(w, dir, 7 * 3000);
        if (QTest::currentTestFailed()) return;
        const int logged = MainWindowProbe::logLines(w).size();
        SimSetFailures(SIM_FAIL_TRANSMIT);
        QTest::qWait(30);
        takeSent();
        SimSetFailures(0);
        QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::fwDone(w), 3000);
        QVERIFY(!MainWindowProbe::fwSuccess(w));
        expectUpdateFailedBox(w, boxes);
        QTest::qWait(50);
        QVERIFY(sentBytes().isEmpty());
        const QStringList refused =
            MainWindowProbe::logLines(w).mid(logged).filter(QRegularExpression("^\\[Adapter refused\\]: fa "));
        QCOMPARE(refused.size(), 1);
        reopenAndReadAParameter(w);
    }

    // The start or end frame of a transfer refused: the update fails, whatever the drive has.
    void transferFrameRefused_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("start") << hex("fffffff155a00000");
        QTest::newRow("end") << hex("fffffff155a10000");
    }

    void transferFrameRefused()
    {
        QFETCH(QByteArray, frame);
        WorkDir dir(true);
        MainWindow w;
        BoxCatcher boxes;
        openPort(w);
        refuseFrames(frame);
        pressUpdateWithImage(w, dir.path(), firmwareimages::make(7 * 100, "8.8.8"));
        // The refusal ends the transfer there and then: no wait for an acknowledgement, no
        // version asked for, whatever the drive would answer.
        QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::logLines(w).contains(refusedLine(frame)), 5000);
        QElapsedTimer sinceRefusal;
        sinceRefusal.start();
        QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::fwDone(w), 5000);
        QVERIFY2(sinceRefusal.elapsed() < 1000, qPrintable(QString::number(sinceRefusal.elapsed())));
        QVERIFY(!MainWindowProbe::fwSuccess(w));
        expectUpdateFailedBox(w, boxes);
        QTest::qWait(300);
        const QList<QByteArray> took = sentBytes();
        QVERIFY(!took.contains(frame));
        const bool chunksSent = std::any_of(took.begin(), took.end(), [](const QByteArray& f) { return f[0] == char(0xFA); });
        QCOMPARE(chunksSent, frame[5] == char(0xA1));
        // Nothing after the refused frame: the transfer's last frame taken is a chunk, or,
        // with the start refused, the two queries before it.
        QVERIFY(!took.isEmpty());
        if (chunksSent)
            QCOMPARE(took.last()[0], char(0xFA));
        else
            QCOMPARE(took.last(), hex("ffffffff56a00000"));
    }
};

QTEST_MAIN(AdapterFaults)
#include "tst_adapterfaults.moc"
