#include "support/windowharness.h"

#include "app/parameterrows.h"

namespace {
QByteArray hex(const char* t) { return QByteArray::fromHex(t); }
}

class ParameterAccess : public QObject {
    Q_OBJECT

private slots:
    void init() { SimReset(); }

    void refusalsSendNothing()
    {
        WorkDir dir(false);
        MainWindow w;
        openPort(w);
        takeSent();
        BoxCatcher boxes;
        MainWindowProbe::decode(w, {0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC, 0x00});
        QVERIFY(MainWindowProbe::motorModeOn(w));
        QVERIFY(!MainWindowProbe::write(w, MotorConfig::ControlMode, 2, true));
        QVERIFY(!MainWindowProbe::read(w, MotorConfig::Torque, true));
        QVERIFY(!MainWindowProbe::write(w, MotorConfig::MotorPolePairs, 7.0f, true));
        QVERIFY(!MainWindowProbe::write(w, MotorConfig::MotorNumber, -1, false));
        QVERIFY(!MainWindowProbe::command(w, MotorType::NoFrame, false));
        QVERIFY(!MainWindowProbe::command(w, MotorType::NoFrame, true));
        QVERIFY(!MainWindowProbe::command(w, MotorType::GetState, false));
        QVERIFY(!MainWindowProbe::read(w, static_cast<MotorConfig>(31), false));
        QCOMPARE(boxes.texts(), (QStringList{"未知错误", "未知错误", "参数错误", "未知错误"}));
        QVERIFY(sentBytes().isEmpty());
        const QStringList log = MainWindowProbe::logLines(w);
        QVERIFY(log.contains(">>> Set \"ControlMode\" Fail, Please exit MotorMode"));
        QVERIFY(log.contains(">>> 请先获取设备类型"));
        for (const QString& l : log) QVERIFY2(!l.startsWith("[Trans ]"), qPrintable(l));
    }

    void requestsAndTheirLogLines()
    {
        WorkDir dir(false);
        MainWindow w;
        openPort(w);
        takeSent();
        MainWindowProbe::ui(w)->pushButton_clear->click();
        QVERIFY(MainWindowProbe::read(w, MotorConfig::ProductBatch, true));
        QVERIFY(MainWindowProbe::read(w, MotorConfig::HeartbeatConsumer_ms, true));
        QVERIFY(MainWindowProbe::write(w, MotorConfig::MotorPolePairs, 7, true));
        QVERIFY(MainWindowProbe::write(w, MotorConfig::HeartbeatProducer_ms, 100, true));
        QVERIFY(MainWindowProbe::write(w, MotorConfig::CurrentLimit, 21.0f, true));
        QVERIFY(MainWindowProbe::write(w, MotorConfig::J_motor, 0.5f, true));
        MainWindowProbe::ui(w)->comboBox_ControlMode->setCurrentIndex(4);
        QVERIFY(MainWindowProbe::write(w, MotorConfig::ControlMode, 4, true));
        QCOMPARE(sentBytes(), (QList<QByteArray>{hex("f146020000000000"), hex("f120020000000000"),
                                                 hex("f104010700000000"), hex("f121016400000000"),
                                                 hex("f1071100 00a84100").replace(" ", ""), hex("f13a110000003f00"),
                                                 hex("f10b010500000000")}));
        QTest::qWait(30);
        const QStringList log = MainWindowProbe::logLines(w);
        QCOMPARE(log.filter(QRegularExpression("^>>> (Send|Set) .*(Value: |get command)")),
                 (QStringList{">>> Send \"HeartbeatConsumer_ms\" get command", ">>> Set \"MotorPolePairs\" Value: 7",
                              ">>> Set \"HeartbeatProducer(ms)\" Value: 100", ">>> Set \"CurrentLimit\" Value: 21",
                              ">>> Send \"J_motor\" Value: 0.5", ">>> Set \"ControlMode\" Value: 转矩标定"}));
        QVERIFY(log.contains("[Trans ]: f1 46 02 00 00 00 00 00"));
    }

    void failedSendKeepsItsLineAndShowsTheBox()
    {
        WorkDir dir(false);
        MainWindow w;
        BoxCatcher boxes;
        QVERIFY(!MainWindowProbe::write(w, MotorConfig::CurrentLimit, 21.0f, true));
        QVERIFY(!MainWindowProbe::write(w, MotorConfig::CurrentLimit, 21.0f, false));
        QCOMPARE(boxes.texts(), QStringList{"请先打开设备"});
        const QStringList log = MainWindowProbe::logLines(w);
        QCOMPARE(log.filter("CurrentLimit").size(), 2);
        QVERIFY(log.filter("[Trans").isEmpty());
    }

