// Frames from the drive into the reply decoder of one long-lived offscreen window.
//
// Input: one set-up byte, then frames of one header byte and eight data bytes (missing
// ones read as zero). Header: length = h % 9 (0 to 8), and only that many bytes may be
// read; time step since the last frame = (h / 9) * 5 ms; h >= 252 restarts the device
// clock at 0. Set-up byte: bits 0-2 the live channels (0 off, 1-3 displayed, 4 the state a
// refused start leaves), bit 3 samples shown in the log, bit 4 float log format, bit 5
// temperature recording, bit 6 a known product type, bit 7 the save dialog answered.
#include "fuzzsupport.h"
#include "app/mainwindow/mainwindow.h"
#include "forms/ui_mainwindow.h"
#include "support/mainwindowprobe.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>

#include <cstring>
#include <memory>

namespace {

MainWindow* window = nullptr;
bool answerSave = false;

// Message and file boxes are answered as soon as their event loop turns, so no input can
// block; the progress dialog is no box and stays.
void closeBoxes()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (qobject_cast<QMessageBox*>(modal) || qobject_cast<QFileDialog*>(modal)) static_cast<QDialog*>(modal)->reject();
}

}   // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::quietQt();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_replydecoder";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);   // lives as long as the process

    // The definition files, so status words find their texts.
    const QDir dir(fuzz::scratchDir().path());
    for (const char* f : {"state_config.yaml", "motor_config.yaml", "motor_parameter_config.yaml"})
        QFile::copy(QStringLiteral(QUINTREL_CONFIG_DIR "/") + QLatin1String(f), dir.filePath(QLatin1String(f)));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    window = new MainWindow;
    QDir::setCurrent(previous);   // libFuzzer reads corpus paths relative to where it started
    const QString savePath = dir.filePath(QStringLiteral("identification.csv"));
    MainWindowProbe::answerSaveDialog(*window, [savePath] { return answerSave ? savePath : QString(); });
    MainWindowProbe::answerOpenDialog(*window, [] { return QString(); });

    auto* closer = new QTimer(qApp);
    closer->setInterval(0);
    QObject::connect(closer, &QTimer::timeout, closer, closeBoxes);
    closer->start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    MainWindow& w = *window;
    Ui_MainWindow* ui = MainWindowProbe::ui(w);

    const uint8_t setup = data[0];
    // Live channels: 0 off, 1-3 displayed, 4 the state a refused start leaves.
    static const checkedItem ranges[4] = {
        {QStringLiteral("aCurrent"), -60.0f, 60.0f},
        {QStringLiteral("ElecAngle"), 0.0f, 6.28f},
        {QStringLiteral("MotorAngle"), -625.0f, 625.0f},
        {QStringLiteral("BusVoltage"), 0.0f, 60.0f},
    };
    QList<checkedItem> channels;
    for (int k = 0; k < (setup & 7) % 5; ++k) channels.append(ranges[k]);
    MainWindowProbe::setDisplay(w, channels);
    ui->checkBox_showInText->setChecked(setup & 0x08);
    ((setup & 0x10) ? ui->radioButton_float : ui->radioButton_10)->setChecked(true);
    MainWindowProbe::setTemperatureRecording(w, setup & 0x20);
    MainWindowProbe::setProductType(w, (setup & 0x40) ? QStringLiteral("QM72") : QString());
    answerSave = setup & 0x80;

    // Frames of one input stay few, so each runs quickly even when every one opens a box.
    constexpr int maxFrames = 128;
    float t = 0.5f;
    size_t pos = 1;
    for (int i = 0; i < maxFrames && pos < size; ++i) {
        const uint8_t h = data[pos++];
        uchar frame[8] = {};
        const size_t take = std::min<size_t>(8, size - pos);
        std::memcpy(frame, data + pos, take);
        pos += take;
        if (h >= 252)
            t = 0.0f;
        else
            t += float(h / 9) * 0.005f;
        // The frame's own bytes alone, on the heap: reading past them is a sanitizer report.
        const int length = h % 9;
        const std::unique_ptr<uchar[]> own(new uchar[size_t(length)]);
        std::memcpy(own.get(), frame, size_t(length));
        MainWindowProbe::decode(w, own.get(), length, t);
    }

    // Redraws, the batched log and the progress tick run as they would between frames.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ui->pushButton_clear->click();
    return 0;
}
