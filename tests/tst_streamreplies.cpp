#include "support/windowharness.h"

#include <QProgressDialog>
#include <QSignalSpy>

class StreamReplies : public QObject {
    Q_OBJECT

private:
    using Bytes = std::initializer_list<uint8_t>;

    static QStringList lines(MainWindow& w) { return MainWindowProbe::logLines(w); }

    // Starts a display of the given channels with the port open and no drive on the bus.
    static void display(MainWindow& w, std::initializer_list<QCheckBox*> boxes)
    {
        SimSetDriveAttached(0);
        openPort(w);
        for (QCheckBox* b : boxes) b->setChecked(true);
        MainWindowProbe::ui(w)->pushButton_display->click();
        QVERIFY(MainWindowProbe::curveDisplaying(w));
        MainWindowProbe::ui(w)->pushButton_clear->click();
    }

    static QList<double> keys(MainWindow& w, int k)
    {
        QList<double> out;
        const QCPGraphDataContainer& pts = MainWindowProbe::points(w, k);
        for (auto it = pts.constBegin(); it != pts.constEnd(); ++it) out << it->key;
        return out;
    }
    static QList<double> values(MainWindow& w, int k)
    {
        QList<double> out;
        const QCPGraphDataContainer& pts = MainWindowProbe::points(w, k);
        for (auto it = pts.constBegin(); it != pts.constEnd(); ++it) out << it->value;
        return out;
    }

private slots:
    void init() { SimReset(); }

    void temperatures()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        ui->pushButton_clear->click();
        MainWindowProbe::decode(w, {0xF5, 0x00, 0x00, 0x7F, 0xFF, 0xFF, 0xFF, 0x00}, 3.25f);
        QCOMPARE(ui->label_Temp1->text(), QString("-45.00"));
        QCOMPARE(ui->label_Temp2->text(), QString("65.00"));
        QCOMPARE(ui->label_Temp3->text(), QString("175.00"));
        QCOMPARE(lines(w), QStringList{"[Recv: 3.250] -45.00 65.00 175.00"});

