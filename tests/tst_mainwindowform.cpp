// The form's objects as tables, one row a line.
// clang-format off
#include <QtTest>

#include <QAction>
#include <QCheckBox>
#include <QDockWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>

// The path lets this target's AUTOUIC find the form next to the sources.
#include "forms/ui_mainwindow.h"

namespace {

struct Form
{
    QMainWindow window;
    Ui_MainWindow ui;
    Form() { ui.setupUi(&window); }
};

// Objects the form names itself; Qt's own helpers (qt_* and _layout names,
// the buttons of tool bars and tab bars) do not belong to the form.
QList<const QObject *> formObjects(const QMainWindow &w)
{
    QList<const QObject *> objects;
    const auto children = w.findChildren<QObject *>();
    for (const QObject *o : children) {
        const QString name = o->objectName();
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_")) || name.startsWith(QLatin1Char('_')))
            continue;
        if (qobject_cast<const QTabBar *>(o->parent())
            || (qobject_cast<const QToolBar *>(o->parent()) && !qobject_cast<const QAction *>(o)))
            continue;
        objects << o;
    }
    return objects;
}

QStringList actionNames(const QList<QAction *> &actions)
{
    QStringList names;
    for (const QAction *a : actions)
        names << (a->isSeparator() ? QStringLiteral("|") : a->objectName());
    return names;
}

// Every string property and item text of every named object, keyed by object and property.
QMap<QString, QString> textSnapshot(const QMainWindow &w)
{
    QMap<QString, QString> texts;
    QList<const QObject *> objects = formObjects(w);
    objects.prepend(&w);
    for (const QObject *o : std::as_const(objects)) {
        const QMetaObject *mo = o->metaObject();
        for (int i = 0; i < mo->propertyCount(); ++i) {
            const QMetaProperty prop = mo->property(i);
            if (prop.metaType().id() == QMetaType::QString)
                texts.insert(o->objectName() + QLatin1Char('.') + QLatin1String(prop.name()),
                             prop.read(o).toString());
        }
        if (const auto *combo = qobject_cast<const QComboBox *>(o)) {
            texts.insert(o->objectName() + QLatin1String(".count"), QString::number(combo->count()));
            for (int i = 0; i < combo->count(); ++i)
                texts.insert(o->objectName() + QLatin1String(".item") + QString::number(i), combo->itemText(i));
        }
        if (const auto *tabs = qobject_cast<const QTabWidget *>(o)) {
            for (int i = 0; i < tabs->count(); ++i)
                texts.insert(o->objectName() + QLatin1String(".tab") + QString::number(i), tabs->tabText(i));
        }
    }
    return texts;
}

} // namespace

// A window with every slot that the form binds by name; each call is recorded.
class SlotWindow : public QMainWindow
{
    Q_OBJECT
public:
    QStringList calls;

private:
    void record(const char *slot) { calls << QString::fromLatin1(slot); }

private slots:
    void on_actionbackroundColor_triggered() { record(__func__); }
    void on_checkBox_recvAll_stateChanged(int) { record(__func__); }
    void on_checkBox_showTracer_stateChanged(int) { record(__func__); }
    void on_spinBox_id_valueChanged(int) { record(__func__); }
    void on_pushButton_openport_clicked() { record(__func__); }
    void on_pushButton_closeport_clicked() { record(__func__); }
    void on_pushButton_clear_clicked() { record(__func__); }
    void on_pushButton_send_clicked() { record(__func__); }
    void on_pushButton_clearState_clicked() { record(__func__); }
    void on_pushButton_display_clicked() { record(__func__); }
    void on_pushButton_set_clicked() { record(__func__); }
    void on_pushButton_ReadAllConfig_clicked() { record(__func__); }
    void on_pushButton_WriteAllConfig_clicked() { record(__func__); }
    void on_pushButton_loadConfigFile_clicked() { record(__func__); }
    void on_pushButton_saveConfigFile_clicked() { record(__func__); }
    void on_pushButton_readTorqueCalib_clicked() { record(__func__); }
    void on_pushButton_writeTorqueCalib_clicked() { record(__func__); }
    void on_pushButton_StartCalib_toggled(bool) { record(__func__); }
    void on_pushButton_Identify_clicked() { record(__func__); }
    void on_pushButton_Roundtrip_Torque_clicked(bool) { record(__func__); }
    void on_pushButton_Roundtrip_Speed_clicked(bool) { record(__func__); }
    void on_pushButton_Roundtrip_Position_clicked(bool) { record(__func__); }
    void on_pushButton_TP_Enable_clicked(bool) { record(__func__); }
    void on_pushButton_TP_start_clicked(bool) { record(__func__); }
    void on_pushButton_Temp_clicked() { record(__func__); }
    void on_pushButton_clearTemperature_clicked() { record(__func__); }
    void on_pushButton_plotTemperature_toggled(bool) { record(__func__); }
    void on_pushButton_updateFW_clicked() { record(__func__); }
};

class TestMainWindowForm : public QObject
{
    Q_OBJECT

private slots:
    void namedObjectCensus();
    void spacerItems();
    void namesReachedByTheShell();
    void windowFrame();
    void actions_data();
    void actions();
    void menusAndToolBar();
    void connectionsOfSetup();
    void slotsBoundByName();
    void docks();
    void centralArea();
    void startState();
    void toolTips();
    void retranslateChangesNothing();
    void windowObjectName();
};

