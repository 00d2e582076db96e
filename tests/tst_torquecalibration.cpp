#include "support/windowharness.h"

#include "formats/torquetable.h"

#include <QRegularExpression>
#include <QtEndian>

namespace {

QByteArray hex(const char* t) { return QByteArray::fromHex(t); }

QString writeText(const WorkDir& dir, const QString& name, const QString& text)
{
    const QString path = dir.path() + "/" + name;
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Text)) f.write(text.toUtf8());
    return path;
}

// n increasing points (i + 0.5, 2i + 1), one per line, comma separated.
QString pointLines(int n)
{
    QString t;
    for (int i = 0; i < n; ++i) t += QString("%1, %2\n").arg(i + 0.5).arg(2 * i + 1);
    return t;
}

QString joinedLog(MainWindow& w) { return MainWindowProbe::rawLogLines(w).join('\n'); }

QByteArray pointFrame(int count, int index, double x, double y)
{
    const std::array<quint8, 8> f = torqueTablePointFrame(count, index, {x, y});
    return QByteArray(reinterpret_cast<const char*>(f.data()), 8);
}

}   // namespace

class TorqueCalibration : public QObject {
    Q_OBJECT

private slots:
    void init() { SimReset(); }

    void calibrationToggle()
    {
        SimConfigure("calib_ms", "600000");   // stays calibrating
        WorkDir dir(false);
        MainWindow w;
        auto* button = MainWindowProbe::ui(w)->pushButton_StartCalib;
        const QString formText = button->text();
        BoxCatcher boxes;

        // Port closed: the button springs back, the box shows once.
        button->click();
        QVERIFY(!button->isChecked());
        QCOMPARE(button->text(), formText);
        QCOMPARE(boxes.texts(), QStringList{"请先打开设备"});
        QVERIFY(!MainWindowProbe::reentryGuard(w));

        openPort(w);
        takeSent();
        button->click();
        QVERIFY(button->isChecked());
        QCOMPARE(button->text(), QString("停止校准"));
        button->click();
        QVERIFY(!button->isChecked());
        QCOMPARE(button->text(), QString("1.开始校准"));
        QCOMPARE(sentBytes(), (QList<QByteArray>{hex("f1ffffff70a00000"), hex("f1ffffff70a10000")}));
        QTRY_VERIFY(joinedLog(w).contains("[Trans ]: f1 ff ff ff 70 a1 00 00"));

        // Checked, then the port goes: unchecking fails and leaves it checked.
        button->click();
        MainWindowProbe::ui(w)->pushButton_closeport->click();
        takeSent();
        button->click();
        QVERIFY(button->isChecked());
        QCOMPARE(button->text(), QString("停止校准"));
        QCOMPARE(boxes.texts(), (QStringList{"请先打开设备", "请先打开设备"}));
        QVERIFY(sentBytes().isEmpty());
    }

    void calibrationResultsFillThePage()
    {
        SimConfigure("calib_ms", "200");
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        openPort(w);
        takeSent();
        ui->pushButton_StartCalib->click();
        QVERIFY(ui->pushButton_StartCalib->isChecked());
        QTRY_VERIFY_WITH_TIMEOUT(!ui->pushButton_StartCalib->isChecked(), 3000);
        QCOMPARE(ui->pushButton_StartCalib->text(), QString("1.开始校准"));
        QCOMPARE(ui->label_MotorPhaseResistance_Calib->text(), QString("0.4312"));
        QCOMPARE(ui->label_MotorPhaseInductance_Calib->text(), QString("0.0003057"));
        QCOMPARE(ui->label_MotorPolePairs_Calib->text(), QString("14"));
        QCOMPARE(ui->label_EncoderDir_Calib->text(), QString("正"));
        QCOMPARE(ui->label_EncoderOffset->text(), QString("125873"));
        // The decoder's unchecking sends no stop frame.
        QCOMPARE(sentBytes(), QList<QByteArray>{hex("f1ffffff70a00000")});
    }

    void tableRequest()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        BoxCatcher boxes;
        ui->pushButton_readTorqueCalib->click();
        QCOMPARE(boxes.texts(), QStringList{"请先打开设备"});

