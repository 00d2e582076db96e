#include "support/windowharness.h"

#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>

#include <functional>

// Holds the first message box open until release() says so or its time is up, and closes
// any further box at once. Polls on its own timer, so it runs inside the boxes' event
// loops; counts the boxes shown at one time.
class HeldBox : public QObject {
public:
    HeldBox(std::function<void()> onHeld, std::function<bool()> release)
        : onHeld_(std::move(onHeld)), release_(std::move(release))
    {
        timer_.setInterval(5);
        connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start();
    }
    static int openBoxes()
    {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox*>(w) && w->isVisible()) ++n;
        return n;
    }
    QStringList texts;   // every box seen, the held one first
    int mostOpen = 0;

private:
    void poll()
    {
        mostOpen = std::max(mostOpen, openBoxes());
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        if (!held_) {
            held_ = box;
            texts << box->text();
            heldFor_.start();
            onHeld_();
            return;
        }
        if (box != held_) {
            if (seen_ != box) texts << box->text();
            seen_ = box;
            box->reject();
            return;
        }
        // A broken guard never meets the condition; the deadline lets the test report it.
        if (release_() || heldFor_.hasExpired(10000)) held_->reject();
    }

    QTimer timer_;
    std::function<void()> onHeld_;
    std::function<bool()> release_;
    QPointer<QMessageBox> held_, seen_;
    QElapsedTimer heldFor_;
};

class ReplyDecoder : public QObject {
    Q_OBJECT

private:
    static void inject(const QByteArray& frame)
    {
        // From another node: "Receive All ID" is ticked at start.
        SimInjectFrame(0, 0x25, reinterpret_cast<const uint8_t*>(frame.constData()), uint8_t(frame.size()), 0);
    }
    static QStringList operatorLines(MainWindow& w)
    {
        return MainWindowProbe::logLines(w).filter(QRegularExpression("^>>> "));
    }
    static QStringList lastLines(MainWindow& w, int n)
    {
        return MainWindowProbe::logLines(w).mid(MainWindowProbe::logLines(w).size() - n);
    }

private slots:
    void init() { SimReset(); }

    void receivedFrameLine()
    {
        WorkDir dir(false);
        MainWindow w;
        MainWindowProbe::ui(w)->pushButton_clear->click();
        MainWindowProbe::decode(w, {0xF1, 0x07, 0x12, 0x00, 0x00, 0x20, 0x41, 0x00}, 12.5f);
        QCOMPARE(MainWindowProbe::logLines(w),
                 (QStringList{"[Recv: 12.500] f1 07 12 00 00 20 41 00", ">>> Get \"CurrentLimit\" Value: 10"}));
        // Unknown first byte: no trace at all; nor for a frame without data bytes.
        MainWindowProbe::decode(w, {0x12, 1, 2, 3, 4, 5, 6, 7});
        const uint8_t stale[8] = {0xF1, 0x07, 0x12, 0x00, 0x00, 0x20, 0x41, 0x00};
        MainWindowProbe::decode(w, stale, 0, 13.0f);
        QCOMPARE(MainWindowProbe::logLines(w).size(), 2);
        // A position reply too short to carry a position is logged, and nothing else.
        MainWindowProbe::decode(w, {0x9C, 0, 0, 0, 0, 0, 0x34});
        QCOMPARE(MainWindowProbe::logLines(w).last(), QString("[Recv: 1.000] 9c 00 00 00 00 00 34"));
        QVERIFY(!MainWindowProbe::positionReceived(w));
    }

