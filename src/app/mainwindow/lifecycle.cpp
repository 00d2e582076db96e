#include "app/mainwindow/mainwindow.h"

#include "widgets/axistag.h"
#include "can/can.h"
#include "vocabulary/loadyaml.h"
#include "widgets/nwheeldoublespinbox.h"
#include "app/parameterrows.h"
#include "app/roundtriptimer.h"
#include "forms/ui_mainwindow.h"
#include "app/workers.h"

#include <QCloseEvent>
#include <QDebug>
#include <QEvent>
#include <QMessageBox>
#include <QProgressDialog>
#include <QThread>

#include <csignal>
#include <future>
#include <system_error>

namespace {

struct StartupDefinitions {
    DefinitionFile states;
    DefinitionFile motors;
    DefinitionFile parameters;
};

// The definition files are parsed on a thread of their own while the form is built; what
// they report is reported when they are applied, in the usual order.
std::future<StartupDefinitions> readDefinitionsAhead()
{
    const auto read = [] {
        return StartupDefinitions{DefinitionFile::read(QStringLiteral("state_config.yaml")),
                                  DefinitionFile::read(QStringLiteral("motor_config.yaml")),
                                  DefinitionFile::read(QStringLiteral("motor_parameter_config.yaml"))};
    };
    try {
        return std::async(std::launch::async, read);
    } catch (const std::system_error&) {
        return std::async(std::launch::deferred, read);   // no thread to be had: read in place
    }
}

}   // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui(new Ui_MainWindow)
{
#ifdef SIGXFSZ
    // A write past the process's file-size limit then fails like a full disk, with its save's
    // box, instead of ending the tool and every unsaved result of the session with it.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    std::future<StartupDefinitions> definitionsAhead = readDefinitionsAhead();
    ui->setupUi(this);
    formIndex.build(this);
    progressDialog = new QProgressDialog(this);
    roundtripTimer = new RoundtripTimer(this);
    canThread = std::make_unique<CanThread>();
    stateChecker = std::make_unique<StateChecker>();
    workers = std::make_unique<WorkerPool>(this);

    const StartupDefinitions definitions = definitionsAhead.get();
    const bool stateLoaded = stateChecker->loadYamlFile(definitions.states);
    const bool motorLoaded = stateChecker->loadMotorYamlFile(definitions.motors);

    initUI();

    emit writeLog(stateLoaded ? QStringLiteral(">>> File \"state_config.yaml\" Load OK")
                              : QStringLiteral(">>> File \"state_config.yaml\" Load FAIL!"));
    emit writeLog(motorLoaded ? QStringLiteral(">>> File \"motor_config.yaml\" Load OK")
                              : QStringLiteral(">>> File \"motor_config.yaml\" Load FAIL!"));
    initVariables(definitions.parameters);
}

MainWindow::~MainWindow()
{
    // Workers use the channel and the window: end them before either goes away.
    workers->stopAll();
    // The widgets emit while the base class tears them down (docks report hiding, ...):
    // no slot of this half-destroyed window may run then.
    for (QObject* child : findChildren<QObject*>()) QObject::disconnect(child, nullptr, this, nullptr);
    roundtripTimer->disconnect(this);

    if (canThread->isOpen) {
        closePort(false);
        QThread::msleep(10);
    }
    // A receive loop started after a failed open may still be winding down.
    canThread->stop();
    canThread->wait();

    stateChecker.reset();
    // Before the members go: the workers and the log still exist while these are destroyed.
    delete roundtripTimer;
    roundtripTimer = nullptr;
    delete progressDialog;
    progressDialog = nullptr;
    delete axisTag1;
    delete axisTag2;
    delete axisTag3;
    axisTag1 = axisTag2 = axisTag3 = nullptr;
    canThread.reset();
    ui.reset();
}

