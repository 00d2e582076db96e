// The parameter rows of the form: which code each row's Write and Read buttons access,
// and how the Write button takes its value from the row's input.
#pragma once

#include "protocol/motorprotocol.h"

#include <array>

enum class RowInput {
    Float,      // (float) of a double spin box
    Truncated,  // (int) of a double spin box, toward zero
    Checked,    // 1 when the check box is ticked
    Index,      // combo box index
    ComboValue, // CustomComboBox::getValue()
    Spin,       // QSpinBox::value()
    None,       // read-only row
};

struct ParameterRow {
    MotorConfig code;
    const char* suffix;   // pushButton_<suffix> writes, pushButton_<suffix>_2 reads
    const char* input;    // object name of the row's input
    RowInput kind;
    bool hasWrite;
    bool hasRead;
};

// In the order their buttons are wired: the Information rows, the Quick Set rows, then
// the Config rows in page order.
inline constexpr std::array<ParameterRow, 56> kParameterRows = {{
    {MotorConfig::ProductBatch, "ProductBatch", "comboBox_ProductBatch", RowInput::ComboValue, true, true},
    {MotorConfig::VendorType, "VendorType", "comboBox_VendorType", RowInput::ComboValue, true, true},
    {MotorConfig::MotorNumber, "MotorNumber", "spinBox_MotorNumber", RowInput::Spin, true, true},
    {MotorConfig::HardwareVersion, "HardwareVersion", "comboBox_HardwareVersion", RowInput::ComboValue, true, true},
    {MotorConfig::MotorType, "MotorType", "comboBox_MotorType", RowInput::ComboValue, true, true},
    {MotorConfig::Torque, "Torque", "doubleSpinBox_Torque", RowInput::Float, true, false},
    {MotorConfig::Velocity, "Velocity", "doubleSpinBox_Velocity", RowInput::Float, true, false},
    {MotorConfig::Position, "Position", "doubleSpinBox_Position", RowInput::Float, true, false},
    {MotorConfig::InvertMotorDir, "InvertMotorDir", "checkBox_InvertMotorDir", RowInput::Checked, true, true},
    {MotorConfig::Inertia, "Inertia", "doubleSpinBox_Inertia", RowInput::Float, true, true},
    {MotorConfig::TorqueCostant, "TorqueCostant", "doubleSpinBox_TorqueCostant", RowInput::Float, true, true},
    {MotorConfig::MotorPolePairs, "MotorPolePairs", "doubleSpinBox_MotorPolePairs", RowInput::Truncated, true, true},
    {MotorConfig::MotorPhaseResistance, "MotorPhaseResistance", "doubleSpinBox_MotorPhaseResistance", RowInput::Float, true, true},
    {MotorConfig::MotorPhaseInductance, "MotorPhaseInductance", "doubleSpinBox_MotorPhaseInductance", RowInput::Float, true, true},
    {MotorConfig::CurrentLimit, "CurrentLimit", "doubleSpinBox_CurrentLimit", RowInput::Float, true, true},
    {MotorConfig::VelocityLimit, "VelocityLimit", "doubleSpinBox_VelocityLimit", RowInput::Float, true, true},
    {MotorConfig::CalibCurrent, "CalibCurrent", "doubleSpinBox_CalibCurrent", RowInput::Float, true, true},
    {MotorConfig::CalibVoltage, "CalibVoltage", "doubleSpinBox_CalibVoltage", RowInput::Float, true, true},
    {MotorConfig::ControlMode, "ControlMode", "comboBox_ControlMode", RowInput::Index, true, true},
    {MotorConfig::PosGain, "PosGain", "doubleSpinBox_PosGain", RowInput::Float, true, true},
    {MotorConfig::VelGain, "VelGain", "doubleSpinBox_VelGain", RowInput::Float, true, true},
    {MotorConfig::VelIntegratorGain, "VelIntegratorGain", "doubleSpinBox_VelIntegratorGain", RowInput::Float, true, true},
    {MotorConfig::CurrentControlBandwidth, "CurrentControlBandwidth", "doubleSpinBox_CurrentControlBandwidth", RowInput::Float, true, true},
    {MotorConfig::ReductionRatio, "ReductionRatio", "doubleSpinBox_ReductionRatio", RowInput::Float, true, true},
    {MotorConfig::SynchronizationEnable, "SynchronizationEnable", "checkBox_SynchronizationEnable", RowInput::Checked, true, true},
    {MotorConfig::VelocityWindow, "VelocityWindow", "doubleSpinBox_VelocityWindow", RowInput::Float, true, true},
    {MotorConfig::PositionWindow, "PositionWindow", "doubleSpinBox_PositionWindow", RowInput::Float, true, true},
    {MotorConfig::TorqueRampRate, "TorqueRampRate", "doubleSpinBox_TorqueRampRate", RowInput::Float, true, true},
    {MotorConfig::VelocityRampGate, "VelocityRampGate", "doubleSpinBox_VelocityRampGate", RowInput::Float, true, true},
    {MotorConfig::PositionFilterBandwidth, "PositionFilterBandwidth", "doubleSpinBox_PositionFilterBandwidth", RowInput::Float, true, true},
    {MotorConfig::ProfileVelocity, "ProfileVelocity", "doubleSpinBox_ProfileVelocity", RowInput::Float, true, true},
    {MotorConfig::profileAccel, "profileAccel", "doubleSpinBox_profileAccel", RowInput::Float, true, true},
    {MotorConfig::ProfileDecel, "ProfileDecel", "doubleSpinBox_ProfileDecel", RowInput::Float, true, true},
    {MotorConfig::ProtectUnderVoltage, "ProtectUnderVoltage", "doubleSpinBox_ProtectUnderVoltage", RowInput::Float, true, true},
    {MotorConfig::ProtectOverVoltage, "ProtectOverVoltage", "doubleSpinBox_ProtectOverVoltage", RowInput::Float, true, true},
    {MotorConfig::ProtectOverCurrent, "ProtectOverCurrent", "doubleSpinBox_ProtectOverCurrent", RowInput::Float, true, true},
    {MotorConfig::ProtectIBusMax, "ProtectIBusMax", "doubleSpinBox_ProtectIBusMax", RowInput::Float, true, true},
    {MotorConfig::ProtectILeakMax, "ProtectILeakMax", "doubleSpinBox_ProtectILeakMax", RowInput::Float, true, true},
    {MotorConfig::McuMaxTemperature, "McuMaxTemperature", "doubleSpinBox_McuMaxTemperature", RowInput::Float, true, true},
    {MotorConfig::MosMaxTemperature, "MosMaxTemperature", "doubleSpinBox_MosMaxTemperature", RowInput::Float, true, true},
    {MotorConfig::MotorMaxTemperature, "MotorMaxTemperature", "doubleSpinBox_MotorMaxTemperature", RowInput::Float, true, true},
    {MotorConfig::NodeID, "NodeID", "doubleSpinBox_NodeID", RowInput::Truncated, true, true},
    {MotorConfig::HeartbeatConsumer_ms, "HeartbeatConsumer_ms", "doubleSpinBox_HeartbeatConsumer_ms", RowInput::Truncated, true, true},
    {MotorConfig::HeartbeatProducer_ms, "HeartbeatProducer_ms", "doubleSpinBox_HeartbeatProducer_ms", RowInput::Truncated, true, true},
    {MotorConfig::CalibVaild, "CalibVaild", "lineEdit_CalibVaild", RowInput::None, false, true},
    {MotorConfig::EncoderDir, "EncoderDir", "lineEdit_EncoderDir", RowInput::None, false, true},
    {MotorConfig::EncoderOffset, "EncoderOffset", "doubleSpinBox_EncoderOffset", RowInput::None, false, true},
    {MotorConfig::Protect_stuck_time, "stcuk_time", "doubleSpinBox_stcuk_time", RowInput::Truncated, true, true},
    {MotorConfig::Protect_stuck_velocity, "stcuk_velocity", "doubleSpinBox_stcuk_velocity", RowInput::Float, true, true},
    {MotorConfig::Protect_stuck_iq, "stcuk_iq", "doubleSpinBox_stcuk_iq", RowInput::Float, true, true},
    {MotorConfig::Current_cutoff, "Current_cutoff", "doubleSpinBox_Current_cutoff", RowInput::Float, true, true},
    {MotorConfig::Torque_scale, "Torque_scale", "doubleSpinBox_Torque_scale", RowInput::Float, true, true},
    {MotorConfig::Current_scale, "Current_scale", "doubleSpinBox_Current_scale", RowInput::Float, true, true},
    {MotorConfig::J_motor, "J_motor", "doubleSpinBox_J_motor", RowInput::Float, true, true},
    {MotorConfig::B_motor, "B_motor", "doubleSpinBox_B_motor", RowInput::Float, true, true},
    {MotorConfig::Fric_motor, "Fric_motor", "doubleSpinBox_Fric_motor", RowInput::Float, true, true},
}};

