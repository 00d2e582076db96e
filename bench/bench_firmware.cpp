// Firmware update speed: a 100 kB image through the simulated drive, started as a user
// would with the Update FW button, against the pacing the protocol itself imposes: one
// 7-byte chunk per 1.5 ms, and after each block of 1024 chunks the ready flag polled every
// 200 ms until the drive answers. The transfer may take at most 1.2 times that. The frames
// on the bus are reassembled and compared with the image.
//   bench_firmware [--smoke]   --smoke: a 7,218-byte image (one flow-control wait)
#include "benchsupport.h"
#include "support/firmwareimages.h"

#include <QProgressDialog>

using namespace bench;

namespace {

constexpr double kChunkGapMs = 1.5;
constexpr double kReadyPollMs = 200;
constexpr int kChunkBytes = 7;
constexpr int kBlockChunks = 1024;
constexpr int kDriveReadyMs = 20;   // the simulated drive's busy time after a block
constexpr double kPacingGoal = 1.2;

std::vector<SimSentFrame> takeAllSent()
{
    std::vector<SimSentFrame> all;
    std::vector<SimSentFrame> buf(65536);
    for (;;) {
        const uint32_t n = SimTakeTransmitted(buf.data(), uint32_t(buf.size()));
        all.insert(all.end(), buf.begin(), buf.begin() + n);
        if (n < buf.size()) return all;
    }
}

bool isFrame(const SimSentFrame& f, std::initializer_list<uint8_t> bytes)
{
    if (f.frame.dataLen != bytes.size()) return false;
    const uint8_t* d = f.frame.data;
    for (uint8_t b : bytes)
        if (*d++ != b) return false;
    return true;
}

}   // namespace

int main(int argc, char** argv)
{
    const bool smoke = hasArg(argc, argv, "--smoke");
    const int imageSize = smoke ? kChunkBytes * kBlockChunks + 50 : 100000;
    useOffscreenPlatform();
    qInstallMessageHandler(quietDebug);
    QApplication app(argc, argv);
    DefinitionsDir definitions;
    Results results(smoke);

    SimReset();
    SimConfigure("fw_ready_delay_ms", QByteArray::number(kDriveReadyMs).constData());
    MainWindow w;
    app.installEventFilter(&w);
    w.show();
    spinFor(300);
    BoxCloser boxes;
    if (!openPort(w)) {
        std::printf("the port did not open\n");
        return 2;
    }
    spinFor(200);

    const QByteArray newVersion = "1.7.0";
    const QByteArray image = firmwareimages::make(imageSize, newVersion, "QM72");
    const QString path = definitions.path() + QStringLiteral("/firmware.rbl");
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(image) != image.size()) {
            std::printf("cannot write the image\n");
            return 2;
        }
    }
    // The user takes a moment to pick the file; the drive's answers to the two queries
    // are decoded meanwhile.
    MainWindowProbe::answerOpenDialog(w, [path] {
        spinFor(300);
        return path;
    });

    takeAllSent();
    const Clock::time_point clicked = Clock::now();
    MainWindowProbe::ui(w)->pushButton_updateFW->click();
    const bool finished = spinUntil([&] { return MainWindowProbe::fwDone(w) && !boxes.texts.isEmpty(); }, 180000);
    const double totalMs = msSince(clicked);
    const std::vector<SimSentFrame> sent = takeAllSent();

    // The transfer as the bus saw it: start frame, chunks, end frame.
    const SimSentFrame* start = nullptr;
    const SimSentFrame* end = nullptr;
    QByteArray received;
    std::vector<uint64_t> chunkTimes;
    for (const SimSentFrame& f : sent) {
        if (!start) {
            if (isFrame(f, {0xFF, 0xFF, 0xFF, 0xF1, 0x55, 0xA0, 0x00, 0x00})) start = &f;
            continue;
        }
        if (isFrame(f, {0xFF, 0xFF, 0xFF, 0xF1, 0x55, 0xA1, 0x00, 0x00})) {
            end = &f;
            break;
        }
        if (f.frame.dataLen >= 2 && f.frame.data[0] == 0xFA) {
            received.append(reinterpret_cast<const char*>(f.frame.data + 1), f.frame.dataLen - 1);
            chunkTimes.push_back(f.timeUs);
        }
    }
    const qint64 chunks = (imageSize + kChunkBytes - 1) / kChunkBytes;
    qint64 waits = 0;
    for (qint64 k = 0; k < chunks; ++k)
        if ((k + 1) % kBlockChunks == 0 && k + 1 < chunks) ++waits;
    // Each wait lasts the whole polls that cover the drive's answer.
    const double waitMs = std::max(1.0, std::ceil(kDriveReadyMs / kReadyPollMs)) * kReadyPollMs;
    const double prescribedMs = double(chunks) * kChunkGapMs + double(waits) * waitMs;
    const double transferMs = (start && end) ? double(end->timeUs - start->timeUs) / 1000.0 : -1;
    const double ratio = transferMs / prescribedMs;

    // Gap between chunks inside a block (the flow-control waits left out).
    std::vector<double> gaps;
    for (size_t i = 1; i < chunkTimes.size(); ++i)
        if (i % kBlockChunks != 0) gaps.push_back(double(chunkTimes[i] - chunkTimes[i - 1]) / 1000.0);

    const bool intact = received == image;
    const bool success = finished && MainWindowProbe::fwSuccess(w) && boxes.texts.contains(QStringLiteral("升级成功"));
    std::printf(
        "Firmware: %d bytes, %lld chunks, %lld flow-control waits; transfer %.0f ms (prescribed %.0f ms), "
        "ratio %.3f; chunk gap median %.3f ms, p99 %.3f ms; click to result %.0f ms; drive now reports %s; "
        "boxes: %s\n",
        imageSize, chunks, waits, transferMs, prescribedMs, ratio, median(gaps), percentile(gaps, 99), totalMs,
        qPrintable(MainWindowProbe::fwVersion(w)), qPrintable(boxes.texts.join(QLatin1String(" | "))));
    results.check(
        QStringLiteral("firmware %1 kB: update succeeds, image arrives intact").arg(fmt(imageSize / 1000.0, 1)),
        QStringLiteral("%1, %2 of %3 bytes match")
            .arg(success ? QStringLiteral("succeeded") : QStringLiteral("failed"))
            .arg(intact ? image.size() : 0)
            .arg(image.size()),
        QStringLiteral("success, intact"), success && intact);
    results.timing(
        QStringLiteral("firmware %1 kB: transfer time / protocol pacing").arg(fmt(imageSize / 1000.0, 1)),
        QStringLiteral("%1 s / %2 s = %3 (chunk gap median %4 ms)")
            .arg(fmt(transferMs / 1000.0, 2), fmt(prescribedMs / 1000.0, 2), fmt(ratio, 3), fmt(median(gaps), 3)),
        QStringLiteral("<= %1 x").arg(kPacingGoal), transferMs > 0 && ratio <= kPacingGoal);
    return results.exitCode();
}