void MainWindow::initVariables(const DefinitionFile& parameters)
{
    MotorParameterLoader loader;
    if (loader.loadFromFile(parameters)) {
        for (const ParameterDefinitionBinding& b : kParameterDefinitions) {
            const Parameter* p = loader.getParameterByName(b.name);
            auto* box = formIndex.find<QDoubleSpinBox>(QLatin1String(b.spinBox));
            if (!p || !box) continue;
            // The file's range first, so that its default is clamped to that range alone and
            // never to the form's own.
            box->setMinimum(p->min_value);
            box->setMaximum(p->max_value);
            box->setValue(p->value);
        }
        emit writeLog(QStringLiteral(">>> File \"motor_parameter_config.yaml\" Load OK"));
    } else {
        emit writeLog(QStringLiteral(">>> File \"motor_parameter_config.yaml\" Load FAIL!"));
    }
    firstSamplePending = true;
    autoUpgrade(false);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ToolTip) return true;
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    closing = true;
    QMainWindow::closeEvent(event);
}

void MainWindow::initUI()
{
    protocol::registerMetaTypes();
    qRegisterMetaType<DockType>("DockType");

    // 1. Title.
    setWindowTitle(windowTitle() + QStringLiteral(" V") + QStringLiteral(QUINTREL_VERSION));

    // 2-3. Updater and identification export.
    connect(ui->actionUpgrade, &QAction::triggered, this, [this] { autoUpgrade(true); });
    connect(this, &MainWindow::requestSaveCalibrationData, this, [this] { SaveCalibrationData(); });

    // 4. Docks report their visibility to the View actions.
    connect(ui->dockWidget_control, &QDockWidget::visibilityChanged, this,
            [this](bool v) { onDockVisibilityChanged(DockType::Dock_Control, v); });
    connect(ui->dockWidget_source, &QDockWidget::visibilityChanged, this,
            [this](bool v) { onDockVisibilityChanged(DockType::Dock_Source, v); });
    connect(ui->dockWidget_quick_set, &QDockWidget::visibilityChanged, this,
            [this](bool v) { onDockVisibilityChanged(DockType::Dock_Quick_Set, v); });

    // 5. Start state.
    ui->tabWidget->setCurrentIndex(0);
    ui->actionDock_Source->setChecked(true);
    ui->dockWidget_quick_set->hide();
    ui->dockWidget_control->hide();
    ui->widget_serial_text->hide();
    ui->pushButton_CalibVaild->setEnabled(false);
    ui->pushButton_openport->setEnabled(true);
    ui->pushButton_closeport->setEnabled(false);
    ui->pushButton_EncoderOffset->setEnabled(false);
    ui->pushButton_EncoderDir->setEnabled(false);
    ui->pushButton_EnterMotorMode->setEnabled(true);
    ui->pushButton_ExitMotorMode->setEnabled(false);

    // 6. The log keeps its newest 5000 lines.
    ui->plainTextEdit_display->setMaximumBlockCount(5000);
    pendingLog.setLineLimit(ui->plainTextEdit_display->maximumBlockCount());
    logFlushTimer.setSingleShot(true);
    logFlushTimer.setInterval(16);
    connect(&logFlushTimer, &QTimer::timeout, this, &MainWindow::flushLog);

    // 7. Live plot.
    initLivePlot();

    // 8. The progress dialog shared by firmware update and identification.
    progressDialog->setCancelButton(nullptr);
    progressDialog->setRange(0, 100);
    progressDialog->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::CustomizeWindowHint);
    progressDialog->setWindowModality(Qt::WindowModal);
    progressDialog->setMinimumDuration(0);
    progressDialog->setAutoReset(true);
    progressDialog->setAutoClose(false);
    progressDialog->close();

    // 9. Command buttons.
    connect(ui->pushButton_fw, &QPushButton::clicked, this, [this] {
        protocol::Frame f;
        protocol::commandFrame(MotorType::GetFwVersion, &f);
        sendOrComplain(f);
    });
    connect(ui->pushButton_EnterMotorMode, &QPushButton::clicked, this, [this] {
        if (!MotorTransmitType(MotorType::GetProductType, true)) return;
        motorModeStep(MotorType::EnterMotorMode);
    });
    connect(ui->pushButton_ExitMotorMode, &QPushButton::clicked, this,
            [this] { MotorModeChange(MotorType::ExitMotorMode); });
    connect(ui->pushButton_SetZeroPoint, &QPushButton::clicked, this, [this] {
        if (!MotorTransmitType(MotorType::GetProductType, true)) return;
        QThread::msleep(10);
        MotorTransmitType(MotorType::SetZeroPoint, true);
    });
    connect(ui->pushButton_type, &QPushButton::clicked, this, [this] {
        protocol::Frame f;
        protocol::commandFrame(MotorType::GetProductType, &f);
        sendOrComplain(f);
    });
    connect(ui->pushButton_getState, &QPushButton::clicked, this,
            [this] { MotorTransmitType(MotorType::GetState, true); });

    // 10. The four value combo boxes from the name-to-code tables.
    const auto fill = [](CustomComboBox* box, const QMap<QString, int>& table) {
        for (auto it = table.cbegin(); it != table.cend(); ++it) box->addValueItem(it.key(), it.value());
    };
    fill(ui->comboBox_ProductBatch, stateChecker->productBatchMap);
    fill(ui->comboBox_MotorType, stateChecker->motorTypeMap);
    fill(ui->comboBox_VendorType, stateChecker->venderTypeMap);
    fill(ui->comboBox_HardwareVersion, stateChecker->hardvareVersionMap);

    // 11. Parameter rows and the buttons between them.
    bindParameterRows();
    connect(ui->pushButton_SaveInformation, &QPushButton::clicked, this, [this] {
        QMessageBox box(QMessageBox::Question, QStringLiteral("确认"), QStringLiteral("是否写入？"),
                        QMessageBox::Yes | QMessageBox::No, this);
        if (box.exec() == QMessageBox::Yes) MotorTransmitType(MotorType::SaveInformation, true);
    });
    connect(
        ui->pushButton_ReadALLinformation, &QPushButton::clicked, ui->pushButton_ReadALLinformation,
        [this] {
            if (!canThread->isOpen) {
                showOpenDeviceFirst();
                return;
            }
            SendTally tally;
            for (QPushButton* b : {ui->pushButton_ProductBatch_2, ui->pushButton_VendorType_2,
                                   ui->pushButton_MotorNumber_2, ui->pushButton_HardwareVersion_2}) {
                pressCounted(b, &tally);
                QThread::msleep(10);
            }
            pressCounted(ui->pushButton_MotorType_2, &tally);
            reportRefusals(tally);
        },
        Qt::DirectConnection);
    connect(
        ui->pushButton_WriteALLinformation, &QPushButton::clicked, ui->pushButton_WriteALLinformation,
        [this] {
            if (!canThread->isOpen) {
                showOpenDeviceFirst();
                return;
            }
            SendTally tally;
            for (QPushButton* b : {ui->pushButton_ProductBatch, ui->pushButton_VendorType, ui->pushButton_MotorNumber,
                                   ui->pushButton_HardwareVersion, ui->pushButton_MotorType})
                pressCounted(b, &tally);
            reportRefusals(tally);
        },
        Qt::DirectConnection);
    connect(ui->pushButton_SaveConfigs, &QPushButton::clicked, this, [this] {
        protocol::Frame f;
        protocol::commandFrame(MotorType::SaveConfigs, &f);
        sendOrComplain(f);
    });
    connect(ui->pushButton_ResetConfigs, &QPushButton::clicked, this, [this] {
        protocol::Frame f;
        protocol::commandFrame(MotorType::ResetConfigs, &f);
        sendOrComplain(f);
    });
    connect(ui->pushButton_ctrl_dock, &QPushButton::clicked, this,
            [this] { ui->dockWidget_control->setFloating(!ui->dockWidget_control->isFloating()); });
    connect(ui->pushButton_source_dock, &QPushButton::clicked, this,
            [this] { ui->dockWidget_source->setFloating(!ui->dockWidget_source->isFloating()); });

    // 12. Timers.
    connect(&progressTimer, SIGNAL(timeout()), this, SLOT(updateFwProgressUI()));
    connect(&plotTimer, SIGNAL(timeout()), this, SLOT(timerSlot()));

    // 13. Received frames are decoded on this thread, from their own copy of the bytes.
    connect(canThread.get(), &CanThread::recv_signal, this, &MainWindow::onFrameReceived, Qt::QueuedConnection);

    // 14. Graph and legend selection.
    connect(ui->plot, SIGNAL(selectionChangedByUser()), this, SLOT(selectionChanged()));

    // 15. Log and status panes.
    connect(this, &MainWindow::writeLog, this, &MainWindow::showLogInText);
    // A logged frame's line keeps the place it took when the frame was handed over.
    connect(
        canThread.get(), &CanThread::sendLineOpened, this, [this] { pendingLog.openSendLine(currentLogStamp()); },
        Qt::QueuedConnection);
    connect(
        canThread.get(), &CanThread::writeLog, this,
        [this](const QString& text) { pendingLog.closeSendLine(currentLogStamp(), text); }, Qt::QueuedConnection);
    connect(this, &MainWindow::printStateWord, this, &MainWindow::showStateMsg);
    connect(this, &MainWindow::printErrorWord, this, &MainWindow::showErrorMsg);

    // Workers address the drive through this copy of the form's identifier and flags.
    connect(ui->checkBox_EXT, &QCheckBox::toggled, this, [this] { refreshTransmitTarget(); });
    connect(ui->checkBox_RTR, &QCheckBox::toggled, this, [this] { refreshTransmitTarget(); });
    refreshTransmitTarget();

    // 16. The live plot's graphs, tags, legend and channel table.
    initLivePlotGraphs();

    // 17. Roundtrip tests.
    connect(roundtripTimer, &RoundtripTimer::timeoutTriggered, this, &MainWindow::RoundtriggerCallback);
    connect(roundtripTimer, &RoundtripTimer::timeoutAll, this, &MainWindow::stopRoundtripCallback);

    // 18. Receive filter; writes the first log line.
    on_checkBox_recvAll_stateChanged(static_cast<int>(ui->checkBox_recvAll->checkState()));

    // 19. Temperature plot.
    createTemperaturePlot();
}

