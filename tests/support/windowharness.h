// Drives the real main window in tests: a working directory with or without the
// definition files, modal boxes caught and closed, the log and the sent frames read back.
#pragma once

#include "can.h"
#include "ecanvci.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"
#include "loadyaml.h"
#include "nwheeldoublespinbox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <vector>

// Friend of MainWindow: reaches what the tests check.
class MainWindowProbe {
public:
    static Ui_MainWindow* ui(MainWindow& w) { return w.ui; }
    static CanThread* can(MainWindow& w) { return w.canThread; }
    static bool motorModeOn(MainWindow& w) { return w.motorModeOn; }
    static void setCurveDisplaying(MainWindow& w, bool on) { w.curveDisplaying = on; }
    static QString productType(MainWindow& w) { return w.productType; }
    static int roundtripMode(MainWindow& w) { return w.roundtripMode; }
    static void decode(MainWindow& w, std::initializer_list<uint8_t> bytes, float t = 1.0f)
    {
        uint8_t d[8] = {};
        int n = 0;
        for (uint8_t b : bytes) d[n++] = b;
        w.deal_recv_data(d, n, t);
    }
    static bool read(MainWindow& w, MotorConfig c, bool show) { return w.MotorReadConfig(c, show); }
    static bool write(MainWindow& w, MotorConfig c, float v, bool show) { return w.MotorWriteConfig(c, v, show); }
    static bool write(MainWindow& w, MotorConfig c, int v, bool show) { return w.MotorWriteConfig(c, v, show); }
    static bool command(MainWindow& w, MotorType t, bool show) { return w.MotorTransmitType(t, show); }
    static void modeChange(MainWindow& w, MotorType t) { w.MotorModeChange(t); }
    static int box(MainWindow& w, QMessageBoxType t, const QString& title, const QString& text)
    {
        return w.QMessageBoxWindow(t, title, text);
    }
    static void controlDockFloating(MainWindow& w, DockType d) { w.controlDockFloating(d); }
    static void log(MainWindow& w, const QString& text) { emit w.writeLog(text); }

    // Log lines without their time stamps.
    static QStringList logLines(MainWindow& w)
    {
        w.flushLog();
        QStringList out;
        const QStringList lines = w.ui->plainTextEdit_display->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString& l : lines) out << l.mid(13);
        return out;
    }
    static QStringList rawLogLines(MainWindow& w)
    {
        w.flushLog();
        return w.ui->plainTextEdit_display->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // -- configuration files, roundtrip tests, hybrid page, temperature monitor --
    static RoundtripTimer* roundtripTimer(MainWindow& w) { return w.roundtripTimer; }
    static WorkerPool* workers(MainWindow& w) { return w.workers.get(); }
    static bool temperatureStreaming(MainWindow& w) { return w.temperatureStreaming; }
    static bool temperatureRescalePending(MainWindow& w) { return w.temperatureRescalePending; }
    static bool temperaturePlotting(MainWindow& w) { return w.temperaturePlotting; }
    static QTimer& temperatureTimer(MainWindow& w) { return w.temperatureTimer; }
    static QCPGraph* temperatureGraph(MainWindow& w, int k)
    {
        return (k == 1 ? w.temperatureGraph1 : k == 2 ? w.temperatureGraph2 : w.temperatureGraph3).data();
    }
    static QVector<QCPGraphData>* temperatureData(MainWindow& w, int k)
    {
        return k == 1 ? w.temperatureData1 : k == 2 ? w.temperatureData2 : w.temperatureData3;
    }
    static void temperaturePlotSlot(MainWindow& w) { w.temperaturePlotSlot(); }
    static bool& reentryGuard(MainWindow& w) { return w.reentryGuard; }

    // -- firmware update, calibration, identification --
    // Answers the open / save file dialogs with what fn returns.
    static void answerOpenDialog(MainWindow& w, std::function<QString()> fn)
    {
        w.openFileDialogHook = [fn](QWidget*, const QString&, const QString&) { return fn(); };
    }
    static void answerSaveDialog(MainWindow& w, std::function<QString()> fn)
    {
        w.saveFileDialogHook = [fn](QWidget*, const QString&, const QString&) { return fn(); };
    }
    static bool fwDone(MainWindow& w) { return w.fwDone.load(); }
    static bool fwSuccess(MainWindow& w) { return w.fwSuccess.load(); }
    static int fwProgress(MainWindow& w) { return w.fwProgress.load(); }
    static bool fwUpdateBusy(MainWindow& w) { return w.fwUpdateBusy.load(); }
    static QString fwVersion(MainWindow& w) { return w.fwVersion; }
    static QProgressDialog* progressDialog(MainWindow& w) { return w.progressDialog; }
    static QTemporaryFile& calibrationDataFile(MainWindow& w) { return w.calibrationDataFile; }
    static QCPGraph* curveGraph(MainWindow& w, int k)
    {
        return (k == 1 ? w.curveGraph1 : k == 2 ? w.curveGraph2 : w.curveGraph3).data();
    }
    static void saveCalibrationData(MainWindow& w) { w.SaveCalibrationData(); }
    static QList<std::pair<double, double>> readPointList(MainWindow& w, const QString& path)
    {
        w.processExcelFile(path, QStringLiteral("W8K113"));
        return w.torqueCalibPoints;
    }

    // -- live plot, stream decoder, progress display --
    static QList<checkedItem> checkedItems(MainWindow& w) { return w.checkedItems; }
    static int channelCount(MainWindow& w) { return w.channelCount; }
    static bool curveDisplaying(MainWindow& w) { return w.curveDisplaying; }
    static bool& firstSamplePending(MainWindow& w) { return w.firstSamplePending; }
    static float curveTimeOrigin(MainWindow& w) { return w.curveTimeOrigin; }
    static float lastSampleTime(MainWindow& w) { return w.lastSampleTime; }
    static const QCPGraphDataContainer& points(MainWindow& w, int k) { return *curveGraph(w, k)->data(); }
    static QTimer& plotTimer(MainWindow& w) { return w.plotTimer; }
    static QTimer& progressTimer(MainWindow& w) { return w.progressTimer; }
    static void redraw(MainWindow& w) { w.timerSlot(); }
    static void progressTick(MainWindow& w) { w.updateFwProgressUI(); }
    static void identificationTick(MainWindow& w, qint64 elapsedMs) { w.identificationProgressTick(elapsedMs); }
    static int& progressMode(MainWindow& w) { return w.progressMode; }
    static int& identifySeconds(MainWindow& w) { return w.identifySeconds; }
    static void setFirmwareState(MainWindow& w, int progress, bool done, bool success)
    {
        w.fwSuccess = success;
        w.fwProgress = progress;
        w.fwDone = done;
    }
    static uint16_t tpCurrentPosition(MainWindow& w) { return w.tpCurrentPosition; }
    static bool positionReceived(MainWindow& w) { return w.positionReceived.load(); }
    static AxisTag* axisTag(MainWindow& w, int k) { return k == 1 ? w.axisTag1 : k == 2 ? w.axisTag2 : w.axisTag3; }
};

