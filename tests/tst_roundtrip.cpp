#include "support/windowharness.h"

#include "app/roundtriptimer.h"

#include <QSignalSpy>

#include <cstring>
#include <functional>

namespace {

struct Step {
    uint8_t mode;
    float value;
    uint64_t timeUs;
};

// The set-point frames sent, checked for their fixed bytes.
QList<Step> steps()
{
    QList<Step> out;
    for (const SimSentFrame& f : takeSent()) {
        const uint8_t* d = f.frame.data;
        if (f.frame.dataLen != 8 || d[0] != 0xF1 || d[2] != 0x11 || d[7] != 0x00) continue;
        Step s{d[1], 0.0f, f.timeUs};
        std::memcpy(&s.value, d + 3, 4);   // little-endian host
        out << s;
    }
    return out;
}

QStringList linesStartingWith(MainWindow& w, const QString& prefix)
{
    QStringList out;
    for (const QString& l : MainWindowProbe::logLines(w))
        if (l.startsWith(prefix)) out << l;
    return out;
}

// Runs check when the next modal box is shown, then closes it.
class BoxWatcher : public QObject {
public:
    explicit BoxWatcher(std::function<void(QMessageBox*)> check) : check_(std::move(check))
    {
        connect(&timer_, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            timer_.stop();
            check_(box);
            box->button(QMessageBox::Ok)->click();
        });
        timer_.start(5);
    }

private:
    QTimer timer_;
    std::function<void(QMessageBox*)> check_;
};

}   // namespace

class Roundtrip : public QObject {
    Q_OBJECT

private:
    static void expectIdle(Ui_MainWindow* ui)
    {
        for (QPushButton* b :
             {ui->pushButton_Roundtrip_Torque, ui->pushButton_Roundtrip_Speed, ui->pushButton_Roundtrip_Position}) {
            QVERIFY(b->isEnabled());
            QVERIFY(!b->isChecked());
            QCOMPARE(b->text(), QString("Start Roundtrip"));
        }
        QVERIFY(!ui->doubleSpinBox_torque_down->isReadOnly());
        QVERIFY(!ui->doubleSpinBox_runalltime_position->isReadOnly());
    }

private slots:
    void init() { SimReset(); }

    void timerCountsAndEnds()
    {
        QObject owner;
        RoundtripTimer timer(&owner);
        QCOMPARE(timer.intervalMs, 5);
        QCOMPARE(timer.totalMs, 600);
        QSignalSpy steps(&timer, &RoundtripTimer::timeoutTriggered);
        QSignalSpy ends(&timer, &RoundtripTimer::timeoutAll);
        timer.stopTimer();   // idle: still reports the end
        QCOMPARE(ends.size(), 1);

        timer.intervalMs = 30;
        timer.totalMs = 100;
        QElapsedTimer clock;
        clock.start();
        timer.startTimers();
        QVERIFY(clock.elapsed() >= 100);   // the pause before the first step
        QCOMPARE(steps.size(), 1);         // sent at once
        QTRY_COMPARE_WITH_TIMEOUT(ends.size(), 2, 2000);
        QTest::qWait(100);
        QVERIFY(steps.size() >= 3 && steps.size() <= 5);
        for (int i = 0; i < steps.size(); ++i) QCOMPARE(steps[i][0].toULongLong(), qulonglong(i));
    }

    void stepsAlternateUntilTheTotalTime()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        openPort(w);
        ui->doubleSpinBox_torque_down->setValue(1.5);
        ui->doubleSpinBox_torque_up->setValue(-2.5);
        ui->doubleSpinBox_intervaltime_torque->setValue(0.1);
        ui->doubleSpinBox_runalltime_torque->setValue(1.0);
        takeSent();
        ui->pushButton_clear->click();

        ui->pushButton_Roundtrip_Torque->click();
        QCOMPARE(MainWindowProbe::roundtripMode(w), 0x30);
        QCOMPARE(ui->pushButton_Roundtrip_Torque->text(), QString("Stop"));
        QVERIFY(ui->pushButton_Roundtrip_Torque->isEnabled());
        QVERIFY(!ui->pushButton_Roundtrip_Speed->isEnabled());
        QVERIFY(!ui->pushButton_Roundtrip_Position->isEnabled());
        QVERIFY(ui->doubleSpinBox_torque_up->isReadOnly());
        QVERIFY(ui->doubleSpinBox_intervaltime_position->isReadOnly());

        QTRY_COMPARE_WITH_TIMEOUT(linesStartingWith(w, ">>> Stop Roundtrip").size(), 1, 3000);
        QTest::qWait(250);
        const QList<Step> sent = steps();
        QVERIFY2(sent.size() == 10 || sent.size() == 11, qPrintable(QString::number(sent.size())));
        for (int i = 0; i < sent.size(); ++i) {
            QCOMPARE(sent[i].mode, uint8_t(0x30));
            QCOMPARE(sent[i].value, i % 2 ? -2.5f : 1.5f);
        }
        // About a period apart on average.
        const double meanMs = double(sent.last().timeUs - sent.first().timeUs) / 1000.0 / (sent.size() - 1);
        QVERIFY2(meanMs > 85 && meanMs < 125, qPrintable(QString::number(meanMs)));