        ui->radioButton_10->setChecked(true);
        MainWindowProbe::decode(w, {0xF5, 0x12, 0x34, 0x00, 0x00, 0x00, 0x00, 0x00}, 3.5f);
        QCOMPARE(lines(w).last(), QString("[Recv: 3.500] f5 12 34 00 00 00 00 00"));
    }

    void liveSampleTiming()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        display(w, {ui->checkBox_aCurrent});
        ui->checkBox_showInText->setChecked(true);

        // Nothing counts until the adapter's clock has passed one second.
        MainWindowProbe::decode(w, {0xFA, 0x80, 0x00}, 0.9f);
        QVERIFY(lines(w).isEmpty());
        QVERIFY(MainWindowProbe::firstSamplePending(w));

        MainWindowProbe::decode(w, {0xFA, 0x80, 0x00}, 1.2f);
        QVERIFY(!MainWindowProbe::firstSamplePending(w));
        QCOMPARE(MainWindowProbe::curveTimeOrigin(w), 1.2f);
        QVERIFY(keys(w, 1).isEmpty());   // the origin frame itself is not plotted

        MainWindowProbe::decode(w, {0xFA, 0x80, 0x00}, 1.21f);
        QVERIFY(keys(w, 1).isEmpty());
        MainWindowProbe::decode(w, {0xFA, 0x80, 0x00}, 1.225f);
        QCOMPARE(keys(w, 1).size(), 1);
        QCOMPARE(keys(w, 1)[0], double(1.225f - 1.2f));
        QCOMPARE(MainWindowProbe::lastSampleTime(w), 1.225f);
        // Every frame after the first second is logged, plotted or not.
        QCOMPARE(lines(w), (QStringList{"[Recv: 1.200] 0.00", "[Recv: 1.210] 0.00", "[Recv: 1.225] 0.00"}));
    }

    void sampleScalingAndLogForms()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        display(w, {ui->checkBox_aCurrent});
        ui->checkBox_showInText->setChecked(true);
        MainWindowProbe::decode(w, {0xFA, 0x00, 0x00}, 2.0f);
        MainWindowProbe::decode(w, {0xFA, 0x00, 0x00}, 2.1f);
        MainWindowProbe::decode(w, {0xFA, 0xFF, 0xFF}, 2.2f);
        MainWindowProbe::decode(w, {0xFA, 0x80, 0x00}, 2.3f);
        QCOMPARE(values(w, 1).mid(0, 2), (QList<double>{-60.0, 60.0}));
        QVERIFY(qAbs(values(w, 1)[2]) < 0.001);
        QCOMPARE(lines(w).mid(1), (QStringList{"[Recv: 2.100] -60.00", "[Recv: 2.200] 60.00", "[Recv: 2.300] 0.00"}));

        ui->radioButton_10->setChecked(true);
        MainWindowProbe::decode(w, {0xFA, 0x12, 0x34, 0x56}, 2.4f);   // length bounds the hex form
        QCOMPARE(lines(w).last(), QString("[Recv: 2.400] fa 12 34 56"));

        ui->checkBox_showInText->setChecked(false);
        const int before = lines(w).size();
        MainWindowProbe::decode(w, {0xFA, 0x00, 0x00}, 2.5f);
        QCOMPARE(lines(w).size(), before);
        QCOMPARE(keys(w, 1).size(), 5);   // still plotted
    }

    void onlyTheDisplayedChannelsAreRead()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        display(w, {ui->checkBox_ElecAngle, ui->checkBox_BusVoltage});
        ui->checkBox_showInText->setChecked(true);
        MainWindowProbe::decode(w, {0xFA, 0x00, 0x00, 0xFF, 0xFF, 0x12, 0x34, 0x56}, 5.0f);
        MainWindowProbe::decode(w, {0xFA, 0xFF, 0xFF, 0x00, 0x00, 0x12, 0x34, 0x56}, 5.1f);
        QCOMPARE(values(w, 1).size(), 1);
        QVERIFY(qAbs(values(w, 1)[0] - 6.28) < 1e-5);
        QCOMPARE(values(w, 2), QList<double>{0.0});
        QVERIFY(keys(w, 3).isEmpty());
        QCOMPARE(lines(w).last(), QString("[Recv: 5.100] 6.28 0.00"));
        // A frame carrying one channel of the two shown is no sample: no point, no line.
        const uint8_t shortFrame[8] = {0xFA, 0xFF, 0xFF, 0x00, 0x77, 0x77, 0x77, 0x77};
        MainWindowProbe::decode(w, shortFrame, 4, 5.2f);
        QCOMPARE(values(w, 1).size(), 1);
        QCOMPARE(lines(w).last(), QString("[Recv: 5.100] 6.28 0.00"));
    }

    void timeRunningBackwards()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        display(w, {ui->checkBox_aCurrent});
        ui->checkBox_showInText->setChecked(true);
        for (float t : {3.0f, 3.5f, 4.0f}) MainWindowProbe::decode(w, {0xFA, 0x80, 0x00}, t);
        QCOMPARE(keys(w, 1).size(), 2);
        // The adapter's clock wraps round: nothing is plotted until it passes the last point.
        for (float t : {0.5f, 2.0f, 4.01f}) MainWindowProbe::decode(w, {0xFA, 0x80, 0x00}, t);
        QCOMPARE(keys(w, 1).size(), 2);
        QCOMPARE(lines(w).size(), 6);   // but every frame is logged
        MainWindowProbe::decode(w, {0xFA, 0x80, 0x00}, 4.03f);
        QCOMPARE(keys(w, 1).size(), 3);
        QCOMPARE(keys(w, 1).last(), double(4.03f - 3.0f));
    }

    void samplesWithoutAValidChannelCountAreDropped()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        SimSetDriveAttached(0);
        openPort(w);
        ui->checkBox_showInText->setChecked(true);
        BoxCatcher boxes;
        for (QCheckBox* b :
             {ui->checkBox_aCurrent, ui->checkBox_bCurrent, ui->checkBox_cCurrent, ui->checkBox_dCurrent})
            b->setChecked(true);
        ui->pushButton_display->click();
        QCOMPARE(MainWindowProbe::channelCount(w), 4);
        ui->pushButton_clear->click();
        MainWindowProbe::decode(w, {0xFA, 1, 2, 3, 4, 5, 6, 7}, 2.0f);
        MainWindowProbe::decode(w, {0xFA, 1, 2, 3, 4, 5, 6, 7}, 3.0f);
        QVERIFY(lines(w).isEmpty());
        for (int k = 1; k <= 3; ++k) QVERIFY(keys(w, k).isEmpty());
    }

    void identificationRun()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        // The export dialog is the exporter's business; here only the request counts.
        QObject::disconnect(&w, &MainWindow::requestSaveCalibrationData, nullptr, nullptr);
        QSignalSpy saves(&w, &MainWindow::requestSaveCalibrationData);
        ui->pushButton_clear->click();

        MainWindowProbe::decode(w, {0xFB, 0x10}, 0.3f);
        QProgressDialog* dialog = MainWindowProbe::progressDialog(w);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->labelText(), QString("正在辨识参数..."));
        QCOMPARE(MainWindowProbe::progressMode(w), 1);
        QVERIFY(MainWindowProbe::progressTimer(w).isActive());
        QCOMPARE(MainWindowProbe::progressTimer(w).interval(), 100);
        QVERIFY(MainWindowProbe::plotTimer(w).isActive());
        QCOMPARE(MainWindowProbe::curveGraph(w, 1)->name(), QString("电机速度"));
        QCOMPARE(MainWindowProbe::curveGraph(w, 2)->name(), QString("Iq电流"));
        QVERIFY(!MainWindowProbe::curveGraph(w, 3)->visible());
        QVERIFY(ui->plot->legend->visible());
        QVERIFY(!ui->plot->legend->item(2)->visible());
        QCOMPARE(ui->plot->axisRect()->rangeZoom(), Qt::Orientations(Qt::Vertical));
        QTemporaryFile& file = MainWindowProbe::calibrationDataFile(w);
        QVERIFY(file.isOpen());
        QCOMPARE(file.size(), 0);

        // The first sample is the origin, whatever its time; extremes of both scales.
        MainWindowProbe::decode(w, {0xFB, 0x1F, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00}, 0.3f);
        MainWindowProbe::decode(w, {0xFB, 0x1F, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF}, 0.8f);
        MainWindowProbe::decode(w, {0xFB, 0x1F, 0x80, 0x00, 0x00, 0x40, 0x00, 0x00}, 0.81f);   // not thinned
        QCOMPARE(values(w, 1).mid(0, 2), (QList<double>{200.0, -200.0}));
        QCOMPARE(values(w, 2).mid(0, 2), (QList<double>{-20.0, 20.0}));
        QCOMPARE(keys(w, 1).size(), 3);
        QCOMPARE(MainWindowProbe::identifySeconds(w), 0);
        MainWindowProbe::decode(w, {0xFB, 0x1F, 0x80, 0x00, 0x00, 0x80, 0x00, 0x00}, 2.95f);
        QCOMPARE(MainWindowProbe::identifySeconds(w), 2);
        QVERIFY(lines(w).isEmpty());   // identification frames are never logged

        file.flush();
        QFile check(file.fileName());
        QVERIFY(check.open(QIODevice::ReadOnly));
        const QStringList rows = QString::fromUtf8(check.readAll()).split('\n');
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows[0], QString("0.0000 200.0000 -20.0000"));
        QCOMPARE(rows[1], QString("0.5000 -200.0000 20.0000"));
        QCOMPARE(rows[2].section(' ', 0, 0), QString("0.5100"));
        QCOMPARE(rows[4], QString());

        MainWindowProbe::decode(w, {0xFB, 0x11}, 3.0f);
        QVERIFY(!MainWindowProbe::progressTimer(w).isActive());
        QVERIFY(!dialog->isVisible());
        QVERIFY(!MainWindowProbe::plotTimer(w).isActive());
        QCOMPARE(ui->plot->axisRect()->rangeZoom(), Qt::Horizontal | Qt::Vertical);
        QCOMPARE(saves.size(), 1);
        QVERIFY(file.isOpen());

        // Unknown identification frames change nothing; a new run starts an empty file.
        MainWindowProbe::decode(w, {0xFB, 0x12}, 3.1f);
        QCOMPARE(saves.size(), 1);
        MainWindowProbe::decode(w, {0xFB, 0x10}, 4.0f);
        QCOMPARE(file.size(), 0);
        QVERIFY(keys(w, 1).isEmpty());
        MainWindowProbe::decode(w, {0xFB, 0x11}, 4.5f);
    }

    void hybridPositionAndFeedback()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        ui->pushButton_clear->click();
        MainWindowProbe::decode(w, {0x9C, 1, 2, 3, 4, 5, 0x34, 0x12}, 7.0f);
        QVERIFY(MainWindowProbe::positionReceived(w));
        QCOMPARE(MainWindowProbe::tpCurrentPosition(w), uint16_t(0x1234));
        QCOMPARE(ui->lineEdit_TP_currentPosition->text(), QString("4660"));
        QCOMPARE(lines(w), QStringList{"[Recv: 7.000] 9c 01 02 03 04 05 34 12"});

        MainWindowProbe::decode(w, {0x33, 0x00, 0x10, 0x00, 0xFF, 0xFF, 0x78, 0x56}, 7.5f);
        QCOMPARE(MainWindowProbe::tpCurrentPosition(w), uint16_t(0x5678));
        QCOMPARE(ui->lineEdit_TP_currentTorque->text(), QString("16"));
        QCOMPARE(ui->lineEdit_TP_currentSpeed->text(), QString("65535"));
        QCOMPARE(ui->lineEdit_TP_currentPosition->text(), QString("22136"));
        QCOMPARE(lines(w).last(), QString("[Recv: 7.500] 33 00 10 00 ff ff 78 56"));
    }

    void tableWriteResult()
    {
        WorkDir dir(false);
        MainWindow w;
        BoxCatcher boxes;
        MainWindowProbe::decode(w, {0x58, 0xFF});
        MainWindowProbe::decode(w, {0x58, 0x00});
        QCOMPARE(boxes.boxes.size(), 2);
        QCOMPARE(boxes.boxes[0].title, QString("Tip"));
        QCOMPARE(boxes.boxes[0].text, QString("写入成功"));
        QCOMPARE(boxes.boxes[1].title, QString("Warnning"));
        QCOMPARE(boxes.boxes[1].text, QString("写入失败！"));
    }

    void torqueTableLoggedWhole()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        ui->pushButton_clear->click();
        const auto pane = [ui, &w] {
            w.flushLog();
            return ui->plainTextEdit_display->toPlainText();
        };
        MainWindowProbe::decode(w, {0x60, 0x10, 0x03, 0x00, 0x0A, 0x00, 0x05, 0x00});
        MainWindowProbe::decode(w, {0x60, 0x11, 0x03, 0x01, 0x63, 0x00, 0x63, 0x00});   // not a table row
        // A logged frame between the rows must not disturb the table.
        MainWindowProbe::decode(w, {0x9C, 0, 0, 0, 0, 0, 0x01, 0x00}, 8.0f);
        MainWindowProbe::decode(w, {0x60, 0x10, 0x03, 0x01, 0x14, 0x00, 0x0F, 0x00});
        QCOMPARE(pane().count("Current"), 0);
        MainWindowProbe::decode(w, {0x60, 0x10, 0x03, 0x02, 0xE8, 0x03, 0xFF, 0xFF});
        const QString text = pane();
        const QString table =
            "Current \t Torque  (3)\n"
            "\t1.0\t   0.5\n"
            "\t2.0\t   1.5\n"
            "\t100.0\t   6553.5\n";
        QVERIFY2(text.contains(table), qPrintable(text));
        QCOMPARE(text.count("Current"), 1);
        QVERIFY(text.contains("[Recv: 8.000] 9c 00 00 00 00 00 01 00"));

        // A second read starts afresh with its first row.
        MainWindowProbe::decode(w, {0x60, 0x10, 0x01, 0x00, 0x01, 0x00, 0x02, 0x00});
        QVERIFY(pane().contains("Current \t Torque  (1)\n\t0.1\t   0.2\n"));
    }
};

QTEST_MAIN(StreamReplies)
#include "tst_streamreplies.moc"
