// The one link to the CAN bus: binds the adapter library at run time, opens and closes a
// channel, transmits frames and runs the receive loop on its own thread.
#pragma once

#include "can/sendresult.h"
#include "ecanvci.h"

#include <QMetaType>
#include <QMutex>
#include <QString>
#include <QThread>

#include <atomic>

// A received frame's 8 data bytes, copied so that the consumer on the GUI thread never
// reads a ring slot the receive loop may already have reused.
struct CanFrameData {
    uchar bytes[8] = {};
    const uchar* data() const { return bytes; }
};
Q_DECLARE_METATYPE(CanFrameData)

// The adapter's 32-bit microsecond stamp wraps every 71.6 minutes. Counting the wraps keeps
// the time base rising: a drop of more than half the range is a wrap. The adapter hands
// frames over in the order it stamped them, so a rise, however large, is time gone by.
class TimeStampUnwrapper {
public:
    void reset()
    {
        wraps_ = 0;
        last_ = 0;
        started_ = false;
    }
    uint64_t unwrap(uint32_t stamp)
    {
        constexpr uint32_t kHalf = 0x80000000u;
        if (started_ && stamp < last_ && last_ - stamp > kHalf) ++wraps_;
        started_ = true;
        last_ = stamp;
        return (wraps_ << 32) | stamp;
    }

private:
    uint64_t wraps_ = 0;
    uint32_t last_ = 0;
    bool started_ = false;
};

class CanThread : public QThread {
    Q_OBJECT

public:
    using OpenDeviceFn = uint32_t(ECANVCI_CALL*)(uint32_t, uint32_t, uint32_t);
    using ResetCANFn = uint32_t(ECANVCI_CALL*)(uint32_t, uint32_t, uint32_t);
    using CloseDeviceFn = uint32_t(ECANVCI_CALL*)(uint32_t, uint32_t);
    using InitCANFn = uint32_t(ECANVCI_CALL*)(uint32_t, uint32_t, uint32_t, CanInitConfig*);
    using StartCANFn = uint32_t(ECANVCI_CALL*)(uint32_t, uint32_t, uint32_t);
    using TransmitFn = uint32_t(ECANVCI_CALL*)(uint32_t, uint32_t, uint32_t, CanFrameObject*, uint32_t);
    using ReceiveFn = uint32_t(ECANVCI_CALL*)(uint32_t, uint32_t, uint32_t, CanFrameObject*, uint32_t, int32_t);
    using GetReceiveNumFn = uint32_t(ECANVCI_CALL*)(uint32_t, uint32_t, uint32_t);
    using ClearBufferFn = uint32_t(ECANVCI_CALL*)(uint32_t, uint32_t, uint32_t);
    using ReadErrInfoFn = uint32_t(ECANVCI_CALL*)(uint32_t, uint32_t, uint32_t, CanErrorInfo*);
    using ReadCANStatusFn = uint32_t(ECANVCI_CALL*)(uint32_t, uint32_t, uint32_t, void*);
    using SetReferenceFn = uint32_t(ECANVCI_CALL*)(uint32_t, uint32_t, uint32_t, uint32_t, void*);
    using ReadBoardInfoFn = uint32_t(ECANVCI_CALL*)(uint32_t, uint32_t, void*);

    static constexpr int kRingSlots = 100;
    static constexpr uint32_t kFramesPerPoll = 50;

    CanThread();
    ~CanThread() override;

    void OpenCAN(uchar baudIndex, int canIndex);
    void CloseCAN();
    bool TransmitCAN(uint id, uchar* data, bool extFlag, bool remoteFlag, int len, bool log);
    // The same send, saying why a frame did not leave.
    SendResult transmit(uint id, const uchar* data, bool extFlag, bool remoteFlag, int len, bool log);
    void stop();

    // The time base of a received frame, in seconds, from its unwrapped stamp.
    static float timestepOf(uint64_t unwrappedStamp);

    // Timing bytes of a baud-table row; false for a row the table lacks.
    static bool baudTiming(uchar baudIndex, uchar* timing0, uchar* timing1);

signals:
    void recv_signal(CanFrameData recvData, int length, float timestep);
    // A logged frame's line takes its place in the log as the frame is handed to the adapter
    // (sendLineOpened) and gets its text once the adapter has answered (the writeLog that
    // follows). A reply the drive sends meanwhile is handed on at once and logged after it.
    void sendLineOpened();
    void writeLog(const QString& text);

protected:
    void run() override;

private:
    uint32_t canIndex = 0;
    std::atomic<bool> stopRequested{false};
    CanErrorInfo errInfo{};
    CanFrameObject recvBuf[100]{};
    uchar ringData[kRingSlots][8]{};
    uint32_t ringIndex = 0;
    TimeStampUnwrapper stamps;   // the receive loop's own; restarted with each open channel
    uint32_t deviceType = 4;
    uint32_t deviceIndex = 0;
    uint32_t reserved = 0;
    QMutex transmitLock;

public:
    std::atomic<bool> isOpen{false};
    std::atomic<bool> recvAll{false};
    std::atomic<uint32_t> filterId{0};

private:
    OpenDeviceFn OpenDevice = nullptr;
    ResetCANFn ResetCAN = nullptr;
    CloseDeviceFn CloseDevice = nullptr;
    InitCANFn InitCAN = nullptr;
    StartCANFn StartCAN = nullptr;
    TransmitFn Transmit = nullptr;
    ReceiveFn Receive = nullptr;
    GetReceiveNumFn GetReceiveNum = nullptr;
    ClearBufferFn ClearBuffer = nullptr;
    ReadErrInfoFn ReadErrInfo = nullptr;
    ReadCANStatusFn ReadCANStatus = nullptr;
    SetReferenceFn SetReference = nullptr;
    ReadBoardInfoFn ReadBoardInfo = nullptr;
};
