// The main window: the controller behind the form. Its slots are the user's operations;
// their bodies live in the files of the subsystem they belong to.
#pragma once

#include "logformat.h"
#include "motorprotocol.h"

#include <QColor>
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QMainWindow>
#include <QMap>
#include <QMutex>
#include <QPointer>
#include <QRecursiveMutex>
#include <QStringList>
#include <QTemporaryFile>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <memory>

#include "qcustomplot.h"

class AxisTag;
class CanThread;
class QCheckBox;
class QProgressDialog;
class RoundtripTimer;
class StateChecker;
class VekCustomPlot;
class WorkerPool;
struct CanFrameData;
class Ui_MainWindow;

enum class QMessageBoxType : int { Information = 0, Warning = 1, Critical = 2, Question = 3, NoIcon = 4 };

enum class DockType : int { Dock_Control = 1, Dock_Source = 2, Dock_Quick_Set = 3 };
Q_DECLARE_METATYPE(DockType)

// The eleven live channels.
enum DisplayOption : int {
    MotorAngle = 0,
    AxleAngle = 1,
    ElecAngle = 2,
    aCurrent = 3,
    bCurrent = 4,
    cCurrent = 5,
    qCurrent = 6,
    dCurrent = 7,
    MotorSpeed = 8,
    AxleSpeed = 9,
    BusVoltage = 10,
};

// One chosen live channel and the range its 16-bit samples map onto.
struct checkedItem {
    QString name;
    float minValue = 0;
    float maxValue = 0;
};

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    bool eventFilter(QObject* watched, QEvent* event) override;

    // Appends the log lines still waiting for the pane (normally done every 16 ms).
    void flushLog();

protected:
    void closeEvent(QCloseEvent* event) override;

signals:
    void requestSaveCalibrationData();
    void writeLog(const QString& data);
    void printStateWord(const QString& data);
    void printErrorWord(const QString& data, QColor color);

private slots:
    void timerSlot();
    void selectionChanged();
    void deal_recv_data(const uchar* recvData, int length, float timestep);
    void on_pushButton_openport_clicked();
    void on_pushButton_send_clicked();
    void on_pushButton_closeport_clicked();
    void on_pushButton_Temp_clicked();
    void on_pushButton_set_clicked();
    void on_pushButton_display_clicked();
    void on_pushButton_updateFW_clicked();
    void on_pushButton_ReadAllConfig_clicked();
    bool MotorTransmitType(MotorType type, bool isQMegBoxWindowDisplay);
    bool MotorWriteConfig(MotorConfig type, float value, bool isQMegBoxWindowDisplay);
    bool MotorWriteConfig(MotorConfig type, int value, bool isQMegBoxWindowDisplay);
    bool MotorReadConfig(MotorConfig type, bool isQMegBoxWindowDisplay);
    void controlDockFloating(DockType choice);
    void updateFwProgressUI();
    void on_pushButton_WriteAllConfig_clicked();
    void on_actionbackroundColor_triggered();
    void on_pushButton_clearState_clicked();
    void on_pushButton_clear_clicked();
    void showLogInText(const QString& text);
    void on_checkBox_showTracer_stateChanged(int arg1);
    void on_pushButton_Roundtrip_Torque_clicked(bool checked);
    void on_pushButton_Roundtrip_Speed_clicked(bool checked);
    void on_pushButton_Roundtrip_Position_clicked(bool checked);
    void on_pushButton_TP_start_clicked(bool checked);
    void on_pushButton_TP_Enable_clicked(bool checked);
    void on_spinBox_id_valueChanged(int arg1);
    void on_checkBox_recvAll_stateChanged(int arg1);
    void on_pushButton_plotTemperature_toggled(bool checked);
    void temperaturePlotSlot();
    void on_pushButton_clearTemperature_clicked();
    void on_pushButton_saveConfigFile_clicked();
    void on_pushButton_loadConfigFile_clicked();
    void on_pushButton_Identify_clicked();
    void on_pushButton_writeTorqueCalib_clicked();
    void on_pushButton_StartCalib_toggled(bool checked);
    void on_pushButton_readTorqueCalib_clicked();

