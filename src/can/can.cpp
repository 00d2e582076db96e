#include "can/can.h"
#include "protocol/motorprotocol.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QLibrary>

#include <algorithm>
#include <cstring>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace {

struct BaudRow {
    uchar timing0;
    uchar timing1;
};

// 1000k, 800k, 666k, 500k, 400k, 250k, 200k, 125k, 100k, 80k, 50k
constexpr BaudRow kBaudTable[] = {
    {0x00, 0x14}, {0x00, 0x16}, {0x80, 0xB6}, {0x00, 0x1C}, {0x80, 0xFA}, {0x01, 0x1C},
    {0x81, 0xFA}, {0x03, 0x1C}, {0x04, 0x1C}, {0x83, 0xFF}, {0x09, 0x1C},
};

void debugLine(const QString& text) { qDebug().noquote() << text; }

template <typename Fn>
void resolve(QLibrary& lib, const char* name, Fn& out)
{
    out = reinterpret_cast<Fn>(lib.resolve(name));
}

}   // namespace

bool CanThread::baudTiming(uchar baudIndex, uchar* timing0, uchar* timing1)
{
    if (baudIndex >= std::size(kBaudTable)) return false;
    *timing0 = kBaudTable[baudIndex].timing0;
    *timing1 = kBaudTable[baudIndex].timing1;
    return true;
}

CanThread::CanThread() : QThread(nullptr)
{
    qRegisterMetaType<CanFrameData>("CanFrameData");

    // The adapter library sits beside the executable; the platform adds its own prefix
    // and suffix to the base name. Failing that, the platform's search order applies.
    QLibrary lib;
    bool loaded = false;
    if (QCoreApplication::instance()) {
        lib.setFileName(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("ECanVci64")));
        loaded = lib.load();
    }
    if (!loaded) {
        lib.setFileName(QStringLiteral("ECanVci64"));
        loaded = lib.load();
    }
    debugLine(loaded ? QStringLiteral("ECanVci.dll load ok") : QStringLiteral("ECanVci.dll load fail"));

    resolve(lib, "OpenDevice", OpenDevice);
    resolve(lib, "CloseDevice", CloseDevice);
    resolve(lib, "InitCAN", InitCAN);
    resolve(lib, "StartCAN", StartCAN);
    resolve(lib, "Transmit", Transmit);
    resolve(lib, "Receive", Receive);
    resolve(lib, "GetReceiveNum", GetReceiveNum);
    resolve(lib, "ClearBuffer", ClearBuffer);
    resolve(lib, "ReadErrInfo", ReadErrInfo);
    resolve(lib, "ResetCAN", ResetCAN);
    resolve(lib, "SetReference", SetReference);
    resolve(lib, "ReadBoardInfo", ReadBoardInfo);
    resolve(lib, "ReadCANStatus", ReadCANStatus);
    // QLibrary's destructor does not unload: the adapter stays loaded for the program's life.
}

CanThread::~CanThread()
{
    stopRequested = true;
    // The owner stops and joins the loop first; this only guards a careless owner.
    wait();
}

void CanThread::OpenCAN(uchar baudIndex, int canIndex)
{
    if (static_cast<unsigned>(canIndex) > 1) {
        debugLine(QStringLiteral("CAN ind error"));
        return;
    }
    this->canIndex = static_cast<uint32_t>(canIndex);
    isOpen = false;
    // Cleared here, before the thread starts, so a stop() that follows at once is not lost.
    stopRequested = false;

    if (!OpenDevice || !InitCAN || !StartCAN || !ClearBuffer || !CloseDevice ||
        OpenDevice(deviceType, deviceIndex, reserved) == 0) {
        QThread::msleep(500);
        if (ReadErrInfo && ReadErrInfo(deviceType, deviceIndex, this->canIndex, &errInfo) != 0)
            debugLine(QStringLiteral("打开失败：") + QString::number(errInfo.errCode, 16));
        return;
    }
    debugLine(QStringLiteral("open successed"));

    CanInitConfig config;
    std::memset(&config, 0, sizeof(config));
    config.accCode = 0;
    config.accMask = 0x00FFFFFF;
    config.filter = 0;
    config.mode = 0;
    if (!baudTiming(baudIndex, &config.timing0, &config.timing1)) {
        // Never offered by the form; refuse rather than program a random bit timing.
        debugLine(QStringLiteral("Init CAN Error"));
        CloseDevice(deviceType, deviceIndex);
        return;
    }

    QThread::msleep(100);

    if (InitCAN(deviceType, deviceIndex, this->canIndex, &config) == 0) {
        debugLine(QStringLiteral("Init CAN Error"));
        CloseDevice(deviceType, deviceIndex);
        return;
    }
    if (StartCAN(deviceType, deviceIndex, this->canIndex) == 0) {
        debugLine(QStringLiteral("start CAN fail"));
        CloseDevice(deviceType, deviceIndex);
        return;
    }
    ClearBuffer(deviceType, deviceIndex, this->canIndex);
    debugLine(QStringLiteral("start CAN successed"));
    isOpen = true;
}

