// Drive configuration files: nine parameter inputs saved to YAML, up to 43 loaded from it.
// Only the form changes; the user writes to the drive afterwards.
#include "configfiles.h"

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTextStream>

#include <yaml-cpp/yaml.h>

#include <cmath>
#include <limits>
#include <locale>
#include <sstream>
#include <stdexcept>

namespace configfile {

DialogHook saveDialogHook;
DialogHook openDialogHook;

const std::vector<Entry>& entries()
{
    static const std::vector<Entry> table = {
        {"电机", "转动惯量", "doubleSpinBox_Inertia", 0},
        {"电机", "转矩常数", "doubleSpinBox_TorqueCostant", 1},
        {"电机", "电磁极极对数", "doubleSpinBox_MotorPolePairs", 0},
        {"电机", "电机相电阻", "doubleSpinBox_MotorPhaseResistance", 0},
        {"电机", "电机相电感", "doubleSpinBox_MotorPhaseInductance", 0},
        {"电机", "力矩电流限制", "doubleSpinBox_CurrentLimit", 2},
        {"电机", "电机转速限制", "doubleSpinBox_VelocityLimit", 0},
        {"电机", "突破电流", "doubleSpinBox_Current_cutoff", 3},
        {"电机", "力矩比例", "doubleSpinBox_Torque_scale", 4},
        {"电机", "电流比例", "doubleSpinBox_Current_scale", 5},
        {"电机", "电机转动惯量", "doubleSpinBox_J_motor", 6},
        {"电机", "电机粘性摩擦", "doubleSpinBox_B_motor", 7},
        {"电机", "电机静摩擦", "doubleSpinBox_Fric_motor", 8},
        {"校准", "校准电流", "doubleSpinBox_CalibCurrent", 0},
        {"校准", "校准电压", "doubleSpinBox_CalibVoltage", 0},
        {"校准", "编码器偏移", "doubleSpinBox_EncoderOffset", 0},
        {"控制器", "位置环增益", "doubleSpinBox_PosGain", 0},
        {"控制器", "转速环增益", "doubleSpinBox_VelGain", 0},
        {"控制器", "转速环积分增益", "doubleSpinBox_VelIntegratorGain", 0},
        {"控制器", "电流环控制带宽", "doubleSpinBox_CurrentControlBandwidth", 0},
        {"控制器", "减速比", "doubleSpinBox_ReductionRatio", 0},
        {"控制器", "转速到达窗口", "doubleSpinBox_VelocityWindow", 0},
        {"控制器", "位置到达窗口", "doubleSpinBox_PositionWindow", 0},
        {"控制器", "转矩爬升速度", "doubleSpinBox_TorqueRampRate", 0},
        {"控制器", "转速爬升速度", "doubleSpinBox_VelocityRampGate", 0},
        {"控制器", "位置过滤带宽", "doubleSpinBox_PositionFilterBandwidth", 0},
        {"控制器", "轮廓模式最大转速", "doubleSpinBox_ProfileVelocity", 0},
        {"控制器", "轮廓模式最大加速度", "doubleSpinBox_profileAccel", 0},
        {"控制器", "轮廓模式最大减速度", "doubleSpinBox_ProfileDecel", 0},
        {"安全保护", "欠压保护阈值", "doubleSpinBox_ProtectUnderVoltage", 0},
        {"安全保护", "过压保护阈值", "doubleSpinBox_ProtectOverVoltage", 0},
        {"安全保护", "相电流保护阈值", "doubleSpinBox_ProtectOverCurrent", 9},
        {"安全保护", "最大母线电流", "doubleSpinBox_ProtectIBusMax", 0},
        {"安全保护", "最大漏电流", "doubleSpinBox_ProtectILeakMax", 0},
        {"安全保护", "MCU最高温度", "doubleSpinBox_McuMaxTemperature", 0},
        {"安全保护", "MOS最高温度", "doubleSpinBox_MosMaxTemperature", 0},
        {"安全保护", "电机最高温度", "doubleSpinBox_MotorMaxTemperature", 0},
        {"安全保护", "堵转触发时间", "doubleSpinBox_stcuk_time", 0},
        {"安全保护", "堵转触发速度", "doubleSpinBox_stcuk_velocity", 0},
        {"安全保护", "堵转触发电流", "doubleSpinBox_stcuk_iq", 0},
        {"CAN总线", "节点ID", "doubleSpinBox_NodeID", 0},
        {"CAN总线", "心跳接收超时时间", "doubleSpinBox_HeartbeatConsumer_ms", 0},
        {"CAN总线", "心跳发送时间间隔", "doubleSpinBox_HeartbeatProducer_ms", 0},
    };
    return table;
}

// The library formats and parses through the global C++ locale; pin the classic one so a
// decimal comma never reaches a file or breaks a load.
std::string formatNumber(double value)
{
    if (std::isnan(value)) return ".nan";
    if (std::isinf(value)) return std::signbit(value) ? "-.inf" : ".inf";
    std::stringstream stream;
    stream.imbue(std::locale::classic());
    stream.precision(std::numeric_limits<double>::max_digits10);
    stream << value;
    return stream.str();
}

bool parseNumber(const std::string& text, double* value)
{
    std::stringstream stream(text);
    stream.imbue(std::locale::classic());
    stream.unsetf(std::ios::dec);
    double v = 0;
    if ((stream >> std::noskipws >> v) && (stream >> std::ws).eof()) {
        *value = v;
        return true;
    }
    if (YAML::conversion::IsInfinity(text)) {
        *value = std::numeric_limits<double>::infinity();
        return true;
    }
    if (YAML::conversion::IsNegativeInfinity(text)) {
        *value = -std::numeric_limits<double>::infinity();
        return true;
    }
    if (YAML::conversion::IsNaN(text)) {
        *value = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    return false;
}

std::string saveText(const std::function<double(const char* spinBox)>& valueOf)
{
    std::vector<const Entry*> saved(9, nullptr);
    for (const Entry& e : entries())
        if (e.saveOrder > 0) saved[static_cast<size_t>(e.saveOrder - 1)] = &e;

    YAML::Node motor;
    YAML::Node protection;
    for (const Entry* e : saved) {
        if (std::string(e->section) == "电机") motor[e->key] = formatNumber(valueOf(e->spinBox));
        else protection[e->key] = formatNumber(valueOf(e->spinBox));
    }
    YAML::Node root;
    root["电机"] = motor;
    root["安全保护"] = protection;

    YAML::Emitter out;
    out << root;
    if (!out.good()) throw std::runtime_error(out.GetLastError());
    return out.c_str();
}

LoadResult applyText(const std::string& text, const std::function<void(const char* spinBox, double value)>& apply)
{
    try {
        const YAML::Node root = YAML::Load(text);
        if (root.IsSequence()) return LoadResult::ParseError;
        if (!root.IsMap()) return LoadResult::Applied;   // empty, null or a plain value
        // Each key is looked up through the whole section, so the keys examined are bounded.
        std::size_t examined = 0;
        for (auto it = root.begin(); it != root.end(); ++it) {
            if (!it->first.IsScalar()) return LoadResult::ParseError;
            const std::string name = it->first.Scalar();
            bool known = false;
            for (const Entry& e : entries()) known = known || name == e.section;
            if (!known) continue;

            const YAML::Node section = it->second;
            if (section.IsScalar()) return LoadResult::ParseError;
            if (!section.IsMap()) continue;   // null or a list: no keys
            examined += section.size();
            if (examined > std::size_t(MaxSectionEntries)) return LoadResult::ParseError;
            for (const Entry& e : entries()) {
                if (name != e.section) continue;
                const YAML::Node value = section[e.key];
                if (!value.IsDefined()) continue;
                double v = 0;
                if (!value.IsScalar() || !parseNumber(value.Scalar(), &v) || !std::isfinite(v))
                    return LoadResult::ParseError;
                apply(e.spinBox, v);
            }
        }
        return LoadResult::Applied;
    } catch (const std::exception&) {
        return LoadResult::ParseError;
    }
}

}  // namespace configfile

void MainWindow::on_pushButton_saveConfigFile_clicked()
{
    const QString caption = tr("保存 YAML 文件");
    const QString filter = tr("YAML Files (*.yaml)");
    const QString path = configfile::saveDialogHook ? configfile::saveDialogHook(this, caption, filter)
                                                    : QFileDialog::getSaveFileName(this, caption, QString(), filter);
    if (path.isEmpty()) return;

    bool failed = false;
    try {
        const std::string text = configfile::saveText([this](const char* name) {
            const auto* box = findChild<QDoubleSpinBox*>(QLatin1String(name));
            if (!box) throw std::runtime_error(std::string("no input ") + name);
            return box->value();
        });
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
            QMessageBox::information(this, tr("保存失败"), tr("YAML 文件无法打开！"));
            return;
        }
        QTextStream out(&file);
        out.setEncoding(QStringConverter::Utf8);
        out << QString::fromStdString(text);
        out.flush();
        const bool written = out.status() == QTextStream::Ok && file.error() == QFileDevice::NoError;
        file.close();
        // A full disk must not be reported as a saved file.
        failed = !written || file.error() != QFileDevice::NoError;
    } catch (const std::exception&) {
        failed = true;
    }
    if (failed) {
        QMessageBox::warning(this, tr("保存错误"), tr("无法保存文件: %1").arg(path));
        return;
    }
    QMessageBox::information(this, tr("保存成功"), tr("YAML 文件已成功保存！"));
}

void MainWindow::on_pushButton_loadConfigFile_clicked()
{
    const QString caption = tr("选择 YAML 文件");
    const QString filter = tr("YAML Files (*.yaml *.yml)");
    const QString path = configfile::openDialogHook ? configfile::openDialogHook(this, caption, filter)
                                                    : QFileDialog::getOpenFileName(this, caption, QString(), filter);
    if (path.isEmpty()) return;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QMessageBox::information(this, tr("加载失败"), tr("YAML 文件无法打开！"));
        return;
    }
    // A file far beyond any saved one is not read at all.
    const bool readable = file.size() <= configfile::MaxFileSize;
    QString text;
    if (readable) {
        QTextStream in(&file);
        in.setEncoding(QStringConverter::Utf8);
        text = in.readAll();
    }
    file.close();

    const configfile::LoadResult result =
        !readable ? configfile::LoadResult::ParseError
                  : configfile::applyText(text.toStdString(), [this](const char* name, double value) {
                        if (auto* box = findChild<QDoubleSpinBox*>(QLatin1String(name))) box->setValue(value);
                    });
    if (result == configfile::LoadResult::ParseError)
        QMessageBox::warning(this, tr("解析错误"), tr("文件解析失败，请检查 YAML 格式"));
}