void TestMainWindowForm::namedObjectCensus()
{
    Form f;
    const QMap<QString, int> expected{
        {"QPushButton", 148}, {"QLabel", 103}, {"QGroupBox", 75}, {"QHBoxLayout", 56},
        {"nwheeldoublespinbox", 55}, {"QGridLayout", 51}, {"QWidget", 22}, {"QCheckBox", 19},
        {"QVBoxLayout", 12}, {"QAction", 11}, {"QDoubleSpinBox", 9}, {"QScrollArea", 8},
        {"QSpinBox", 8}, {"QLineEdit", 6}, {"QMenu", 4}, {"CustomComboBox", 4}, {"QRadioButton", 4},
        {"QComboBox", 3}, {"QDockWidget", 3}, {"QTabWidget", 2}, {"QPlainTextEdit", 2}, {"QFrame", 2},
        {"VekCustomPlot", 2}, {"QSplitter", 1}, {"QMenuBar", 1}, {"QStatusBar", 1}, {"QToolBar", 1},
        {"QStackedWidget", 1}, {"QTextEdit", 1}};
    QMap<QString, int> actual;
    QSet<QString> names;
    const QList<const QObject *> objects = formObjects(f.window);
    for (const QObject *o : objects) {
        ++actual[QString::fromLatin1(o->metaObject()->className())];
        QVERIFY2(!names.contains(o->objectName()), qPrintable(o->objectName()));
        names.insert(o->objectName());
    }
    QCOMPARE(actual, expected);
    QCOMPARE(objects.size(), 615);
}

void TestMainWindowForm::spacerItems()
{
    Form f;
    QStringList spacers;
    for (const QLayout *layout : f.window.findChildren<QLayout *>()) {
        if (layout->objectName().isEmpty() || layout->objectName().startsWith(QLatin1Char('_')))
            continue;
        for (int i = 0; i < layout->count(); ++i) {
            QSpacerItem *s = layout->itemAt(i)->spacerItem();
            if (!s)
                continue;
            const bool horizontal = s->expandingDirections() == Qt::Horizontal;
            spacers << QStringLiteral("%1 %2x%3 in %4")
                           .arg(horizontal ? "h" : "v")
                           .arg(s->sizeHint().width())
                           .arg(s->sizeHint().height())
                           .arg(layout->objectName());
        }
    }
    spacers.sort();
    const QStringList expected{
        "h 0x20 in horizontalLayout_14",  "h 40x20 in gridLayout_43",     "h 40x20 in gridLayout_44",
        "h 40x20 in gridLayout_45",       "h 40x20 in horizontalLayout_38", "h 68x20 in horizontalLayout_8",
        "v 20x0 in verticalLayout_9",     "v 20x156 in verticalLayout_4", "v 20x40 in gridLayout_4",
        "v 20x40 in verticalLayout_10",   "v 388x244 in verticalLayout_11"};
    QCOMPARE(spacers, expected);
}

