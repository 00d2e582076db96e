#include "virtualbus.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {
// QUINTREL_SIM_FAIL: comma list of entry points made to fail.
uint32_t failuresFromEnvironment()
{
    const char* env = std::getenv("QUINTREL_SIM_FAIL");
    if (!env) return 0;
    const std::pair<const char*, uint32_t> names[] = {
        {"open", SIM_FAIL_OPEN_DEVICE}, {"init", SIM_FAIL_INIT_CAN},     {"start", SIM_FAIL_START_CAN},
        {"receive", SIM_FAIL_RECEIVE},  {"transmit", SIM_FAIL_TRANSMIT}, {"errinfo", SIM_FAIL_READ_ERR_INFO}};
    uint32_t flags = 0;
    std::string list(env);
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        const std::string item = list.substr(start, end - start);
        for (const auto& [name, flag] : names)
            if (item == name) flags |= flag;
        start = end + 1;
    }
    return flags;
}
}   // namespace

VirtualBus& VirtualBus::instance()
{
    static VirtualBus bus;
    return bus;
}

VirtualBus::VirtualBus() : loaded_(std::chrono::steady_clock::now()), opened_(loaded_)
{
    drive_.configure(sim::configFromEnvironment());
    failures_.store(failuresFromEnvironment());
}

VirtualBus::~VirtualBus()
{
    std::unique_lock<std::mutex> lock(mutex_);
    stopTickerLocked(lock);
}

uint64_t VirtualBus::nowUs() const
{
    return uint64_t(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - loaded_).count());
}

uint32_t VirtualBus::stampLocked() const
{
    // The adapter counts microseconds since the device was opened, in 32 bits.
    return uint32_t(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - opened_).count());
}

void VirtualBus::pushLocked(uint32_t ch, const CanFrameObject& frame)
{
    Channel& c = channels_[ch];
    if (c.rx.size() >= kQueueCapacity) {
        // Like a hardware FIFO: the oldest frame is lost and the overflow is reported.
        c.rx.pop_front();
        ++c.dropped;
        c.errCode = ECANVCI_ERR_RX_OVERFLOW;
    }
    c.rx.push_back(frame);
}

void VirtualBus::deliverLocked(uint32_t ch, const std::vector<sim::Frame>& frames)
{
    for (const sim::Frame& f : frames) {
        CanFrameObject obj{};
        obj.id = f.id;
        obj.timeStamp = stampLocked();
        obj.dataLen = std::min<uint8_t>(f.len, 8);
        std::memcpy(obj.data, f.data, 8);
        pushLocked(ch, obj);
    }
}

uint32_t VirtualBus::openDevice()
{
    std::unique_lock<std::mutex> lock(mutex_);
    failures_.fetch_or(failuresFromEnvironment());
    if (failing(SIM_FAIL_OPEN_DEVICE)) {
        channels_[0].errCode = channels_[1].errCode = ECANVCI_ERR_DEVICE_OPEN;
        return 0;
    }
    if (open_) return 1;
    sim::DriveConfig cfg = sim::configFromEnvironment();
    for (const auto& [key, value] : overrides_) sim::applySetting(cfg, key, value);
    drive_.configure(cfg);
    open_ = true;
    opened_ = std::chrono::steady_clock::now();
    for (Channel& c : channels_) {
        c.started = false;
        c.rx.clear();
        c.errCode = 0;
    }
    tickerStop_ = false;
    ticker_ = std::thread(&VirtualBus::tickerLoop, this);
    return 1;
}

void VirtualBus::stopTickerLocked(std::unique_lock<std::mutex>& lock)
{
    if (!ticker_.joinable()) return;
    tickerStop_ = true;
    wake_.notify_all();
    std::thread t = std::move(ticker_);
    lock.unlock();
    t.join();
    lock.lock();
}

uint32_t VirtualBus::closeDevice()
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (!open_) return 0;
    open_ = false;
    for (Channel& c : channels_) c.started = false;
    stopTickerLocked(lock);
    return 1;
}