    void parameterReplies()
    {
        WorkDir dir(true);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        ui->pushButton_clear->click();
        MainWindowProbe::decode(w, {0xF1, 0x07, 0x12, 0x00, 0x00, 0xA0, 0x41, 0x00});
        QCOMPARE(ui->doubleSpinBox_CurrentLimit->value(), 20.0);
        QCOMPARE(lastLines(w, 1), QStringList{">>> Get \"CurrentLimit\" Value: 20"});
        MainWindowProbe::decode(w, {0xF1, 0x07, 0x03});
        QCOMPARE(lastLines(w, 1), QStringList{">>> Set \"CurrentLimit\" Success"});
        MainWindowProbe::decode(w, {0xF1, 0x07, 0xF3});
        QCOMPARE(lastLines(w, 1), QStringList{">>> Set \"CurrentLimit\" Success"});
        MainWindowProbe::decode(w, {0xF1, 0x07, 0x00});
        QCOMPARE(lastLines(w, 1), QStringList{">>> Set \"CurrentLimit\" Fail"});
        MainWindowProbe::decode(w, {0xF1, 0x20, 0x04});
        QCOMPARE(lastLines(w, 1), QStringList{">>> Set \"HeartbeatConsumer(ms)\" Fail"});

        MainWindowProbe::decode(w, {0xF1, 0x30, 0x02});
        QCOMPARE(lastLines(w, 1), QStringList{">>> Set \"Torque\" Fail"});
        const int before = MainWindowProbe::logLines(w).size();
        MainWindowProbe::decode(w, {0xF1, 0x2C, 0x03});
        QCOMPARE(MainWindowProbe::logLines(w).size(), before + 1);   // the frame line only

        MainWindowProbe::decode(w, {0xF1, 0x0B, 0x02, 0x05});
        QCOMPARE(ui->comboBox_ControlMode->currentIndex(), 4);
        QCOMPARE(lastLines(w, 1), QStringList{">>> Get \"ControlMode\" Value: 转矩标定"});
        MainWindowProbe::decode(w, {0xF1, 0x0B, 0x02, 0x02});
        QCOMPARE(ui->comboBox_ControlMode->currentIndex(), 2);

        ui->checkBox_InvertMotorDir->setChecked(true);
        MainWindowProbe::decode(w, {0xF1, 0x01, 0x02, 0x10});
        QVERIFY(!ui->checkBox_InvertMotorDir->isChecked());
        QCOMPARE(lastLines(w, 1), QStringList{">>> Get \"InvertMotorDir\" Value: 0"});

        MainWindowProbe::decode(w, {0xF1, 0x46, 0x02, 0xFF, 0xFF, 0xFF, 0xFF});
        QCOMPARE(lastLines(w, 1), QStringList{">>> Get \"ProductBatch\" Value: 4294967295"});
        QCOMPARE(ui->comboBox_ProductBatch->currentText(), QString("NULL"));
        MainWindowProbe::decode(w, {0xF1, 0x46, 0x02, 0x02, 0, 0, 0});
        QCOMPARE(ui->comboBox_ProductBatch->getValue(), 2);
        MainWindowProbe::decode(w, {0xF1, 0x48, 0x02, 0x09, 0, 0, 0});
        QCOMPARE(ui->spinBox_MotorNumber->value(), 9);

        MainWindowProbe::decode(w, {0xF1, 0x04, 0x02, 0x0B, 0, 0, 0});
        QCOMPARE(ui->doubleSpinBox_MotorPolePairs->value(), 11.0);
        QCOMPARE(lastLines(w, 1), QStringList{">>> Get \"MotorPolePairs\" Value: 11"});

        MainWindowProbe::decode(w, {0xF1, 0x22, 0x02, 0x01});
        QCOMPARE(ui->lineEdit_CalibVaild->text(), QString("Calibrated"));
        MainWindowProbe::decode(w, {0xF1, 0x22, 0x02, 0x07});
        QCOMPARE(ui->lineEdit_CalibVaild->text(), QString("NULL"));
        MainWindowProbe::decode(w, {0xF1, 0x23, 0x02, 0xFF, 0xFF, 0xFF, 0xFF});
        QCOMPARE(ui->lineEdit_EncoderDir->text(), QString("反"));
        QCOMPARE(lastLines(w, 1), QStringList{">>> Get \"EncoderDir\" Value: -1"});

        MainWindowProbe::decode(w, {0xF1, 0x2C, 0x02, 0x00, 0x00, 0x00, 0x3F});
        QCOMPARE(ui->label_MotorPhaseResistance_Calib->text(), QString("0.5"));
        QCOMPARE(ui->doubleSpinBox_MotorPhaseResistance->value(), 0.5);
        QCOMPARE(lastLines(w, 1), QStringList{">>> Get \"MotorPhaseResistance(Calib)\" Value: 0.5"});
        MainWindowProbe::decode(w, {0xF1, 0x2F, 0x02, 0x01, 0, 0, 0});
        QCOMPARE(ui->label_EncoderDir_Calib->text(), QString("正"));
        QCOMPARE(ui->lineEdit_EncoderDir->text(), QString("正"));
        MainWindowProbe::decode(w, {0xF1, 0x33, 0x02, 0x40, 0xE2, 0x01, 0x00});
        QCOMPARE(ui->label_EncoderOffset->text(), QString("123456"));
        QCOMPARE(lastLines(w, 1), QStringList{">>> Get \"EncoderOffset(calib)\" Value: 123456"});

        // No handler: the frame line only, whatever the status.
        for (uint8_t code : {31, 39, 43, 61, 69, 75, 0xFE}) {
            const int n = MainWindowProbe::logLines(w).size();
            MainWindowProbe::decode(w, {0xF1, code, 0x03});
            MainWindowProbe::decode(w, {0xF1, code, 0x02});
            QCOMPARE(MainWindowProbe::logLines(w).size(), n + 2);
        }
    }

