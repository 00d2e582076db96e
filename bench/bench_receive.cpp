// Receive path at and beyond the bus's physical limit: 0xFA sample frames injected into the
// adapter stand-in while the real main window decodes them, in three set-ups: decoder only,
// with the received-frame log shown in its pane, and with the live display redrawing as well.
// Each set-up is judged at 9,000 frames/s (a classic 1 Mbit/s bus full of 8-byte data frames),
// then stepped up until a rate fails; the highest rate that held is its saturation, given as
// a multiple of the bus's 9,009 frames/s.
//   bench_receive [--smoke] [--rate N]   --smoke: half a second at 9,000/s, no stepping,
//                                        timing goals reported only; --rate: only N frames/s
#include "benchsupport.h"

#include <atomic>
#include <thread>

using namespace bench;

namespace {

constexpr double kBusLimit = 9009;   // 8-byte data frames at 1 Mbit/s
constexpr double kJudgedRate = 9000;
constexpr double kSteps[] = {9000, 18000, 36000, 54000, 72000, 81000};
constexpr double kSaturationGoal = 72000;   // eight times the bus limit, in whole steps
constexpr uint32_t kNodeId = 0;

// The three channels ticked, in bit order, with the ranges their samples map onto.
struct ChannelRange {
    float minValue;
    float maxValue;
};
constexpr ChannelRange kRanges[3] = {{-60.0f, 60.0f}, {-625.0f, 625.0f}, {0.0f, 60.0f}};

struct Sample {
    uint8_t data[8];
    uint32_t stamp;   // adapter time stamp, microseconds since the port opened
    float timestep;   // as the receive loop hands it on
    float value[3];
};

// Sample values that differ wildly from frame to frame, so a lost, doubled or mixed-up
// frame cannot pass for its neighbour.
uint16_t scrambled(uint32_t i, uint32_t k)
{
    uint32_t x = i * 0x9E3779B1u + (k + 1) * 0x85EBCA77u;
    x ^= x >> 15;
    x *= 0x2C1B3C6Du;
    x ^= x >> 12;
    return uint16_t(x);
}

// stampStepUs: adapter time between two frames.
std::vector<Sample> makeSamples(size_t count, uint32_t firstStampUs, double stampStepUs, uint32_t seed)
{
    std::vector<Sample> out(count);
    for (size_t i = 0; i < count; ++i) {
        Sample& s = out[i];
        s.stamp = firstStampUs + uint32_t(std::llround(double(i) * stampStepUs));
        s.timestep = float(double(s.stamp) * 0.000001);
        s.data[0] = 0xFA;
        for (uint32_t k = 0; k < 3; ++k) {
            const uint16_t raw = scrambled(uint32_t(i) + seed, k);
            s.data[1 + 2 * k] = uint8_t(raw >> 8);
            s.data[2 + 2 * k] = uint8_t(raw);
            const ChannelRange& r = kRanges[k];
            s.value[k] = float(raw) * (r.maxValue - r.minValue) / 65535.0f + r.minValue;
        }
        s.data[7] = uint8_t(i);
    }
    return out;
}

QString expectedLogLine(const Sample& s)
{
    QString line = QStringLiteral("[Recv: ") + QString::number(s.timestep, 'f', 3) + QLatin1Char(']');
    for (float v : s.value) line += QLatin1Char(' ') + QString::number(v, 'f', 2);
    return line;
}

// Exact text, or the same stamp with values that differ only in the last rounded digit
// (a different but equivalent order of the single-precision scaling).
bool sameLogLine(const QString& got, const Sample& s)
{
    const QString want = expectedLogLine(s);
    if (got == want) return true;
    const QStringList g = got.split(QLatin1Char(' ')), w = want.split(QLatin1Char(' '));
    if (g.size() != w.size() || g.size() != 5 || g[0] != w[0] || g[1] != w[1]) return false;
    for (int k = 2; k < 5; ++k)
        if (std::abs(g[k].toDouble() - w[k].toDouble()) > 0.0101) return false;
    return true;
}

// The points the decoder keeps: the first frame fixes the origin, then one point whenever
// the time stamp is more than 0.02 s past the last kept one.
std::vector<size_t> expectedPlotted(const std::vector<Sample>& samples)
{
    std::vector<size_t> kept;
    if (samples.empty()) return kept;
    float last = samples.front().timestep;
    for (size_t i = 1; i < samples.size(); ++i) {
        const float since = samples[i].timestep - last;
        if (since > 0.02f) {
            kept.push_back(i);
            last = samples[i].timestep;
        }
    }
    return kept;
}

struct RunSpec {
    const char* name;
    bool log;
    bool display;
};

struct RunResult {
    double rate = 0;
    size_t injected = 0;
    size_t emitted = 0;        // handed on intact by the receive loop
    size_t decodedLines = 0;   // received-frame log lines (log runs)
    size_t intactLines = 0;
    bool paneOk = true;
    size_t paneChecked = 0;
    bool plotOk = true;
    size_t plotPoints = 0;
    uint32_t dropped = 0;
    std::vector<double> lateness;
    double cpu = 0, guiCpu = 0, wall = 0;
    // The feeder catches up after a late wake-up in one burst, which a bus never sends: a
    // wake-up this late can overfill the adapter's queue on its own.
    double feederLateMs = 0;
    size_t decoded = 0, intact = 0;
    bool drained = false;