uint32_t VirtualBus::initCan(uint32_t ch, const CanInitConfig* cfg)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (ch > 1 || !cfg) return 0;
    if (!open_) {
        channels_[ch].errCode = ECANVCI_ERR_DEVICE_NOT_OPEN;
        return 0;
    }
    channels_[ch].config = *cfg;
    channels_[ch].haveConfig = true;
    if (failing(SIM_FAIL_INIT_CAN)) return 0;
    return 1;
}

uint32_t VirtualBus::startCan(uint32_t ch)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (ch > 1 || !open_ || !channels_[ch].haveConfig || failing(SIM_FAIL_START_CAN)) return 0;
    channels_[ch].started = true;
    return 1;
}

uint32_t VirtualBus::resetCan(uint32_t ch)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (ch > 1 || !open_) return 0;
    channels_[ch].started = false;
    return 1;
}

uint32_t VirtualBus::transmit(uint32_t ch, const CanFrameObject* frames, uint32_t count)
{
    // Inside before it is counted, so whoever sees the count finds the call still inside;
    // counted before the bus lock, so a caller that serialises its sends never has two here.
    struct InFlight {
        std::atomic<int>* all;
        std::atomic<int>* channel;
        ~InFlight()
        {
            if (channel) channel->fetch_sub(1);
            all->fetch_sub(1);
        }
    } inFlight{&transmitsInside_, ch <= 1 ? &transmitting_[ch] : nullptr};
    if (transmitsInside_.fetch_add(1) > 0) enteredDuringTransmit_.fetch_or(1u << SIM_TRANSMIT);
    calls_[SIM_TRANSMIT].fetch_add(1);
    if (inFlight.channel && inFlight.channel->fetch_add(1) > 0) overlaps_.fetch_add(1);
    if (const uint32_t ms = holdNextTransmitMs_.exchange(0)) {
        holding_.store(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        holding_.store(false);
    }
    const uint32_t taken = takeFrames(ch, frames, count);
    // Returns late, the bus free meanwhile: replies and streams flow while the caller waits.
    if (const uint32_t ms = transmitReturnMs_.load()) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return taken;
}

uint32_t VirtualBus::takeFrames(uint32_t ch, const CanFrameObject* frames, uint32_t count)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (ch > 1 || !frames || !open_ || !channels_[ch].started || failing(SIM_FAIL_TRANSMIT)) return 0;
    std::vector<sim::Frame> replies;
    for (uint32_t i = 0; i < count; ++i) {
        const CanFrameObject& f = frames[i];
        // A refused frame is not taken, nor any after it: the count says how many were.
        if (!refusedPrefix_.empty() && f.dataLen >= refusedPrefix_.size() &&
            std::equal(refusedPrefix_.begin(), refusedPrefix_.end(), f.data)) {
            wake_.notify_all();
            return i;
        }
        if (sent_.size() >= kSentCapacity) sent_.pop_front();
        sent_.push_back(SimSentFrame{f, ch, nowUs()});
        sim::Frame in;
        in.id = f.id;
        in.len = std::min<uint8_t>(f.dataLen, 8);
        std::memcpy(in.data, f.data, in.len);
        replies.clear();
        drive_.receive(in, nowUs(), replies);
        if (!replies.empty() || drive_.streaming()) streamChannel_ = int(ch);
        deliverLocked(ch, replies);
    }
    wake_.notify_all();
    return count;
}

uint32_t VirtualBus::receive(uint32_t ch, CanFrameObject* frames, uint32_t maxCount)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (ch > 1 || !frames) return kReceiveError;
    Channel& c = channels_[ch];
    if (failing(SIM_FAIL_RECEIVE)) {
        c.errCode = ECANVCI_ERR_RECEIVE;
        return kReceiveError;
    }
    if (!open_) {
        c.errCode = ECANVCI_ERR_DEVICE_NOT_OPEN;
        return kReceiveError;
    }
    const uint32_t n = uint32_t(std::min<size_t>(maxCount, c.rx.size()));
    for (uint32_t i = 0; i < n; ++i) {
        frames[i] = c.rx.front();
        c.rx.pop_front();
    }
    const uint32_t forced = forcedCount_.load();
    return forced ? forced : n;
}