    void motorModeChangeAdjustsCurrentLimit_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("type");
        QTest::addColumn<double>("limit");   // 0: untouched
        QTest::newRow("index 4, QM72") << 4 << "QM72" << 25.0;
        QTest::newRow("index 1, lower case") << 1 << "qm72" << 21.0;
        QTest::newRow("index 4, other") << 4 << "T71" << 21.0;
        QTest::newRow("index 0") << 0 << "QM72" << 0.0;
        QTest::newRow("index 3") << 3 << "QM72" << 0.0;
    }

    void motorModeChangeAdjustsCurrentLimit()
    {
        QFETCH(int, index);
        QFETCH(QString, type);
        QFETCH(double, limit);
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        openPort(w);
        ui->comboBox_ControlMode->setCurrentIndex(index);
        ui->label_type->setText(type);
        ui->doubleSpinBox_CurrentLimit->setValue(3.0);
        takeSent();
        MainWindowProbe::modeChange(w, MotorType::ExitMotorMode);
        QList<QByteArray> want{hex("ffffffff56a00000"), hex("fffffffffffffffd")};
        if (limit > 0) {
            protocol::Frame f = protocol::writeRequest(MotorConfig::CurrentLimit, float(limit));
            want << QByteArray(reinterpret_cast<const char*>(f.data()), 8);
        }
        QCOMPARE(sentBytes(), want);
        QCOMPARE(ui->doubleSpinBox_CurrentLimit->value(), limit > 0 ? limit : 3.0);
    }

    void enterAndZeroPointWithChannelClosed()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        for (QPushButton* b : {ui->pushButton_EnterMotorMode, ui->pushButton_SetZeroPoint}) {
            BoxCatcher boxes;
            b->click();
            QCOMPARE(boxes.texts(), QStringList{"请先打开设备"});
        }
        QCOMPARE(SimCallCount(SIM_TRANSMIT), 0u);
    }

    void receiveFilter()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        ui->pushButton_clear->click();
        ui->spinBox_id->setValue(0x1F);
        QCOMPARE(MainWindowProbe::can(w)->filterId.load(), 31u);
        QVERIFY(MainWindowProbe::logLines(w).isEmpty());
        ui->checkBox_recvAll->setChecked(false);
        QVERIFY(!MainWindowProbe::can(w)->recvAll);
        QCOMPARE(MainWindowProbe::logLines(w), QStringList{">>> Receive CAN ID: 31"});
        ui->spinBox_id->setValue(0x20);
        QCOMPARE(MainWindowProbe::logLines(w).last(), QString(">>> Receive CAN ID: 32"));
        ui->checkBox_recvAll->setChecked(true);
        QCOMPARE(MainWindowProbe::logLines(w).last(), QString(">>> Receive All ID"));
        // Frames go to the identifier and with the flags of the form.
        openPort(w);
        ui->checkBox_EXT->setChecked(true);
        takeSent();
        ui->pushButton_Inertia_2->click();
        const auto sent = takeSent();
        QCOMPARE(sent.size(), size_t(1));
        QCOMPARE(sent[0].frame.id, 0x20u);
        QCOMPARE(int(sent[0].frame.externFlag), 1);
        QCOMPARE(int(sent[0].frame.remoteFlag), 0);
    }

    // Every Write and Read button sends its row's request with the input's value.
    void everyRowButton()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        openPort(w);
        ui->comboBox_ControlMode->setCurrentIndex(2);
        ui->doubleSpinBox_MotorPolePairs->setValue(7);
        for (const ParameterRow& row : kParameterRows) {
            const QString suffix = row.suffix;
            auto* write = w.findChild<QPushButton*>("pushButton_" + suffix);
            auto* read = w.findChild<QPushButton*>("pushButton_" + suffix + "_2");
            if (row.hasRead && read->isEnabled()) {
                takeSent();
                read->click();
                QCOMPARE(sentBytes(), QList<QByteArray>{QByteArray(reinterpret_cast<const char*>(protocol::readRequest(row.code).data()), 8)});
            }
            if (row.hasWrite && write->isEnabled()) {
                takeSent();
                BoxCatcher boxes;
                write->click();
                const QList<QByteArray> sent = sentBytes();
                if (row.kind == RowInput::ComboValue) {   // "NULL" chosen: refused
                    QCOMPARE(boxes.texts(), QStringList{"参数错误"});
                    QVERIFY(sent.isEmpty());
                    continue;
                }
                QCOMPARE(sent.size(), 1);
                QCOMPARE(uint8_t(sent[0][1]), uint8_t(row.code));
                QCOMPARE(uint8_t(sent[0][2]) & 0xF0, row.kind == RowInput::Float ? 0x10 : 0x00);
            }
        }
        // The truncated int overload and the control-mode index.
        takeSent();
        ui->pushButton_MotorPolePairs->click();
        ui->pushButton_ControlMode->click();
        QCOMPARE(sentBytes(), (QList<QByteArray>{hex("f104010700000000"), hex("f10b010200000000")}));
        // Rows 28 and 29 are disabled; the read-only rows have no bound Write button.
        QVERIFY(!ui->pushButton_ProtectIBusMax->isEnabled());
        QVERIFY(!ui->pushButton_ProtectILeakMax_2->isEnabled());
    }

    void informationRowsAllAtOnce()
    {
        WorkDir dir(true);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        {
            BoxCatcher boxes;
            ui->pushButton_ReadALLinformation->click();
            ui->pushButton_WriteALLinformation->click();
            QCOMPARE(boxes.texts(), (QStringList{"请先打开设备", "请先打开设备"}));
        }
        openPort(w);
        takeSent();
        ui->pushButton_ReadALLinformation->click();
        const auto sent = takeSent();
        QCOMPARE(sent.size(), size_t(5));
        for (int i = 0; i < 5; ++i) QCOMPARE(int(sent[i].frame.data[1]), 70 + i);
        QVERIFY(sent[4].timeUs - sent[0].timeUs >= 38000);

        for (CustomComboBox* box : {ui->comboBox_ProductBatch, ui->comboBox_VendorType, ui->comboBox_HardwareVersion,
                                    ui->comboBox_MotorType})
            box->setCurrentIndex(1);
        ui->spinBox_MotorNumber->setValue(9);
        ui->pushButton_WriteALLinformation->click();
        const QList<QByteArray> writes = sentBytes();
        QCOMPARE(writes.size(), 5);
        QCOMPARE(writes[2], hex("f148010900000000"));
    }

    void saveInformationAsksFirst()
    {
        WorkDir dir(false);
        MainWindow w;
        openPort(w);
        takeSent();
        {
            BoxCatcher no(QMessageBox::No);
            MainWindowProbe::ui(w)->pushButton_SaveInformation->click();
            QCOMPARE(no.boxes.at(0).title, QString("确认"));
            QCOMPARE(no.boxes.at(0).text, QString("是否写入？"));
        }
        QVERIFY(sentBytes().isEmpty());
        BoxCatcher yes(QMessageBox::Yes);
        MainWindowProbe::ui(w)->pushButton_SaveInformation->click();
        QCOMPARE(sentBytes(), QList<QByteArray>{hex("f1ffffff64a00000")});
    }

    // Against the simulated drive, through the adapter stand-in and the receive thread.
    void endToEnd()
    {
        WorkDir dir(true);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        openPort(w);
        ui->pushButton_clear->click();
        ui->doubleSpinBox_CurrentLimit->setValue(1.0);
        ui->pushButton_CurrentLimit_2->click();
        QTRY_COMPARE(ui->doubleSpinBox_CurrentLimit->value(), 21.0);
        QTRY_VERIFY(MainWindowProbe::logLines(w).contains(">>> Get \"CurrentLimit\" Value: 21"));
        const QStringList log = MainWindowProbe::logLines(w);
        QCOMPARE(log.at(0), QString(">>> Send \"CurrentLimit\" get command"));
        QCOMPARE(log.at(1), QString("[Trans ]: f1 07 12 00 00 00 00 00"));
        QVERIFY(log.at(2).startsWith("[Recv: ") && log.at(2).endsWith("] f1 07 12 00 00 a8 41 00"));
        QCOMPARE(log.at(3), QString(">>> Get \"CurrentLimit\" Value: 21"));

        // Enter motor mode in speed-ramp mode: current limit 35 first, buttons follow the drive.
        ui->comboBox_ControlMode->setCurrentIndex(1);
        takeSent();
        ui->pushButton_EnterMotorMode->click();
        QCOMPARE(sentBytes(), (QList<QByteArray>{hex("ffffffff56a00000"), hex("f1071100000c4200"),
                                                 hex("fffffffffffffffc")}));
        QTRY_VERIFY(MainWindowProbe::motorModeOn(w));
        QVERIFY(!ui->pushButton_EnterMotorMode->isEnabled());
        QVERIFY(ui->pushButton_ExitMotorMode->isEnabled());
        QVERIFY(!ui->pushButton_SetZeroPoint->isEnabled());
        double limit = 0;
        QVERIFY(SimReadParameter(7, &limit));
        QCOMPARE(limit, 35.0);

        // Status words, as texts of the definition file.
        QTRY_COMPARE(ui->label_type->text(), QString("QM72"));
        ui->pushButton_getState->click();
        QTRY_VERIFY(!ui->lineEdit_state->text().isEmpty());
        QVERIFY(MainWindowProbe::logLines(w).filter(">>> Motor ").size() == 1);
        QTRY_VERIFY(ui->textEdit_error->toPlainText().contains("Warnning"));

        // Leave motor mode; save and reset answer with their boxes.
        ui->pushButton_ExitMotorMode->click();
        QTRY_VERIFY(!MainWindowProbe::motorModeOn(w));
        BoxCatcher boxes;
        ui->pushButton_SaveConfigs->click();
        QTRY_COMPARE(boxes.texts(), QStringList{"Save Configs Success"});
        ui->pushButton_ResetConfigs->click();
        QTRY_COMPARE(boxes.texts().size(), 2);
        QCOMPARE(boxes.texts().at(1), QString("Reset Configs Success"));
        ui->pushButton_SetZeroPoint->click();
        QTRY_COMPARE(boxes.texts().size(), 3);
        QCOMPARE(boxes.texts().at(2), QString("Set Zero Point SUCCESS"));
        ui->pushButton_fw->click();
        QTRY_COMPARE(ui->label_FW->text(), QString("1.6.0"));
    }
};

QTEST_MAIN(ParameterAccess)
#include "tst_parameteraccess.moc"