private:
    friend class MainWindowProbe;   // test access

    // Start-up and shutdown.
    void initUI();
    void initVariables();
    void bindParameterRows();
    void initLivePlot();
    void initLivePlotGraphs();
    void createTemperaturePlot();

    // Send path.
    bool CAN_transmit(unsigned int len = 8, bool log = true);
    bool transmitFrame(const protocol::Frame& frame, unsigned int len = 8, bool log = true);
    void MotorModeChange(MotorType type);
    void motorModeStep(MotorType type);
    void refreshTransmitTarget();

    // Receive side.
    void onFrameReceived(CanFrameData data, int length, float timestep);
    void logReceivedFrame(const uchar* recvData, int length, float timestep);
    void decodeParameterReply(const uchar* recvData);
    void decodeAcknowledgement(const uchar* recvData);
    void decodeStatusWord(const uchar* recvData);
    void decodeStreamReply(const uchar* recvData, int length, float timestep);

    // Port, log, panes, boxes.
    void showStateMsg(QString text);
    void showErrorMsg(QString text, QColor color);
    int QMessageBoxWindow(QMessageBoxType type, const QString& title, const QString& text);
    void onDockVisibilityChanged(DockType dock, bool visible);

    // Live plot.
    void startCurvePlot();
    void stopCurvePlot();
    void setAxisColor(VekCustomPlot* plot, QColor color, float width);

    // Bulk read and write.
    void ReadAllConfigThread();
    void WriteAllConfigThread();

    // Raw and quick-set frames.
    int HexStr_to_int(QString str);
    static unsigned int float_to_uint(float x, float min, float max, int bits);
    static float uint_to_float(int x, float min, float max, int bits);

    // Workflows.
    void autoUpgrade(bool show);
    void updateFW_threadFunction(QByteArray fileData, QString fileVersion);
    void processExcelFile(const QString& path, const QString& sheet);
    void SaveCalibrationData();
    void startRoundtrip(bool checked, MotorConfig mode);
    void RoundtriggerCallback(unsigned long runtimes);
    void stopRoundtripCallback();
    void setRoundtripStatus(QString mode, bool running);

    Ui_MainWindow* ui = nullptr;
    CanThread* canThread = nullptr;
    QProgressDialog* progressDialog = nullptr;
    QTemporaryFile calibrationDataFile;
    AxisTag* axisTag1 = nullptr;
    AxisTag* axisTag2 = nullptr;
    AxisTag* axisTag3 = nullptr;
    QPointer<QCPGraph> curveGraph1, curveGraph2, curveGraph3;
    QPointer<QCPGraph> temperatureGraph1, temperatureGraph2, temperatureGraph3;
    QCPLegend* plotLegend = nullptr;
    QVector<QCPGraphData>* curveData1 = nullptr;
    QVector<QCPGraphData>* curveData2 = nullptr;
    QVector<QCPGraphData>* curveData3 = nullptr;
    QVector<QCPGraphData>* temperatureData1 = nullptr;
    QVector<QCPGraphData>* temperatureData2 = nullptr;
    QVector<QCPGraphData>* temperatureData3 = nullptr;
    QTimer plotTimer, progressTimer, temperatureTimer;
    QElapsedTimer identifyTimer;
    RoundtripTimer* roundtripTimer = nullptr;
    StateChecker* stateChecker = nullptr;
    QDateTime temperatureStartTime;
    int progressMode = 0;
    bool firstSamplePending = false;
    bool temperatureStreaming = false;
    bool curveDisplaying = false;
    bool motorModeOn = false;
    std::atomic<bool> fwReady{true};
    std::atomic<bool> fwSuccess{false};
    std::atomic<bool> fwDone{false};
    bool curveRescalePending = true;
    bool temperatureRescalePending = true;
    std::atomic<bool> fwEndAck{false};
    bool reentryGuard = false;
    std::atomic<bool> fwJumpAck{false};
    bool temperaturePlotting = false;
    std::atomic<bool> positionReceived{false};
    uint16_t tpCurrentPosition = 0;
    uint8_t txData[8] = {};
    QList<QCheckBox*> channelCheckBoxes;
    QList<checkedItem> checkedItems;
    QMap<QString, DisplayOption> displayOptionMap;
    QString fwVersion, productType, recvText;
    std::atomic<int> fwProgress{0};
    int channelCount = 0;
    float curveTimeOrigin = 0;
    float lastSampleTime = 0;
    QMutex plotMutex;
    int roundtripMode = static_cast<int>(MotorConfig::Torque);
    int identifySeconds = 0;

    // Serialises every fill of txData with its transmit, across threads.
    QRecursiveMutex sendMutex;
    // The GUI thread's copy of the frame target, for senders on worker threads.
    std::atomic<uint32_t> txId{0};
    std::atomic<bool> txExt{false};
    std::atomic<bool> txRtr{false};
    // Serialises fwVersion between the decoder and the firmware worker.
    QMutex fwVersionMutex;

    // Log lines stamped but not yet in the pane, appended every 16 ms: each line with the
    // separator before it, and where each starts.
    QString pendingLog;
    QList<qsizetype> pendingLogStarts;
    QTimer logFlushTimer;
    LogClock logClock;
    int logStampMs = -1;
    QString logStampText;   // stamp of logStampMs and its blank

    // Worker threads the window starts; stopped and joined before the window goes away.
    std::unique_ptr<WorkerPool> workers;

    // -- live plot, stream decoder and progress display: further members --
    // The torque table as it arrives, apart from recvText, which every logged frame overwrites.
    QString torqueTableText;
    // One identification tick of the progress slot, given the run's elapsed milliseconds.
    void identificationProgressTick(qint64 elapsedMs);
    // Gives a value tag its graph's colour, or hides it (graph null) so no stale value shows.
    void showAxisTag(AxisTag* tag, QCPGraph* graph);
    // -- bulk read/write and raw frames: further members --
    // -- firmware update, calibration and identification: further members --
    // Open and save file dialogs (parent, caption, filter); empty means the real QFileDialog.
    // Tests answer them in place of a user.
    using FileDialogHook = std::function<QString(QWidget*, const QString&, const QString&)>;
    FileDialogHook openFileDialogHook, saveFileDialogHook;
    // Set from the start of a firmware update until its transfer has ended: one at a time.
    std::atomic<bool> fwUpdateBusy{false};
    // Set once the window is closed: slots waiting in their own event processing end their
    // wait, and no box is shown any more.
    bool closing = false;
    // The list the last processExcelFile call read.
    QList<std::pair<double, double>> torqueCalibPoints;
    // -- configuration files, hybrid page and temperature monitor: further members --
    // Returns the hybrid page to idle on the GUI thread when a burst has ended.
    void finishHybridBurst();
};