    double p99() const { return percentile(lateness, 99); }
    bool held() const
    {
        return drained && dropped == 0 && intact == injected && decoded == injected && !lateness.empty() &&
               p99() < 16.0;
    }
};

class ReceiveBench {
public:
    ReceiveBench(MainWindow& w, Clock::time_point portOpened) : w_(w), ui_(MainWindowProbe::ui(w)), opened_(portOpened)
    {
        // Receive loop side: every frame it hands on, compared with what was injected.
        QObject::connect(
            MainWindowProbe::can(w), &CanThread::recv_signal, &context_,
            [this](CanFrameData data, int length, float timestep) {
                const std::vector<Sample>* expected = expected_.load();
                if (!expected) return;
                const size_t i = emitted_.load(std::memory_order_relaxed);
                if (i < expected->size()) {
                    const Sample& s = (*expected)[i];
                    if (length == 8 && timestep == s.timestep && std::memcmp(data.bytes, s.data, 8) == 0)
                        intactEmitted_.fetch_add(1, std::memory_order_relaxed);
                }
                emitted_.fetch_add(1, std::memory_order_release);
            },
            Qt::DirectConnection);
        // Decoder side: the received-frame lines it writes.
        QObject::connect(&w, &MainWindow::writeLog, &context_, [this](const QString& text) {
            if (capturing_ && text.startsWith(QLatin1String("[Recv: "))) lines_.push_back(text);
        });
    }