        openPort(w);
        takeSent();
        ui->spinBox_id->setValue(5);
        ui->checkBox_EXT->setChecked(true);
        ui->pushButton_readTorqueCalib->click();
        const std::vector<SimSentFrame> sent = takeSent();
        QCOMPARE(sent.size(), size_t(1));
        QCOMPARE(frameBytes(sent[0]), hex("6000000000000000"));
        QCOMPARE(sent[0].frame.id, 5u);
        QCOMPARE(int(sent[0].frame.externFlag), 1);
        QTRY_VERIFY(joinedLog(w).contains("[Trans ]: 60 00 00 00 00 00 00 00"));
        QCOMPARE(boxes.texts().size(), 1);
    }

    void writeRefusesShortOrMissingLists()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        openPort(w);
        takeSent();
        BoxCatcher boxes(QMessageBox::Yes);

        // Cancelled: nothing at all.
        MainWindowProbe::answerOpenDialog(w, [] { return QString(); });
        ui->pushButton_writeTorqueCalib->click();
        QVERIFY(boxes.texts().isEmpty());

        // Nine usable points (a tenth falls to the filter): listed in the log, refused.
        const QString nine = writeText(dir, "nine.txt", pointLines(9) + "9.5, 1\n");
        MainWindowProbe::answerOpenDialog(w, [nine] { return nine; });
        ui->pushButton_clear->click();
        ui->pushButton_writeTorqueCalib->click();
        QCOMPARE(boxes.texts(), QStringList{"数据不足"});
        QVERIFY(joinedLog(w).contains("Selected data: \n(0.5, 1)\n(1.5, 3)\n"));
        QVERIFY(joinedLog(w).contains("(8.5, 17)"));

        // A path that cannot be opened as text: its own log line and box, then the short list.
        QVERIFY(QDir(dir.path()).mkdir("points.txt"));
        const QString folder = dir.path() + "/points.txt";
        MainWindowProbe::answerOpenDialog(w, [folder] { return folder; });
        ui->pushButton_writeTorqueCalib->click();
        QCOMPARE(boxes.texts().mid(1), (QStringList{"Cannot open file: " + folder, "数据不足"}));
        QVERIFY(joinedLog(w).contains("Cannot open file:" + folder));

        // No file at the path.
        MainWindowProbe::answerOpenDialog(w, [&dir] { return dir.path() + "/gone.txt"; });
        ui->pushButton_writeTorqueCalib->click();
        QCOMPARE(boxes.texts().last(), QString("数据不足"));
        QVERIFY(sentBytes().isEmpty());
    }

    void confirmationNoSendsNothing()
    {
        WorkDir dir(false);
        MainWindow w;
        openPort(w);
        takeSent();
        BoxCatcher boxes(QMessageBox::No);
        const QString ten = writeText(dir, "ten.txt", pointLines(10));
        MainWindowProbe::answerOpenDialog(w, [ten] { return ten; });
        MainWindowProbe::ui(w)->pushButton_writeTorqueCalib->click();
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes[0].title, QString("确认写入"));
        QCOMPARE(boxes.boxes[0].text,
                 "以下是点的列表：\n" + pointListText(MainWindowProbe::readPointList(w, ten)) + "\n是否要写入这些点？");
        QVERIFY(boxes.boxes[0].text.contains("(9.5, 19)\n"));
        QVERIFY(sentBytes().isEmpty());
    }

    void onePointPerFrameInOrder()
    {
        WorkDir dir(false);
        MainWindow w;
        openPort(w);
        takeSent();
        BoxCatcher boxes(QMessageBox::Yes);
        // Tab, blank and comma separators, a dropped falling point, a negative start.
        const QString list =
            writeText(dir, "list.csv", "-0.55 0.5\n1\t1.5 extra\n0.8,0.9\n" + pointLines(12).mid(pointLines(1).size()));
        MainWindowProbe::answerOpenDialog(w, [list] { return list; });
        MainWindowProbe::ui(w)->pushButton_writeTorqueCalib->click();
        QCOMPARE(boxes.texts().value(0).left(9), QString("以下是点的列表：\n"));

        QList<QByteArray> want{pointFrame(13, 0, -0.55, 0.5), pointFrame(13, 1, 1, 1.5)};
        for (int i = 1; i < 12; ++i) want << pointFrame(13, i + 1, i + 0.5, 2 * i + 1);
        QCOMPARE(want[0], hex("60010d00fbff0500"));
        QCOMPARE(sentBytes(), want);
        // The drive confirms the whole table.
        QTRY_COMPARE_WITH_TIMEOUT(boxes.texts().mid(1), QStringList{"写入成功"}, 2000);
    }

    // A point the frame cannot carry is neither listed nor sent, and does not cut off the
    // rising points after it; each listed point reaches the drive as listed.
    void listedPointsAreTheSentPoints()
    {
        WorkDir dir(false);
        MainWindow w;
        openPort(w);
        takeSent();
        BoxCatcher boxes(QMessageBox::Yes);
        const QString lines = pointLines(10);
        const QString list = writeText(dir, "list.txt",
                                       "-3276.8, -3276.8\n" + lines.left(lines.indexOf("2.5")) + "7000, 7000\n" +
                                           lines.mid(lines.indexOf("2.5")) + "3276.7, 3276.7\n3276.8, 3277\n");
        MainWindowProbe::answerOpenDialog(w, [list] { return list; });
        MainWindowProbe::ui(w)->pushButton_writeTorqueCalib->click();

        const QString confirm = boxes.texts().value(0);
        static const QRegularExpression point("^\\((\\S+), (\\S+)\\)$");
        QList<QPair<int, int>> listed;
        for (const QString& line : confirm.split('\n')) {
            const QRegularExpressionMatch m = point.match(line);
            if (m.hasMatch())
                listed << qMakePair(int(m.captured(1).toDouble() * 10), int(m.captured(2).toDouble() * 10));
        }
        QCOMPARE(listed.size(), 12);
        QCOMPARE(listed.first(), qMakePair(-32768, -32768));
        QCOMPARE(listed.last(), qMakePair(32767, 32767));
        QVERIFY(!confirm.contains("7000"));

        const QList<QByteArray> sent = sentBytes();
        QCOMPARE(sent.size(), listed.size());
        for (qsizetype i = 0; i < sent.size(); ++i) {
            const auto field = [&](int at) { return int(qFromLittleEndian<qint16>(sent[i].constData() + at)); };
            QCOMPARE(qMakePair(field(4), field(6)), listed[i]);
        }
    }

    void closedPortStopsAtTheFirstFrame()
    {
        WorkDir dir(false);
        MainWindow w;
        BoxCatcher boxes(QMessageBox::Yes);
        const QString ten = writeText(dir, "ten.txt", pointLines(10));
        MainWindowProbe::answerOpenDialog(w, [ten] { return ten; });
        MainWindowProbe::ui(w)->pushButton_writeTorqueCalib->click();
        QCOMPARE(boxes.texts().size(), 2);
        QCOMPARE(boxes.texts().last(), QString("请先打开设备"));
        QVERIFY(sentBytes().isEmpty());
    }
};

QTEST_MAIN(TorqueCalibration)
#include "tst_torquecalibration.moc"