    // Erased flash reads as all ones, a NaN: a box would clamp it to its limit and the next
    // Write send that. The log still shows what came.
    void nonFiniteValuesLeaveBoxes_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("label");   // filled from the same value, or none
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("logged");
        const QByteArray nan = QByteArray::fromHex("ffffffff"), inf = QByteArray::fromHex("0000807f"),
                         minusInf = QByteArray::fromHex("000080ff");
        QTest::newRow("float row, NaN") << 0x07 << "CurrentLimit" << "" << nan << "nan";
        QTest::newRow("float row, +inf") << 0x07 << "CurrentLimit" << "" << inf << "inf";
        QTest::newRow("float row, -inf") << 0x02 << "Inertia" << "" << minusInf << "-inf";
        QTest::newRow("float row of its own widget, NaN") << 0x34 << "stcuk_iq" << "" << nan << "nan";
        QTest::newRow("phase resistance, NaN")
            << 0x2C << "MotorPhaseResistance" << "MotorPhaseResistance_Calib" << nan << "nan";
        QTest::newRow("phase resistance, +inf")
            << 0x2C << "MotorPhaseResistance" << "MotorPhaseResistance_Calib" << inf << "inf";
        QTest::newRow("phase inductance, -inf")
            << 0x2D << "MotorPhaseInductance" << "MotorPhaseInductance_Calib" << minusInf << "-inf";
    }
    void nonFiniteValuesLeaveBoxes()
    {
        QFETCH(int, code);
        QFETCH(QString, box);
        QFETCH(QString, label);
        QFETCH(QByteArray, value);
        QFETCH(QString, logged);
        WorkDir dir(true);
        MainWindow w;
        auto* spin = w.findChild<QDoubleSpinBox*>("doubleSpinBox_" + box);
        QVERIFY(spin);
        QLabel* text = label.isEmpty() ? nullptr : w.findChild<QLabel*>("label_" + label);
        QVERIFY(label.isEmpty() || text);

        // A real value first (0.5), so what stays is told from a start value.
        MainWindowProbe::decode(w, {0xF1, uint8_t(code), 0x02, 0x00, 0x00, 0x00, 0x3F});
        QCOMPARE(spin->value(), 0.5);
        if (text) QCOMPARE(text->text(), QString("0.5"));

        const auto* v = reinterpret_cast<const uint8_t*>(value.constData());
        MainWindowProbe::decode(w, {0xF1, uint8_t(code), 0x02, v[0], v[1], v[2], v[3]});
        QCOMPARE(spin->value(), 0.5);
        if (text) QCOMPARE(text->text(), QString("0.5"));
        QVERIFY2(lastLines(w, 1).constFirst().endsWith("\" Value: " + logged), qPrintable(lastLines(w, 1).join("")));
    }

    void acknowledgements()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        MainWindowProbe::decode(w, {0xF0, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC});
        QVERIFY(!MainWindowProbe::motorModeOn(w));
        MainWindowProbe::decode(w, {0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC, 0x5A});
        QVERIFY(MainWindowProbe::motorModeOn(w));
        QVERIFY(!ui->pushButton_TP_Enable->isEnabled());
        MainWindowProbe::decode(w, {0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFD});
        QVERIFY(!MainWindowProbe::motorModeOn(w));
        QVERIFY(ui->pushButton_TP_Enable->isEnabled());
        QVERIFY(ui->pushButton_EnterMotorMode->isEnabled());

        MainWindowProbe::decode(w, {0xF0, 0xFF, 0x56, 0xA0, 0x41, 0x42, 0x43, 0x00});
        QCOMPARE(MainWindowProbe::productType(w), QString("ABC"));
        MainWindowProbe::decode(w, {0xF0, 0xFF, 0x56, 0xA0, 0x41, 0x42, 0x43, 0x44});
        QCOMPARE(ui->label_type->text(), QString("ABCD"));
        MainWindowProbe::decode(w, {0xF0, 0xFF, 0x57, 0xA0, 0x01, 0x02, 0x0D});
        QCOMPARE(ui->label_FW->text(), QString("1.2.13"));
        QVERIFY(MainWindowProbe::logLines(w).contains(">>> Fw: 1.2.13"));
        QVERIFY(MainWindowProbe::logLines(w).contains(">>> Product Type: ABCD"));

        BoxCatcher boxes;
        MainWindowProbe::decode(w, {0xF0, 0xFF, 0x65, 0xA0, 0x00, 0x00, 0x01});
        MainWindowProbe::decode(w, {0xF0, 0xFF, 0x65, 0x00, 0x00, 0x00, 0x00});
        MainWindowProbe::decode(w, {0xF0, 0xFF, 0x66, 0xA0, 0x00, 0x00, 0x00});
        MainWindowProbe::decode(w, {0xF0, 0xFF, 0x66, 0x01, 0x00, 0x00, 0x00});
        MainWindowProbe::decode(w, {0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE});
        QCOMPARE(boxes.texts(), (QStringList{"Save Configs Fail", "Reset Configs Success", "Reset Configs Fail",
                                             "Set Zero Point SUCCESS"}));
        QCOMPARE(boxes.boxes.at(0).title, QString("ERROR"));
        QCOMPARE(boxes.boxes.at(1).title, QString("Tip"));
        QCOMPARE(boxes.boxes.at(3).title, QString("SUCCESS"));

        ui->pushButton_StartCalib->setChecked(true);
        ui->pushButton_StartCalib->setText("busy");
        MainWindowProbe::decode(w, {0xF0, 0xFF, 0x70, 0xA0, 0x00, 0x00, 0x00});
        QVERIFY(!ui->pushButton_StartCalib->isChecked());
        QCOMPARE(ui->pushButton_StartCalib->text(), QString("1.开始校准"));
    }

    // Later frames are decoded inside a reply's box: a second reply box would nest another
    // event loop per frame. One box at a time; the other replies' texts go to the log.
    void replyBoxesNeverStack()
    {
        WorkDir dir(false);
        SimSetDriveAttached(0);
        MainWindow w;
        openPort(w);
        MainWindowProbe::ui(w)->pushButton_clear->click();

        const QList<std::pair<QByteArray, QString>> kinds = {
            {QByteArray::fromHex("58ff"), "写入成功"},
            {QByteArray::fromHex("f0fffffffffffe"), "Set Zero Point SUCCESS"},
            {QByteArray::fromHex("f0ff65a0000000"), "Save Configs Success"},
            {QByteArray::fromHex("f0ff6501000000"), "Save Configs Fail"},
            {QByteArray::fromHex("f0ff66a0000000"), "Reset Configs Success"},
            {QByteArray::fromHex("f0ff6600000000"), "Reset Configs Fail"},
            {QByteArray::fromHex("5800"), "写入失败！"},
        };
        QStringList logged;
        for (int i = 0; i < 60; ++i) logged << ">>> " + kinds[i % kinds.size()].second;

        {
            HeldBox boxes(
                [&] {
                    for (int i = 0; i < 60; ++i) inject(kinds[i % kinds.size()].first);
                },
                [&] { return operatorLines(w).size() >= logged.size(); });
            inject(QByteArray::fromHex("5800"));
            QTRY_VERIFY(!boxes.texts.isEmpty() && HeldBox::openBoxes() == 0);
            QCOMPARE(boxes.mostOpen, 1);
            QCOMPARE(boxes.texts, QStringList{"写入失败！"});
            QCOMPARE(operatorLines(w), logged);
        }

        // Closed: the next such reply has its box again.
        BoxCatcher next;
        inject(QByteArray::fromHex("f0ff65a0000000"));
        QTRY_COMPARE(next.texts(), QStringList{"Save Configs Success"});
        QCOMPARE(operatorLines(w), logged);
    }

    void statusWords()
    {
        WorkDir dir(true);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        ui->pushButton_clear->click();
        // Before any product type.
        MainWindowProbe::decode(w, {0xF2, 0xFF, 0x00, 0x01, 0, 0, 0});
        MainWindowProbe::decode(w, {0xF2, 0xFF, 0x01, 0x01, 0, 0, 0});
        QStringList log = MainWindowProbe::logLines(w);
        QVERIFY(log.contains("设备类型未知，无法解析电机错误字！"));
        QVERIFY(log.contains("设备类型未知，无法解析电机状态字！"));

        MainWindowProbe::decode(w, {0xF0, 0xFF, 0x56, 0xA0, 'Q', 'M', '7', '2'});
        MainWindowProbe::decode(w, {0xF2, 0xFF, 0x00, 0x00, 0, 0, 0});
        QCOMPARE(ui->textEdit_error->toPlainText(), QString("Error Word\n   PADDING"));
        QVERIFY(MainWindowProbe::logLines(w).contains(">>> PADDING"));

        // A full status request: the motor error word clears the pane, the others append.
        MainWindowProbe::decode(w, {0xF2, 0xFF, 0x02, 0x01, 0, 0, 0});
        MainWindowProbe::decode(w, {0xF2, 0xFF, 0x03, 0x01, 0, 0, 0});
        MainWindowProbe::decode(w, {0xF2, 0xFF, 0x00, 0x03, 0, 0, 0});
        StateChecker sc;
        QVERIFY(sc.loadYamlFile("state_config.yaml"));
        QList<QString> err;
        QVERIFY(sc.getErrorWords("QM72", 3, err));
        QCOMPARE(err.size(), 2);
        QCOMPARE(ui->textEdit_error->toPlainText(), "Error Word\n   " + err[0] + "\n   " + err[1]);

        // Bit 31 widened: the error word also reports the texts of bits 32 to 63.
        MainWindowProbe::decode(w, {0xF2, 0xFF, 0x00, 0x00, 0, 0, 0x80});
        err.clear();
        sc.getErrorWords("QM72", 0xFFFFFFFF80000000ull, err);
        QVERIFY(!err.isEmpty());
        QCOMPARE(ui->textEdit_error->toPlainText().split('\n').size(), 1 + err.size());

        // State word: exact lookup, bit 31 alone finds nothing.
        QString state;
        QVERIFY(sc.getStateWord("QM72", 2, state));
        MainWindowProbe::decode(w, {0xF2, 0xFF, 0x01, 0x02, 0, 0, 0});
        QCOMPARE(ui->lineEdit_state->text(), state);
        QVERIFY(MainWindowProbe::logLines(w).contains(">>> Motor " + state));
        MainWindowProbe::decode(w, {0xF2, 0xFF, 0x01, 0x00, 0, 0, 0x80});
        QCOMPARE(ui->lineEdit_state->text(), QString("PADDING"));

        // A model the file lacks.
        MainWindowProbe::decode(w, {0xF0, 0xFF, 0x56, 0xA0, 'X', 'Y', 'Z', 0});
        MainWindowProbe::decode(w, {0xF2, 0xFF, 0x03, 0x01, 0, 0, 0});
        QCOMPARE(MainWindowProbe::logLines(w).last(), QString("配置文件缺少\"XYZ\""));
        // Wrong byte 1 or kind: the frame line only.
        const int n = MainWindowProbe::logLines(w).size();
        MainWindowProbe::decode(w, {0xF2, 0xFE, 0x00, 0x01});
        MainWindowProbe::decode(w, {0xF2, 0xFF, 0x04, 0x01});
        QCOMPARE(MainWindowProbe::logLines(w).size(), n + 2);
    }
};

QTEST_MAIN(ReplyDecoder)
#include "tst_replydecoder.moc"
