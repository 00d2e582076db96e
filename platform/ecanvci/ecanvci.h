// Stand-in for the CAN-USB adapter library: the same thirteen entry points and record
// layouts as the vendor's, plus a control interface that tests and the simulated
// drive's configuration use. Plain C ABI so the tool can bind it at run time.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define ECANVCI_CALL __stdcall
#if defined(ECANVCI_BUILD)
#define ECANVCI_API __declspec(dllexport)
#else
#define ECANVCI_API __declspec(dllimport)
#endif
#else
#define ECANVCI_CALL
#define ECANVCI_API __attribute__((visibility("default")))
#endif

#pragma pack(push, 1)
struct CanInitConfig {
    uint32_t accCode;
    uint32_t accMask;
    uint32_t reserved;
    uint8_t filter;
    uint8_t timing0;
    uint8_t timing1;
    uint8_t mode;
};

struct CanFrameObject {
    uint32_t id;
    uint32_t timeStamp;
    uint8_t timeFlag;
    uint8_t sendType;
    uint8_t remoteFlag;
    uint8_t externFlag;
    uint8_t dataLen;
    uint8_t data[8];
    uint8_t reserved[3];
};

struct CanErrorInfo {
    uint32_t errCode;
    uint8_t passiveErrData[3];
    uint8_t arLostErrData;
};
#pragma pack(pop)

static_assert(sizeof(CanInitConfig) == 16, "CanInitConfig is 16 bytes");
static_assert(offsetof(CanInitConfig, accMask) == 4, "layout");
static_assert(offsetof(CanInitConfig, reserved) == 8, "layout");
static_assert(offsetof(CanInitConfig, filter) == 12, "layout");
static_assert(offsetof(CanInitConfig, timing0) == 13, "layout");
static_assert(offsetof(CanInitConfig, timing1) == 14, "layout");
static_assert(offsetof(CanInitConfig, mode) == 15, "layout");
static_assert(sizeof(CanFrameObject) == 24, "CanFrameObject is 24 bytes");
static_assert(offsetof(CanFrameObject, timeStamp) == 4, "layout");
static_assert(offsetof(CanFrameObject, timeFlag) == 8, "layout");
static_assert(offsetof(CanFrameObject, sendType) == 9, "layout");
static_assert(offsetof(CanFrameObject, remoteFlag) == 10, "layout");
static_assert(offsetof(CanFrameObject, externFlag) == 11, "layout");
static_assert(offsetof(CanFrameObject, dataLen) == 12, "layout");
static_assert(offsetof(CanFrameObject, data) == 13, "layout");
static_assert(offsetof(CanFrameObject, reserved) == 21, "layout");
static_assert(sizeof(CanErrorInfo) == 8, "CanErrorInfo is 8 bytes");
static_assert(offsetof(CanErrorInfo, passiveErrData) == 4, "layout");
static_assert(offsetof(CanErrorInfo, arLostErrData) == 7, "layout");

// Error codes that ReadErrInfo reports.
enum : uint32_t {
    ECANVCI_ERR_NONE = 0x0000,
    ECANVCI_ERR_RX_OVERFLOW = 0x0001,   // receive queue overflowed, oldest frames dropped
    ECANVCI_ERR_DEVICE_OPEN = 0x0100,   // OpenDevice refused
    ECANVCI_ERR_DEVICE_NOT_OPEN = 0x0400,
    ECANVCI_ERR_BAD_ARGUMENT = 0x0800,
    ECANVCI_ERR_RECEIVE = 0x1000,   // forced receive failure
};

// Entry points that can be made to fail through SimSetFailure.
enum : uint32_t {
    SIM_FAIL_OPEN_DEVICE = 1u << 0,
    SIM_FAIL_INIT_CAN = 1u << 1,
    SIM_FAIL_START_CAN = 1u << 2,
    SIM_FAIL_RECEIVE = 1u << 3,
    SIM_FAIL_READ_ERR_INFO = 1u << 4,
    SIM_FAIL_TRANSMIT = 1u << 5,
};

// One frame the program handed to Transmit, with the time it was handed over.
struct SimSentFrame {
    CanFrameObject frame;
    uint32_t canIndex;
    uint64_t timeUs;   // microseconds of a steady clock since the library was loaded
};

// Call counters of the thirteen entry points, for tests that check what was called.
enum SimEntry : uint32_t {
    SIM_OPEN_DEVICE,
    SIM_RESET_CAN,
    SIM_CLOSE_DEVICE,
    SIM_INIT_CAN,
    SIM_START_CAN,
    SIM_TRANSMIT,
    SIM_RECEIVE,
    SIM_GET_RECEIVE_NUM,
    SIM_CLEAR_BUFFER,
    SIM_READ_ERR_INFO,
    SIM_READ_CAN_STATUS,
    SIM_SET_REFERENCE,
    SIM_READ_BOARD_INFO,
    SIM_ENTRY_COUNT
};

