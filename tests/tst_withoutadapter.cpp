// Started as on a PC without the adapter's driver: this program is built into a folder of its
// own and does not link the adapter library, so the tool cannot find it.
#include "support/debugcapture.h"
#include "support/windowharness.h"

class WithoutAdapter : public QObject {
    Q_OBJECT

private slots:
    void windowStartsAndOpenPortFails()
    {
        DebugCapture dbg;
        WorkDir dir(true);
        MainWindow w;
        w.show();
        QVERIFY(dbg.contains("ECanVci.dll load fail"));
        QVERIFY(!dbg.contains("ECanVci.dll load ok"));
        QVERIFY(MainWindowProbe::logLines(w).contains(">>> File \"motor_parameter_config.yaml\" Load OK"));

        Ui_MainWindow* ui = MainWindowProbe::ui(w);
        openPortFails(w);
        if (QTest::currentTestFailed()) return;
        QVERIFY(!MainWindowProbe::can(w)->isOpen);
        QVERIFY(dbg.contains("Open device fail"));
        QTRY_VERIFY(dbg.contains("Stop receiving"));
        QVERIFY(ui->pushButton_openport->isEnabled());
        QVERIFY(!ui->pushButton_closeport->isEnabled());

        // Requests then fail as on a closed channel.
        BoxCatcher boxes;
        ui->pushButton_Inertia_2->click();
        QCOMPARE(boxes.texts(), QStringList{"请先打开设备"});
    }
};

QTEST_MAIN(WithoutAdapter)
#include "tst_withoutadapter.moc"