void TestMainWindowForm::namesReachedByTheShell()
{
    Form f;
    const Ui_MainWindow &ui = f.ui;
    struct Member { const char *name; const char *className; const QObject *object; };
#define M(cls, member) Member{#member, #cls, static_cast<const cls *>(ui.member)}
    const Member members[] = {
        M(CustomComboBox, comboBox_HardwareVersion), M(CustomComboBox, comboBox_MotorType),
        M(CustomComboBox, comboBox_ProductBatch), M(CustomComboBox, comboBox_VendorType),
        M(QAction, actionDock_Control), M(QAction, actionDock_Quick_Set), M(QAction, actionDock_Source),
        M(QAction, actionUpgrade),
        M(QCheckBox, checkBox_AxleAngle), M(QCheckBox, checkBox_AxleSpeed), M(QCheckBox, checkBox_BusVoltage),
        M(QCheckBox, checkBox_EXT), M(QCheckBox, checkBox_ElecAngle), M(QCheckBox, checkBox_InvertMotorDir),
        M(QCheckBox, checkBox_MotorAngle), M(QCheckBox, checkBox_MotorSpeed), M(QCheckBox, checkBox_RTR),
        M(QCheckBox, checkBox_SynchronizationEnable), M(QCheckBox, checkBox_aCurrent),
        M(QCheckBox, checkBox_bCurrent), M(QCheckBox, checkBox_cCurrent), M(QCheckBox, checkBox_dCurrent),
        M(QCheckBox, checkBox_qCurrent), M(QCheckBox, checkBox_recvAll), M(QCheckBox, checkBox_showInText),
        M(QCheckBox, checkBox_showTracer),
        M(QComboBox, comboBox_BaudRate), M(QComboBox, comboBox_ControlMode), M(QComboBox, comboBox_baud),
        M(QDockWidget, dockWidget_control), M(QDockWidget, dockWidget_quick_set),
        M(QDockWidget, dockWidget_source),
        M(QDoubleSpinBox, doubleSpinBox_Position), M(QDoubleSpinBox, doubleSpinBox_TP_Kd),
        M(QDoubleSpinBox, doubleSpinBox_Torque), M(QDoubleSpinBox, doubleSpinBox_Velocity),
        M(QDoubleSpinBox, doubleSpinBox_kd), M(QDoubleSpinBox, doubleSpinBox_kp),
        M(QDoubleSpinBox, doubleSpinBox_tau), M(QDoubleSpinBox, doubleSpinBox_tp),
        M(QDoubleSpinBox, doubleSpinBox_tv),
        M(QGroupBox, groupBox_TP),
        M(QLabel, label), M(QLabel, label_EncoderDir_Calib), M(QLabel, label_EncoderOffset),
        M(QLabel, label_FW), M(QLabel, label_MotorPhaseInductance_Calib),
        M(QLabel, label_MotorPhaseResistance_Calib), M(QLabel, label_MotorPolePairs_Calib),
        M(QLabel, label_Temp1), M(QLabel, label_Temp2), M(QLabel, label_Temp3), M(QLabel, label_type),
        M(QPlainTextEdit, plainTextEdit_display), M(QPlainTextEdit, plainTextEdit_sendData),
        M(QPushButton, pushButton_B_motor), M(QPushButton, pushButton_B_motor_2),
        M(QPushButton, pushButton_BaudRate), M(QPushButton, pushButton_BaudRate_2),
        M(QPushButton, pushButton_CalibCurrent), M(QPushButton, pushButton_CalibCurrent_2),
        M(QPushButton, pushButton_CalibVaild), M(QPushButton, pushButton_CalibVaild_2),
        M(QPushButton, pushButton_CalibVoltage), M(QPushButton, pushButton_CalibVoltage_2),
        M(QPushButton, pushButton_ControlMode), M(QPushButton, pushButton_ControlMode_2),
        M(QPushButton, pushButton_CurrentControlBandwidth),
        M(QPushButton, pushButton_CurrentControlBandwidth_2), M(QPushButton, pushButton_CurrentLimit),
        M(QPushButton, pushButton_CurrentLimit_2), M(QPushButton, pushButton_Current_cutoff),
        M(QPushButton, pushButton_Current_cutoff_2), M(QPushButton, pushButton_Current_scale),
        M(QPushButton, pushButton_Current_scale_2), M(QPushButton, pushButton_EncoderDir),
        M(QPushButton, pushButton_EncoderDir_2), M(QPushButton, pushButton_EncoderOffset),
        M(QPushButton, pushButton_EncoderOffset_2), M(QPushButton, pushButton_EnterMotorMode),
        M(QPushButton, pushButton_ExitMotorMode), M(QPushButton, pushButton_Fric_motor),
        M(QPushButton, pushButton_Fric_motor_2), M(QPushButton, pushButton_HardwareVersion),
        M(QPushButton, pushButton_HardwareVersion_2), M(QPushButton, pushButton_HeartbeatConsumer_ms),
        M(QPushButton, pushButton_HeartbeatConsumer_ms_2), M(QPushButton, pushButton_HeartbeatProducer_ms),
        M(QPushButton, pushButton_HeartbeatProducer_ms_2), M(QPushButton, pushButton_Identify),
        M(QPushButton, pushButton_Inertia), M(QPushButton, pushButton_Inertia_2),
        M(QPushButton, pushButton_InvertMotorDir), M(QPushButton, pushButton_InvertMotorDir_2),
        M(QPushButton, pushButton_J_motor), M(QPushButton, pushButton_J_motor_2),
        M(QPushButton, pushButton_McuMaxTemperature), M(QPushButton, pushButton_McuMaxTemperature_2),
        M(QPushButton, pushButton_MosMaxTemperature), M(QPushButton, pushButton_MosMaxTemperature_2),
        M(QPushButton, pushButton_MotorMaxTemperature), M(QPushButton, pushButton_MotorMaxTemperature_2),
        M(QPushButton, pushButton_MotorNumber), M(QPushButton, pushButton_MotorNumber_2),
        M(QPushButton, pushButton_MotorPhaseInductance), M(QPushButton, pushButton_MotorPhaseInductance_2),
        M(QPushButton, pushButton_MotorPhaseResistance), M(QPushButton, pushButton_MotorPhaseResistance_2),
        M(QPushButton, pushButton_MotorPolePairs), M(QPushButton, pushButton_MotorPolePairs_2),
        M(QPushButton, pushButton_MotorType), M(QPushButton, pushButton_MotorType_2),
        M(QPushButton, pushButton_NodeID), M(QPushButton, pushButton_NodeID_2),
        M(QPushButton, pushButton_PosGain), M(QPushButton, pushButton_PosGain_2),
        M(QPushButton, pushButton_Position), M(QPushButton, pushButton_PositionFilterBandwidth),
        M(QPushButton, pushButton_PositionFilterBandwidth_2), M(QPushButton, pushButton_PositionWindow),
        M(QPushButton, pushButton_PositionWindow_2), M(QPushButton, pushButton_ProductBatch),
        M(QPushButton, pushButton_ProductBatch_2), M(QPushButton, pushButton_ProfileDecel),
        M(QPushButton, pushButton_ProfileDecel_2), M(QPushButton, pushButton_ProfileVelocity),
        M(QPushButton, pushButton_ProfileVelocity_2), M(QPushButton, pushButton_ProtectIBusMax),
        M(QPushButton, pushButton_ProtectIBusMax_2), M(QPushButton, pushButton_ProtectILeakMax),
        M(QPushButton, pushButton_ProtectILeakMax_2), M(QPushButton, pushButton_ProtectOverCurrent),
        M(QPushButton, pushButton_ProtectOverCurrent_2), M(QPushButton, pushButton_ProtectOverVoltage),
        M(QPushButton, pushButton_ProtectOverVoltage_2), M(QPushButton, pushButton_ProtectUnderVoltage),
        M(QPushButton, pushButton_ProtectUnderVoltage_2), M(QPushButton, pushButton_ReadALLinformation),
        M(QPushButton, pushButton_ReadAllConfig), M(QPushButton, pushButton_ReductionRatio),
        M(QPushButton, pushButton_ReductionRatio_2), M(QPushButton, pushButton_ResetConfigs),
        M(QPushButton, pushButton_Roundtrip_Position), M(QPushButton, pushButton_Roundtrip_Speed),
        M(QPushButton, pushButton_Roundtrip_Torque), M(QPushButton, pushButton_SaveConfigs),
        M(QPushButton, pushButton_SaveInformation), M(QPushButton, pushButton_SetZeroPoint),
        M(QPushButton, pushButton_StartCalib), M(QPushButton, pushButton_SynchronizationEnable),
        M(QPushButton, pushButton_SynchronizationEnable_2), M(QPushButton, pushButton_TP_Enable),
        M(QPushButton, pushButton_TP_start), M(QPushButton, pushButton_Temp),
        M(QPushButton, pushButton_Torque), M(QPushButton, pushButton_TorqueCostant),
        M(QPushButton, pushButton_TorqueCostant_2), M(QPushButton, pushButton_TorqueRampRate),
        M(QPushButton, pushButton_TorqueRampRate_2), M(QPushButton, pushButton_Torque_scale),
        M(QPushButton, pushButton_Torque_scale_2), M(QPushButton, pushButton_VelGain),
        M(QPushButton, pushButton_VelGain_2), M(QPushButton, pushButton_VelIntegratorGain),
        M(QPushButton, pushButton_VelIntegratorGain_2), M(QPushButton, pushButton_Velocity),
        M(QPushButton, pushButton_VelocityLimit), M(QPushButton, pushButton_VelocityLimit_2),
        M(QPushButton, pushButton_VelocityRampGate), M(QPushButton, pushButton_VelocityRampGate_2),
        M(QPushButton, pushButton_VelocityWindow), M(QPushButton, pushButton_VelocityWindow_2),
        M(QPushButton, pushButton_VendorType), M(QPushButton, pushButton_VendorType_2),
        M(QPushButton, pushButton_WriteALLinformation), M(QPushButton, pushButton_WriteAllConfig),
        M(QPushButton, pushButton_clear), M(QPushButton, pushButton_clearState),
        M(QPushButton, pushButton_clearTemperature), M(QPushButton, pushButton_closeport),
        M(QPushButton, pushButton_ctrl_dock), M(QPushButton, pushButton_display),
        M(QPushButton, pushButton_fw), M(QPushButton, pushButton_getState),
        M(QPushButton, pushButton_loadConfigFile), M(QPushButton, pushButton_openport),
        M(QPushButton, pushButton_plotTemperature), M(QPushButton, pushButton_profileAccel),
        M(QPushButton, pushButton_profileAccel_2), M(QPushButton, pushButton_readTorqueCalib),
        M(QPushButton, pushButton_saveConfigFile), M(QPushButton, pushButton_send),
        M(QPushButton, pushButton_set), M(QPushButton, pushButton_source_dock),
        M(QPushButton, pushButton_stcuk_iq), M(QPushButton, pushButton_stcuk_iq_2),
        M(QPushButton, pushButton_stcuk_time), M(QPushButton, pushButton_stcuk_time_2),
        M(QPushButton, pushButton_stcuk_velocity), M(QPushButton, pushButton_stcuk_velocity_2),
        M(QPushButton, pushButton_type), M(QPushButton, pushButton_updateFW),
        M(QPushButton, pushButton_writeTorqueCalib),
        M(QLineEdit, lineEdit_CalibVaild), M(QLineEdit, lineEdit_EncoderDir),
        M(QLineEdit, lineEdit_TP_currentPosition), M(QLineEdit, lineEdit_TP_currentSpeed),
        M(QLineEdit, lineEdit_TP_currentTorque), M(QLineEdit, lineEdit_state),
        M(QRadioButton, radioButtonCAN1), M(QRadioButton, radioButtonCAN2), M(QRadioButton, radioButton_10),
        M(QRadioButton, radioButton_float),
        M(QSpinBox, spinBox_MotorNumber), M(QSpinBox, spinBox_TP_Kp), M(QSpinBox, spinBox_TP_position),
        M(QSpinBox, spinBox_TP_speed), M(QSpinBox, spinBox_TP_times), M(QSpinBox, spinBox_TP_torque),
        M(QSpinBox, spinBox_id), M(QSpinBox, spinBox_id_2),
        M(QTabWidget, tabWidget),
        M(QTextEdit, textEdit_error),
        M(QWidget, widget_serial_text),
        M(VekCustomPlot, plot), M(VekCustomPlot, plot_temperature),
        M(nwheeldoublespinbox, doubleSpinBox_B_motor), M(nwheeldoublespinbox, doubleSpinBox_CalibCurrent),
        M(nwheeldoublespinbox, doubleSpinBox_CalibVoltage),
        M(nwheeldoublespinbox, doubleSpinBox_CurrentControlBandwidth),
        M(nwheeldoublespinbox, doubleSpinBox_CurrentLimit),
        M(nwheeldoublespinbox, doubleSpinBox_Current_cutoff),
        M(nwheeldoublespinbox, doubleSpinBox_Current_scale),
        M(nwheeldoublespinbox, doubleSpinBox_EncoderOffset), M(nwheeldoublespinbox, doubleSpinBox_Fric_motor),
        M(nwheeldoublespinbox, doubleSpinBox_HeartbeatConsumer_ms),
        M(nwheeldoublespinbox, doubleSpinBox_HeartbeatProducer_ms),
        M(nwheeldoublespinbox, doubleSpinBox_Inertia), M(nwheeldoublespinbox, doubleSpinBox_J_motor),
        M(nwheeldoublespinbox, doubleSpinBox_McuMaxTemperature),
        M(nwheeldoublespinbox, doubleSpinBox_MosMaxTemperature),
        M(nwheeldoublespinbox, doubleSpinBox_MotorMaxTemperature),
        M(nwheeldoublespinbox, doubleSpinBox_MotorPhaseInductance),
        M(nwheeldoublespinbox, doubleSpinBox_MotorPhaseResistance),
        M(nwheeldoublespinbox, doubleSpinBox_MotorPolePairs), M(nwheeldoublespinbox, doubleSpinBox_NodeID),
        M(nwheeldoublespinbox, doubleSpinBox_PosGain),
        M(nwheeldoublespinbox, doubleSpinBox_PositionFilterBandwidth),
        M(nwheeldoublespinbox, doubleSpinBox_PositionWindow),
        M(nwheeldoublespinbox, doubleSpinBox_ProfileDecel),
        M(nwheeldoublespinbox, doubleSpinBox_ProfileVelocity),
        M(nwheeldoublespinbox, doubleSpinBox_ProtectIBusMax),
        M(nwheeldoublespinbox, doubleSpinBox_ProtectILeakMax),
        M(nwheeldoublespinbox, doubleSpinBox_ProtectOverCurrent),
        M(nwheeldoublespinbox, doubleSpinBox_ProtectOverVoltage),
        M(nwheeldoublespinbox, doubleSpinBox_ProtectUnderVoltage),
        M(nwheeldoublespinbox, doubleSpinBox_ReductionRatio),
        M(nwheeldoublespinbox, doubleSpinBox_TorqueCostant),
        M(nwheeldoublespinbox, doubleSpinBox_TorqueRampRate),
        M(nwheeldoublespinbox, doubleSpinBox_Torque_scale), M(nwheeldoublespinbox, doubleSpinBox_VelGain),
        M(nwheeldoublespinbox, doubleSpinBox_VelIntegratorGain),
        M(nwheeldoublespinbox, doubleSpinBox_VelocityLimit),
        M(nwheeldoublespinbox, doubleSpinBox_VelocityRampGate),
        M(nwheeldoublespinbox, doubleSpinBox_VelocityWindow),
        M(nwheeldoublespinbox, doubleSpinBox_intervaltime_position),
        M(nwheeldoublespinbox, doubleSpinBox_intervaltime_speed),
        M(nwheeldoublespinbox, doubleSpinBox_intervaltime_torque),
        M(nwheeldoublespinbox, doubleSpinBox_position_down),
        M(nwheeldoublespinbox, doubleSpinBox_position_up), M(nwheeldoublespinbox, doubleSpinBox_profileAccel),
        M(nwheeldoublespinbox, doubleSpinBox_runalltime_position),
        M(nwheeldoublespinbox, doubleSpinBox_runalltime_speed),
        M(nwheeldoublespinbox, doubleSpinBox_runalltime_torque),
        M(nwheeldoublespinbox, doubleSpinBox_speed_down), M(nwheeldoublespinbox, doubleSpinBox_speed_up),
        M(nwheeldoublespinbox, doubleSpinBox_stcuk_iq), M(nwheeldoublespinbox, doubleSpinBox_stcuk_time),
        M(nwheeldoublespinbox, doubleSpinBox_stcuk_velocity),
        M(nwheeldoublespinbox, doubleSpinBox_torque_down), M(nwheeldoublespinbox, doubleSpinBox_torque_up),
    };
#undef M
    for (const Member &m : members) {
        QVERIFY2(m.object, m.name);
        QCOMPARE(m.object->objectName(), QString::fromLatin1(m.name));
        QCOMPARE(m.object->metaObject()->className(), m.className);
    }
}