// The 43 parameter definitions applied at start-up: name in the definition file, spin box.
struct ParameterDefinitionBinding {
    const char* name;
    const char* spinBox;
};

inline constexpr std::array<ParameterDefinitionBinding, 43> kParameterDefinitions = {{
    {"转动惯量", "doubleSpinBox_Inertia"},
    {"转矩常数", "doubleSpinBox_TorqueCostant"},
    {"电磁极极对数", "doubleSpinBox_MotorPolePairs"},
    {"电机相电阻", "doubleSpinBox_MotorPhaseResistance"},
    {"电机相电感", "doubleSpinBox_MotorPhaseInductance"},
    {"电机电流限制", "doubleSpinBox_CurrentLimit"},
    {"电机转速限制", "doubleSpinBox_VelocityLimit"},
    {"突破电流", "doubleSpinBox_Current_cutoff"},
    {"力矩比例", "doubleSpinBox_Torque_scale"},
    {"电流比例", "doubleSpinBox_Current_scale"},
    {"电机转动惯量", "doubleSpinBox_J_motor"},
    {"电机粘性摩擦", "doubleSpinBox_B_motor"},
    {"电机静摩擦", "doubleSpinBox_Fric_motor"},
    {"校准电流", "doubleSpinBox_CalibCurrent"},
    {"校准电压", "doubleSpinBox_CalibVoltage"},
    {"编码器偏移", "doubleSpinBox_EncoderOffset"},
    {"位置环增益", "doubleSpinBox_PosGain"},
    {"转速环增益", "doubleSpinBox_VelGain"},
    {"转速环积分增益", "doubleSpinBox_VelIntegratorGain"},
    {"电流环控制带宽", "doubleSpinBox_CurrentControlBandwidth"},
    {"减速比", "doubleSpinBox_ReductionRatio"},
    {"转速到达窗口", "doubleSpinBox_VelocityWindow"},
    {"位置到达窗口", "doubleSpinBox_PositionWindow"},
    {"转矩爬升速度", "doubleSpinBox_TorqueRampRate"},
    {"转速爬升速度", "doubleSpinBox_VelocityRampGate"},
    {"位置过滤带宽", "doubleSpinBox_PositionFilterBandwidth"},
    {"轮廓模式最大转速", "doubleSpinBox_ProfileVelocity"},
    {"轮廓模式最大加速度", "doubleSpinBox_profileAccel"},
    {"轮廓模式最大减速度", "doubleSpinBox_ProfileDecel"},
    {"欠压保护阈值", "doubleSpinBox_ProtectUnderVoltage"},
    {"过压保护阈值", "doubleSpinBox_ProtectOverVoltage"},
    {"过流保护阈值", "doubleSpinBox_ProtectOverCurrent"},
    {"最大母线电流", "doubleSpinBox_ProtectIBusMax"},
    {"最大漏电流", "doubleSpinBox_ProtectILeakMax"},
    {"MCU最高温度", "doubleSpinBox_McuMaxTemperature"},
    {"MOS最高温度", "doubleSpinBox_MosMaxTemperature"},
    {"电机最高温度", "doubleSpinBox_MotorMaxTemperature"},
    {"堵转触发时间", "doubleSpinBox_stcuk_time"},
    {"堵转触发速度", "doubleSpinBox_stcuk_velocity"},
    {"堵转触发电流", "doubleSpinBox_stcuk_iq"},
    {"节点ID", "doubleSpinBox_NodeID"},
    {"心跳接收超时时间", "doubleSpinBox_HeartbeatConsumer_ms"},
    {"心跳发送时间间隔", "doubleSpinBox_HeartbeatProducer_ms"},
}};

// The row of a code, or nullptr when the code has none.
inline const ParameterRow* parameterRow(int code)
{
    for (const ParameterRow& row : kParameterRows)
        if (static_cast<int>(row.code) == code) return &row;
    return nullptr;
}