void MainWindow::bindParameterRows()
{
    for (const ParameterRow& row : kParameterRows) {
        const QString suffix = QLatin1String(row.suffix);
        // Only the buttons a row has: a name the form lacks costs a search of the whole window.
        auto* write = row.hasWrite ? formIndex.find<QPushButton>(QStringLiteral("pushButton_") + suffix) : nullptr;
        auto* read = row.hasRead ? formIndex.find<QPushButton>(QStringLiteral("pushButton_") + suffix +
                                                               QStringLiteral("_2"))
                                 : nullptr;
        QWidget* input = formIndex.find<QWidget>(QLatin1String(row.input));
        if (!input || (row.hasWrite && !write) || (row.hasRead && !read)) {
            qWarning().noquote() << "Form lacks a widget of the row" << suffix;
            continue;
        }
        const MotorConfig code = row.code;
        if (row.hasWrite) {
            switch (row.kind) {
            case RowInput::Float: {
                auto* box = static_cast<QDoubleSpinBox*>(input);
                connect(write, &QPushButton::clicked, this,
                        [this, code, box] { MotorWriteConfig(code, static_cast<float>(box->value()), true); });
                break;
            }
            case RowInput::Truncated: {
                auto* box = static_cast<QDoubleSpinBox*>(input);
                connect(write, &QPushButton::clicked, this,
                        [this, code, box] { MotorWriteConfig(code, static_cast<int>(box->value()), true); });
                break;
            }
            case RowInput::Checked: {
                auto* box = static_cast<QCheckBox*>(input);
                connect(write, &QPushButton::clicked, this,
                        [this, code, box] { MotorWriteConfig(code, box->isChecked() ? 1 : 0, true); });
                break;
            }
            case RowInput::Index: {
                auto* box = static_cast<QComboBox*>(input);
                connect(write, &QPushButton::clicked, this,
                        [this, code, box] { MotorWriteConfig(code, box->currentIndex(), true); });
                break;
            }
            case RowInput::ComboValue: {
                auto* box = static_cast<CustomComboBox*>(input);
                connect(write, &QPushButton::clicked, this,
                        [this, code, box] { MotorWriteConfig(code, box->getValue(), true); });
                break;
            }
            case RowInput::Spin: {
                auto* box = static_cast<QSpinBox*>(input);
                connect(write, &QPushButton::clicked, this,
                        [this, code, box] { MotorWriteConfig(code, box->value(), true); });
                break;
            }
            case RowInput::None: break;
            }
        }
        if (row.hasRead) connect(read, &QPushButton::clicked, this, [this, code] { MotorReadConfig(code, true); });
    }
}