void TestMainWindowForm::windowFrame()
{
    Form f;
    QCOMPARE(f.window.size(), QSize(1205, 869));
    QCOMPARE(f.window.font().weight(), QFont::Normal);
    QVERIFY(!f.window.documentMode());
    QVERIFY(f.window.isDockNestingEnabled());
    QCOMPARE(int(f.window.dockOptions()), 7);
    QCOMPARE(f.window.windowTitle(), QStringLiteral("Quintrel"));
    QCOMPARE(f.window.toolTip(), QStringLiteral("<html><head/><body><p><br/></p></body></html>"));
    QCOMPARE(f.ui.menuBar->geometry(), QRect(0, 0, 1205, 22));
    QCOMPARE(f.window.menuBar(), f.ui.menuBar);
    QCOMPARE(f.window.statusBar(), f.ui.statusBar);
    QVERIFY(f.ui.statusBar->children().size() <= 2); // only its own layout and size grip
    QCOMPARE(f.window.toolBarArea(f.ui.toolBar), Qt::TopToolBarArea);
    QCOMPARE(f.ui.toolBar->windowTitle(), QStringLiteral("toolBar"));
}

void TestMainWindowForm::actions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tip");
    QTest::addColumn<QString>("shortcut");
    QTest::addColumn<bool>("checkable");
    // tool tips default to the text when none is set
    QTest::newRow("Exit") << "actionExit" << "Exit" << "Exit" << "Ctrl+Q" << false;
    QTest::newRow("Settings") << "actionSettings" << "Settings" << "Settings" << "" << false;
    QTest::newRow("Full Screen") << "actionFull_Screen" << "Full Screen" << "Full Screen" << "" << false;
    QTest::newRow("Normal Window") << "actionNormal_Window" << "Normal Window" << "Normal Window" << "" << false;
    QTest::newRow("Dock Quick Set") << "actionDock_Quick_Set" << "Dock Quick Set" << "Dock Quick Set" << "" << true;
    QTest::newRow("Serial Monitor") << "actionSerialMonitor" << "Serial Monitor" << "Serial Monitor" << "" << true;
    QTest::newRow("Dock Source") << "actionDock_Source" << "Dock Source" << "Dock Source" << "" << true;
    QTest::newRow("Dock Calib") << "actionDock_Calib" << "Dock Calib" << "Dock Calib" << "" << true;
    QTest::newRow("Dock Control") << "actionDock_Control" << "Dock Control" << "Dock Control" << "" << true;
    QTest::newRow("background") << "actionbackroundColor" << "Use Dack Background" << "Use Dack Background" << "" << false;
    QTest::newRow("Upgrade") << "actionUpgrade" << "Upgrade" << "Upgrade" << "" << false;
}