    RunResult run(const RunSpec& spec, double rate, double seconds, uint32_t seed)
    {
        // Each run on a port opened anew: the time base counts the adapter's stamp wraps from
        // there, so a run whose stamps start below the last run's is no wrap.
        ui_->pushButton_closeport->click();
        opened_ = Clock::now();
        if (!openPort(w_)) {
            std::printf("the port did not open again\n");
            return RunResult();
        }
        prepareWindow(spec);
        RunResult r;
        r.rate = rate;

        // Start past the 1.0 s rule, with stamps that follow the real clock from the port opening.
        Clock::time_point t0 = Clock::now() + std::chrono::milliseconds(100);
        if (t0 - opened_ < std::chrono::milliseconds(1200)) t0 = opened_ + std::chrono::milliseconds(1200);
        const auto firstStamp = uint32_t(std::chrono::duration_cast<std::chrono::microseconds>(t0 - opened_).count());
        const size_t count = size_t(std::llround(seconds * rate));
        // Without the log the plot is the decoder's only output, and it keeps one point per
        // 20 ms of adapter time. The decoder-only run spaces the stamps so that as many frames
        // as the 32-bit microsecond stamp allows become points, each checked for its values.
        double stampStep = 1e6 / rate;
        if (!spec.log && !spec.display)
            stampStep = std::max(stampStep, std::min(20500.0, (4.0e9 - double(firstStamp)) / double(count + 1)));
        const std::vector<Sample> samples = makeSamples(count, firstStamp, stampStep, seed);
        r.injected = count;

        lines_.clear();
        lines_.reserve(spec.log ? count : 0);
        capturing_ = true;
        emitted_ = 0;
        intactEmitted_ = 0;
        expected_ = &samples;
        const uint32_t dropped0 = SimDroppedCount(0);

        std::atomic<double> feederCpu{0};
        std::atomic<double> feederLate{0};
        std::atomic<bool> feederDone{false};
        std::thread feeder([&] {
            const double cpu0 = threadCpuSeconds();
            std::this_thread::sleep_until(t0);
            size_t sent = 0;
            auto next = t0;
            double late = 0;
            while (sent < count) {
                late = std::max(late, std::chrono::duration<double, std::milli>(Clock::now() - next).count());
                const double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
                const size_t due = std::min(count, size_t(elapsed * rate) + 1);
                for (; sent < due; ++sent) SimInjectFrame(0, kNodeId, samples[sent].data, 8, samples[sent].stamp);
                next += std::chrono::milliseconds(1);
                std::this_thread::sleep_until(next);
            }
            feederCpu = threadCpuSeconds() - cpu0;
            feederLate = late;
            feederDone = true;
        });

        // The GUI thread runs its event loop while the frames come; the meter sees how
        // late a 16 ms timer gets.
        while (Clock::now() < t0) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        const double cpu0 = processCpuSeconds();
        const double gui0 = threadCpuSeconds();
        TimerLateness meter;
        meter.start();

        bool fed = false;
        bool markerPosted = false;
        bool drained = false;
        size_t lastEmitted = 0;
        Clock::time_point lastChange = Clock::now();
        const bool finished = spinUntil(
            [&] {
                if (!fed) {
                    // All handed on, or (after a loss) nothing more coming from the adapter.
                    const size_t e = emitted_.load(std::memory_order_acquire);
                    if (e != lastEmitted) {
                        lastEmitted = e;
                        lastChange = Clock::now();
                    }
                    fed = e >= count || (feederDone && SimPendingCount(0) == 0 && msSince(lastChange) > 50);
                    if (!fed) return false;
                }
                if (!markerPosted) {
                    // Posted behind the last frame's queued call: when it runs, all were decoded.
                    markerPosted = true;
                    QMetaObject::invokeMethod(
                        &w_, [&drained] { drained = true; }, Qt::QueuedConnection);
                }
                return drained;
            },
            int(seconds * 1000) + 120000);
        meter.stop();
        r.wall = msSince(t0) / 1000.0;
        feeder.join();
        r.cpu = processCpuSeconds() - cpu0 - feederCpu.load();
        r.feederLateMs = feederLate.load();
        r.guiCpu = threadCpuSeconds() - gui0;
        r.lateness = meter.samples();
        r.drained = finished;
        capturing_ = false;
        expected_ = nullptr;

        r.dropped = SimDroppedCount(0) - dropped0;
        r.emitted = intactEmitted_.load();
        checkPlot(samples, r);
        if (spec.log) checkLog(samples, r);

        if (spec.log) {
            r.decoded = r.decodedLines;
            r.intact = (r.paneOk && r.plotOk && r.emitted == count) ? r.intactLines : 0;
        } else {
            r.decoded = r.drained ? emitted_.load() : 0;
            r.intact = (r.plotOk && r.drained) ? r.emitted : 0;
        }
        return r;
    }

    void finish()
    {
        if (MainWindowProbe::curveDisplaying(w_)) ui_->pushButton_display->click();
    }

private:
    // Channels and log as a user sets them; the display is started so that it fixes a
    // fresh time origin and empties the graphs, then stopped again unless the run wants it.
    void prepareWindow(const RunSpec& spec)
    {
        if (MainWindowProbe::curveDisplaying(w_)) ui_->pushButton_display->click();
        ui_->checkBox_aCurrent->setChecked(true);
        ui_->checkBox_MotorAngle->setChecked(true);
        ui_->checkBox_BusVoltage->setChecked(true);
        ui_->radioButton_float->setChecked(true);
        ui_->checkBox_showInText->setChecked(spec.log);
        // A user who reads the log shows its pane; the window hides it at start-up.
        ui_->actionSerialMonitor->setChecked(spec.log);
        ui_->pushButton_clear->click();
        ui_->pushButton_display->click();
        if (!spec.display) ui_->pushButton_display->click();
        spinFor(100);
    }

