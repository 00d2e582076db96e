// The form's objects as tables, one row a line.
// clang-format off
#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QStyle>
#include <QTextEdit>

// The path lets this target's AUTOUIC find the form next to the sources.
#include "forms/ui_mainwindow.h"

namespace {

struct Form
{
    QMainWindow window;
    Ui_MainWindow ui;
    Form() { ui.setupUi(&window); }
    template <typename T> T *get(const QString &name) const { return window.findChild<T *>(name); }
};

const QString htmlBlank = QStringLiteral("<html><head/><body><p><br/></p></body></html>");

// The row box of a parameter: the group box whose layout holds the input.
QGroupBox *rowBox(QWidget *input) { return qobject_cast<QGroupBox *>(input->parentWidget()); }

QPair<int, int> gridCell(QLayout *layout, QWidget *w)
{
    auto *grid = qobject_cast<QGridLayout *>(layout);
    int row = -1, col = -1, rs = 0, cs = 0;
    if (grid && grid->indexOf(w) >= 0)
        grid->getItemPosition(grid->indexOf(w), &row, &col, &rs, &cs);
    return {row, col};
}

QStringList childBoxNames(QLayout *layout)
{
    QStringList names;
    for (int i = 0; i < layout->count(); ++i)
        if (QWidget *w = layout->itemAt(i)->widget())
            names << w->objectName();
    return names;
}

} // namespace

class TestParameterRows : public QObject
{
    Q_OBJECT

private slots:
    void spinRows_data();
    void spinRows();
    void otherRows();
    void configGroups();
    void informationPage();
    void configFoot();
    void calibrationPage();
    void roundtripPage();
    void hybridPage();
    void quickSetDock();
    void sourceDock();
};

void TestParameterRows::spinRows_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<bool>("adaptive");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("buttonsEnabled");
    QTest::addColumn<QString>("tip");

    auto row = [](const char *name, const char *label, const char *caption, int decimals, double min, double max,
                  double value, const char *suffix, bool adaptive = true, bool readOnly = false,
                  bool enabled = true, const QString &tip = QString()) {
        QTest::newRow(name) << QString::fromUtf8(name) << QString::fromUtf8(label) << QString::fromUtf8(caption)
                            << decimals << min << max << value << QString::fromUtf8(suffix) << adaptive << readOnly
                            << enabled << tip;
    };
    // 电机
    row("Inertia", "label_42", "转动惯量：", 4, 0, 100, 0, " [A/(rad/s^2)] ", true, false, true,
        "[A/(turn/s^2)]，0~100\n电机转子和负载的转动惯量");
    row("TorqueCostant", "label_47", "转矩常数：", 4, 0, 10, 0, " [Nm/A]", true, false, true, "[Nm/A], 0~10\n电机转矩常数");
    row("MotorPolePairs", "label_46", "电磁极极对数：", 0, 2, 100, 2, " [PP]", true, false, true,
        "[PP], 2~30\n电机磁极对数，校准过程自动测量");
    row("MotorPhaseResistance", "label_43", "电机相电阻：", 6, 0, 10, 0, " [R]", true, false, true,
        "[R], 0~10\n电机相电阻，校准过程自动测量");
    row("MotorPhaseInductance", "label_44", "电机相电感：", 6, 0, 10, 0, " [H]", true, false, true,
        "[H], 0~10\n电机相电感，校准过程自动测量");
    row("CurrentLimit", "label_45", "力矩电流限制：", 2, 0, 100, 0, " [A]", true, false, true, "[A], 0~45\n电机最大电流限制");
    row("VelocityLimit", "label_41", "电机转速限制：", 2, -120000, 120000, 12000, " [rad/s]", true, false, true,
        "[trun/s], 0~100\n电机最大转速限制");
    row("Current_cutoff", "label_87", "突破电流", 2, 0, 100, 15, " [A]", true, false, true, htmlBlank);
    row("Torque_scale", "label_76", "力矩比例", 4, 0, 1000, 19, "", true, false, true, htmlBlank);
    row("Current_scale", "label_75", "电流比例", 4, 0, 1000, 0.25, "", true, false, true, htmlBlank);
    row("J_motor", "label_74", "电机转动惯量", 5, 0, 2, 0.001, " [kg·m^2]", true, false, true, htmlBlank);
    row("B_motor", "label_73", "电机粘性摩擦", 5, 0, 2, 0.001, " [N·m·s/rad]", true, false, true, htmlBlank);
    row("Fric_motor", "label_88", "电机静摩擦", 5, 0, 2, 0.001, " [N·m·s/rad]", true, false, true, htmlBlank);
    // 校准
    row("CalibCurrent", "label_50", "校准电流：", 2, 0, 45, 0, " [A]");
    row("CalibVoltage", "label_49", "校准电压：", 2, 0, 45, 0, " [V]");
    row("EncoderOffset", "label_63", "编码器偏移：", 2, -1000000, 1000000, 0, "", true, true);
    // 控制器
    row("PosGain", "label_25", "位置环增益：", 4, 0, 1000, 0, "");
    row("VelGain", "label_26", "转速环增益：", 4, 0, 1000, 0, "");
    row("VelIntegratorGain", "label_27", "转速环积分增益：", 2, 0, 1000, 0, "");
    row("CurrentControlBandwidth", "label_29", "电流环控制带宽：", 2, 2, 5000, 2, "");
    // only the minimum is set; the default maximum 99.99 shows as 100 with no decimals
    row("ReductionRatio", "label_30", "减速比", 0, 1, 100, 1, "", false);
    row("VelocityWindow", "label_32", "转速到达窗口：", 4, 0, 100, 0, " [rad/s]", false);
    row("PositionWindow", "label_34", "位置到达窗口：", 4, 0, 100, 0, " [rad]", false);
    row("TorqueRampRate", "label_35", "转矩爬升速度：", 4, 0, 100, 0, " [Nm/s]", false);
    row("VelocityRampGate", "label_36", "转速爬升速度：", 4, 0, 1000, 0, " [(rad/s)/s]", false);
    row("PositionFilterBandwidth", "label_37", "位置过滤带宽：", 2, 2, 5000, 2, "", false);
    row("ProfileVelocity", "label_38", "轮廓模式最大转速", 2, -12000, 12000, 0, " [rad/s]", false);
    row("profileAccel", "label_51", "轮廓模式最大加速度", 2, 0, 1000, 0, " [(rad/s)/s]", false);
    row("ProfileDecel", "label_40", "轮廓模式最大减速度", 2, 0, 1000, 0, " [(rad/s)/s]", false);
    // 安全保护
    row("ProtectUnderVoltage", "label_39", "欠压保护阈值", 2, 0, 65, 0, " [V] ");
    row("ProtectOverVoltage", "label_52", "过压保护阈值", 2, 0, 100, 0, " [V] ");
    row("ProtectOverCurrent", "label_53", "相电流保护阈值", 2, 0, 100, 0, " [A] ");
    row("ProtectIBusMax", "label_54", "最大母线电流", 2, 0, 100, 0, " [A] ", true, true, false);
    row("ProtectILeakMax", "label_55", "最大漏电流", 2, 0, 100, 0, " [A] ", true, true, false);
    row("McuMaxTemperature", "label_79", " MCU最高温度", 2, 0, 120, 0, " [℃]");
    row("MosMaxTemperature", "label_78", "MOS最高温度", 2, 0, 120, 0, " [℃]");
    row("MotorMaxTemperature", "label_77", "电机最高温度", 2, 0, 120, 0, " [℃]");
    row("stcuk_time", "label_82", "堵转触发时间", 0, 0, 60000, 0, " [ms]");
    row("stcuk_velocity", "label_85", "堵转触发速度", 2, 0, 100, 0, " [turn/s]");
    row("stcuk_iq", "label_86", "堵转触发电流", 2, 0, 45, 0, " [A]");
    // CAN总线
    row("NodeID", "label_56", "节点ID", 0, 0, 1000, 0, "");
    row("HeartbeatConsumer_ms", "label_59", "心跳接收超时时间", 0, 0, 1000, 0, " [ms]");
    row("HeartbeatProducer_ms", "label_58", "心跳发送时间间隔", 0, 0, 1000, 0, " [ms]");
}