        const QStringList set = linesStartingWith(w, ">>> Set \"Torque\" Value");
        QCOMPARE(set.size(), sent.size());
        QCOMPARE(set[0], QString(">>> Set \"Torque\" Value: 1.5     [1]"));
        QCOMPARE(set[1], QString(">>> Set \"Torque\" Value: -2.5     [2]"));
        QCOMPARE(linesStartingWith(w, ">>> start Roundtrip").size(), 1);
        // Each step's line comes before its frame's line.
        const QStringList log = MainWindowProbe::logLines(w);
        const int first = log.indexOf(set[0]);
        QVERIFY(first >= 0 && first + 1 < log.size());
        QVERIFY(log[first + 1].startsWith("[Trans ]: f1 30 11"));
        expectIdle(ui);
    }

    void totalShorterThanPeriodGivesOneStep()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        openPort(w);
        ui->doubleSpinBox_position_down->setValue(3.25);
        ui->doubleSpinBox_intervaltime_position->setValue(2.0);
        ui->doubleSpinBox_runalltime_position->setValue(1.0);
        takeSent();
        ui->pushButton_Roundtrip_Position->click();
        QVERIFY(!ui->pushButton_Roundtrip_Torque->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(linesStartingWith(w, ">>> Stop Roundtrip").size(), 1, 3000);
        QTest::qWait(100);
        const QList<Step> sent = steps();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0].mode, uint8_t(0x32));
        QCOMPARE(sent[0].value, 3.25f);
        QCOMPARE(linesStartingWith(w, ">>> Set \"Position\" Value"),
                 QStringList{">>> Set \"Position\" Value: 3.25     [1]"});
        expectIdle(ui);
    }

    void stopByTheButtonMidRun()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        openPort(w);
        ui->doubleSpinBox_speed_down->setValue(2.5);
        ui->doubleSpinBox_speed_up->setValue(7);
        ui->doubleSpinBox_intervaltime_speed->setValue(0.1);
        ui->doubleSpinBox_runalltime_speed->setValue(10);
        takeSent();
        ui->pushButton_Roundtrip_Speed->click();
        QCOMPARE(MainWindowProbe::roundtripMode(w), 0x31);
        QTest::qWait(250);
        ui->pushButton_Roundtrip_Speed->click();
        expectIdle(ui);
        QCOMPARE(linesStartingWith(w, ">>> Stop Roundtrip").size(), 1);
        const int count = steps().size();
        QVERIFY(count >= 2 && count <= 4);
        QTest::qWait(300);
        QVERIFY(steps().isEmpty());
        QCOMPARE(linesStartingWith(w, ">>> Stop Roundtrip").size(), 1);
        QCOMPARE(linesStartingWith(w, ">>> Set \"Velocity\" Value")[0],
                 QString(">>> Set \"Velocity\" Value: 2.5     [1]"));
    }

    void failedSendEndsTheRunBeforeTheBox()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        ui->pushButton_clear->click();
        bool seen = false;
        BoxWatcher watcher([&](QMessageBox* box) {
            seen = true;
            QCOMPARE(box->text(), QString("请先打开设备"));
            // Already idle when the box appears.
            expectIdle(ui);
            QCOMPARE(linesStartingWith(w, ">>> Stop Roundtrip").size(), 1);
        });
        ui->pushButton_Roundtrip_Torque->click();
        QVERIFY(seen);
        QCOMPARE(MainWindowProbe::logLines(w).mid(MainWindowProbe::logLines(w).size() - 3),
                 (QStringList{">>> start Roundtrip", ">>> Set \"Torque\" Value: 0     [1]", ">>> Stop Roundtrip"}));
        QTest::qWait(50);
        QCOMPARE(linesStartingWith(w, ">>> Stop Roundtrip").size(), 1);
        QVERIFY(!MainWindowProbe::roundtripTimer(w)->findChildren<QTimer*>().first()->isActive());
    }

    void closingThePortEndsARun()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        openPort(w);
        ui->doubleSpinBox_intervaltime_torque->setValue(0.1);
        ui->doubleSpinBox_runalltime_torque->setValue(10);
        BoxCatcher boxes;
        ui->pushButton_Roundtrip_Torque->click();
        QTest::qWait(150);
        ui->pushButton_closeport->click();
        QTRY_COMPARE_WITH_TIMEOUT(boxes.texts(), QStringList{"请先打开设备"}, 2000);
        expectIdle(ui);
        QCOMPARE(linesStartingWith(w, ">>> Stop Roundtrip").size(), 1);
    }

    void periodsInWholeMilliseconds()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        openPort(w);
        RoundtripTimer* timer = MainWindowProbe::roundtripTimer(w);
        const struct {
            double period, total;
            int periodMs, totalMs;
        } cases[] = {{0.7, 1.3, 699, 1299}, {0.5, 2.0, 500, 2000}};
        for (const auto& c : cases) {
            ui->doubleSpinBox_intervaltime_torque->setValue(c.period);
            ui->doubleSpinBox_runalltime_torque->setValue(c.total);
            ui->pushButton_Roundtrip_Torque->click();
            QCOMPARE(timer->intervalMs, c.periodMs);
            QCOMPARE(timer->totalMs, c.totalMs);
            ui->pushButton_Roundtrip_Torque->click();
            expectIdle(ui);
        }
    }
};

QTEST_MAIN(Roundtrip)
#include "tst_roundtrip.moc"