    void checkPlot(const std::vector<Sample>& samples, RunResult& r)
    {
        const std::vector<size_t> kept = expectedPlotted(samples);
        const float origin = samples.empty() ? 0.0f : samples.front().timestep;
        for (int k = 1; k <= 3; ++k) {
            const QCPGraphDataContainer& data = *MainWindowProbe::curveGraph(w_, k)->data();
            if (size_t(data.size()) != kept.size()) {
                std::printf("  graph %d holds %d points, expected %zu\n", k, data.size(), kept.size());
                r.plotOk = false;
                continue;
            }
            size_t bad = 0;
            auto it = data.constBegin();
            for (size_t j = 0; j < kept.size(); ++j, ++it) {
                const Sample& s = samples[kept[j]];
                const float key = s.timestep - origin;
                if (std::abs(it->key - double(key)) > 1e-6 || std::abs(it->value - double(s.value[k - 1])) > 1e-3)
                    ++bad;
            }
            if (bad) {
                std::printf("  graph %d: %zu of %zu points differ from the frames they stand for\n", k, bad,
                            kept.size());
                r.plotOk = false;
            }
        }
        r.plotPoints = kept.size();
    }

    void checkLog(const std::vector<Sample>& samples, RunResult& r)
    {
        r.decodedLines = lines_.size();
        const size_t n = std::min(lines_.size(), samples.size());
        for (size_t i = 0; i < n; ++i)
            if (sameLogLine(lines_[i], samples[i])) ++r.intactLines;

        // What the pane shows: its newest received-frame lines are the newest frames.
        w_.flushLog();
        const QStringList pane = ui_->plainTextEdit_display->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QStringList recv;
        for (const QString& l : pane)
            if (l.mid(13).startsWith(QLatin1String("[Recv: "))) recv << l.mid(13);
        const size_t limit = size_t(ui_->plainTextEdit_display->maximumBlockCount());
        const size_t want = std::min(samples.size(), limit > 20 ? limit - 20 : limit);
        if (size_t(recv.size()) < want || size_t(recv.size()) > samples.size()) {
            std::printf("  log pane shows %lld received-frame lines, expected at least %zu\n", qsizetype(recv.size()),
                        want);
            r.paneOk = false;
            return;
        }
        const size_t offset = samples.size() - size_t(recv.size());
        for (qsizetype i = 0; i < recv.size(); ++i)
            if (!sameLogLine(recv[i], samples[offset + size_t(i)])) {
                std::printf("  log pane line %lld differs: \"%s\"\n", i, qPrintable(recv[i]));
                r.paneOk = false;
                break;
            }
        r.paneChecked = size_t(recv.size());
    }

    MainWindow& w_;
    Ui_MainWindow* ui_;
    Clock::time_point opened_;
    QObject context_;
    std::atomic<const std::vector<Sample>*> expected_{nullptr};
    std::atomic<size_t> emitted_{0};
    std::atomic<size_t> intactEmitted_{0};
    bool capturing_ = false;
    std::vector<QString> lines_;
};

double argValue(int argc, char** argv, const char* name)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return std::atof(argv[i + 1]);
    return 0;
}

}   // namespace