void TestMainWindowForm::actions()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, tip);
    QFETCH(QString, shortcut);
    QFETCH(bool, checkable);
    Form f;
    auto *action = f.window.findChild<QAction *>(name);
    QVERIFY(action);
    QCOMPARE(action->parent(), &f.window);
    QCOMPARE(action->text(), text);
    QCOMPARE(action->toolTip(), tip);
    QCOMPARE(action->shortcut(), QKeySequence(shortcut));
    QCOMPARE(action->isCheckable(), checkable);
    QVERIFY(!action->isChecked());
    QVERIFY(action->icon().isNull());
}

void TestMainWindowForm::menusAndToolBar()
{
    Form f;
    const Ui_MainWindow &ui = f.ui;
    QCOMPARE(actionNames(ui.menuBar->actions()), QStringList({"", "", "", ""}));
    QCOMPARE(ui.menuBar->actions().at(0), ui.menuFile->menuAction());
    QCOMPARE(ui.menuBar->actions().at(1), ui.menuEdit->menuAction());
    QCOMPARE(ui.menuBar->actions().at(2), ui.menuView->menuAction());
    QCOMPARE(ui.menuBar->actions().at(3), ui.menuHelp->menuAction());
    QCOMPARE(ui.menuFile->title(), QStringLiteral("File"));
    QCOMPARE(ui.menuEdit->title(), QStringLiteral("Edit"));
    QCOMPARE(ui.menuView->title(), QStringLiteral("View"));
    QCOMPARE(ui.menuHelp->title(), QStringLiteral("Help"));

    QCOMPARE(actionNames(ui.menuFile->actions()), QStringList({"|", "actionExit"}));
    QCOMPARE(actionNames(ui.menuEdit->actions()), QStringList({"actionSettings"}));
    QCOMPARE(actionNames(ui.menuView->actions()),
             QStringList({"actionNormal_Window", "actionFull_Screen", "actionbackroundColor", "|", "|",
                          "actionDock_Quick_Set", "actionDock_Control", "actionSerialMonitor", "actionDock_Source"}));
    QCOMPARE(actionNames(ui.menuHelp->actions()), QStringList({"actionUpgrade"}));
    QCOMPARE(actionNames(ui.toolBar->actions()),
             QStringList({"actionExit", "|", "actionFull_Screen", "actionNormal_Window", "|", "actionDock_Source", "|",
                          "actionSerialMonitor", "|", "actionDock_Quick_Set", "|", "actionDock_Control"}));

    // Dock Calib is checkable but reachable from nowhere.
    QVERIFY(ui.actionDock_Calib->associatedObjects().isEmpty());
}