extern "C" {
// The adapter's entry points.
ECANVCI_API uint32_t ECANVCI_CALL OpenDevice(uint32_t devType, uint32_t devIndex, uint32_t reserved);
ECANVCI_API uint32_t ECANVCI_CALL CloseDevice(uint32_t devType, uint32_t devIndex);
ECANVCI_API uint32_t ECANVCI_CALL InitCAN(uint32_t devType, uint32_t devIndex, uint32_t canIndex,
                                          CanInitConfig* config);
ECANVCI_API uint32_t ECANVCI_CALL StartCAN(uint32_t devType, uint32_t devIndex, uint32_t canIndex);
ECANVCI_API uint32_t ECANVCI_CALL ResetCAN(uint32_t devType, uint32_t devIndex, uint32_t canIndex);
ECANVCI_API uint32_t ECANVCI_CALL Transmit(uint32_t devType, uint32_t devIndex, uint32_t canIndex,
                                           CanFrameObject* frames, uint32_t count);
ECANVCI_API uint32_t ECANVCI_CALL Receive(uint32_t devType, uint32_t devIndex, uint32_t canIndex,
                                          CanFrameObject* frames, uint32_t maxCount, int32_t waitMs);
ECANVCI_API uint32_t ECANVCI_CALL GetReceiveNum(uint32_t devType, uint32_t devIndex, uint32_t canIndex);
ECANVCI_API uint32_t ECANVCI_CALL ClearBuffer(uint32_t devType, uint32_t devIndex, uint32_t canIndex);
ECANVCI_API uint32_t ECANVCI_CALL ReadErrInfo(uint32_t devType, uint32_t devIndex, uint32_t canIndex,
                                              CanErrorInfo* info);
ECANVCI_API uint32_t ECANVCI_CALL ReadCANStatus(uint32_t devType, uint32_t devIndex, uint32_t canIndex, void* status);
ECANVCI_API uint32_t ECANVCI_CALL SetReference(uint32_t devType, uint32_t devIndex, uint32_t canIndex, uint32_t refType,
                                               void* data);
ECANVCI_API uint32_t ECANVCI_CALL ReadBoardInfo(uint32_t devType, uint32_t devIndex, void* info);

// Control interface (not part of the vendor's library).
// Puts the library back to its loaded state: device closed, queues empty, counters zero,
// no forced failures, drive attached and reconfigured from the environment.
ECANVCI_API void SimReset();
// Queues a received frame on a channel as if it came from the bus.
ECANVCI_API void SimInjectFrame(uint32_t canIndex, uint32_t id, const uint8_t* data, uint8_t len, uint32_t timeStamp);
// Queues a batch of records as they are (lengths and counts unchecked), for robustness tests.
ECANVCI_API void SimInjectRaw(uint32_t canIndex, const CanFrameObject* frames, uint32_t count);
// Moves up to maxCount transmitted frames, oldest first, into out; returns how many.
ECANVCI_API uint32_t SimTakeTransmitted(SimSentFrame* out, uint32_t maxCount);
// Copies the init record last given to InitCAN for a channel; 0 when none was given.
ECANVCI_API uint32_t SimLastInitConfig(uint32_t canIndex, CanInitConfig* out);
ECANVCI_API void SimSetDriveAttached(int attached);
// Bitwise OR of SIM_FAIL_* flags; 0 clears all.
ECANVCI_API void SimSetFailures(uint32_t flags);
// Makes the next Receive calls return this many records (even above what was asked), 0 = off.
ECANVCI_API void SimForceReceiveCount(uint32_t count);
ECANVCI_API uint32_t SimCallCount(uint32_t entry);
ECANVCI_API uint32_t SimDroppedCount(uint32_t canIndex);
ECANVCI_API uint32_t SimPendingCount(uint32_t canIndex);
ECANVCI_API int SimDeviceOpen();
// Sets a drive setting by name (node_id, product_type, fw_version, stream_rate_hz, ...); 0 if unknown.
ECANVCI_API int SimConfigure(const char* key, const char* value);
// Reads a parameter of the simulated drive as a double; 0 if the code is unknown.
ECANVCI_API int SimReadParameter(uint32_t code, double* value);
// Now, on the clock of SimSentFrame::timeUs.
ECANVCI_API uint64_t SimNowUs();
// Transmit calls entered while another Transmit on the same channel had not returned.
ECANVCI_API uint32_t SimOverlappingTransmits();
// Keeps the next Transmit call inside the library for ms milliseconds before it takes its
// frames, so a test can act while a sender is in the middle of a hand-over.
ECANVCI_API void SimHoldTransmit(uint32_t ms);
// 1 while a Transmit call held by SimHoldTransmit waits inside the library.
ECANVCI_API int SimTransmitHeld();
// Entry points (bit 1 << SimEntry) entered while a Transmit call had not returned.
ECANVCI_API uint32_t SimEnteredDuringTransmit();
// Makes Transmit refuse (take no frame, return 0) every frame whose data starts with these
// len bytes, as a full queue or a bus off would; len 0 refuses none again.
ECANVCI_API void SimRefuseFrames(const uint8_t* prefix, uint32_t len);
// Makes every Transmit call return ms milliseconds after it has taken or refused its frames
// (the drive has answered by then), as an adapter waiting out a loaded bus does; 0 ends it.
ECANVCI_API void SimSlowTransmit(uint32_t ms);
}
