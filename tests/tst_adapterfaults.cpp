// The adapter or the drive failing while the tool streams, transfers or reads: the failure
// is reported where the operator expects it, and the tool works again after a port reopen.
#include "support/windowharness.h"

#include "app/workers.h"

#include <QElapsedTimer>

#include <cstring>

namespace {

QByteArray makeImage(int size)
{
    QByteArray img(size, '\0');
    for (int i = 76; i < size; ++i) img[i] = char((i * 29 + 3) & 0xFF);
    std::memcpy(img.data(), "RBL", 4);
    std::memcpy(img.data() + 28, "8.8.8", 5);
    std::memcpy(img.data() + 52, "QM72", 4);
    return img;
}

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

}  // namespace

class AdapterFaults : public QObject {
    Q_OBJECT

private slots:
    void init() { SimReset(); }

    // Receive errors are polled through silently; the plot simply gets no samples.
    void receiveFailsDuringDisplay()
    {
        WorkDir dir(true);
        MainWindow w;
        BoxCatcher boxes;
        openPort(w);
        startDisplay(w);
        QTRY_VERIFY_WITH_TIMEOUT(plotted(w) > 10, 3000);
        SimSetFailures(SIM_FAIL_RECEIVE | SIM_FAIL_READ_ERR_INFO);
        QTest::qWait(100);
        const int before = plotted(w);
        QTest::qWait(300);
        QCOMPARE(plotted(w), before);
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

    // A refused frame is not detected: stopping "succeeds" on the tool's side, the drive
    // keeps streaming, and Close Port must still end cleanly.
    void transmitFailsDuringDisplay()
    {
        WorkDir dir(true);
        MainWindow w;
        BoxCatcher boxes;
        openPort(w);
        startDisplay(w);
        QTRY_VERIFY_WITH_TIMEOUT(plotted(w) > 10, 3000);
        SimSetFailures(SIM_FAIL_TRANSMIT);
        MainWindowProbe::ui(w)->pushButton_display->click();
        QVERIFY(!MainWindowProbe::curveDisplaying(w));
        QTest::qWait(200);
        QVERIFY(boxes.boxes.isEmpty());
        reopenAndReadAParameter(w);
        // The reopened channel does not feed the stale stream into a stopped plot.
        const int points = plotted(w);
        QTest::qWait(200);
        QCOMPARE(plotted(w), points);
    }

    void driveGoneDuringDisplay()
    {
        WorkDir dir(true);
        MainWindow w;
        BoxCatcher boxes;
        openPort(w);
        startDisplay(w);
        QTRY_VERIFY_WITH_TIMEOUT(plotted(w) > 10, 3000);
        SimSetDriveAttached(0);
        QTest::qWait(150);
        const int before = plotted(w);
        QTest::qWait(250);
        QCOMPARE(plotted(w), before);
        MainWindowProbe::ui(w)->pushButton_display->click();
        QVERIFY(!MainWindowProbe::curveDisplaying(w));
        QVERIFY(boxes.boxes.isEmpty());
        reopenAndReadAParameter(w);
    }

    // The port closed under the transfer: the next chunk cannot go out and the update fails.
    void portClosedDuringFirmwareTransfer()
    {
        WorkDir dir(true);
        MainWindow w;
        Ui_MainWindow* ui = MainWindowProbe::ui(w);
        BoxCatcher boxes;
        openPort(w);
        const QString path = dir.path() + "/fw.rbl";
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(makeImage(7 * 3000));
        f.close();
        MainWindowProbe::answerOpenDialog(w, [ui, path] {
            for (int i = 0; i < 300 && (ui->label_type->text().isEmpty() || ui->label_FW->text().isEmpty()); ++i)
                QTest::qWait(10);
            return path;
        });
        ui->pushButton_updateFW->click();
        QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::fwProgress(w) > 0, 3000);
        ui->pushButton_closeport->click();
        QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::fwDone(w), 3000);
        QVERIFY(!MainWindowProbe::fwSuccess(w));
        QTRY_VERIFY_WITH_TIMEOUT(boxes.texts().contains("升级失败"), 2000);
        QTRY_VERIFY_WITH_TIMEOUT(!MainWindowProbe::fwUpdateBusy(w), 2000);
        QVERIFY(ui->pushButton_updateFW->isEnabled());
        reopenAndReadAParameter(w);
    }

    // The drive vanishes mid-block: its ready reply never comes and the transfer gives up
    // after its 5 s wait.
    void driveGoneDuringFirmwareTransfer()
    {
        WorkDir dir(true);
        MainWindow w;
        Ui_MainWindow* ui = MainWindowProbe::ui(w);
        BoxCatcher boxes;
        openPort(w);
        const QString path = dir.path() + "/fw.rbl";
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(makeImage(7 * 1500));
        f.close();
        MainWindowProbe::answerOpenDialog(w, [ui, path] {
            for (int i = 0; i < 300 && (ui->label_type->text().isEmpty() || ui->label_FW->text().isEmpty()); ++i)
                QTest::qWait(10);
            return path;
        });
        ui->pushButton_updateFW->click();
        QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::fwProgress(w) > 0, 3000);
        SimSetDriveAttached(0);
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::fwDone(w), 9000);
        QVERIFY(!MainWindowProbe::fwSuccess(w));
        QTRY_VERIFY_WITH_TIMEOUT(boxes.texts().contains("升级失败"), 2000);
        QTRY_VERIFY_WITH_TIMEOUT(!MainWindowProbe::fwUpdateBusy(w), 2000);
        reopenAndReadAParameter(w);
    }

    // Refused frames and a silent drive do not stop Read All: every row is asked, no box.
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
        ui->pushButton_ReadAllConfig->click();
        QTRY_VERIFY_WITH_TIMEOUT(SimCallCount(SIM_TRANSMIT) >= 5, 3000);
        if (failure == 1) SimSetFailures(SIM_FAIL_TRANSMIT);
        if (failure == 2) SimSetFailures(SIM_FAIL_RECEIVE);
        if (failure == 3) SimSetDriveAttached(0);
        QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::workers(w)->running() == 0, 5000);
        QVERIFY(boxes.boxes.isEmpty());
        reopenAndReadAParameter(w);
    }
};

QTEST_MAIN(AdapterFaults)
#include "tst_adapterfaults.moc"