void TestMainWindowForm::connectionsOfSetup()
{
    Form f;
    const Ui_MainWindow &ui = f.ui;
    f.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));

    struct Toggle { QAction *action; QWidget *target; };
    const Toggle toggles[] = {{ui.actionSerialMonitor, ui.widget_serial_text},
                              {ui.actionDock_Quick_Set, ui.dockWidget_quick_set},
                              {ui.actionDock_Source, ui.dockWidget_source},
                              {ui.actionDock_Control, ui.dockWidget_control}};
    for (const Toggle &t : toggles) {
        QVERIFY(t.target->isVisible());
        t.action->setChecked(true);
        QVERIFY2(t.target->isVisible(), qPrintable(t.action->objectName()));
        t.action->setChecked(false);
        QVERIFY2(!t.target->isVisible(), qPrintable(t.action->objectName()));
        t.action->setChecked(true);
        QVERIFY2(t.target->isVisible(), qPrintable(t.action->objectName()));
    }

    // Hiding the log pane hands its room to the plot tabs.
    const int tabsHeight = ui.tabWidget->height();
    ui.actionSerialMonitor->setChecked(false);
    QTRY_VERIFY(ui.tabWidget->height() > tabsHeight);
    ui.actionSerialMonitor->setChecked(true);
    QTRY_COMPARE(ui.tabWidget->height(), tabsHeight);

    // Unconnected actions change nothing.
    const QSize before = f.window.size();
    ui.actionSettings->trigger();
    ui.actionDock_Calib->toggle();
    QVERIFY(f.window.isVisible());
    QCOMPARE(f.window.size(), before);

    ui.actionFull_Screen->trigger();
    QVERIFY(f.window.windowState() & Qt::WindowFullScreen);
    ui.actionNormal_Window->trigger();
    QVERIFY(!(f.window.windowState() & Qt::WindowFullScreen));

    ui.actionExit->trigger();
    QVERIFY(!f.window.isVisible());
}

void TestMainWindowForm::slotsBoundByName()
{
    SlotWindow w;
    Ui_MainWindow ui;
    ui.setupUi(&w);

    ui.actionbackroundColor->trigger();
    ui.checkBox_recvAll->setChecked(false);
    ui.checkBox_showTracer->setChecked(true);
    ui.spinBox_id->setValue(0x101);
    const QList<QPushButton *> buttons{
        ui.pushButton_openport, ui.pushButton_closeport, ui.pushButton_clear, ui.pushButton_send,
        ui.pushButton_clearState, ui.pushButton_display, ui.pushButton_set, ui.pushButton_ReadAllConfig,
        ui.pushButton_WriteAllConfig, ui.pushButton_loadConfigFile, ui.pushButton_saveConfigFile,
        ui.pushButton_readTorqueCalib, ui.pushButton_writeTorqueCalib, ui.pushButton_StartCalib,
        ui.pushButton_Identify, ui.pushButton_Roundtrip_Torque, ui.pushButton_Roundtrip_Speed,
        ui.pushButton_Roundtrip_Position, ui.pushButton_TP_Enable, ui.pushButton_Temp,
        ui.pushButton_clearTemperature, ui.pushButton_plotTemperature, ui.pushButton_updateFW};
    for (QPushButton *b : buttons)
        b->click();
    ui.pushButton_TP_start->setEnabled(true); // the form starts it disabled
    ui.pushButton_TP_start->click();

    QStringList calls = w.calls;
    QCOMPARE(calls.size(), 28);
    calls.removeDuplicates();
    QCOMPARE(calls.size(), 28);
}

