#include "support/windowharness.h"

#include "support/filesizelimit.h"

#include <QProgressDialog>
#include <QRegularExpression>

namespace {

QByteArray hex(const char* t) { return QByteArray::fromHex(t); }

QStringList fileLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Counts the export dialogs and answers them with path.
struct SaveAnswer {
    int asked = 0;
    void install(MainWindow& w, const QString& path)
    {
        MainWindowProbe::answerSaveDialog(w, [this, path] {
            ++asked;
            return path;
        });
    }
};

}   // namespace

class Identification : public QObject {
    Q_OBJECT

private slots:
    void init() { SimReset(); }

    void closedPortChangesNothing()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        ui->comboBox_ControlMode->setCurrentIndex(0);
        BoxCatcher boxes;
        ui->pushButton_Identify->click();
        QCOMPARE(boxes.texts(), QStringList{"请先打开设备"});
        QCOMPARE(ui->comboBox_ControlMode->currentIndex(), 0);
        QVERIFY(sentBytes().isEmpty());
    }

    void startSequence()
    {
        SimConfigure("identify_s", "600");
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        SaveAnswer save;
        save.install(w, QString());
        openPort(w);
        takeSent();
        ui->pushButton_Identify->click();
        QCOMPARE(ui->comboBox_ControlMode->currentIndex(), 2);
        const std::vector<SimSentFrame> sent = takeSent();
        QList<QByteArray> bytes;
        for (const SimSentFrame& f : sent) bytes << frameBytes(f);
        QCOMPARE(bytes, (QList<QByteArray>{hex("f10b010200000000"), hex("ffffffff56a00000"), hex("fffffffffffffffc"),
                                           hex("f130110000803f00")}));
        // Two pauses: after the mode write, and after entering motor mode.
        QVERIFY(sent[1].timeUs - sent[0].timeUs >= 50000);
        QVERIFY(sent[3].timeUs - sent[2].timeUs >= 50000);
    }

    void runPlotsTwoCurvesAndOffersTheExport()
    {
        SimConfigure("identify_s", "1");
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        BoxCatcher boxes;
        SaveAnswer save;
        const QString target = dir.path() + "/run.csv";
        save.install(w, target);
        openPort(w);
        ui->pushButton_Identify->click();
        QTRY_COMPARE_WITH_TIMEOUT(save.asked, 1, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(boxes.texts(), QStringList{"文件已保存至: " + target}, 1000);
        QVERIFY(!MainWindowProbe::progressDialog(w)->isVisible());

        QCPGraph* speed = MainWindowProbe::curveGraph(w, 1);
        QCPGraph* iq = MainWindowProbe::curveGraph(w, 2);
        QCOMPARE(speed->name(), QString("电机速度"));
        QCOMPARE(iq->name(), QString("Iq电流"));
        QVERIFY(speed->visible() && iq->visible());
        QVERIFY(!MainWindowProbe::curveGraph(w, 3)->visible());
        QCOMPARE(speed->dataCount(), 500);   // every sample plotted
        QCOMPARE(iq->dataCount(), 500);

        const QStringList lines = fileLines(target);
        QCOMPARE(lines.size(), 500);
        QVERIFY(lines.first().startsWith("0.0000 "));
        static const QRegularExpression format("^\\d+\\.\\d{4} -?\\d+\\.\\d{4} -?\\d+\\.\\d{4}$");
        for (const QString& l : lines) QVERIFY2(format.match(l).hasMatch(), qPrintable(l));
    }

    void exportHoldsOnlyTheLastRun()
    {
        SimConfigure("identify_s", "2");
        WorkDir dir(false);
        MainWindow w;
        BoxCatcher boxes;
        SaveAnswer save;
        save.install(w, dir.path() + "/first.csv");
        openPort(w);
        MainWindowProbe::ui(w)->pushButton_Identify->click();
        QTRY_COMPARE_WITH_TIMEOUT(save.asked, 1, 6000);
        QCOMPARE(fileLines(dir.path() + "/first.csv").size(), 1000);

        // Motor mode is still on: the second press starts the run with its torque write alone.
        SimConfigure("identify_s", "1");
        save.install(w, dir.path() + "/second.csv");
        MainWindowProbe::ui(w)->pushButton_Identify->click();
        QTRY_COMPARE_WITH_TIMEOUT(save.asked, 2, 6000);
        const QStringList second = fileLines(dir.path() + "/second.csv");
        QCOMPARE(second.size(), 500);
        QVERIFY(second.first().startsWith("0.0000 "));
    }

    void dataFileLines()
    {
        WorkDir dir(false);
        MainWindow w;
        BoxCatcher boxes;
        SaveAnswer save;
        const QString target = dir.path() + "/decoded.csv";
        save.install(w, target);
        MainWindowProbe::decode(w, {0xFB, 0x10}, 0.3f);
        MainWindowProbe::decode(w, {0xFB, 0x1F, 0, 0, 0, 0, 0, 0}, 0.3f);
        MainWindowProbe::decode(w, {0xFB, 0x1F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0.8f);
        MainWindowProbe::decode(w, {0xFB, 0x1F, 0xFF, 0xFF, 0xFF, 0, 0, 0}, 1.55f);
        MainWindowProbe::decode(w, {0xFB, 0x11}, 1.6f);
        QCOMPARE(save.asked, 1);
        QCOMPARE(fileBytes(target),
                 QByteArray("0.0000 -200.0000 -20.0000\n0.5000 200.0000 20.0000\n1.2500 200.0000 -20.0000\n"));
        QCOMPARE(boxes.texts(), QStringList{"文件已保存至: " + target});
    }

    // The end frame repeated while its export's dialog is open (decoded in the dialog's own
    // event loop) opens no second dialog: one export, and a log line for the repeat.
    void repeatedEndOpensOneExport()
    {
        WorkDir dir(false);
        MainWindow w;
        BoxCatcher boxes;
        const QString target = dir.path() + "/once.csv";
        int asked = 0;
        MainWindowProbe::answerSaveDialog(w, [&] {
            if (++asked < 50) MainWindowProbe::decode(w, {0xFB, 0x11}, 2.0f);
            return target;
        });
        MainWindowProbe::decode(w, {0xFB, 0x10}, 1.5f);
        MainWindowProbe::decode(w, {0xFB, 0x11}, 1.6f);
        QCOMPARE(asked, 1);
        QCOMPARE(boxes.texts(), QStringList{"文件已保存至: " + target});
        QCOMPARE(MainWindowProbe::logLines(w).filter(">>> Identification data export already open").size(), 1);
        // Once it has closed, the next run's end opens its export again.
        MainWindowProbe::decode(w, {0xFB, 0x11}, 3.0f);
        QCOMPARE(asked, 2);
    }

    void exportCopiesTheDataFile()
    {
        WorkDir dir(false);
        MainWindow w;
        BoxCatcher boxes;
        SaveAnswer save;
        const QString target = dir.path() + "/out.csv";

        // Before any run: an empty file, still confirmed.
        save.install(w, target);
        MainWindowProbe::saveCalibrationData(w);
        QCOMPARE(fileBytes(target), QByteArray());
        QCOMPARE(boxes.texts(), QStringList{"文件已保存至: " + target});

        // Unflushed lines are exported, and writing goes on after the export.
        QTemporaryFile& data = MainWindowProbe::calibrationDataFile(w);
        QVERIFY(data.open());
        data.write("0.0000 1.0000 2.0000\n");
        MainWindowProbe::saveCalibrationData(w);
        QCOMPARE(fileBytes(target), QByteArray("0.0000 1.0000 2.0000\n"));
        data.write("0.0020 3.0000 4.0000\n");
        MainWindowProbe::saveCalibrationData(w);
        QCOMPARE(fileBytes(target), QByteArray("0.0000 1.0000 2.0000\n0.0020 3.0000 4.0000\n"));
        QCOMPARE(boxes.texts().size(), 3);

        // Cancelled: nothing written, no box.
        save.install(w, QString());
        MainWindowProbe::saveCalibrationData(w);
        QCOMPARE(boxes.texts().size(), 3);

        // A target that cannot be opened.
        const QString bad = dir.path() + "/no/such/dir/out.csv";
        save.install(w, bad);
        MainWindowProbe::saveCalibrationData(w);
        QCOMPARE(boxes.texts().last(), "无法保存校准数据: " + bad);
        QCOMPARE(save.asked, 5);
    }

    // An export that fails part-way (a full disk) keeps the previous file byte for byte and
    // leaves nothing half-written beside it.
    void failedExportKeepsThePreviousFile()
    {
        WorkDir dir(false);
        QTemporaryDir files;
        MainWindow w;
        BoxCatcher boxes;
        SaveAnswer save;
        const QString target = files.filePath("run.csv");
        QTemporaryFile& data = MainWindowProbe::calibrationDataFile(w);
        QVERIFY(data.open());
        data.write("0.0000 1.0000 2.0000\n");
        save.install(w, target);
        MainWindowProbe::saveCalibrationData(w);
        const QByteArray previous = fileBytes(target);
        QCOMPARE(previous, QByteArray("0.0000 1.0000 2.0000\n"));

        for (int i = 1; i < 10; ++i) data.write(QByteArray::number(i) + ".0000 1.0000 2.0000\n");
        QVERIFY(data.flush());
        {
            FileSizeLimit limit(previous.size() + 8);
            if (!limit.active()) QSKIP("no file-size limit here");
            MainWindowProbe::saveCalibrationData(w);
        }
        QCOMPARE(boxes.texts(), (QStringList{"文件已保存至: " + target, "无法保存校准数据: " + target}));
        QCOMPARE(fileBytes(target), previous);
        QCOMPARE(QDir(files.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"run.csv"});
    }
};

QTEST_MAIN(Identification)
#include "tst_identification.moc"
