// The in-process bus behind the adapter stand-in: two channels with bounded receive
// queues, the simulated drive, forced failures and a record of what was transmitted.
#pragma once

#include "ecanvci.h"
#include "simdrive.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class VirtualBus {
public:
    static constexpr size_t kQueueCapacity = 8192;
    static constexpr size_t kSentCapacity = 1u << 20;
    static constexpr uint32_t kReceiveError = 0xFFFFFFFFu;

    static VirtualBus& instance();
    ~VirtualBus();

    uint32_t openDevice();
    uint32_t closeDevice();
    uint32_t initCan(uint32_t ch, const CanInitConfig* cfg);
    uint32_t startCan(uint32_t ch);
    uint32_t resetCan(uint32_t ch);
    uint32_t transmit(uint32_t ch, const CanFrameObject* frames, uint32_t count);
    uint32_t receive(uint32_t ch, CanFrameObject* frames, uint32_t maxCount);
    uint32_t receiveNum(uint32_t ch);
    uint32_t clearBuffer(uint32_t ch);
    uint32_t readErrInfo(uint32_t ch, CanErrorInfo* info);

    void count(SimEntry e)
    {
        if (transmitsInside_.load() > 0) enteredDuringTransmit_.fetch_or(1u << e);
        calls_[e].fetch_add(1, std::memory_order_relaxed);
    }

    // Control interface.
    void reset();
    void inject(uint32_t ch, const CanFrameObject& frame);
    uint32_t takeTransmitted(SimSentFrame* out, uint32_t maxCount);
    uint32_t lastInitConfig(uint32_t ch, CanInitConfig* out);
    void setDriveAttached(bool attached);
    void setFailures(uint32_t flags) { failures_.store(flags); }
    void forceReceiveCount(uint32_t n) { forcedCount_.store(n); }
    uint32_t callCount(uint32_t e) const { return e < SIM_ENTRY_COUNT ? calls_[e].load() : 0; }
    uint32_t dropped(uint32_t ch);
    uint32_t pending(uint32_t ch);
    bool deviceOpen();
    bool configure(const std::string& key, const std::string& value);
    bool readParameter(uint32_t code, double* value);
    uint64_t now() const { return nowUs(); }
    uint32_t overlappingTransmits() const { return overlaps_.load(); }
    void holdNextTransmit(uint32_t ms) { holdNextTransmitMs_.store(ms); }
    bool holdingTransmit() const { return holding_.load(); }
    uint32_t enteredDuringTransmit() const { return enteredDuringTransmit_.load(); }
    void refuseFrames(const uint8_t* prefix, uint32_t len);
    void slowTransmit(uint32_t ms) { transmitReturnMs_.store(ms); }

private:
    VirtualBus();
    struct Channel {
        bool started = false;
        bool haveConfig = false;
        CanInitConfig config{};
        std::deque<CanFrameObject> rx;
        uint32_t dropped = 0;
        uint32_t errCode = 0;
    };

    bool failing(uint32_t flag) const { return (failures_.load() & flag) != 0; }
    uint64_t nowUs() const;
    uint32_t stampLocked() const;
    void pushLocked(uint32_t ch, const CanFrameObject& frame);
    // Takes the frames of one Transmit call under the bus lock; how many were taken.
    uint32_t takeFrames(uint32_t ch, const CanFrameObject* frames, uint32_t count);
    void deliverLocked(uint32_t ch, const std::vector<sim::Frame>& frames);
    void tickerLoop();
    void stopTickerLocked(std::unique_lock<std::mutex>& lock);

    std::mutex mutex_;
    std::condition_variable wake_;
    bool open_ = false;
    Channel channels_[2];
    std::chrono::steady_clock::time_point loaded_;
    std::chrono::steady_clock::time_point opened_;
    std::deque<SimSentFrame> sent_;
    std::map<std::string, std::string> overrides_;
    sim::SimDrive drive_;
    int streamChannel_ = 0;
    std::thread ticker_;
    bool tickerStop_ = false;
    std::atomic<uint32_t> failures_{0};
    std::atomic<uint32_t> forcedCount_{0};
    std::atomic<int> transmitting_[2] = {};
    std::atomic<uint32_t> overlaps_{0};
    std::atomic<int> transmitsInside_{0};
    std::atomic<uint32_t> enteredDuringTransmit_{0};
    std::atomic<uint32_t> holdNextTransmitMs_{0};
    std::atomic<uint32_t> transmitReturnMs_{0};
    std::atomic<bool> holding_{false};     // a held Transmit call is waiting inside
    std::vector<uint8_t> refusedPrefix_;   // under mutex_; empty: none refused
    std::atomic<uint32_t> calls_[SIM_ENTRY_COUNT] = {};
};
