// The test seam of the main window, shared by the tests, the benchmarks and the fuzz target.
#pragma once

#include "app/mainwindow/mainwindow.h"
#include "forms/ui_mainwindow.h"

#include <QMutexLocker>
#include <QTimer>

#include <functional>
#include <initializer_list>

// Friend of MainWindow: the one way in for the tests, the benchmarks and the window-level
// fuzz target. Reads return values; the few setters put the window in states that the
// form cannot reach without a drive.
class MainWindowProbe {
public:
    static Ui_MainWindow* ui(MainWindow& w) { return w.ui.get(); }
    static CanThread* can(MainWindow& w) { return w.canThread.get(); }
    static bool motorModeOn(MainWindow& w) { return w.motorModeOn; }
    static void setCurveDisplaying(MainWindow& w, bool on) { w.curveDisplaying = on; }
    static QString productType(MainWindow& w) { return w.productType; }
    static int roundtripMode(MainWindow& w) { return static_cast<int>(w.roundtripMode); }
    static void decode(MainWindow& w, std::initializer_list<uint8_t> bytes, float t = 1.0f)
    {
        uint8_t d[8] = {};
        int n = 0;
        for (uint8_t b : bytes) d[n++] = b;
        w.deal_recv_data(d, n, t);
    }
    static void decode(MainWindow& w, const uint8_t* frame, int length, float t) { w.deal_recv_data(frame, length, t); }
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
        const QStringList lines =
            w.ui->plainTextEdit_display->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
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
    static QString fwVersion(MainWindow& w)
    {
        QMutexLocker lock(&w.fwVersionMutex);
        return w.fwVersion;
    }
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
    static bool firstSamplePending(MainWindow& w) { return w.firstSamplePending; }
    static float curveTimeOrigin(MainWindow& w) { return w.curveTimeOrigin; }
    static float lastSampleTime(MainWindow& w) { return w.lastSampleTime; }
    static const QCPGraphDataContainer& points(MainWindow& w, int k) { return *curveGraph(w, k)->data(); }
    static const QTimer& plotTimer(MainWindow& w) { return w.plotTimer; }
    static QTimer& progressTimer(MainWindow& w) { return w.progressTimer; }
    static void redraw(MainWindow& w) { w.timerSlot(); }
    static void progressTick(MainWindow& w) { w.updateFwProgressUI(); }
    static void identificationTick(MainWindow& w, qint64 elapsedMs) { w.identificationProgressTick(elapsedMs); }
    static int progressMode(MainWindow& w) { return static_cast<int>(w.progressMode); }
    static void setProgressMode(MainWindow& w, int mode) { w.progressMode = static_cast<ProgressMode>(mode); }
    static int identifySeconds(MainWindow& w) { return w.identifySeconds; }
    static void setIdentifySeconds(MainWindow& w, int seconds) { w.identifySeconds = seconds; }
    static void setFirmwareState(MainWindow& w, int progress, bool done, bool success)
    {
        w.fwSuccess = success;
        w.fwProgress = progress;
        w.fwDone = done;
    }
    static uint16_t tpCurrentPosition(MainWindow& w) { return w.tpCurrentPosition; }
    static bool positionReceived(MainWindow& w) { return w.positionReceived.load(); }
    static AxisTag* axisTag(MainWindow& w, int k) { return k == 1 ? w.axisTag1 : k == 2 ? w.axisTag2 : w.axisTag3; }

    // -- states the fuzz target sets without a drive --
    static void setProductType(MainWindow& w, const QString& type) { w.productType = type; }
    // The live display as the Display button leaves it, with these channels.
    static void setDisplay(MainWindow& w, const QList<checkedItem>& channels)
    {
        w.checkedItems = channels;
        w.channelCount = int(channels.size());
        // Each run starts from empty graphs.
        for (QCPGraph* g : {w.curveGraph1.data(), w.curveGraph2.data(), w.curveGraph3.data()}) g->data()->clear();
        if (!channels.isEmpty() && channels.size() <= 3) {
            w.firstSamplePending = true;
            w.curveDisplaying = true;
            w.startCurvePlot();
        } else {
            w.curveDisplaying = false;
            w.stopCurvePlot();
        }
    }
    // Temperature recording as the plot button leaves it on an open port.
    static void setTemperatureRecording(MainWindow& w, bool on)
    {
        w.on_pushButton_clearTemperature_clicked();
        w.temperaturePlotting = on;
        if (on) {
            w.temperatureStartTime = QDateTime::currentDateTime();
            w.temperatureTimer.start(16);
        } else {
            w.temperatureTimer.stop();
        }
    }
};