// Records every modal message box (title, text) and answers it.
class BoxCatcher : public QObject {
public:
    struct Box {
        QString title;
        QString text;
    };
    explicit BoxCatcher(QMessageBox::StandardButton answer = QMessageBox::Ok) : answer_(answer)
    {
        timer_.setInterval(5);
        connect(&timer_, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box == last_) return;
            last_ = box;
            boxes << Box{box->windowTitle(), box->text()};
            QAbstractButton* b = box->button(answer_);
            if (!b) b = box->button(QMessageBox::Ok);
            if (b) b->click();
            else box->reject();
        });
        timer_.start();
    }
    QStringList texts() const
    {
        QStringList t;
        for (const Box& b : boxes) t << b.text;
        return t;
    }
    QList<Box> boxes;

private:
    QTimer timer_;
    QMessageBox::StandardButton answer_;
    QPointer<QMessageBox> last_;
};

// A working directory for one window: empty, or holding the three definition files.
class WorkDir {
public:
    explicit WorkDir(bool withDefinitions)
    {
        previous_ = QDir::currentPath();
        if (withDefinitions) {
            for (const char* f : {"state_config.yaml", "motor_config.yaml", "motor_parameter_config.yaml"})
                QFile::copy(QStringLiteral(QUINTREL_CONFIG_DIR "/") + f, dir_.filePath(f));
        }
        QDir::setCurrent(dir_.path());
    }
    ~WorkDir() { QDir::setCurrent(previous_); }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QString previous_;
};

inline std::vector<SimSentFrame> takeSent()
{
    std::vector<SimSentFrame> out(8192);
    out.resize(SimTakeTransmitted(out.data(), uint32_t(out.size())));
    return out;
}

inline QByteArray frameBytes(const SimSentFrame& f)
{
    return QByteArray(reinterpret_cast<const char*>(f.frame.data), f.frame.dataLen);
}

inline QList<QByteArray> sentBytes()
{
    QList<QByteArray> out;
    for (const SimSentFrame& f : takeSent()) out << frameBytes(f);
    return out;
}

// Writes image as a file in dir and presses Update FW; the file dialog is answered once the
// drive's version and type are shown.
inline void pressUpdateWithImage(MainWindow& w, const QString& dir, const QByteArray& image)
{
    Ui_MainWindow* ui = MainWindowProbe::ui(w);
    const QString path = dir + "/fw.rbl";
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(image);
    f.close();
    MainWindowProbe::answerOpenDialog(w, [ui, path] {
        for (int i = 0; i < 300 && (ui->label_type->text().isEmpty() || ui->label_FW->text().isEmpty()); ++i)
            QTest::qWait(10);
        return path;
    });
    ui->pushButton_updateFW->click();
}

// Opens the port on CAN 1 at the form's baud rate.
inline void openPort(MainWindow& w)
{
    Ui_MainWindow* ui = MainWindowProbe::ui(w);
    ui->radioButtonCAN1->setChecked(true);
    ui->pushButton_openport->click();
    QVERIFY(MainWindowProbe::can(w)->isOpen);
}

// Runs the application's event loop as the program's main does, ending when the last
// window closes, with start as its first work. A guard ends a loop that never would.
inline void runLikeMain(std::function<void()> start, int limitMs = 30000)
{
    const bool quitOnClose = qApp->quitOnLastWindowClosed();
    qApp->setQuitOnLastWindowClosed(true);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, qApp, &QCoreApplication::quit);
    guard.start(limitMs);
    QTimer::singleShot(0, qApp, std::move(start));
    qApp->exec();
    qApp->setQuitOnLastWindowClosed(quitOnClose);
}

// A shown window closed by a test: deleted on close, or kept (as main keeps it) until the
// test ends. addRows gives a test one row of each.
struct ClosableWindow {
    static void addRows()
    {
        QTest::addColumn<bool>("deleteOnClose");
        QTest::newRow("window deleted on close") << true;
        QTest::newRow("window kept until the event loop ends") << false;
    }
    explicit ClosableWindow(bool deleteOnClose) : w(new MainWindow), alive(w), kept(deleteOnClose ? nullptr : w)
    {
        w->setAttribute(Qt::WA_DeleteOnClose, deleteOnClose);
        w->show();
    }
    MainWindow* w;
    QPointer<MainWindow> alive;
    std::unique_ptr<MainWindow> kept;
};
