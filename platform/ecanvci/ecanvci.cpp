// Exported entry points of the adapter stand-in; each forwards to the virtual bus.
#include "ecanvci.h"
#include "virtualbus.h"

namespace {
VirtualBus& bus(SimEntry e)
{
    VirtualBus& b = VirtualBus::instance();
    b.count(e);
    return b;
}
}   // namespace

extern "C" {

uint32_t ECANVCI_CALL OpenDevice(uint32_t, uint32_t, uint32_t) { return bus(SIM_OPEN_DEVICE).openDevice(); }
uint32_t ECANVCI_CALL CloseDevice(uint32_t, uint32_t) { return bus(SIM_CLOSE_DEVICE).closeDevice(); }
uint32_t ECANVCI_CALL InitCAN(uint32_t, uint32_t, uint32_t ch, CanInitConfig* cfg)
{
    return bus(SIM_INIT_CAN).initCan(ch, cfg);
}
uint32_t ECANVCI_CALL StartCAN(uint32_t, uint32_t, uint32_t ch) { return bus(SIM_START_CAN).startCan(ch); }
uint32_t ECANVCI_CALL ResetCAN(uint32_t, uint32_t, uint32_t ch) { return bus(SIM_RESET_CAN).resetCan(ch); }
uint32_t ECANVCI_CALL Transmit(uint32_t, uint32_t, uint32_t ch, CanFrameObject* frames, uint32_t count)
{
    return VirtualBus::instance().transmit(ch, frames, count);   // counts itself
}
uint32_t ECANVCI_CALL Receive(uint32_t, uint32_t, uint32_t ch, CanFrameObject* frames, uint32_t maxCount, int32_t)
{
    return bus(SIM_RECEIVE).receive(ch, frames, maxCount);
}
uint32_t ECANVCI_CALL GetReceiveNum(uint32_t, uint32_t, uint32_t ch) { return bus(SIM_GET_RECEIVE_NUM).receiveNum(ch); }
uint32_t ECANVCI_CALL ClearBuffer(uint32_t, uint32_t, uint32_t ch) { return bus(SIM_CLEAR_BUFFER).clearBuffer(ch); }
uint32_t ECANVCI_CALL ReadErrInfo(uint32_t, uint32_t, uint32_t ch, CanErrorInfo* info)
{
    return bus(SIM_READ_ERR_INFO).readErrInfo(ch, info);
}
uint32_t ECANVCI_CALL ReadCANStatus(uint32_t, uint32_t, uint32_t, void*)
{
    bus(SIM_READ_CAN_STATUS);
    return 1;
}
uint32_t ECANVCI_CALL SetReference(uint32_t, uint32_t, uint32_t, uint32_t, void*)
{
    bus(SIM_SET_REFERENCE);
    return 1;
}
uint32_t ECANVCI_CALL ReadBoardInfo(uint32_t, uint32_t, void*)
{
    bus(SIM_READ_BOARD_INFO);
    return 1;
}

void SimReset() { VirtualBus::instance().reset(); }

void SimInjectFrame(uint32_t canIndex, uint32_t id, const uint8_t* data, uint8_t len, uint32_t timeStamp)
{
    CanFrameObject f{};
    f.id = id;
    f.timeStamp = timeStamp;
    f.dataLen = len;
    for (uint8_t i = 0; i < len && i < 8 && data; ++i) f.data[i] = data[i];
    VirtualBus::instance().inject(canIndex, f);
}

void SimInjectRaw(uint32_t canIndex, const CanFrameObject* frames, uint32_t count)
{
    for (uint32_t i = 0; frames && i < count; ++i) VirtualBus::instance().inject(canIndex, frames[i]);
}

uint32_t SimTakeTransmitted(SimSentFrame* out, uint32_t maxCount)
{
    return out ? VirtualBus::instance().takeTransmitted(out, maxCount) : 0;
}

uint32_t SimLastInitConfig(uint32_t canIndex, CanInitConfig* out)
{
    return VirtualBus::instance().lastInitConfig(canIndex, out);
}
void SimSetDriveAttached(int attached) { VirtualBus::instance().setDriveAttached(attached != 0); }
void SimSetFailures(uint32_t flags) { VirtualBus::instance().setFailures(flags); }
void SimForceReceiveCount(uint32_t count) { VirtualBus::instance().forceReceiveCount(count); }
uint32_t SimCallCount(uint32_t entry) { return VirtualBus::instance().callCount(entry); }
uint32_t SimDroppedCount(uint32_t canIndex) { return VirtualBus::instance().dropped(canIndex); }
uint32_t SimPendingCount(uint32_t canIndex) { return VirtualBus::instance().pending(canIndex); }
int SimDeviceOpen() { return VirtualBus::instance().deviceOpen() ? 1 : 0; }
int SimConfigure(const char* key, const char* value)
{
    return key && value && VirtualBus::instance().configure(key, value) ? 1 : 0;
}
int SimReadParameter(uint32_t code, double* value) { return VirtualBus::instance().readParameter(code, value) ? 1 : 0; }
uint64_t SimNowUs() { return VirtualBus::instance().now(); }
uint32_t SimOverlappingTransmits() { return VirtualBus::instance().overlappingTransmits(); }
void SimHoldTransmit(uint32_t ms) { VirtualBus::instance().holdNextTransmit(ms); }
int SimTransmitHeld() { return VirtualBus::instance().holdingTransmit() ? 1 : 0; }
uint32_t SimEnteredDuringTransmit() { return VirtualBus::instance().enteredDuringTransmit(); }
void SimRefuseFrames(const uint8_t* prefix, uint32_t len) { VirtualBus::instance().refuseFrames(prefix, len); }
void SimSlowTransmit(uint32_t ms) { VirtualBus::instance().slowTransmit(ms); }

}   // extern "C"
