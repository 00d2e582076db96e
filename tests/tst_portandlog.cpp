#include "support/windowharness.h"

#include "app/logformat.h"

class PortAndLog : public QObject {
    Q_OBJECT

private slots:
    void init() { SimReset(); }

    void logStamp()
    {
        QCOMPARE(::logStamp(QTime(9, 5, 3, 7)), QString("09:05:03.007"));
        QCOMPARE(::logStamp(QTime(23, 59, 59, 999)), QString("23:59:59.999"));
    }

    void logKeepsNewest5000LinesInOrder()
    {
        WorkDir dir(false);
        MainWindow w;
        w.findChild<QPushButton*>("pushButton_clear")->click();
        for (int i = 1; i <= 5001; ++i) MainWindowProbe::log(w, QString("line %1").arg(i));
        const QStringList raw = MainWindowProbe::rawLogLines(w);
        QCOMPARE(raw.size(), 5000);
        QCOMPARE(raw.first().mid(12), QString(" line 2"));
        QCOMPARE(raw.last().mid(12), QString(" line 5001"));
        QVERIFY(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d line 2$").match(raw.first()).hasMatch());
        // Lines reach the pane within a frame without an explicit flush.
        MainWindowProbe::log(w, "late");
        auto* pane = MainWindowProbe::ui(w)->plainTextEdit_display;
        QTRY_VERIFY_WITH_TIMEOUT(pane->toPlainText().endsWith(" late"), 200);
    }

    void openPortNeedsAChannel()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        ui->radioButtonCAN1->setAutoExclusive(false);
        ui->radioButtonCAN1->setChecked(false);
        ui->radioButtonCAN2->setChecked(false);
        BoxCatcher boxes;
        ui->pushButton_openport->click();
        QCOMPARE(boxes.texts(), QStringList{"CAN Selected ERROR"});
        QCOMPARE(SimCallCount(SIM_OPEN_DEVICE), 0u);
    }

    void failedOpenReportsAndStaysClosed()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        SimSetFailures(SIM_FAIL_OPEN_DEVICE);
        openPortFails(w);
        if (QTest::currentTestFailed()) return;
        QVERIFY(!ui->pushButton_closeport->isEnabled());
        QVERIFY(MainWindowProbe::can(w)->wait(2000));   // the loop started and ended at once
        SimSetFailures(0);
        ui->pushButton_openport->click();
        QVERIFY(MainWindowProbe::can(w)->isOpen);
        QVERIFY(MainWindowProbe::can(w)->isRunning());
    }

    void openAndClosePort()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        ui->radioButtonCAN2->setChecked(true);
        ui->comboBox_baud->setCurrentIndex(3);
        QCOMPARE(ui->comboBox_baud->currentText(), QString("500k"));
        ui->pushButton_openport->click();
        QVERIFY(MainWindowProbe::can(w)->isOpen);
        CanInitConfig cfg{};
        QVERIFY(SimLastInitConfig(1, &cfg));
        QCOMPARE(int(cfg.timing0), 0x00);
        QCOMPARE(int(cfg.timing1), 0x1C);
        QVERIFY(MainWindowProbe::logLines(w).contains("[CAN] Use CAN 2"));
        QVERIFY(!ui->pushButton_openport->isEnabled());
        QVERIFY(ui->pushButton_closeport->isEnabled());
        QVERIFY(!ui->radioButtonCAN1->isEnabled());

        MainWindowProbe::setCurveDisplaying(w, true);
        ui->plot->setInteractions(QCP::Interactions());
        ui->plot->axisRect()->setRangeZoom(Qt::Vertical);   // as while a display runs
        ui->plot->axisRect()->setRangeDrag(Qt::Vertical);
        takeSent();
        ui->pushButton_closeport->click();
        QCOMPARE(sentBytes(), QList<QByteArray>{QByteArray::fromHex("ffffffff55a1ffff")});
        QVERIFY(!MainWindowProbe::can(w)->isOpen);
        QVERIFY(MainWindowProbe::can(w)->isFinished());
        QCOMPARE(ui->pushButton_display->text(), QString("Display"));
        QVERIFY(ui->plot->interactions().testFlag(QCP::iRangeDrag));
        QVERIFY(ui->plot->interactions().testFlag(QCP::iRangeZoom));
        QCOMPARE(ui->plot->axisRect()->rangeZoom(), Qt::Horizontal | Qt::Vertical);
        QCOMPARE(ui->plot->axisRect()->rangeDrag(), Qt::Horizontal | Qt::Vertical);
        QVERIFY(ui->pushButton_openport->isEnabled());
        QVERIFY(ui->radioButtonCAN2->isEnabled());

        // Closing again sends nothing.
        ui->pushButton_closeport->click();
        QVERIFY(sentBytes().isEmpty());
    }

    void messageBoxKinds()
    {
        WorkDir dir(false);
        MainWindow w;
        {
            BoxCatcher boxes(QMessageBox::Yes);
            QCOMPARE(MainWindowProbe::box(w, QMessageBoxType::Question, "Q", "sure?"), int(QMessageBox::Yes));
        }
        {
            BoxCatcher boxes(QMessageBox::No);
            QCOMPARE(MainWindowProbe::box(w, QMessageBoxType::Question, "Q", "sure?"), int(QMessageBox::No));
        }
        BoxCatcher boxes;
        QTimer::singleShot(0, [] {});
        QCOMPARE(MainWindowProbe::box(w, static_cast<QMessageBoxType>(7), "T", "odd"), int(QMessageBox::Ok));
        QCOMPARE(boxes.boxes.at(0).title, QString("T"));
    }

    void statusPanes()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        emit w.printStateWord("first");
        emit w.printStateWord("second");
        QCOMPARE(ui->lineEdit_state->text(), QString("second"));
        emit w.printErrorWord("Error Word", Qt::blue);
        emit w.printErrorWord("   text", Qt::black);
        QCOMPARE(ui->textEdit_error->toPlainText(), QString("Error Word\n   text"));
        QTextCursor c(ui->textEdit_error->document()->firstBlock());
        c.movePosition(QTextCursor::Right);
        QCOMPARE(c.charFormat().foreground().color(), QColor(Qt::blue));
    }

    void docks()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        const bool floating = ui->dockWidget_control->isFloating();
        MainWindowProbe::controlDockFloating(w, static_cast<DockType>(0));
        MainWindowProbe::controlDockFloating(w, static_cast<DockType>(4));
        QCOMPARE(ui->dockWidget_control->isFloating(), floating);
        MainWindowProbe::controlDockFloating(w, DockType::Dock_Control);
        QCOMPARE(ui->dockWidget_control->isFloating(), !floating);
        MainWindowProbe::controlDockFloating(w, DockType::Dock_Control);
        QCOMPARE(ui->dockWidget_control->isFloating(), floating);

        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        ui->actionDock_Quick_Set->setChecked(true);
        QTRY_VERIFY(ui->dockWidget_quick_set->isVisible());
        ui->dockWidget_quick_set->hide();
        QTRY_VERIFY(!ui->actionDock_Quick_Set->isChecked());
    }
};

QTEST_MAIN(PortAndLog)
#include "tst_portandlog.moc"