void CanThread::CloseCAN()
{
    // Senders refuse from here on; one already handing a frame over finishes first, so
    // the adapter never sees a Transmit during or after its close.
    isOpen = false;
    QMutexLocker locker(&transmitLock);
    if (ClearBuffer) ClearBuffer(deviceType, deviceIndex, canIndex);
    if (CloseDevice) CloseDevice(deviceType, deviceIndex);
    debugLine(QStringLiteral("closed CAN Thread"));
}

bool CanThread::TransmitCAN(uint id, uchar* data, bool extFlag, bool remoteFlag, int len, bool log)
{
    return transmit(id, data, extFlag, remoteFlag, len, log) == SendResult::Sent;
}

SendResult CanThread::transmit(uint id, const uchar* data, bool extFlag, bool remoteFlag, int len, bool log)
{
    // One frame record at a time: a caller's frame is never interleaved with another's, and
    // a close waits for a hand-over in progress.
    QMutexLocker locker(&transmitLock);
    if (!isOpen) return SendResult::PortClosed;

    const int n = std::clamp(len, 0, 8);
    CanFrameObject frame;
    std::memset(&frame, 0, sizeof(frame));
    frame.id = id;
    frame.sendType = 0;
    frame.remoteFlag = remoteFlag ? 1 : 0;
    frame.externFlag = extFlag ? 1 : 0;
    frame.dataLen = static_cast<uint8_t>(n);
    if (n > 0 && data) std::memcpy(frame.data, data, static_cast<size_t>(n));

    // The line's place is taken before the drive can answer; the receive loop never waits
    // for an adapter slow to return.
    if (log) emit sendLineOpened();
    // Only a frame the adapter took is logged as sent (bus off, cable out, queue full);
    // a refused one is always said, whether or not the caller logs its frames.
    const bool sent = Transmit && Transmit(deviceType, deviceIndex, canIndex, &frame, 1) == 1;
    if (!sent)
        emit writeLog(QStringLiteral("[Adapter refused]:") + protocol::hexBytes(frame.data, n));
    else if (log)
        emit writeLog(QStringLiteral("[Trans ]:") + protocol::hexBytes(frame.data, n));
    return sent ? SendResult::Sent : SendResult::Refused;
}

float CanThread::timestepOf(uint64_t unwrappedStamp)
{
    return static_cast<float>(static_cast<double>(unwrappedStamp) * 0.000001);
}

void CanThread::stop() { stopRequested = true; }

void CanThread::run()
{
    if (!isOpen) {
        debugLine(QStringLiteral("Stop receiving"));
        return;
    }
#ifdef Q_OS_LINUX
    // Linux lets each sleep run over by the thread's timer slack, 50 us by default: a tenth
    // more on every 500 us poll, and a tenth less of what the loop can take in.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
    // Each open channel counts its own wraps.
    stamps.reset();
    while (!stopRequested) {
        QThread::usleep(500);
        if (!Receive) continue;
        uint32_t n = Receive(deviceType, deviceIndex, canIndex, recvBuf, kFramesPerPoll, 0);
        if (n == 0xFFFFFFFFu) {
            if (ReadErrInfo && ReadErrInfo(deviceType, deviceIndex, canIndex, &errInfo) != 0) {
                debugLine(QStringLiteral("读取数据失败!"));
                debugLine(QStringLiteral("错误码为：") + QString::number(errInfo.errCode, 16));
            }
            continue;
        }
        // The adapter never writes more records than asked for; never read past them.
        n = std::min(n, kFramesPerPoll);
        if (n == 0) continue;
        for (uint32_t i = 0; i < n; ++i) {
            const CanFrameObject& rec = recvBuf[i];
            // Every frame on the bus counts toward the wraps, also those the filter drops.
            const uint64_t stamp = stamps.unwrap(rec.timeStamp);
            if (!recvAll.load(std::memory_order_relaxed) && rec.id != filterId.load(std::memory_order_relaxed))
                continue;
            const int len = std::min<int>(rec.dataLen, 8);
            uchar* slot = ringData[ringIndex];
            std::memcpy(slot, rec.data, static_cast<size_t>(len));
            CanFrameData copy;
            std::memcpy(copy.bytes, slot, sizeof(copy.bytes));
            emit recv_signal(copy, len, timestepOf(stamp));
            ringIndex = (ringIndex + 1) % kRingSlots;
        }
    }
    debugLine(QStringLiteral("Stop receiving"));
}
