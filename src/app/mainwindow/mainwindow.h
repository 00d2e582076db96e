// The main window: the controller behind the form. Its slots are the user's operations;
// their bodies live in the files of the subsystem they belong to.
#pragma once

#include "app/formindex.h"
#include "app/logformat.h"
#include "app/pendinglog.h"
#include "can/sendresult.h"
#include "protocol/motorprotocol.h"
#include "protocol/replies.h"

#include <QColor>
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QMainWindow>
#include <QMessageBox>
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
class QAbstractButton;
class CanThread;
class DefinitionFile;
class QCheckBox;
class QProgressDialog;
class RoundtripTimer;
class StateChecker;
class VekCustomPlot;
class WorkerPool;
struct CanFrameData;
class Ui_MainWindow;

enum class QMessageBoxType : int { Information = 0, Warning = 1, Critical = 2, Question = 3, NoIcon = 4 };

// What the progress slot serves.
enum class ProgressMode : int { FirmwareUpdate = 0, Identification = 1 };

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
    void initVariables(const DefinitionFile& parameters);
    void bindParameterRows();
    void initLivePlot();
    void initLivePlotGraphs();
    void createTemperaturePlot();

    // Send path.
    bool CAN_transmit(unsigned int len = 8, bool log = true);
    // CAN_transmit, saying why a frame did not leave.
    SendResult sendTxData(unsigned int len = 8, bool log = true);
    // Fill txData and send it as one step under the send lock; the second form first logs
    // the request's line (none when empty).
    SendResult transmitFrame(const protocol::Frame& frame, unsigned int len = 8, bool log = true);
    SendResult transmitFrame(const protocol::Frame& frame, const QString& logLine);
    // The box of an operation that needs the channel open.
    void showOpenDeviceFirst();
    // The box of an operation whose frame did not leave, as its send said: the channel was
    // closed, or the adapter refused the frame (counted instead while a tally is open).
    void showSendFailure(SendResult result);
    // Sends frame; when it does not leave, the box that says why. True when sent.
    bool sendOrComplain(const protocol::Frame& frame, unsigned int len = 8);
    void showAdapterRefused();
    // Frames one user action of many sends handed to the open channel, and how many of them
    // the adapter refused.
    struct SendTally {
        int attempted = 0;
        int refused = 0;
        // A frame kept back by a closed port was never handed over: not counted.
        void count(SendResult result)
        {
            if (result == SendResult::PortClosed) return;
            ++attempted;
            if (result == SendResult::Refused) ++refused;
        }
    };
    // At the end of such an action: one log line and, when showBox, one box if any was
    // refused, both after the frame lines the action queued.
    void reportRefusals(const SendTally& tally, bool showBox = true);
    // Presses a button as part of an action of many sends, its sends counted into tally.
    void pressCounted(QAbstractButton* button, SendTally* tally);
    void MotorModeChange(MotorType type);
    void motorModeStep(MotorType type);
    void refreshTransmitTarget();

    // Receive side.
    void onFrameReceived(CanFrameData data, int length, float timestep);
    void logReceivedFrame(const uchar* recvData, int length, float timestep);
    // What each decoded reply changes; the raw frame is at hand for the log lines.
    void applyReply(std::monostate, const uchar*, int, float) {}
    void applyReply(const protocol::ParameterReply& reply, const uchar* recvData, int length, float timestep);
    void applyReply(const protocol::Acknowledgement& reply, const uchar* recvData, int length, float timestep);
    void applyReply(const protocol::StatusWord& reply, const uchar* recvData, int length, float timestep);
    void applyReply(const protocol::Temperatures& reply, const uchar* recvData, int length, float timestep);
    void applyReply(const protocol::LiveSamples& reply, const uchar* recvData, int length, float timestep);
    void applyReply(const protocol::IdentificationSample& reply, const uchar* recvData, int length, float timestep);
    void applyReply(const protocol::Position& reply, const uchar* recvData, int length, float timestep);
    void applyReply(const protocol::HybridFeedback& reply, const uchar* recvData, int length, float timestep);
    void applyReply(const protocol::TableWriteResult& reply, const uchar* recvData, int length, float timestep);
    void applyReply(const protocol::TableRow& reply, const uchar* recvData, int length, float timestep);

    // Port, log, panes, boxes.
    // The stamp of a line logged now, with its blank; the pane takes the lines every 16 ms.
    const QString& currentLogStamp();
    void showStateMsg(QString text);
    void showErrorMsg(QString text, QColor color);
    // defaultButton: the button Enter presses (NoButton: the box's own choice).
    int QMessageBoxWindow(QMessageBoxType type, const QString& title, const QString& text,
                          QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    // The box a drive's reply opens. Later frames are decoded inside its event loop, so
    // while one is open a further reply's box becomes a log line of its text instead.
    void replyBox(QMessageBoxType type, const QString& title, const QString& text);
    void onDockVisibilityChanged(DockType dock, bool visible);

    // Live plot.
    void startCurvePlot();
    void stopCurvePlot();
    void setAxisColor(VekCustomPlot* plot, QColor color, float width);

    // Bulk read and write.
    void ReadAllConfigThread();
    void WriteAllConfigThread();
    // Presses every row's Read or Write button in turn, its refusals reported once at the end.
    void pressAllRows(bool read);

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
    // Returns the hybrid page to idle on the GUI thread when a burst has ended.
    void finishHybridBurst();
    // One identification tick of the progress slot, given the run's elapsed milliseconds.
    void identificationProgressTick(qint64 elapsedMs);
    // Gives a value tag its graph's colour, or hides it (graph null) so no stale value shows.
    void showAxisTag(AxisTag* tag, QCPGraph* graph);
    // Stops the live display, ends the receive loop and closes the channel: Close Port
    // with updateForm, the destructor without (it touches no widget).
    void closePort(bool updateForm);

    // ---- GUI thread only -------------------------------------------------------------
    // Slots, the decoder and every timer run here; nothing below is touched elsewhere.

    std::unique_ptr<Ui_MainWindow> ui;
    FormIndex formIndex;   // the form's widgets by name
    std::unique_ptr<StateChecker> stateChecker;
    // Parented to this window (the dialog's place on screen) but deleted by the destructor
    // while the worker pool still exists, as are the value tags, parented to their axes,
    // which remove their items from the plot.
    QProgressDialog* progressDialog = nullptr;
    RoundtripTimer* roundtripTimer = nullptr;
    AxisTag* axisTag1 = nullptr;
    AxisTag* axisTag2 = nullptr;
    AxisTag* axisTag3 = nullptr;

    // Live plot.
    QPointer<QCPGraph> curveGraph1, curveGraph2, curveGraph3;
    QCPLegend* plotLegend = nullptr;
    QList<QCheckBox*> channelCheckBoxes;
    QList<checkedItem> checkedItems;
    QMap<QString, DisplayOption> displayOptionMap;
    int channelCount = 0;
    float curveTimeOrigin = 0;
    float lastSampleTime = 0;
    bool firstSamplePending = false;
    bool curveDisplaying = false;
    bool curveRescalePending = true;
    QTimer plotTimer;

    // Temperature monitor.
    QPointer<QCPGraph> temperatureGraph1, temperatureGraph2, temperatureGraph3;
    QVector<QCPGraphData>* temperatureData1 = nullptr;
    QVector<QCPGraphData>* temperatureData2 = nullptr;
    QVector<QCPGraphData>* temperatureData3 = nullptr;
    QDateTime temperatureStartTime;
    bool temperatureStreaming = false;
    bool temperaturePlotting = false;
    bool temperatureRescalePending = true;
    QTimer temperatureTimer;

    // Progress display, shared by the firmware update and identification.
    ProgressMode progressMode = ProgressMode::FirmwareUpdate;
    QTimer progressTimer;
    QElapsedTimer identifyTimer;
    int identifySeconds = 0;
    QTemporaryFile calibrationDataFile;

    // Decoder state and workflow flags polled on this thread.
    bool motorModeOn = false;
    bool reentryGuard = false;
    bool replyBoxOpen = false;   // a box opened by a reply is showing
    bool identificationExportOpen = false;   // the export an identification's end opened
    uint16_t tpCurrentPosition = 0;
    QString productType, recvText;
    // The torque table as it arrives, apart from recvText, which every logged frame overwrites.
    QString torqueTableText;
    uint8_t index_TorqueInterpolation = 0;   // rows received so far
    uint8_t TotalNumber_Interpolation = 0;   // rows announced
    MotorConfig roundtripMode = MotorConfig::Torque;
    // The action of many sends whose row is being pressed; its rows count, not box, refusals.
    SendTally* sendTally = nullptr;
    // The running roundtrip test's sends, and whether a closed port ended it.
    SendTally roundtripTally;
    bool roundtripEndedByClose = false;
    // The list the last processExcelFile call read.
    QList<std::pair<double, double>> torqueCalibPoints;

    // Log lines stamped but not yet in the pane, appended every 16 ms.
    PendingLog pendingLog;
    QTimer logFlushTimer;
    LogClock logClock;
    int logStampMs = -1;
    QString logStampText;   // stamp of logStampMs and its blank

    // Set once the window is closed: slots waiting in their own event processing end their
    // wait, and no box is shown any more.
    bool closing = false;

    // Open and save file dialogs (parent, caption, filter); empty means the real QFileDialog.
    // Tests answer them in place of a user.
    using FileDialogHook = std::function<QString(QWidget*, const QString&, const QString&)>;
    FileDialogHook openFileDialogHook, saveFileDialogHook;

    // ---- Shared with worker threads ---------------------------------------------------
    // The read-all and write-all workers, the firmware sender and the hybrid burst sender.

    // Every fill of txData and its transmit are one step under sendMutex.
    QRecursiveMutex sendMutex;
    uint8_t txData[8] = {};
    // The GUI thread's copy of the frame target, for senders on worker threads.
    std::atomic<uint32_t> txId{0};
    std::atomic<bool> txExt{false};
    std::atomic<bool> txRtr{false};
    // Firmware update: set by the decoder or the sender, polled by the other side.
    std::atomic<bool> fwReady{true};
    std::atomic<bool> fwJumpAck{false};
    std::atomic<bool> fwEndAck{false};
    std::atomic<bool> fwSuccess{false};
    std::atomic<bool> fwDone{false};
    std::atomic<int> fwProgress{0};
    // Set from the start of a firmware update until its transfer has ended: one at a time.
    std::atomic<bool> fwUpdateBusy{false};
    // Written by the decoder, read by the firmware worker, under fwVersionMutex.
    QString fwVersion;
    QMutex fwVersionMutex;
    // Hybrid page: the position reply the enable waits for.
    std::atomic<bool> positionReceived{false};
    // Live sample data, appended by the decoder and drawn by the redraw, under plotMutex.
    QVector<QCPGraphData>* curveData1 = nullptr;
    QVector<QCPGraphData>* curveData2 = nullptr;
    QVector<QCPGraphData>* curveData3 = nullptr;
    QMutex plotMutex;
    // Worker threads the window starts; stopped and joined before the window goes away.
    std::unique_ptr<WorkerPool> workers;

    // ---- The adapter link ---------------------------------------------------------------
    // Its receive thread reads nothing of this window: frames reach deal_recv_data queued.
    std::unique_ptr<CanThread> canThread;
};
