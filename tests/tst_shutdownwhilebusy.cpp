// Closing the window while a sequence, transfer, stream or burst runs: no crash, every
// worker joined before the window's members go, nothing sent afterwards, quick to close.
#include "support/firmwareimages.h"
#include "support/windowharness.h"

#include "app/workers.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

enum class Op { ReadAll, WriteAll, Firmware, Hybrid, Roundtrip, Identification, Temperature, Display };
enum class How { Close, Delete, Exit };

// Starts op on an open port and waits until it is visibly under way.
void start(MainWindow& w, Op op, const WorkDir& dir)
{
    Ui_MainWindow* ui = MainWindowProbe::ui(w);
    const uint32_t before = SimCallCount(SIM_TRANSMIT);
    switch (op) {
    case Op::ReadAll: ui->pushButton_ReadAllConfig->click(); break;
    case Op::WriteAll: ui->pushButton_WriteAllConfig->click(); break;
    case Op::Firmware:
        pressUpdateWithImage(w, dir.path(), firmwareimages::make(7 * 4096, "9.9.9"));
        QVERIFY(MainWindowProbe::fwUpdateBusy(w));
        break;
    case Op::Hybrid:
        ui->pushButton_TP_Enable->click();
        QTRY_VERIFY_WITH_TIMEOUT(ui->pushButton_TP_start->isEnabled(), 3000);
        ui->spinBox_TP_position->setValue(1000);
        ui->spinBox_TP_times->setValue(ui->spinBox_TP_times->maximum());
        ui->pushButton_TP_start->click();
        break;
    case Op::Roundtrip:
        ui->doubleSpinBox_intervaltime_torque->setValue(0.05);
        ui->doubleSpinBox_runalltime_torque->setValue(ui->doubleSpinBox_runalltime_torque->maximum());
        ui->pushButton_Roundtrip_Torque->click();
        break;
    case Op::Identification:
        SimConfigure("identify_s", "600");
        MainWindowProbe::answerSaveDialog(w, [] { return QString(); });
        ui->pushButton_Identify->click();
        break;
    case Op::Temperature:
        ui->pushButton_Temp->click();
        ui->pushButton_plotTemperature->click();
        QVERIFY(MainWindowProbe::temperatureStreaming(w));
        break;
    case Op::Display:
        ui->checkBox_aCurrent->setChecked(true);
        ui->pushButton_display->click();
        QVERIFY(MainWindowProbe::curveDisplaying(w));
        break;
    }
    QTRY_VERIFY_WITH_TIMEOUT(SimCallCount(SIM_TRANSMIT) >= before + 3 || op == Op::Display || op == Op::Temperature ||
                                 op == Op::Identification,
                             3000);
    // Let it run a while: streams flow, workers sit in their waits.
    QTest::qWait(150);
}

}   // namespace

class ShutdownWhileBusy : public QObject {
    Q_OBJECT

private slots:
    void init() { SimReset(); }

    void closingEndsEverything_data()
    {
        QTest::addColumn<int>("op");
        QTest::addColumn<int>("how");
        const std::pair<const char*, Op> ops[] = {
            {"read all", Op::ReadAll},        {"write all", Op::WriteAll},       {"firmware transfer", Op::Firmware},
            {"hybrid burst", Op::Hybrid},     {"roundtrip test", Op::Roundtrip}, {"identification", Op::Identification},
            {"temperature", Op::Temperature}, {"live display", Op::Display},
        };
        for (const auto& [name, op] : ops) {
            QTest::addRow("%s, close", name) << int(op) << int(How::Close);
            QTest::addRow("%s, delete", name) << int(op) << int(How::Delete);
        }
        QTest::addRow("firmware transfer, File > Exit") << int(Op::Firmware) << int(How::Exit);
        QTest::addRow("read all, File > Exit") << int(Op::ReadAll) << int(How::Exit);
    }

    void closingEndsEverything()
    {
        QFETCH(int, op);
        QFETCH(int, how);
        qApp->setQuitOnLastWindowClosed(false);
        WorkDir dir(true);
        BoxCatcher boxes;
        auto* w = new MainWindow;
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->show();
        openPort(*w);
        start(*w, Op(op), dir);
        if (QTest::currentTestFailed()) {
            delete w;
            return;
        }

        // One more worker, slow to wind down like one caught in a long adapter call. It also
        // marks the moment the window tells its workers to stop: teardown has begun.
        WorkerPool* pool = MainWindowProbe::workers(*w);
        auto stoppedAtUs = std::make_shared<std::atomic<uint64_t>>(0);
        pool->start([pool, stoppedAtUs] {
            while (pool->sleepFor(1000)) {}
            stoppedAtUs->store(SimNowUs());
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        });
        // Read as the window's destruction ends.
        auto runningAtEnd = std::make_shared<int>(-1);
        QObject::connect(w, &QObject::destroyed, [runningAtEnd] { *runningAtEnd = WorkerPool::bodiesRunning(); });
        QPointer<MainWindow> alive(w);
        const int boxesBefore = boxes.boxes.size();
        const bool displaying = MainWindowProbe::curveDisplaying(*w);
        takeSent();

        QElapsedTimer clock;
        clock.start();
        switch (How(how)) {
        case How::Close: QVERIFY(w->close()); break;
        case How::Delete: delete w; break;
        case How::Exit: MainWindowProbe::ui(*w)->actionExit->trigger(); break;
        }
        QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 2000);
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(*runningAtEnd, 0);

        const uint32_t sentAtClose = SimCallCount(SIM_TRANSMIT);
        QTest::qWait(250);
        QCOMPARE(SimCallCount(SIM_TRANSMIT), sentAtClose);
        QVERIFY(!SimDeviceOpen());
        QCOMPARE(boxes.texts().mid(boxesBefore), QStringList());

        // Sent once the workers were told to stop: the live display's stop frame, and at most
        // the one frame a sending worker had already begun.
        QVERIFY(stoppedAtUs->load() > 0);
        QList<QByteArray> teardown;
        QByteArray lastBefore;
        for (const SimSentFrame& f : takeSent()) {
            if (f.timeUs >= stoppedAtUs->load())
                teardown << frameBytes(f);
            else
                lastBefore = frameBytes(f);
        }
        if (displaying) {
            QCOMPARE(teardown, QList<QByteArray>{QByteArray::fromHex("ffffffff55a1ffff")});
        } else if (Op(op) == Op::Firmware || Op(op) == Op::Hybrid) {
            QVERIFY2(teardown.size() <= 1, qPrintable(QString::number(teardown.size())));
            if (!teardown.isEmpty() && Op(op) == Op::Firmware) QCOMPARE(uint8_t(teardown[0][0]), uint8_t(0xFA));
            if (!teardown.isEmpty() && Op(op) == Op::Hybrid) QCOMPARE(teardown[0], lastBefore);
        } else {
            QCOMPARE(teardown, QList<QByteArray>());
        }
    }
};

QTEST_MAIN(ShutdownWhileBusy)
#include "tst_shutdownwhilebusy.moc"