uint32_t VirtualBus::receiveNum(uint32_t ch)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return ch > 1 ? 0 : uint32_t(channels_[ch].rx.size());
}

uint32_t VirtualBus::clearBuffer(uint32_t ch)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (ch > 1 || !open_) return 0;
    channels_[ch].rx.clear();
    return 1;
}

uint32_t VirtualBus::readErrInfo(uint32_t ch, CanErrorInfo* info)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!info || failing(SIM_FAIL_READ_ERR_INFO)) return 0;
    std::memset(info, 0, sizeof(*info));
    if (ch <= 1) {
        info->errCode = channels_[ch].errCode;
        channels_[ch].errCode = 0;
    }
    return 1;
}

void VirtualBus::tickerLoop()
{
    using namespace std::chrono;
    std::unique_lock<std::mutex> lock(mutex_);
    auto next = steady_clock::now();
    std::vector<sim::Frame> frames;
    while (!tickerStop_) {
        next += milliseconds(1);
        if (!drive_.streaming()) {
            // Nothing to send: sleep until a transmit may have started a stream.
            wake_.wait_for(lock, milliseconds(50));
            next = steady_clock::now();
            continue;
        }
        wake_.wait_until(lock, next, [this] { return tickerStop_; });
        if (tickerStop_) break;
        frames.clear();
        drive_.advance(nowUs(), frames);
        if (open_ && channels_[streamChannel_].started) deliverLocked(uint32_t(streamChannel_), frames);
    }
}

void VirtualBus::reset()
{
    std::unique_lock<std::mutex> lock(mutex_);
    open_ = false;
    stopTickerLocked(lock);
    for (Channel& c : channels_) c = Channel();
    sent_.clear();
    overrides_.clear();
    drive_ = sim::SimDrive(sim::configFromEnvironment());
    failures_.store(failuresFromEnvironment());
    forcedCount_.store(0);
    overlaps_.store(0);
    enteredDuringTransmit_.store(0);
    holdNextTransmitMs_.store(0);
    transmitReturnMs_.store(0);
    refusedPrefix_.clear();
    for (auto& c : calls_) c.store(0);
}

void VirtualBus::refuseFrames(const uint8_t* prefix, uint32_t len)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!prefix) len = 0;
    refusedPrefix_.assign(prefix, prefix + std::min<uint32_t>(len, 8));
}

void VirtualBus::inject(uint32_t ch, const CanFrameObject& frame)
{
    if (ch > 1) return;
    std::lock_guard<std::mutex> lock(mutex_);
    pushLocked(ch, frame);
}

uint32_t VirtualBus::takeTransmitted(SimSentFrame* out, uint32_t maxCount)
{
    std::lock_guard<std::mutex> lock(mutex_);
    uint32_t n = 0;
    while (n < maxCount && !sent_.empty()) {
        out[n++] = sent_.front();
        sent_.pop_front();
    }
    return n;
}

uint32_t VirtualBus::lastInitConfig(uint32_t ch, CanInitConfig* out)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (ch > 1 || !out || !channels_[ch].haveConfig) return 0;
    *out = channels_[ch].config;
    return 1;
}

void VirtualBus::setDriveAttached(bool attached)
{
    std::lock_guard<std::mutex> lock(mutex_);
    overrides_["attached"] = attached ? "1" : "0";
    sim::DriveConfig cfg = drive_.config();
    cfg.attached = attached;
    drive_.configure(cfg);
}

uint32_t VirtualBus::dropped(uint32_t ch)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return ch > 1 ? 0 : channels_[ch].dropped;
}

uint32_t VirtualBus::pending(uint32_t ch) { return receiveNum(ch); }

bool VirtualBus::deviceOpen()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return open_;
}

bool VirtualBus::configure(const std::string& key, const std::string& value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    sim::DriveConfig cfg = drive_.config();
    if (!sim::applySetting(cfg, key, value)) return false;
    overrides_[key] = value;
    drive_.configure(cfg);
    return true;
}

bool VirtualBus::readParameter(uint32_t code, double* value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return value && drive_.parameter(int(code), value);
}
