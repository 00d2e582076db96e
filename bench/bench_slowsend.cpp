// Replies behind a slow send: while a hybrid burst's worker waits in an adapter whose
// Transmit takes 300 ms to return (a loaded bus, a send time-out), the drive's replies must
// reach the window at once, not when the send returns. A feeder puts a parameter reply on
// the bus every 37 ms; each one's delay is taken from the moment it was on the bus to the
// moment the window showed its value in the row's box.
//   bench_slowsend [--smoke]   --smoke: a burst of 3 sends, the timing goal reported only
#include "benchsupport.h"

#include <QDoubleSpinBox>
#include <QPushButton>
#include <QSpinBox>

#include <atomic>
#include <mutex>
#include <thread>

using namespace bench;

namespace {

constexpr uint32_t kTransmitMs = 300;
constexpr int kFeedEveryMs = 37;
constexpr double kGoalMs = 20;

// The drive's answer to a read of the current limit, carrying value.
void putReply(float value, uint32_t stamp)
{
    uint8_t frame[8] = {0xF1, 0x07, 0x12, 0, 0, 0, 0, 0};
    std::memcpy(frame + 3, &value, sizeof value);
    SimInjectFrame(0, 0, frame, 8, stamp);
}

}   // namespace

int main(int argc, char** argv)
{
    const bool smoke = hasArg(argc, argv, "--smoke");
    const int sends = smoke ? 3 : 12;
    useOffscreenPlatform();
    qInstallMessageHandler(quietDebug);
    QApplication app(argc, argv);
    DefinitionsDir definitions;
    Results results(smoke);

    SimReset();
    SimSetDriveAttached(0);   // on the bus only the replies put there below
    MainWindow w;
    app.installEventFilter(&w);
    w.show();
    spinFor(300);
    BoxCloser boxes;
    Ui_MainWindow* ui = MainWindowProbe::ui(w);
    if (!openPort(w)) {
        std::printf("the port did not open\n");
        return 2;
    }

    // When each value was put on the bus, and when the window showed it.
    std::mutex lock;
    std::vector<Clock::time_point> put, shown;
    QObject::connect(ui->doubleSpinBox_CurrentLimit, &QDoubleSpinBox::valueChanged, &app, [&](double) {
        std::lock_guard<std::mutex> guard(lock);
        shown.push_back(Clock::now());
    });
    ui->doubleSpinBox_CurrentLimit->setValue(0);
    shown.clear();

    // The burst's worker sends one frame after another, each Transmit taking 300 ms.
    ui->pushButton_TP_start->setEnabled(true);
    ui->spinBox_TP_times->setValue(sends);
    SimSlowTransmit(kTransmitMs);
    const Clock::time_point started = Clock::now();
    ui->pushButton_TP_start->click();

    std::atomic<bool> feeding{true};
    std::thread feeder([&] {
        uint32_t k = 0;
        auto next = Clock::now() + std::chrono::milliseconds(kFeedEveryMs);
        while (feeding.load()) {
            std::this_thread::sleep_until(next);
            next += std::chrono::milliseconds(kFeedEveryMs);
            {
                std::lock_guard<std::mutex> guard(lock);
                put.push_back(Clock::now());
            }
            putReply(float(1 + k % 2), k);   // each value differs from the one before
            ++k;
        }
    });
    const bool ended =
        spinUntil([&] { return ui->pushButton_TP_start->isEnabled() && !ui->pushButton_TP_start->isChecked(); },
                  int(sends * kTransmitMs) + 5000);
    feeding = false;
    feeder.join();
    SimSlowTransmit(0);
    spinFor(200);   // the last replies
    const double burstMs = msSince(started);

    std::vector<double> delays;
    size_t putCount, shownCount;
    {
        std::lock_guard<std::mutex> guard(lock);
        putCount = put.size();
        shownCount = shown.size();
        for (size_t i = 0; i < std::min(put.size(), shown.size()); ++i)
            delays.push_back(std::chrono::duration<double, std::milli>(shown[i] - put[i]).count());
    }
    const double p50 = percentile(delays, 50), p99 = percentile(delays, 99);
    const double mx = delays.empty() ? 0 : *std::max_element(delays.begin(), delays.end());
    std::printf(
        "Slow send: %d hybrid frames at %u ms per Transmit took %.0f ms; %zu replies put on the bus, %zu shown; "
        "delay p50 %.2f p99 %.2f max %.2f ms\n",
        sends, kTransmitMs, burstMs, putCount, shownCount, p50, p99, mx);

    results.check(QStringLiteral("slow send: burst ended"), ended ? QStringLiteral("yes") : QStringLiteral("no"),
                  QStringLiteral("yes"), ended);
    results.check(QStringLiteral("slow send: replies shown"), QStringLiteral("%1 of %2").arg(shownCount).arg(putCount),
                  QStringLiteral("all"), putCount > 0 && shownCount == putCount);
    results.timing(QStringLiteral("slow send: reply delay behind a %1 ms Transmit p50/p99/max").arg(kTransmitMs),
                   QStringLiteral("%1 / %2 / %3 ms").arg(fmt(p50, 2), fmt(p99, 2), fmt(mx, 2)),
                   QStringLiteral("max <= %1 ms").arg(kGoalMs), !delays.empty() && mx <= kGoalMs);
    if (!boxes.texts.isEmpty())
        std::printf("message boxes seen: %s\n", qPrintable(boxes.texts.join(QLatin1String(" | "))));
    return results.exitCode();
}