void TestMainWindowForm::docks()
{
    Form f;
    const Ui_MainWindow &ui = f.ui;
    QMainWindow &w = f.window;
    const QString controlTip = "<html><head/><body><p>Control Dock Window</p></body></html>";
    const QString quickTip = "<html><head/><body><p>Quick Set Dock Window</p></body></html>";

    QCOMPARE(w.dockWidgetArea(ui.dockWidget_control), Qt::RightDockWidgetArea);
    QCOMPARE(ui.dockWidget_control->allowedAreas(), Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    QCOMPARE(ui.dockWidget_control->minimumSize(), QSize(508, 326));
    QCOMPARE(ui.dockWidget_control->maximumSize(), QSize(1000, 524287));
    QCOMPARE(ui.dockWidget_control->windowTitle(), QStringLiteral("Control"));
    QCOMPARE(ui.dockWidget_control->toolTip(), controlTip);
    QCOMPARE(ui.dockWidget_control->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
    QVERIFY(!ui.dockWidget_control->isFloating());
    QCOMPARE(ui.dockWidget_control->widget(), ui.dockWidgetContents);
    QCOMPARE(ui.gridLayout_13->contentsMargins().left(), 3);
    QCOMPARE(ui.gridLayout_13->contentsMargins().right(), 3);
    QCOMPARE(ui.pushButton_ctrl_dock->text(), QStringLiteral("Dock"));
    int row, col, rs, cs;
    ui.gridLayout_13->getItemPosition(ui.gridLayout_13->indexOf(ui.pushButton_ctrl_dock), &row, &col, &rs, &cs);
    QCOMPARE(row, 0);
    ui.gridLayout_13->getItemPosition(ui.gridLayout_13->indexOf(ui.tabWidget1), &row, &col, &rs, &cs);
    QCOMPARE(row, 1);

    QCOMPARE(w.dockWidgetArea(ui.dockWidget_quick_set), Qt::BottomDockWidgetArea);
    QCOMPARE(ui.dockWidget_quick_set->allowedAreas(), Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);
    QCOMPARE(ui.dockWidget_quick_set->minimumSize(), QSize(244, 127));
    QCOMPARE(ui.dockWidget_quick_set->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    QCOMPARE(ui.dockWidget_quick_set->windowTitle(), QStringLiteral("Quick Set"));
    QCOMPARE(ui.dockWidget_quick_set->toolTip(), quickTip);
    QCOMPARE(ui.dockWidget_quick_set->widget(), ui.dockWidgetContents_2);

    QCOMPARE(w.dockWidgetArea(ui.dockWidget_source), Qt::LeftDockWidgetArea);
    QCOMPARE(ui.dockWidget_source->allowedAreas(), Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    QCOMPARE(ui.dockWidget_source->minimumSize(), QSize(350, 290));
    QCOMPARE(ui.dockWidget_source->maximumSize(), QSize(850, 524287));
    QCOMPARE(ui.dockWidget_source->windowTitle(), QStringLiteral("Source"));
    QVERIFY(ui.dockWidget_source->toolTip().isEmpty());
    QCOMPARE(ui.dockWidget_source->widget(), ui.dockWidgetContents_3);
    QCOMPARE(ui.verticalLayout_18->indexOf(ui.pushButton_source_dock), 0);
    QCOMPARE(ui.verticalLayout_18->indexOf(ui.stackedWidget), 1);
    QCOMPARE(ui.pushButton_source_dock->text(), QStringLiteral("Dock"));

    // No dock feature is changed from the default.
    const auto defaults = QDockWidget().features();
    for (const QDockWidget *d : {ui.dockWidget_control, ui.dockWidget_quick_set, ui.dockWidget_source})
        QCOMPARE(d->features(), defaults);
}

void TestMainWindowForm::centralArea()
{
    Form f;
    const Ui_MainWindow &ui = f.ui;
    QCOMPARE(f.window.centralWidget(), ui.centralWidget);
    QCOMPARE(ui.gridLayout_3->spacing(), 6);
    QCOMPARE(ui.gridLayout_3->contentsMargins(), QMargins(11, 11, 11, 11));
    QCOMPARE(ui.splitter->orientation(), Qt::Vertical);
    QCOMPARE(ui.splitter->count(), 2);
    QCOMPARE(ui.splitter->widget(0), ui.tabWidget);
    QCOMPARE(ui.splitter->widget(1), ui.widget_serial_text);

    QCOMPARE(ui.tabWidget->tabPosition(), QTabWidget::South);
    QCOMPARE(ui.tabWidget->tabShape(), QTabWidget::Rounded);
    QVERIFY(ui.tabWidget->documentMode());
    QCOMPARE(ui.tabWidget->count(), 2);
    QCOMPARE(ui.tabWidget->widget(0), ui.tabWidgetPage1);
    QCOMPARE(ui.tabWidget->tabText(0), QStringLiteral("Parameter"));
    QCOMPARE(ui.tabWidget->widget(1), ui.tabWidgetPage2);
    QCOMPARE(ui.tabWidget->tabText(1), QStringLiteral("Temperature"));
    QCOMPARE(ui.plot->parentWidget(), ui.tabWidgetPage1);
    QCOMPARE(ui.plot_temperature->parentWidget(), ui.tabWidgetPage2);
    for (const QWidget *plot : {static_cast<QWidget *>(ui.plot), static_cast<QWidget *>(ui.plot_temperature)}) {
        QCOMPARE(plot->minimumSize(), QSize(100, 200));
        QCOMPARE(plot->sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
        QCOMPARE(plot->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
    }

    QCOMPARE(ui.widget_serial_text->minimumHeight(), 200);
    QCOMPARE(ui.widget_serial_text->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(ui.gridLayout->spacing(), 2);
    QCOMPARE(ui.gridLayout->contentsMargins(), QMargins(1, 1, 1, 1));
    QCOMPARE(ui.gridLayout->sizeConstraint(), QLayout::SetNoConstraint);
    QVERIFY(ui.plainTextEdit_display->isReadOnly());
    QCOMPARE(ui.plainTextEdit_display->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(ui.plainTextEdit_display->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    QCOMPARE(ui.plainTextEdit_display->toolTipDuration(), 1);
    QCOMPARE(ui.plainTextEdit_display->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(ui.plainTextEdit_sendData->maximumHeight(), 50);
    QVERIFY(!ui.plainTextEdit_sendData->isReadOnly());
    QCOMPARE(ui.horizontalLayout_11->indexOf(ui.pushButton_send), 0);
    QCOMPARE(ui.horizontalLayout_11->indexOf(ui.pushButton_clear), 1);
    for (const QPushButton *b : {ui.pushButton_send, ui.pushButton_clear}) {
        QCOMPARE(b->minimumHeight(), 30);
        QCOMPARE(b->maximumHeight(), 40);
        QCOMPARE(b->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
    }
    QCOMPARE(ui.pushButton_send->text(), QStringLiteral("Send"));
    QCOMPARE(ui.pushButton_clear->text(), QStringLiteral("Clear"));
}

void TestMainWindowForm::startState()
{
    Form f;
    const Ui_MainWindow &ui = f.ui;
    QCOMPARE(ui.tabWidget->currentWidget(), ui.tabWidgetPage2);
    QCOMPARE(ui.tabWidget1->currentWidget(), ui.tab);
    QCOMPARE(ui.stackedWidget->currentWidget(), ui.stackedWidgetPage1);
    QCOMPARE(ui.stackedWidget->count(), 2);

    QVERIFY(!ui.tabWidget1->usesScrollButtons());
    QVERIFY(ui.tabWidget1->documentMode());
    const QList<QPair<QWidget *, QString>> pages{{ui.tab_5, "Information"}, {ui.tab, "Config"},
                                                 {ui.tab_2, "Calibration"}, {ui.tab_3, "Roundtrip"},
                                                 {ui.tab_4, "力位混合"}};
    QCOMPARE(ui.tabWidget1->count(), pages.size());
    for (int i = 0; i < pages.size(); ++i) {
        QCOMPARE(ui.tabWidget1->widget(i), pages[i].first);
        QCOMPARE(ui.tabWidget1->tabText(i), pages[i].second);
        // each page's grid holds exactly one scroll area that resizes its contents
        auto *grid = qobject_cast<QGridLayout *>(pages[i].first->layout());
        QVERIFY(grid);
        QCOMPARE(grid->count(), i == 1 ? 2 : 1);
        auto *scroll = qobject_cast<QScrollArea *>(grid->itemAt(0)->widget());
        QVERIFY(scroll);
        QVERIFY(scroll->widgetResizable());
    }

    f.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    for (const QDockWidget *d : {ui.dockWidget_control, ui.dockWidget_quick_set, ui.dockWidget_source})
        QVERIFY(d->isVisible());
    for (const QAction *a : f.window.findChildren<QAction *>(QRegularExpression("^action")))
        QVERIFY2(!a->isChecked(), qPrintable(a->objectName()));
}

void TestMainWindowForm::toolTips()
{
    Form f;
    QStringList withTip;
    for (const QObject *o : formObjects(f.window))
        if (o->isWidgetType() && !static_cast<const QWidget *>(o)->toolTip().isEmpty())
            withTip << o->objectName();
    withTip.sort();
    QStringList expected{"dockWidget_control", "dockWidget_quick_set", "label_21", "label_22", "label_23"};
    for (const char *label : {"label_41", "label_42", "label_43", "label_44", "label_45", "label_46", "label_47",
                              "label_48", "label_73", "label_74", "label_75", "label_76", "label_87", "label_88"})
        expected << QString::fromLatin1(label);
    expected.sort();
    QCOMPARE(withTip, expected);
    QVERIFY(!f.window.toolTip().isEmpty());
    // of the actions only Full Screen has a tip of its own
    for (const QAction *a : f.window.findChildren<QAction *>(QRegularExpression("^action")))
        QCOMPARE(a->toolTip(), a->text());
}

void TestMainWindowForm::retranslateChangesNothing()
{
    Form f;
    const QMap<QString, QString> before = textSnapshot(f.window);
    QVERIFY(before.size() > 600);
    f.ui.retranslateUi(&f.window);
    QCOMPARE(textSnapshot(f.window), before);

    // It puts texts back by index, without adding items.
    f.ui.label_48->setText(QStringLiteral("x"));
    f.ui.comboBox_baud->setItemText(3, QStringLiteral("x"));
    f.ui.tabWidget1->setTabText(4, QStringLiteral("x"));
    f.ui.doubleSpinBox_CurrentLimit->setSuffix(QString());
    f.ui.retranslateUi(&f.window);
    QCOMPARE(textSnapshot(f.window), before);
}

void TestMainWindowForm::windowObjectName()
{
    Form unnamed;
    QCOMPARE(unnamed.window.objectName(), QStringLiteral("MainWindow"));

    QMainWindow named;
    named.setObjectName(QStringLiteral("Workbench"));
    Ui_MainWindow ui;
    ui.setupUi(&named);
    QCOMPARE(named.objectName(), QStringLiteral("Workbench"));
}

QTEST_MAIN(TestMainWindowForm)
#include "tst_mainwindowform.moc"
