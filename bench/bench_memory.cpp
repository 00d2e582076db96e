// Memory over a long session: a three-channel live display streamed by the simulated drive
// at 9,000 frames/s (the bus's limit), the temperature stream recorded, the received-frame
// log on and its pane shown. Resident memory is sampled every second; over five minutes
// after a settling half-minute it may grow by no more than 1 % beyond the points the plots keep.
//   bench_memory [--smoke]   --smoke: 4 s (1 s settling); the growth goal is reported only
#include "benchsupport.h"

using namespace bench;

namespace {

qint64 keptPoints(MainWindow& w)
{
    qint64 n = 0;
    for (int k = 1; k <= 3; ++k) {
        n += MainWindowProbe::curveGraph(w, k)->data()->size();
        n += MainWindowProbe::temperatureGraph(w, k)->data()->size();
    }
    return n;
}

}   // namespace

int main(int argc, char** argv)
{
    const bool smoke = hasArg(argc, argv, "--smoke");
    constexpr int kFramesPerSecond = 9000;
    constexpr double kGrowthGoalPct = 1.0;
    const int settleSeconds = smoke ? 1 : 30;
    const int seconds = smoke ? 4 : settleSeconds + 300;
    useOffscreenPlatform();
    qInstallMessageHandler(quietDebug);
    QApplication app(argc, argv);
    DefinitionsDir definitions;
    Results results(smoke);

    SimReset();
    SimConfigure("stream_rate_hz", QByteArray::number(kFramesPerSecond).constData());
    MainWindow w;
    app.installEventFilter(&w);
    w.show();
    spinFor(300);
    BoxCloser boxes;
    if (!openPort(w)) {
        std::printf("the port did not open\n");
        return 2;
    }
    Ui_MainWindow* ui = MainWindowProbe::ui(w);

    // Received-frame log lines (samples and temperatures) show the streams are decoded.
    qint64 recvLines = 0;
    QObject counter;
    QObject::connect(&w, &MainWindow::writeLog, &counter, [&](const QString& text) {
        if (text.startsWith(QLatin1String("[Recv: "))) ++recvLines;
    });

    // As a user would: three channels, the log in float form, display, temperatures recorded.
    ui->checkBox_aCurrent->setChecked(true);
    ui->checkBox_MotorAngle->setChecked(true);
    ui->checkBox_BusVoltage->setChecked(true);
    ui->radioButton_float->setChecked(true);
    ui->checkBox_showInText->setChecked(true);
    ui->actionSerialMonitor->setChecked(true);
    ui->pushButton_display->click();
    ui->pushButton_Temp->click();
    ui->pushButton_plotTemperature->click();
    const bool running = MainWindowProbe::curveDisplaying(w) && MainWindowProbe::temperaturePlotting(w);

    struct Sample {
        int second;
        qint64 rss;
        qint64 points;
        qint64 lines;
    };
    std::vector<Sample> samples;
    const uint32_t dropped0 = SimDroppedCount(0);
    QTimer sampler;
    sampler.setTimerType(Qt::PreciseTimer);
    int second = 0;
    QObject::connect(&sampler, &QTimer::timeout, &counter, [&] {
        ++second;
        samples.push_back({second, residentBytes(), keptPoints(w), recvLines});
        if (!smoke && second % 30 == 0)
            std::printf("  %3d s: resident %.1f MB, plot points %lld, log lines %lld\n", second,
                        double(samples.back().rss) / 1048576.0, samples.back().points, recvLines);
        std::fflush(stdout);
    });
    sampler.start(1000);
    spinUntil([&] { return second >= seconds; }, seconds * 1000 + 30000);
    sampler.stop();
    const uint32_t dropped = SimDroppedCount(0) - dropped0;

    if (MainWindowProbe::curveDisplaying(w)) ui->pushButton_display->click();
    ui->pushButton_plotTemperature->click();
    ui->pushButton_Temp->click();

    if (!running || samples.size() < size_t(settleSeconds + 1)) {
        results.check(QStringLiteral("memory, 9k frames/s + temperatures + log"),
                      QStringLiteral("the streams did not run"), QStringLiteral("runs"), false);
        return results.exitCode();
    }
    const Sample& base = samples[size_t(settleSeconds - 1)];
    const Sample& last = samples.back();
    qint64 peak = base.rss;
    for (size_t i = size_t(settleSeconds - 1); i < samples.size(); ++i) peak = std::max(peak, samples[i].rss);
    const qint64 pointBytes = (last.points - base.points) * qint64(sizeof(QCPGraphData));
    const qint64 growth = peak - base.rss;
    const qint64 excess = growth - pointBytes;
    const double excessPct = 100.0 * double(excess) / double(base.rss);
    const double linesPerSecond = double(last.lines - base.lines) / double(last.second - base.second);

    std::printf(
        "Memory: %d s; resident at %d s %.2f MB, at the end %.2f MB, peak after %d s %.2f MB; "
        "plot points %lld -> %lld (%.1f kB); received-frame log lines %lld (%.0f/s after settling); dropped %u\n",
        seconds, settleSeconds, double(base.rss) / 1048576.0, double(last.rss) / 1048576.0, settleSeconds,
        double(peak) / 1048576.0, base.points, last.points, double(pointBytes) / 1024.0, recvLines, linesPerSecond,
        dropped);
    results.check(QStringLiteral("memory run: frames logged / dropped"),
                  QStringLiteral("%1 lines (%2/s), %3 dropped").arg(recvLines).arg(fmt(linesPerSecond, 0)).arg(dropped),
                  QStringLiteral("stream runs, 0 dropped"), linesPerSecond > 0.9 * kFramesPerSecond && dropped == 0);
    results.timing(QStringLiteral("memory growth after %1 s over %2 s").arg(settleSeconds).arg(seconds - settleSeconds),
                   QStringLiteral("%1 MB peak - %2 MB, %3 kB of it plot points: excess %4 %")
                       .arg(fmt(double(peak) / 1048576.0, 2), fmt(double(base.rss) / 1048576.0, 2),
                            fmt(double(pointBytes) / 1024.0, 0), fmt(excessPct, 2)),
                   QStringLiteral("excess <= %1 %").arg(kGrowthGoalPct), excessPct <= kGrowthGoalPct);
    if (!boxes.texts.isEmpty())
        std::printf("message boxes seen: %s\n", qPrintable(boxes.texts.join(QLatin1String(" | "))));
    return results.exitCode();
}
