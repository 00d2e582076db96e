// The one link to the CAN bus: binds the adapter library at run time, opens and closes a
// channel, transmits frames and runs the receive loop on its own thread.
#pragma once

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
    void stop();

    // Timing bytes of a baud-table row; false for a row the table lacks.
    static bool baudTiming(uchar baudIndex, uchar* timing0, uchar* timing1);

signals:
    void recv_signal(CanFrameData recvData, int length, float timestep);
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