int main(int argc, char** argv)
{
    const bool smoke = hasArg(argc, argv, "--smoke");
    const double onlyRate = argValue(argc, argv, "--rate");
    const double seconds = smoke ? 0.5 : 10.0;
    useOffscreenPlatform();
    qInstallMessageHandler(quietDebug);
    QApplication app(argc, argv);
    DefinitionsDir definitions;
    Results results(smoke);

    SimReset();
    SimSetDriveAttached(0);   // nothing on the bus but the injected frames
    MainWindow w;
    app.installEventFilter(&w);
    w.show();
    spinFor(300);
    BoxCloser boxes;

    const Clock::time_point opened = Clock::now();
    if (!openPort(w)) {
        std::printf("the port did not open\n");
        return 2;
    }
    ReceiveBench bench(w, opened);

    const RunSpec runs[] = {
        {"decoder only", false, false},
        {"log on", true, false},
        {"display + log", true, true},
    };
    QList<double> steps;
    if (onlyRate > 0)
        steps = {onlyRate};
    else if (smoke)
        steps = {kJudgedRate};
    else
        steps = QList<double>(std::begin(kSteps), std::end(kSteps));
    const bool stepping = steps.size() > 1;
    std::printf("Receive path: %.1f s per run at %s frames/s (%s)\n", seconds,
                stepping ? "9,000 then rising" : qPrintable(QString::number(steps.front())), smoke ? "smoke" : "full");
    uint32_t seed = 1;
    for (const RunSpec& spec : runs) {
        double saturation = 0;
        for (double rate : steps) {
            const RunResult r = bench.run(spec, rate, seconds, seed);
            seed += 1000003;
            const double p50 = percentile(r.lateness, 50), p99 = r.p99();
            const double mx = r.lateness.empty() ? 0 : *std::max_element(r.lateness.begin(), r.lateness.end());
            std::printf(
                "[%s, %.0f/s] injected %zu, handed on intact %zu, decoded %zu, intact %zu, dropped %u, "
                "plotted %zu per graph (checked), pane lines checked %zu; timer ticks %zu, lateness p50 %.2f "
                "p99 %.2f max %.2f ms; CPU %.2f s (GUI thread %.2f s) over %.2f s; feeder woke up to %.1f ms late: "
                "%s\n",
                spec.name, rate, r.injected, r.emitted, r.decoded, r.intact, r.dropped, r.plotPoints, r.paneChecked,
                r.lateness.size(), p50, p99, mx, r.cpu, r.guiCpu, r.wall, r.feederLateMs, r.held() ? "held" : "failed");
            std::fflush(stdout);
            if (rate == steps.front()) {
                const QString name =
                    QStringLiteral("receive %1k/s, %2: ").arg(rate / 1000.0).arg(QLatin1String(spec.name));
                results.check(name + QStringLiteral("decoded intact"),
                              QStringLiteral("%1 of %2 (decoded %3)").arg(r.intact).arg(r.injected).arg(r.decoded),
                              QStringLiteral("all"), r.intact == r.injected && r.decoded == r.injected);
                results.check(name + QStringLiteral("dropped in adapter queue"), QString::number(r.dropped),
                              QStringLiteral("0"), r.dropped == 0);
                results.timing(name + QStringLiteral("16 ms timer lateness p50/p99/max"),
                               QStringLiteral("%1 / %2 / %3 ms").arg(fmt(p50, 2), fmt(p99, 2), fmt(mx, 2)),
                               QStringLiteral("p99 < 16 ms"), p99 < 16.0 && !r.lateness.empty());
                results.report(name + QStringLiteral("process CPU"),
                               QStringLiteral("%1 s in %2 s (%3 % of a core; GUI thread %4 s)")
                                   .arg(fmt(r.cpu, 2), fmt(r.wall, 1), fmt(100.0 * r.cpu / std::max(r.wall, 1e-9), 0),
                                        fmt(r.guiCpu, 2)));
            }
            if (!r.held()) break;
            saturation = rate;
        }
        if (stepping)
            results.timing(
                QStringLiteral("receive saturation, %1").arg(QLatin1String(spec.name)),
                QStringLiteral("%1/s = %2 x bus limit").arg(saturation, 0, 'f', 0).arg(fmt(saturation / kBusLimit, 2)),
                QStringLiteral(">= %1/s (8 x)").arg(kSaturationGoal, 0, 'f', 0), saturation >= kSaturationGoal);
    }
    bench.finish();
    if (!boxes.texts.isEmpty())
        std::printf("message boxes seen: %s\n", qPrintable(boxes.texts.join(QLatin1String(" | "))));
    return results.exitCode();
}
