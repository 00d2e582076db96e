#include "support/windowharness.h"

#include <QProgressDialog>

class ProgressDisplay : public QObject {
    Q_OBJECT

private slots:
    void init() { SimReset(); }

    void firmwareTransfer()
    {
        WorkDir dir(false);
        MainWindow w;
        QProgressDialog* dialog = MainWindowProbe::progressDialog(w);
        QTimer& timer = MainWindowProbe::progressTimer(w);
        MainWindowProbe::setProgressMode(w, 0);
        dialog->show();
        timer.start(100);
        BoxCatcher boxes;

        MainWindowProbe::setFirmwareState(w, 42, false, false);
        MainWindowProbe::progressTick(w);
        QCOMPARE(dialog->value(), 42);
        QVERIFY(timer.isActive());
        QVERIFY(boxes.boxes.isEmpty());

        // Done before the last chunk's progress: finished all the same.
        MainWindowProbe::setFirmwareState(w, 99, true, true);
        MainWindowProbe::progressTick(w);
        QVERIFY(!timer.isActive());
        QVERIFY(!dialog->isVisible());
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes[0].title, QString("Tip"));
        QCOMPARE(boxes.boxes[0].text, QString("升级成功"));

        timer.start(100);
        MainWindowProbe::setFirmwareState(w, 100, true, false);
        MainWindowProbe::progressTick(w);
        QCOMPARE(boxes.texts().last(), QString("升级失败"));
        QVERIFY(!timer.isActive());
    }

    void identificationWatchdog()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        QObject::disconnect(&w, &MainWindow::requestSaveCalibrationData, nullptr, nullptr);
        QProgressDialog* dialog = MainWindowProbe::progressDialog(w);
        QTimer& timer = MainWindowProbe::progressTimer(w);
        BoxCatcher boxes;

        MainWindowProbe::decode(w, {0xFB, 0x10}, 2.0f);
        QCOMPARE(MainWindowProbe::progressMode(w), 1);
        // The real clock has just started: on track at 0.
        MainWindowProbe::progressTick(w);
        QCOMPARE(dialog->value(), 0);

        MainWindowProbe::setIdentifySeconds(w, 5);
        MainWindowProbe::identificationTick(w, 10999);   // 10 s on the clock, 5 behind
        QCOMPARE(dialog->value(), 10);
        MainWindowProbe::setIdentifySeconds(w, 49);
        MainWindowProbe::identificationTick(w, 50000);
        QCOMPARE(dialog->value(), 99);   // never 100 while the run is on track
        MainWindowProbe::setIdentifySeconds(w, 52);
        MainWindowProbe::identificationTick(w, 55900);
        QCOMPARE(dialog->value(), 99);
        QVERIFY(boxes.boxes.isEmpty());
        QVERIFY(timer.isActive());

        // Data six seconds behind the clock: given up.
        MainWindowProbe::setIdentifySeconds(w, 24);
        MainWindowProbe::identificationTick(w, 30000);
        QCOMPARE(boxes.texts(), QStringList{"参数辨识失败"});
        QCOMPARE(boxes.boxes[0].title, QString("Tip"));
        QVERIFY(!timer.isActive());
        QVERIFY(!dialog->isVisible());
        QVERIFY(!MainWindowProbe::plotTimer(w).isActive());
        QCOMPARE(ui->plot->axisRect()->rangeZoom(), Qt::Horizontal | Qt::Vertical);

        // Past 55 s the run is given up however well the data keeps up.
        MainWindowProbe::decode(w, {0xFB, 0x10}, 3.0f);
        MainWindowProbe::setIdentifySeconds(w, 56);
        MainWindowProbe::identificationTick(w, 56000);
        QCOMPARE(boxes.boxes.size(), 2);
        QVERIFY(!timer.isActive());

        // A mode nobody uses does nothing.
        MainWindowProbe::setProgressMode(w, 2);
        timer.start(100);
        MainWindowProbe::progressTick(w);
        QVERIFY(timer.isActive());
        QCOMPARE(boxes.boxes.size(), 2);
        timer.stop();
    }
};

QTEST_MAIN(ProgressDisplay)
#include "tst_progressdisplay.moc"
