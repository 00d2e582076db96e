// The drive's command set: parameter codes, fixed command frames and the builders of
// every request frame that needs no window.
#pragma once

#include "protocol/byteorder.h"

#include <QMetaType>
#include <QString>

#include <array>
#include <utility>
#include <cstdint>

enum class MotorConfig : int {
    InvertMotorDir = 1,
    Inertia = 2,
    TorqueCostant = 3,
    MotorPolePairs = 4,
    MotorPhaseResistance = 5,
    MotorPhaseInductance = 6,
    CurrentLimit = 7,
    VelocityLimit = 8,
    CalibCurrent = 9,
    CalibVoltage = 10,
    ControlMode = 11,
    PosGain = 12,
    VelGain = 13,
    VelIntegratorGain = 14,
    CurrentControlBandwidth = 15,
    SynchronizationEnable = 16,
    VelocityWindow = 17,
    PositionWindow = 18,
    TorqueRampRate = 19,
    VelocityRampGate = 20,
    PositionFilterBandwidth = 21,
    ProfileVelocity = 22,
    profileAccel = 23,
    ProfileDecel = 24,
    ProtectUnderVoltage = 25,
    ProtectOverVoltage = 26,
    ProtectOverCurrent = 27,
    ProtectIBusMax = 28,
    ProtectILeakMax = 29,
    NodeID = 30,
    HeartbeatConsumer_ms = 32,
    HeartbeatProducer_ms = 33,
    CalibVaild = 34,
    EncoderDir = 35,
    EncoderOffset = 36,
    ReductionRatio = 37,
    McuMaxTemperature = 38,
    MosMaxTemperature = 40,
    MotorMaxTemperature = 42,
    MotorPhaseResistance_Calib = 44,
    MotorPhaseInductance_Calib = 45,
    MotorPolePairs_Calib = 46,
    EncoderDir_Calib = 47,
    Torque = 48,
    Velocity = 49,
    Position = 50,
    EncoderOffset_Calib = 51,
    Protect_stuck_iq = 52,
    Protect_stuck_velocity = 53,
    Protect_stuck_time = 54,
    Current_cutoff = 55,
    Torque_scale = 56,
    Current_scale = 57,
    J_motor = 58,
    B_motor = 59,
    Fric_motor = 60,
    ProductBatch = 70,
    VendorType = 71,
    MotorNumber = 72,
    HardwareVersion = 73,
    MotorType = 74,
};

enum class MotorType : int {
    EnterMotorMode = 0,
    ExitMotorMode = 1,
    SetZeroPoint = 2,
    NoFrame = 3,
    UpdateFwStart = 4,
    UpdateFwEnd = 5,
    StopCurveDisplay = 6,
    GetFwVersion = 7,
    GetProductType = 8,
    GetState = 9,
    ResetConfigs = 10,
    SaveConfigs = 11,
    SaveInformation = 12,
};

Q_DECLARE_METATYPE(MotorConfig)
Q_DECLARE_METATYPE(MotorType)

namespace protocol {

using Frame = std::array<uint8_t, 8>;

enum class ValueType { Int, Float };

}   // namespace protocol

// How a parameter row's Write button takes its value from the row's input.
enum class RowInput {
    Float,        // (float) of a double spin box
    Truncated,    // (int) of a double spin box, toward zero
    Checked,      // 1 when the check box is ticked
    Index,        // combo box index
    ComboValue,   // CustomComboBox::getValue()
    Spin,         // QSpinBox::value()
    None,         // read-only row
};

namespace protocol {

// One row of the parameter table (protocol/parametertable.h). Orders count from 1; 0
// means the parameter has no place in that order.
struct ParameterInfo {
    MotorConfig code;
    const char* name;      // enumerator name; nullptr for a form row without a code
    const char* logName;   // name in write and reply log lines
    ValueType type;
    bool read;            // a read request exists
    bool write;           // a write request exists
    bool writeSaysSend;   // the write's log line begins ">>> Send" instead of ">>> Set"

    const char* button;   // pushButton_<button> writes, pushButton_<button>_2 reads; nullptr: no row
    const char* input;    // object name of the row's input
    RowInput kind;
    int rowOrder;    // the order rows are bound in
    int bulkOrder;   // the order of read-all and write-all

    const char* definition;   // name in the parameter definition file
    int definitionOrder;
    const char* section;   // configuration file section and key
    const char* key;
    int loadOrder;   // the order a configuration load applies keys in
    int saveOrder;   // 1..9: written by a save, in this order
};

// Registers MotorConfig and MotorType with the meta-type system (idempotent).
void registerMetaTypes();

// The code's row of the command set, or nullptr when the value is no member.
const ParameterInfo* parameterInfo(int code);
inline const ParameterInfo* parameterInfo(MotorConfig code) { return parameterInfo(static_cast<int>(code)); }

bool canRead(MotorConfig code);
bool canWriteFloat(MotorConfig code);
bool canWriteInt(MotorConfig code);

// Parameter read request; the code must satisfy canRead.
Frame readRequest(MotorConfig code);
// Float write request (IEEE-754 single, little-endian); the code must satisfy canWriteFloat.
Frame writeRequest(MotorConfig code, float value);
// Int write request; codes 1, 11 and 16 carry the value's low byte alone. The value for
// code 11 is the wire value (see controlModeWire).
Frame writeRequest(MotorConfig code, int32_t value);

// Fixed command frame of a MotorType; false for NoFrame and values without a frame.
bool commandFrame(MotorType type, Frame* frame);

// Requests of the workflows and the live plot.
Frame calibrationRequest(bool start);
Frame torqueTableReadRequest();
Frame bootloaderJumpRequest();
Frame positionRequest();
Frame hybridEnableRequest();
// Starts the temperature stream, or stops it when stop is set.
Frame temperatureStreamRequest(bool stop);
// Starts the live sample stream of the channels whose bits are set (bit n: channel n).
Frame liveDisplayRequest(uint16_t channelMask);
// 60 01 count index x·10 y·10 (16-bit little-endian, truncated toward zero).
Frame torqueTablePointFrame(int count, int index, const std::pair<double, double>& point);
// Whether the frame carries the point as it is: x·10 and y·10, truncated, both within
// -32768 … 32767. Any other point would reach the drive as another one.
bool torqueTablePointFits(const std::pair<double, double>& point);

// Control-mode combo index to wire value and back (wire value 4 is never written).
int controlModeWire(int index);
int controlModeIndex(int wire);

// "f1 07 ..." : each byte after one blank, two lower-case hex digits.
QString hexBytes(const uint8_t* data, int len);

}   // namespace protocol