void TestParameterRows::spinRows()
{
    QFETCH(QString, name);
    QFETCH(QString, label);
    QFETCH(QString, caption);
    QFETCH(int, decimals);
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(double, value);
    QFETCH(QString, suffix);
    QFETCH(bool, adaptive);
    QFETCH(bool, readOnly);
    QFETCH(bool, buttonsEnabled);
    QFETCH(QString, tip);

    Form f;
    auto *box = f.get<QDoubleSpinBox>("doubleSpinBox_" + name);
    QVERIFY(box);
    QCOMPARE(box->metaObject()->className(), "nwheeldoublespinbox");
    QCOMPARE(box->decimals(), decimals);
    QCOMPARE(box->minimum(), minimum);
    QCOMPARE(box->maximum(), maximum);
    QCOMPARE(box->value(), value);
    QCOMPARE(box->suffix(), suffix);
    QVERIFY(box->prefix().isEmpty());
    QCOMPARE(box->singleStep(), 1.0);
    QCOMPARE(box->stepType() == QAbstractSpinBox::AdaptiveDecimalStepType, adaptive);
    QCOMPARE(box->isReadOnly(), readOnly);
    QCOMPARE(box->minimumWidth(), 80);

    auto *caption_ = f.get<QLabel>(label);
    auto *write = f.get<QPushButton>("pushButton_" + name);
    auto *read = f.get<QPushButton>("pushButton_" + name + "_2");
    QVERIFY(caption_ && write && read);
    QCOMPARE(caption_->text(), caption);
    QCOMPARE(caption_->toolTip(), tip);
    QCOMPARE(caption_->minimumWidth(), 120);
    QCOMPARE(write->text(), QStringLiteral("Write"));
    QCOMPARE(read->text(), QStringLiteral("Read"));
    QCOMPARE(write->isEnabled(), buttonsEnabled);
    QCOMPARE(read->isEnabled(), buttonsEnabled);

    // caption, input, Write, Read: one row, in that order, in an untitled box
    QGroupBox *row = rowBox(box);
    QVERIFY(row);
    QVERIFY(row->title().isEmpty());
    QLayout *layout = row->layout();
    QCOMPARE(layout->count(), 4);
    QCOMPARE(layout->indexOf(caption_), 0);
    QCOMPARE(layout->indexOf(box), 1);
    QCOMPARE(layout->indexOf(write), 2);
    QCOMPARE(layout->indexOf(read), 3);
    QCOMPARE(layout->contentsMargins(), QMargins(2, 0, 2, 0));
    if (auto *grid = qobject_cast<QGridLayout *>(layout)) {
        QCOMPARE(gridCell(grid, read), qMakePair(0, 3));
        QCOMPARE(grid->horizontalSpacing(), 2);
        QCOMPARE(grid->verticalSpacing(), 6);
    } else {
        QCOMPARE(layout->spacing(), 2);
    }
    for (QPushButton *b : {write, read}) {
        QCOMPARE(b->maximumWidth(), 80);
        QCOMPARE(b->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
        QCOMPARE(b->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    }
}

void TestParameterRows::otherRows()
{
    Form f;
    const Ui_MainWindow &ui = f.ui;

    for (QCheckBox *check : {ui.checkBox_InvertMotorDir, ui.checkBox_SynchronizationEnable}) {
        QCOMPARE(check->text(), QStringLiteral("True"));
        QVERIFY(!check->isChecked());
    }
    QCOMPARE(ui.label_48->text(), QStringLiteral("反转方向："));
    QCOMPARE(ui.label_48->toolTip(), QStringLiteral("<Bool>\n是否反旋电机方向"));
    QCOMPARE(ui.label_31->text(), QStringLiteral("多轴同步功能："));

    for (QLineEdit *edit : {ui.lineEdit_CalibVaild, ui.lineEdit_EncoderDir}) {
        QVERIFY(edit->isReadOnly());
        QCOMPARE(edit->text(), QStringLiteral("NULL"));
        QCOMPARE(edit->sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
        QCOMPARE(edit->sizePolicy().verticalPolicy(), QSizePolicy::Preferred);
    }
    QCOMPARE(ui.label_61->text(), QStringLiteral("校准使能："));
    QCOMPARE(ui.label_60->text(), QStringLiteral("编码器方向："));

    QCOMPARE(ui.label_24->text(), QStringLiteral("控制模式："));
    const QStringList modes{"转矩爬升", "转速爬升", "正弦曲线", "轮廓位置", "转矩标定"};
    QCOMPARE(ui.comboBox_ControlMode->count(), modes.size());
    for (int i = 0; i < modes.size(); ++i)
        QCOMPARE(ui.comboBox_ControlMode->itemText(i), modes[i]);
    QCOMPARE(ui.comboBox_ControlMode->currentIndex(), 0);

    QCOMPARE(ui.label_57->text(), QStringLiteral("波特率"));
    QVERIFY(!ui.doubleSpinBox_ReductionRatio->isGroupSeparatorShown());
    QCOMPARE(ui.comboBox_BaudRate->count(), 1);
    QCOMPARE(ui.comboBox_BaudRate->itemText(0), QStringLiteral("1000k"));
    QVERIFY(!ui.pushButton_BaudRate->isEnabled());
    QVERIFY(!ui.pushButton_BaudRate_2->isEnabled());

    // Every row box of the page: the non-spin rows keep the same shape.
    const QList<QWidget *> inputs{ui.checkBox_InvertMotorDir, ui.checkBox_SynchronizationEnable,
                                  ui.lineEdit_CalibVaild, ui.lineEdit_EncoderDir, ui.comboBox_ControlMode,
                                  ui.comboBox_BaudRate};
    for (QWidget *input : inputs) {
        const QString name = input->objectName().section('_', 1);
        QLayout *layout = rowBox(input)->layout();
        QCOMPARE(layout->indexOf(input), 1);
        QCOMPARE(layout->indexOf(f.get<QPushButton>("pushButton_" + name)), 2);
        QCOMPARE(layout->indexOf(f.get<QPushButton>("pushButton_" + name + "_2")), 3);
    }

    // All Write and Read buttons outside the three disabled pairs are enabled by the form.
    const QSet<QString> disabled{"pushButton_BaudRate",      "pushButton_BaudRate_2",    "pushButton_ProtectIBusMax",
                                 "pushButton_ProtectIBusMax_2", "pushButton_ProtectILeakMax", "pushButton_ProtectILeakMax_2",
                                 "pushButton_TP_start"};
    int rowButtons = 0;
    for (const QPushButton *b : f.window.findChildren<QPushButton *>()) {
        QCOMPARE(b->isEnabled(), !disabled.contains(b->objectName()));
        if (b->text() == QLatin1String("Write") || b->text() == QLatin1String("Read"))
            ++rowButtons;
    }
    QCOMPARE(rowButtons, 2 * (49 + 5));
}

void TestParameterRows::configGroups()
{
    Form f;
    const Ui_MainWindow &ui = f.ui;
    QCOMPARE(ui.gridLayout_23->indexOf(ui.scrollArea_2), 0);
    QCOMPARE(gridCell(ui.gridLayout_23, ui.groupBox_14), qMakePair(1, 0));
    QVERIFY(ui.scrollArea_2->widgetResizable());
    QCOMPARE(ui.scrollArea_2->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(ui.scrollArea_2->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);

    struct Group { QGroupBox *box; const char *title; QStringList rows; int firstGridRow; };
    const Group groups[] = {
        {ui.groupBox, "电机",
         {"groupBox_45", "groupBox_39", "groupBox_44", "groupBox_43", "groupBox_40", "groupBox_41", "groupBox_42",
          "groupBox_38", "groupBox_72", "groupBox_71", "groupBox_70", "groupBox_69", "groupBox_68", "groupBox_73"}, -1},
        {ui.groupBox_3, "校准", {"groupBox_57", "groupBox_47", "groupBox_46", "groupBox_56", "groupBox_58"}, 0},
        {ui.groupBox_4, "控制器",
         {"groupBox_22", "groupBox_23", "groupBox_24", "groupBox_25", "groupBox_26", "groupBox_27", "groupBox_28",
          "groupBox_29", "groupBox_30", "groupBox_31", "groupBox_32", "groupBox_33", "groupBox_34", "groupBox_37",
          "groupBox_36"}, 0},
        {ui.groupBox_6, "安全保护",
         {"groupBox_35", "groupBox_48", "groupBox_49", "groupBox_50", "groupBox_51", "groupBox_64", "groupBox_63",
          "groupBox_62", "groupBox_65", "groupBox_66", "groupBox_67"}, -1},
        {ui.groupBox_10, "CAN总线", {"groupBox_52", "groupBox_55", "groupBox_54", "groupBox_53"}, 1},
    };
    int total = 0;
    for (int g = 0; g < 5; ++g) {
        const Group &group = groups[g];
        QCOMPARE(gridCell(ui.gridLayout_11, group.box), qMakePair(g, 0));
        QCOMPARE(group.box->title(), QString::fromUtf8(group.title));
        QLayout *layout = group.box->layout();
        QCOMPARE(layout->contentsMargins(), QMargins(2, 5, 2, 2));
        QCOMPARE(layout->spacing(), 6);
        QCOMPARE(childBoxNames(layout), group.rows);
        for (int r = 0; r < group.rows.size(); ++r) {
            auto *row = f.get<QGroupBox>(group.rows[r]);
            if (group.firstGridRow >= 0)
                QCOMPARE(gridCell(layout, row), qMakePair(group.firstGridRow + r, 0));
            // row heights: 45 then 50 in 电机, 50 in 校准, unbounded elsewhere
            const int maxHeight = g == 0 ? (r == 0 ? 45 : 50) : g == 1 ? 50 : QWIDGETSIZE_MAX;
            QCOMPARE(row->maximumHeight(), maxHeight);
        }
        total += group.rows.size();
    }
    QCOMPARE(total, 49);

    // the 电机 inputs and VelGain are pinned to Preferred/Fixed, the others keep the class default
    const QSizePolicy classDefault = QDoubleSpinBox().sizePolicy();
    const auto boxes = ui.scrollAreaWidgetContents_2->findChildren<QDoubleSpinBox *>();
    QCOMPARE(boxes.size(), 43);
    for (const QDoubleSpinBox *box : boxes) {
        const bool pinned = rowBox(const_cast<QDoubleSpinBox *>(box))->parentWidget() == ui.groupBox
                            || box == ui.doubleSpinBox_VelGain;
        const QSizePolicy expected = pinned ? QSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed) : classDefault;
        QCOMPARE(box->sizePolicy().horizontalPolicy(), expected.horizontalPolicy());
        QCOMPARE(box->sizePolicy().verticalPolicy(), expected.verticalPolicy());
    }
}

void TestParameterRows::informationPage()
{
    Form f;
    const Ui_MainWindow &ui = f.ui;
    QCOMPARE(ui.scrollArea_6->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QVERIFY(ui.groupBox_2->title().isEmpty());
    QCOMPARE(ui.verticalLayout_10->contentsMargins(), QMargins(0, 0, 0, 0));

    struct Row { QHBoxLayout *layout; QLabel *label; const char *text; QWidget *input; const char *name; };
    const Row rows[] = {
        {ui.horizontalLayout_31, ui.label_91, "Product Batch: ", ui.comboBox_ProductBatch, "ProductBatch"},
        {ui.horizontalLayout_32, ui.label_89, "Vendor Type: ", ui.comboBox_VendorType, "VendorType"},
        {ui.horizontalLayout_33, ui.label_92, "Motor Number: ", ui.spinBox_MotorNumber, "MotorNumber"},
        {ui.horizontalLayout_34, ui.label_90, "Hardware Version:", ui.comboBox_HardwareVersion, "HardwareVersion"},
        {ui.horizontalLayout_37, ui.label_93, "Motor Type: ", ui.comboBox_MotorType, "MotorType"},
    };
    for (int i = 0; i < 5; ++i) {
        const Row &r = rows[i];
        QCOMPARE(ui.verticalLayout_10->itemAt(i)->layout(), r.layout);
        QCOMPARE(r.label->text(), QString::fromLatin1(r.text));
        QCOMPARE(r.label->minimumWidth(), 140);
        QCOMPARE(r.layout->indexOf(r.label), 0);
        QCOMPARE(r.layout->indexOf(r.input), 1);
        QCOMPARE(r.layout->indexOf(f.get<QPushButton>(QStringLiteral("pushButton_%1").arg(r.name))), 2);
        QCOMPARE(r.layout->indexOf(f.get<QPushButton>(QStringLiteral("pushButton_%1_2").arg(r.name))), 3);
    }
    // the value combo boxes come only with their own "NULL" item
    for (QComboBox *c : {static_cast<QComboBox *>(ui.comboBox_ProductBatch), static_cast<QComboBox *>(ui.comboBox_VendorType),
                         static_cast<QComboBox *>(ui.comboBox_HardwareVersion), static_cast<QComboBox *>(ui.comboBox_MotorType)}) {
        QCOMPARE(c->count(), 1);
        QCOMPARE(c->itemText(0), QStringLiteral("NULL"));
    }
    QCOMPARE(ui.spinBox_MotorNumber->minimum(), 0);
    QCOMPARE(ui.spinBox_MotorNumber->maximum(), 1000);
    QCOMPARE(ui.spinBox_MotorNumber->value(), 0);
    QCOMPARE(ui.pushButton_MotorType->sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
    QCOMPARE(ui.pushButton_MotorType_2->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);

    QCOMPARE(ui.verticalLayout_10->itemAt(5)->layout(), ui.horizontalLayout_38);
    QVERIFY(ui.horizontalLayout_38->itemAt(0)->spacerItem());
    QCOMPARE(ui.horizontalLayout_38->indexOf(ui.pushButton_WriteALLinformation), 1);
    QCOMPARE(ui.horizontalLayout_38->indexOf(ui.pushButton_ReadALLinformation), 2);
    QCOMPARE(ui.horizontalLayout_38->indexOf(ui.pushButton_SaveInformation), 3);
    QCOMPARE(ui.pushButton_WriteALLinformation->text(), QStringLiteral("Write ALL"));
    QCOMPARE(ui.pushButton_ReadALLinformation->text(), QStringLiteral("Read ALL"));
    QCOMPARE(ui.pushButton_SaveInformation->text(), QStringLiteral("Save"));
}

void TestParameterRows::configFoot()
{
    Form f;
    const Ui_MainWindow &ui = f.ui;
    QVERIFY(ui.groupBox_14->title().isEmpty());
    const QList<QPair<QHBoxLayout *, QStringList>> rows{
        {ui.horizontalLayout_20, {"pushButton_ReadAllConfig:读取所有", "pushButton_WriteAllConfig:写入所有",
                                  "pushButton_ResetConfigs:恢复默认", "pushButton_SaveConfigs:保存配置"}},
        {ui.horizontalLayout_23, {"pushButton_writeTorqueCalib:写入力矩标定文件", "pushButton_readTorqueCalib:读取力矩标定文件",
                                  "pushButton_loadConfigFile:载入电机配置文件", "pushButton_saveConfigFile:保存电机配置文件"}}};
    for (int r = 0; r < rows.size(); ++r) {
        QCOMPARE(ui.verticalLayout_6->itemAt(r)->layout(), rows[r].first);
        QStringList actual;
        for (int i = 0; i < rows[r].first->count(); ++i) {
            auto *b = qobject_cast<QPushButton *>(rows[r].first->itemAt(i)->widget());
            actual << b->objectName() + ':' + b->text();
        }
        QCOMPARE(actual, rows[r].second);
    }
}

void TestParameterRows::calibrationPage()
{
    Form f;
    const Ui_MainWindow &ui = f.ui;
    QCOMPARE(ui.scrollArea_8->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    QCOMPARE(ui.scrollArea_8->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

    // margins: left 0, top and bottom 7 (the second box keeps the style's default there)
    struct Result { QGroupBox *box; QLabel *caption; const char *text; QLabel *value; bool margin7; };
    const Result results[] = {
        {ui.groupBox_19, ui.label_4, "电机相电阻(R)：", ui.label_MotorPhaseResistance_Calib, true},
        {ui.groupBox_18, ui.label_5, "电机相电感(H)：", ui.label_MotorPhaseInductance_Calib, false},
        {ui.groupBox_17, ui.label_6, "电机磁极对数：", ui.label_MotorPolePairs_Calib, true},
        {ui.groupBox_16, ui.label_8, "编码器方向：", ui.label_EncoderDir_Calib, true},
        {ui.groupBox_15, ui.label_7, "编码器偏移：", ui.label_EncoderOffset, true},
    };
    const int styleTop = QApplication::style()->pixelMetric(QStyle::PM_LayoutTopMargin);
    for (int i = 0; i < 5; ++i) {
        const Result &r = results[i];
        QCOMPARE(ui.verticalLayout->itemAt(i)->widget(), r.box);
        QCOMPARE(gridCell(r.box->layout(), r.caption), qMakePair(0, 0));
        QCOMPARE(gridCell(r.box->layout(), r.value), qMakePair(0, 1));
        QCOMPARE(r.caption->text(), QString::fromUtf8(r.text));
        QCOMPARE(r.value->text(), QStringLiteral("NULL"));
        const QMargins m = r.box->layout()->contentsMargins();
        QCOMPARE(m.left(), 0);
        QCOMPARE(m.top(), r.margin7 ? 7 : styleTop);
    }
    QCOMPARE(ui.pushButton_StartCalib->text(), QStringLiteral("1. 开始校准"));
    QVERIFY(ui.pushButton_StartCalib->isCheckable());
    QVERIFY(!ui.pushButton_StartCalib->isChecked());
    QCOMPARE(ui.pushButton_Identify->text(), QStringLiteral("2. 开始辨识"));
    QVERIFY(!ui.pushButton_Identify->isCheckable());
    QCOMPARE(ui.horizontalLayout_14->indexOf(ui.pushButton_StartCalib), 1);
    QCOMPARE(ui.horizontalLayout_14->indexOf(ui.pushButton_Identify), 2);
}

void TestParameterRows::roundtripPage()
{
    Form f;
    const Ui_MainWindow &ui = f.ui;
    struct Group {
        QGroupBox *box; const char *title; const char *kind; const char *caption; QPushButton *start;
    };
    const Group groups[] = {
        {ui.groupBox_59, "电流环", "torque", "电流环往返参数 (Nm)", ui.pushButton_Roundtrip_Torque},
        {ui.groupBox_60, "速度环", "speed", "速度环往返参数 (rad/s)", ui.pushButton_Roundtrip_Speed},
        {ui.groupBox_61, "位置环", "position", "位置环往返参数 (rad)", ui.pushButton_Roundtrip_Position},
    };
    for (int g = 0; g < 3; ++g) {
        const Group &group = groups[g];
        QCOMPARE(ui.verticalLayout_9->itemAt(g)->widget(), group.box);
        QCOMPARE(group.box->title(), QString::fromUtf8(group.title));
        auto *grid = qobject_cast<QGridLayout *>(group.box->layout());
        const QString kind = QString::fromLatin1(group.kind);
        auto *total = f.get<QDoubleSpinBox>("doubleSpinBox_runalltime_" + kind);
        auto *down = f.get<QDoubleSpinBox>("doubleSpinBox_" + kind + "_down");
        auto *up = f.get<QDoubleSpinBox>("doubleSpinBox_" + kind + "_up");
        auto *interval = f.get<QDoubleSpinBox>("doubleSpinBox_intervaltime_" + kind);
        QVERIFY(total && down && up && interval);
        for (QDoubleSpinBox *box : {total, down, up, interval}) {
            QCOMPARE(box->metaObject()->className(), "nwheeldoublespinbox");
            QCOMPARE(box->decimals(), 2);
            QVERIFY(box->suffix().isEmpty());
        }
        QCOMPARE(gridCell(grid, total), qMakePair(0, 1));
        QCOMPARE(gridCell(grid, down), qMakePair(1, 1));
        QCOMPARE(gridCell(grid, up), qMakePair(1, 2));
        QCOMPARE(gridCell(grid, interval), qMakePair(2, 1));
        QCOMPARE(gridCell(grid, group.start), qMakePair(3, 2));
        int r, c, rs, cs;
        grid->getItemPosition(grid->indexOf(total), &r, &c, &rs, &cs);
        QCOMPARE(cs, 2);
        QCOMPARE(total->minimum(), 1.0);
        QCOMPARE(total->maximum(), 1800.0);
        QCOMPARE(total->value(), 10.0);
        for (QDoubleSpinBox *box : {down, up}) {
            QCOMPARE(box->minimum(), -1000.0);
            QCOMPARE(box->maximum(), 1000.0);
            QCOMPARE(box->value(), 0.0);
        }
        QCOMPARE(interval->minimum(), 0.1);
        QCOMPARE(interval->maximum(), 100.0);
        QCOMPARE(interval->value(), 1.0);
        QCOMPARE(qobject_cast<QLabel *>(grid->itemAtPosition(1, 0)->widget())->text(), QString::fromUtf8(group.caption));
        QCOMPARE(qobject_cast<QLabel *>(grid->itemAtPosition(0, 0)->widget())->text(), QStringLiteral("运动总时间 (s)"));
        QCOMPARE(qobject_cast<QLabel *>(grid->itemAtPosition(2, 0)->widget())->text(), QStringLiteral("往返运动间隔时间 (s)"));
        QCOMPARE(group.start->text(), QStringLiteral("Start Roundtrip"));
        QVERIFY(group.start->isCheckable());
        QVERIFY(!group.start->isChecked());
        QCOMPARE(group.start->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    }
}

void TestParameterRows::hybridPage()
{
    Form f;
    const Ui_MainWindow &ui = f.ui;
    struct Row { QLabel *label; const char *text; QWidget *input; };
    const Row rows[] = {
        {ui.label_81, "当前位置", ui.lineEdit_TP_currentPosition}, {ui.label_83, "当前速度", ui.lineEdit_TP_currentSpeed},
        {ui.label_84, "当前扭矩", ui.lineEdit_TP_currentTorque},  {ui.label_70, "目标位置", ui.spinBox_TP_position},
        {ui.label_71, "目标速度", ui.spinBox_TP_speed},           {ui.label_72, "目标扭矩", ui.spinBox_TP_torque},
        {ui.label_68, "Kp:", ui.spinBox_TP_Kp},                   {ui.label_69, "Kd:", ui.doubleSpinBox_TP_Kd},
        {ui.label_80, "发送次数", ui.spinBox_TP_times}};
    for (int i = 0; i < 9; ++i) {
        QLayout *row = ui.verticalLayout_2->itemAt(i)->layout();
        QCOMPARE(row->indexOf(rows[i].label), 0);
        QCOMPARE(row->indexOf(rows[i].input), 1);
        QCOMPARE(rows[i].label->text(), QString::fromUtf8(rows[i].text));
        QCOMPARE(rows[i].label->maximumWidth(), 60);
        QCOMPARE(rows[i].input->sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
        QCOMPARE(rows[i].input->sizePolicy().verticalPolicy(), QSizePolicy::Preferred);
    }
    for (QLineEdit *e : {ui.lineEdit_TP_currentPosition, ui.lineEdit_TP_currentSpeed, ui.lineEdit_TP_currentTorque}) {
        QVERIFY(e->isReadOnly());
        QVERIFY(e->text().isEmpty());
    }
    struct Spin { QSpinBox *box; int max; int base; };
    for (const Spin &s : {Spin{ui.spinBox_TP_position, 65535, 10}, Spin{ui.spinBox_TP_speed, 16383, 10},
                          Spin{ui.spinBox_TP_torque, 65535, 10}, Spin{ui.spinBox_TP_Kp, 1023, 10}}) {
        QCOMPARE(s.box->minimum(), 0);
        QCOMPARE(s.box->maximum(), s.max);
        QCOMPARE(s.box->value(), 0);
        QCOMPARE(s.box->displayIntegerBase(), s.base);
        QVERIFY(s.box->prefix().isEmpty());
    }
    ui.spinBox_TP_position->setValue(1000);
    QCOMPARE(ui.spinBox_TP_position->text(), QStringLiteral("1000"));
    QCOMPARE(ui.spinBox_TP_times->minimum(), 1);
    QCOMPARE(ui.spinBox_TP_times->maximum(), 100000);
    QCOMPARE(ui.spinBox_TP_times->value(), 1);
    QCOMPARE(ui.doubleSpinBox_TP_Kd->decimals(), 1);
    QCOMPARE(ui.doubleSpinBox_TP_Kd->minimum(), 0.0);
    QCOMPARE(ui.doubleSpinBox_TP_Kd->maximum(), 10.0);
    QCOMPARE(ui.doubleSpinBox_TP_Kd->singleStep(), 1.0);

    QCOMPARE(ui.horizontalLayout_8->indexOf(ui.pushButton_TP_Enable), 1);
    QCOMPARE(ui.horizontalLayout_8->indexOf(ui.pushButton_TP_start), 2);
    QCOMPARE(ui.pushButton_TP_Enable->text(), QStringLiteral("上使能"));
    QCOMPARE(ui.pushButton_TP_start->text(), QStringLiteral("Start"));
    QVERIFY(ui.pushButton_TP_start->isCheckable());
    QVERIFY(!ui.pushButton_TP_start->isEnabled());
    QVERIFY(!ui.pushButton_TP_Enable->isCheckable());
}

void TestParameterRows::quickSetDock()
{
    Form f;
    const Ui_MainWindow &ui = f.ui;
    const QList<QWidget *> strip{ui.groupBox1, ui.pushButton_display, ui.line_10, ui.groupBox2,
                                 ui.pushButton_set, ui.line, ui.groupBox_7};
    for (int i = 0; i < strip.size(); ++i)
        QCOMPARE(ui.horizontalLayout_6->itemAt(i)->widget(), strip[i]);
    for (QFrame *line : {ui.line, ui.line_10}) {
        QCOMPARE(line->frameShape(), QFrame::VLine);
        QCOMPARE(line->frameShadow(), QFrame::Sunken);
    }
    QCOMPARE(ui.pushButton_display->text(), QStringLiteral("Display"));
    QCOMPARE(ui.pushButton_display->maximumWidth(), 100);
    QCOMPARE(ui.pushButton_set->text(), QStringLiteral("Set"));
    QCOMPARE(ui.pushButton_set->maximumWidth(), 100);
    QCOMPARE(ui.pushButton_set->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);

    const QStringList channels{"checkBox_MotorAngle:电机角度",   "checkBox_AxleAngle:轴机械角度", "checkBox_ElecAngle:电角度",
                               "checkBox_aCurrent:A相电流值",    "checkBox_bCurrent:B相电流值",   "checkBox_cCurrent:C相电流值",
                               "checkBox_qCurrent:q轴电流值",    "checkBox_dCurrent:d轴电流值",   "checkBox_MotorSpeed:电机速度值",
                               "checkBox_AxleSpeed:轴速度值",    "checkBox_BusVoltage:母线电压"};
    QCOMPARE(ui.gridLayout_2->count(), channels.size());
    for (int i = 0; i < channels.size(); ++i) {
        auto *check = qobject_cast<QCheckBox *>(ui.gridLayout_2->itemAtPosition(i / 4, i % 4)->widget());
        QVERIFY(check);
        QCOMPARE(check->objectName() + ':' + check->text(), channels[i]);
        QVERIFY(!check->isChecked());
    }

    struct Cell { int row, col; QWidget *w; const char *text; };
    const Cell cells[] = {{0, 1, ui.label_13, "Id:"}, {0, 3, ui.label_15, "Kp:"}, {1, 1, ui.label_14, "Tp:"},
                          {1, 3, ui.label_20, "Kd:"}, {3, 1, ui.label_19, "Tv:"}, {3, 3, ui.label_18, "Tau:"},
                          {0, 2, ui.spinBox_id_2, nullptr}, {0, 4, ui.doubleSpinBox_kp, nullptr},
                          {1, 2, ui.doubleSpinBox_tp, nullptr}, {1, 4, ui.doubleSpinBox_kd, nullptr},
                          {3, 2, ui.doubleSpinBox_tv, nullptr}, {3, 4, ui.doubleSpinBox_tau, nullptr}};
    QCOMPARE(ui.gridLayout_5->count(), 12);
    for (const Cell &c : cells) {
        QCOMPARE(gridCell(ui.gridLayout_5, c.w), qMakePair(c.row, c.col));
        if (auto *label = qobject_cast<QLabel *>(c.w)) {
            QCOMPARE(label->text(), QString::fromLatin1(c.text));
            QCOMPARE(label->alignment(), Qt::AlignCenter);
        }
    }
    QCOMPARE(ui.spinBox_id_2->minimum(), 0);
    QCOMPARE(ui.spinBox_id_2->maximum(), 99);
    struct Range { QDoubleSpinBox *box; double min, max; int decimals; };
    const Range ranges[] = {{ui.doubleSpinBox_kp, 0, 1000, 2},        {ui.doubleSpinBox_tp, -12.5, 12.5, 2},
                            {ui.doubleSpinBox_kd, 0, 1000, 2},        {ui.doubleSpinBox_tv, -80, 80, 2},
                            {ui.doubleSpinBox_tau, -40, 40, 2},       {ui.doubleSpinBox_Torque, -150, 150, 4},
                            {ui.doubleSpinBox_Velocity, -60, 60, 4}, {ui.doubleSpinBox_Position, -100000, 100000, 4}};
    for (const Range &r : ranges) {
        QCOMPARE(r.box->metaObject()->className(), "QDoubleSpinBox");
        QCOMPARE(r.box->minimum(), r.min);
        QCOMPARE(r.box->maximum(), r.max);
        QCOMPARE(r.box->decimals(), r.decimals);
        QCOMPARE(r.box->value(), 0.0);
    }

    struct SetPoint { QLabel *label; const char *text; QDoubleSpinBox *box; QPushButton *send; };
    const SetPoint rows[] = {{ui.label, "Torque(Nm):", ui.doubleSpinBox_Torque, ui.pushButton_Torque},
                             {ui.label_2, "Velocity(rad/s):", ui.doubleSpinBox_Velocity, ui.pushButton_Velocity},
                             {ui.label_3, "Position(rad):", ui.doubleSpinBox_Position, ui.pushButton_Position}};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(gridCell(ui.gridLayout_22, rows[i].label), qMakePair(i, 0));
        QCOMPARE(gridCell(ui.gridLayout_22, rows[i].box), qMakePair(i, 1));
        QCOMPARE(gridCell(ui.gridLayout_22, rows[i].send), qMakePair(i, 2));
        QCOMPARE(rows[i].label->text(), QString::fromLatin1(rows[i].text));
        QCOMPARE(rows[i].send->text(), QStringLiteral("Send"));
    }
}

void TestParameterRows::sourceDock()
{
    Form f;
    const Ui_MainWindow &ui = f.ui;
    const QList<QWidget *> groups{ui.groupBox3, ui.groupBox_12, ui.groupBox_13, ui.groupBox_9, ui.groupBox_8, ui.groupBox_20};
    const QStringList titles{"", "Receive Config", "Send Config", "Temperature", "Motor Control", "Motor State"};
    for (int i = 0; i < groups.size(); ++i) {
        QCOMPARE(gridCell(ui.gridLayout_4, groups[i]), qMakePair(i, 0));
        QCOMPARE(qobject_cast<QGroupBox *>(groups[i])->title(), titles[i]);
    }
    QVERIFY(ui.gridLayout_4->itemAtPosition(6, 0)->spacerItem());
    QCOMPARE(ui.scrollArea_4->minimumHeight(), 200);
    QCOMPARE(ui.scrollArea_5->widget(), ui.scrollAreaWidgetContents_4);
    QVERIFY(!ui.scrollAreaWidgetContents_4->layout());

    // port
    QVERIFY(ui.radioButtonCAN1->isChecked());
    QVERIFY(!ui.radioButtonCAN2->isChecked());
    QCOMPARE(ui.radioButtonCAN1->text(), QStringLiteral("CAN 1"));
    QCOMPARE(ui.radioButtonCAN2->text(), QStringLiteral("CAN 2"));
    QVERIFY(ui.groupBox_21->styleSheet().contains(QStringLiteral("border: none; /* 设置边框为1像素宽，颜色为白色 */  \n")));
    QCOMPARE(ui.label_28->text(), QStringLiteral("Buadrate"));
    const QStringList bauds{"1000k", "800k", "666k", "500k", "400k", "250k", "200k", "125k", "100k", "80k", "50k"};
    QStringList items;
    for (int i = 0; i < ui.comboBox_baud->count(); ++i)
        items << ui.comboBox_baud->itemText(i);
    QCOMPARE(items, bauds);
    QCOMPARE(ui.comboBox_baud->currentIndex(), 0);
    int r, c, rs, cs;
    ui.gridLayout_15->getItemPosition(ui.gridLayout_15->indexOf(ui.comboBox_baud), &r, &c, &rs, &cs);
    QCOMPARE(QList<int>({r, c, rs, cs}), QList<int>({1, 1, 2, 1}));
    QCOMPARE(ui.pushButton_openport->text(), QStringLiteral("Open Port"));
    QCOMPARE(ui.pushButton_closeport->text(), QStringLiteral("Close Port"));

    // receive and send options
    QVERIFY(ui.radioButton_float->isChecked());
    QCOMPARE(ui.radioButton_10->text(), QStringLiteral("Hex"));
    QVERIFY(ui.checkBox_7->isChecked());
    QCOMPARE(ui.checkBox_7->text(), QStringLiteral("Auto Scroll"));
    QVERIFY(!ui.checkBox_showTracer->isChecked());
    QVERIFY(!ui.checkBox_showInText->isChecked());
    QVERIFY(ui.checkBox_recvAll->isChecked());
    QCOMPARE(ui.checkBox_recvAll->text(), QStringLiteral("Receive All ID"));
    QVERIFY(!ui.checkBox_EXT->isChecked());
    QVERIFY(!ui.checkBox_RTR->isChecked());
    QCOMPARE(ui.checkBox_EXT->text(), QStringLiteral("Extended"));
    QCOMPARE(ui.label_12->text(), QStringLiteral("ID (HEX)"));

    // the node id is shown in hexadecimal, the hybrid target position in decimal
    QCOMPARE(ui.spinBox_id->displayIntegerBase(), 16);
    QCOMPARE(ui.spinBox_id->minimum(), 0);
    QCOMPARE(ui.spinBox_id->maximum(), 10000);
    QCOMPARE(ui.spinBox_id->value(), 0);
    ui.spinBox_id->setValue(10000);
    QCOMPARE(ui.spinBox_id->text().toLower(), QStringLiteral("2710"));
    ui.spinBox_TP_position->setValue(10000);
    QCOMPARE(ui.spinBox_TP_position->text(), QStringLiteral("10000"));

    // temperature
    const QString caption = QStringLiteral("\nfont: 700 9pt \"Microsoft YaHei UI\";\n");
    const QString value = QStringLiteral("color: rgb(85, 85, 255);\nfont: 700 9pt \"Microsoft YaHei UI\";\n");
    struct Temp { QLabel *caption; const char *text; const char *tip; QLabel *value; };
    const Temp temps[] = {
        {ui.label_21, "Temperature MCU:", "<html><head/><body><p>MCU temperature</p></body></html>", ui.label_Temp1},
        {ui.label_23, "Temperature ntc-mos:", "<html><head/><body><p>ntc-mos Temperature</p></body></html>", ui.label_Temp2},
        {ui.label_22, "Temperature Motor:", "<html><head/><body><p>ntc~ Motor</p></body></html>", ui.label_Temp3}};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(gridCell(ui.gridLayout_19, temps[i].caption), qMakePair(2 + i, 0));
        QCOMPARE(gridCell(ui.gridLayout_19, temps[i].value), qMakePair(2 + i, 1));
        QCOMPARE(temps[i].caption->text(), QString::fromLatin1(temps[i].text));
        QCOMPARE(temps[i].caption->toolTip(), QString::fromLatin1(temps[i].tip));
        QCOMPARE(temps[i].caption->styleSheet(), caption);
        QCOMPARE(temps[i].value->styleSheet(), value);
        QVERIFY(temps[i].value->text().isEmpty());
    }
    QCOMPARE(ui.pushButton_Temp->text(), QStringLiteral("Get Temperature"));
    QCOMPARE(ui.pushButton_clearTemperature->text(), QStringLiteral("Clear Plot"));
    QCOMPARE(ui.pushButton_plotTemperature->text(), QStringLiteral("Start Plot"));
    QVERIFY(ui.pushButton_plotTemperature->isCheckable());
    QVERIFY(!ui.pushButton_plotTemperature->isChecked());

    // motor control
    const QStringList control{"Type:", "FW:", "Update FW", "Enter Motor Mode", "Exit Motor Mode", "Set Zero Point"};
    const QList<QPushButton *> buttons{ui.pushButton_type, ui.pushButton_fw, ui.pushButton_updateFW,
                                       ui.pushButton_EnterMotorMode, ui.pushButton_ExitMotorMode, ui.pushButton_SetZeroPoint};
    for (int i = 0; i < buttons.size(); ++i)
        QCOMPARE(buttons[i]->text(), control[i]);
    QCOMPARE(ui.horizontalLayout_36->indexOf(ui.label_type), 1);
    QCOMPARE(ui.horizontalLayout_35->indexOf(ui.label_FW), 1);
    QVERIFY(ui.label_type->text().isEmpty());
    QVERIFY(ui.label_FW->text().isEmpty());
    QCOMPARE(ui.label_FW->minimumWidth(), 55);

    // state panes
    QVERIFY(ui.lineEdit_state->isReadOnly());
    QVERIFY(ui.lineEdit_state->hasFrame());
    QVERIFY(ui.textEdit_error->isReadOnly());
    QCOMPARE(ui.textEdit_error->minimumHeight(), 120);
    QCOMPARE(ui.textEdit_error->maximumHeight(), 150);
    QCOMPARE(ui.pushButton_getState->text(), QStringLiteral("获取状态"));
    QCOMPARE(ui.pushButton_clearState->text(), QStringLiteral("清除状态"));
}

QTEST_MAIN(TestParameterRows)
#include "tst_parameterrows.moc"
