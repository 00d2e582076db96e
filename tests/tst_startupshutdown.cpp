#include "support/windowharness.h"

#include "app/logformat.h"

#include <QHelpEvent>

class StartupShutdown : public QObject {
    Q_OBJECT

private slots:
    void init() { SimReset(); }

    void startsWithoutDefinitionFiles()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        const QStringList log = MainWindowProbe::logLines(w);
        QCOMPARE(log.mid(0, 4), (QStringList{">>> Receive All ID", ">>> File \"state_config.yaml\" Load FAIL!",
                                             ">>> File \"motor_config.yaml\" Load FAIL!",
                                             ">>> File \"motor_parameter_config.yaml\" Load FAIL!"}));
        for (CustomComboBox* box : {ui->comboBox_ProductBatch, ui->comboBox_MotorType, ui->comboBox_VendorType,
                                    ui->comboBox_HardwareVersion}) {
            QCOMPARE(box->count(), 1);
            QCOMPARE(box->itemText(0), QString("NULL"));
        }
        // The form's own values stay; the window works.
        MainWindow formOnly;
        QCOMPARE(ui->doubleSpinBox_CurrentLimit->value(),
                 MainWindowProbe::ui(formOnly)->doubleSpinBox_CurrentLimit->value());
        QVERIFY(w.windowTitle().endsWith(" V1.6.5"));
        BoxCatcher boxes;
        ui->radioButtonCAN1->setChecked(true);
        ui->pushButton_openport->click();
        QVERIFY(MainWindowProbe::can(w)->isOpen);
    }

    void appliesParameterDefinitions()
    {
        WorkDir dir(true);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        const QStringList log = MainWindowProbe::logLines(w);
        QVERIFY(log.contains(">>> File \"state_config.yaml\" Load OK"));
        QVERIFY(log.contains(">>> File \"motor_config.yaml\" Load OK"));
        QVERIFY(log.indexOf(">>> File \"motor_config.yaml\" Load OK") <
                log.indexOf(">>> File \"motor_parameter_config.yaml\" Load OK"));
        QVERIFY(ui->comboBox_ProductBatch->count() > 1);
        QCOMPARE(ui->comboBox_MotorType->itemText(1), QString("QM72"));   // key order

        MotorParameterLoader loader;
        QVERIFY(loader.loadFromFile("motor_parameter_config.yaml"));
        const Parameter* p = loader.getParameterByName("电机电流限制");
        QVERIFY(p);
        QCOMPARE(ui->doubleSpinBox_CurrentLimit->minimum(), p->min_value);
        QCOMPARE(ui->doubleSpinBox_CurrentLimit->maximum(), p->max_value);
        QCOMPARE(ui->doubleSpinBox_CurrentLimit->value(), p->value);
    }

    // The file's range applies before its default: a default the form's own range would
    // clamp is shown as written; one outside the file's range is clamped to that range.
    void definitionDefaultsShownAsWritten_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("shown");
        QTest::newRow("beyond the form's range") << 150.0 << 150.0;
        QTest::newRow("at the file's maximum") << 200.0 << 200.0;
        QTest::newRow("above the file's maximum") << 250.0 << 200.0;
        QTest::newRow("below the file's minimum") << -5.0 << 0.0;
    }
    void definitionDefaultsShownAsWritten()
    {
        QFETCH(double, value);
        WorkDir dir(false);
        QFile f("motor_parameter_config.yaml");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(
            QStringLiteral("parameters:\n  - name: \"转动惯量\"\n    value: %1\n    min_value: 0\n    max_value: 200\n")
                .arg(value)
                .toUtf8());
        f.close();
        MainWindow w;
        auto* box = MainWindowProbe::ui(w)->doubleSpinBox_Inertia;
        QCOMPARE(box->minimum(), 0.0);
        QCOMPARE(box->maximum(), 200.0);
        QTEST(box->value(), "shown");
    }

    void swallowsToolTipsOnly()
    {
        WorkDir dir(false);
        MainWindow w;
        QWidget* label = MainWindowProbe::ui(w)->pushButton_openport;
        QHelpEvent tip(QEvent::ToolTip, QPoint(1, 1), QPoint(1, 1));
        QVERIFY(w.eventFilter(label, &tip));
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QVERIFY(!w.eventFilter(label, &press));
        QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
        QVERIFY(!w.eventFilter(label, &key));
    }

    void startValues()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        QCOMPARE(MainWindowProbe::roundtripMode(w), 48);
        QVERIFY(!ui->pushButton_closeport->isEnabled());
        QVERIFY(!ui->pushButton_ExitMotorMode->isEnabled());
        QVERIFY(!ui->pushButton_CalibVaild->isEnabled());
        QVERIFY(!ui->pushButton_EncoderOffset->isEnabled());
        QVERIFY(!ui->pushButton_EncoderDir->isEnabled());
        QVERIFY(ui->dockWidget_control->isHidden());
        QVERIFY(ui->dockWidget_quick_set->isHidden());
        QVERIFY(ui->widget_serial_text->isHidden());
        QVERIFY(ui->actionDock_Source->isChecked());
        QCOMPARE(ui->plainTextEdit_display->maximumBlockCount(), 5000);
        QVERIFY(MainWindowProbe::can(w)->recvAll);
    }

    void closingStopsTheDisplayBeforeTheChannel()
    {
        WorkDir dir(false);
        {
            auto w = std::make_unique<MainWindow>();
            openPort(*w);
            MainWindowProbe::setCurveDisplaying(*w, true);
            takeSent();
            w.reset();
        }
        QCOMPARE(SimDeviceOpen(), 0);
        const QList<QByteArray> sent = sentBytes();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.at(0), QByteArray::fromHex("ffffffff55a1ffff"));

        // Channel closed: nothing is sent, the adapter untouched.
        SimReset();
        {
            MainWindow w;
        }
        QCOMPARE(SimCallCount(SIM_TRANSMIT), 0u);
        QCOMPARE(SimCallCount(SIM_CLOSE_DEVICE), 0u);
    }
};

QTEST_MAIN(StartupShutdown)
#include "tst_startupshutdown.moc"
