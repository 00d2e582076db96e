#include "support/windowharness.h"

#include "protocol/motorprotocol.h"

#include <QSet>

#include <cstring>
#include <functional>

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
        QCOMPARE(sentBytes(),
                 (QList<QByteArray>{hex("f146020000000000"), hex("f120020000000000"), hex("f104010700000000"),
                                    hex("f121016400000000"), hex("f1071100 00a84100").replace(" ", ""),
                                    hex("f13a110000003f00"), hex("f10b010500000000")}));
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

    // Every Write button sends its own row's code with its own input's value, every Read
    // button its own row's request: each input holds a value no other input holds.
    void everyRowButton()
    {
        enum In { Float, Trunc, Check, Index, Combo, Spin, ReadOnly, WriteOnly };
        struct Row {
            int code;
            const char* suffix;
            In in;
            const char* input = nullptr;   // doubleSpinBox_<suffix> when not given
        };
        // The form's rows, written out here rather than taken from the tool's own table.
        const Row rows[] = {
            {1, "InvertMotorDir", Check, "checkBox_InvertMotorDir"},
            {2, "Inertia", Float},
            {3, "TorqueCostant", Float},
            {4, "MotorPolePairs", Trunc},
            {5, "MotorPhaseResistance", Float},
            {6, "MotorPhaseInductance", Float},
            {7, "CurrentLimit", Float},
            {8, "VelocityLimit", Float},
            {9, "CalibCurrent", Float},
            {10, "CalibVoltage", Float},
            {11, "ControlMode", Index, "comboBox_ControlMode"},
            {12, "PosGain", Float},
            {13, "VelGain", Float},
            {14, "VelIntegratorGain", Float},
            {15, "CurrentControlBandwidth", Float},
            {16, "SynchronizationEnable", Check, "checkBox_SynchronizationEnable"},
            {17, "VelocityWindow", Float},
            {18, "PositionWindow", Float},
            {19, "TorqueRampRate", Float},
            {20, "VelocityRampGate", Float},
            {21, "PositionFilterBandwidth", Float},
            {22, "ProfileVelocity", Float},
            {23, "profileAccel", Float},
            {24, "ProfileDecel", Float},
            {25, "ProtectUnderVoltage", Float},
            {26, "ProtectOverVoltage", Float},
            {27, "ProtectOverCurrent", Float},
            {30, "NodeID", Trunc},
            {32, "HeartbeatConsumer_ms", Trunc},
            {33, "HeartbeatProducer_ms", Trunc},
            {34, "CalibVaild", ReadOnly},
            {35, "EncoderDir", ReadOnly},
            {36, "EncoderOffset", ReadOnly},
            {37, "ReductionRatio", Float},
            {38, "McuMaxTemperature", Float},
            {40, "MosMaxTemperature", Float},
            {42, "MotorMaxTemperature", Float},
            {48, "Torque", WriteOnly},
            {49, "Velocity", WriteOnly},
            {50, "Position", WriteOnly},
            {52, "stcuk_iq", Float},
            {53, "stcuk_velocity", Float},
            {54, "stcuk_time", Trunc},
            {55, "Current_cutoff", Float},
            {56, "Torque_scale", Float},
            {57, "Current_scale", Float},
            {58, "J_motor", Float},
            {59, "B_motor", Float},
            {60, "Fric_motor", Float},
            {70, "ProductBatch", Combo, "comboBox_ProductBatch"},
            {71, "VendorType", Combo, "comboBox_VendorType"},
            {72, "MotorNumber", Spin, "spinBox_MotorNumber"},
            {73, "HardwareVersion", Combo, "comboBox_HardwareVersion"},
            {74, "MotorType", Combo, "comboBox_MotorType"},
        };
        const QList<int> intCodes{1, 4, 11, 16, 30, 32, 33, 34, 35, 36, 54, 70, 71, 72, 73, 74};
        // op 1 write, 2 read; the value little-endian in bytes 3 to 6.
        auto request = [&intCodes](int code, int op, qint32 value) {
            QByteArray f(8, '\0');
            f[0] = char(0xF1);
            f[1] = char(code);
            f[2] = char((intCodes.contains(code) ? 0x00 : 0x10) | op);
            for (int i = 0; i < 4; ++i) f[3 + i] = char(quint32(value) >> (8 * i));
            return f;
        };

        WorkDir dir(true);   // the value combo boxes need their tables
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        openPort(w);
        BoxCatcher boxes;

        // Distinct values: spread over each box's range; the checks and combos differ too.
        QList<double> used;
        QSet<int> codesUsed;
        int k = 0;
        const auto inputOf = [](const Row& row) {
            return row.input ? QString(row.input) : QStringLiteral("doubleSpinBox_") + row.suffix;
        };
        for (const Row& row : rows) {
            ++k;
            if (row.in == Float || row.in == Trunc || row.in == WriteOnly) {
                auto* box = w.findChild<QDoubleSpinBox*>(inputOf(row));
                QVERIFY2(box, row.suffix);
                box->setValue(box->minimum() + (box->maximum() - box->minimum()) * (0.05 + 0.9 * k / 60.0));
                QVERIFY2(!used.contains(box->value()), row.suffix);
                used << box->value();
            } else if (row.in == Combo) {
                auto* combo = w.findChild<CustomComboBox*>(inputOf(row));
                QVERIFY2(combo, row.suffix);
                int i = 1;
                while (i < combo->count() && codesUsed.contains(combo->itemData(i).toInt())) ++i;
                QVERIFY2(i < combo->count(), row.suffix);
                combo->setCurrentIndex(i);
                codesUsed << combo->getValue();
            }
        }
        ui->spinBox_MotorNumber->setValue(ui->spinBox_MotorNumber->maximum() - 3);
        QVERIFY(!codesUsed.contains(ui->spinBox_MotorNumber->value()));
        ui->checkBox_InvertMotorDir->setChecked(true);
        ui->checkBox_SynchronizationEnable->setChecked(false);
        ui->comboBox_ControlMode->setCurrentIndex(4);   // goes out as 5

        for (const Row& row : rows) {
            auto* write = w.findChild<QPushButton*>(QStringLiteral("pushButton_") + row.suffix);
            auto* read = w.findChild<QPushButton*>(QStringLiteral("pushButton_") + row.suffix + "_2");
            if (row.in != WriteOnly) {
                QVERIFY2(read && read->isEnabled(), row.suffix);
                takeSent();
                read->click();
                QCOMPARE(sentBytes(), QList<QByteArray>{request(row.code, 2, 0)});
            }
            if (row.in == ReadOnly) continue;
            QVERIFY2(write && write->isEnabled(), row.suffix);
            QObject* input = w.findChild<QObject*>(inputOf(row));
            qint32 v = 0;
            switch (row.in) {
            case Float:
            case WriteOnly: {
                const float f = float(qobject_cast<QDoubleSpinBox*>(input)->value());
                std::memcpy(&v, &f, 4);
                break;
            }
            case Trunc: v = qint32(qobject_cast<QDoubleSpinBox*>(input)->value()); break;
            case Check: v = qobject_cast<QCheckBox*>(input)->isChecked() ? 1 : 0; break;
            case Index: v = 5; break;
            case Combo: v = qobject_cast<CustomComboBox*>(input)->getValue(); break;
            case Spin: v = qobject_cast<QSpinBox*>(input)->value(); break;
            case ReadOnly: break;
            }
            takeSent();
            write->click();
            QCOMPARE(sentBytes(), QList<QByteArray>{request(row.code, 1, v)});
        }
        QCOMPARE(boxes.texts(), QStringList());
        // The protection current rows stay disabled.
        for (QPushButton* b : {ui->pushButton_ProtectIBusMax, ui->pushButton_ProtectIBusMax_2,
                               ui->pushButton_ProtectILeakMax, ui->pushButton_ProtectILeakMax_2})
            QVERIFY(!b->isEnabled());
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
        // The replies show what the drive holds; a code the combo box lacks would show "NULL".
        const std::pair<int, std::function<int()>> shown[] = {
            {70, [ui] { return ui->comboBox_ProductBatch->getValue(); }},
            {71, [ui] { return ui->comboBox_VendorType->getValue(); }},
            {72, [ui] { return ui->spinBox_MotorNumber->value(); }},
            {73, [ui] { return ui->comboBox_HardwareVersion->getValue(); }},
            {74, [ui] { return ui->comboBox_MotorType->getValue(); }}};
        for (const auto& [code, value] : shown) {
            double held = 0;
            QVERIFY(SimReadParameter(uint32_t(code), &held));
            QTRY_COMPARE_WITH_TIMEOUT(std::make_pair(code, value()), std::make_pair(code, int(held)), 2000);
        }

        for (CustomComboBox* box :
             {ui->comboBox_ProductBatch, ui->comboBox_VendorType, ui->comboBox_HardwareVersion, ui->comboBox_MotorType})
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
        QCOMPARE(sentBytes(),
                 (QList<QByteArray>{hex("ffffffff56a00000"), hex("f1071100000c4200"), hex("fffffffffffffffc")}));
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
