// Shared by the benchmark programs: access to the window's insides, the definition files
// in a scratch working directory, clocks, percentiles and the result lines bench.sh reads.
#pragma once

#include "can/can.h"
#include "ecanvci.h"
#include "app/mainwindow/mainwindow.h"
#include "forms/ui_mainwindow.h"
#include "support/mainwindowprobe.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QMutexLocker>
#include <QPointer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <vector>

#include <malloc.h>
#include <unistd.h>

namespace bench {

inline bool hasArg(int argc, char** argv, const char* arg)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], arg) == 0) return true;
    return false;
}

// The tool's debug lines would drown the figures; warnings and worse still show.
inline void quietDebug(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (type == QtDebugMsg || type == QtInfoMsg) return;
    std::fprintf(stderr, "%s\n", qPrintable(msg));
}

// Offscreen unless the caller chose a platform.
inline void useOffscreenPlatform()
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

inline double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

inline double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Resident set size from /proc/self/statm, in bytes.
inline qint64 residentBytes()
{
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return -1;
    long size = 0, resident = 0;
    const int n = std::fscanf(f, "%ld %ld", &size, &resident);
    std::fclose(f);
    return n == 2 ? qint64(resident) * sysconf(_SC_PAGESIZE) : -1;
}

// Peak resident set size since the last resetPeakResident(), from VmHWM, in bytes.
inline qint64 peakResidentBytes()
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    qint64 kb = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmHWM: %lld kB", &kb) == 1) break;
    std::fclose(f);
    return kb < 0 ? -1 : kb * 1024;
}

// Starts a new peak at the current resident size (Linux 4.0 and later), after handing
// freed heap back, so that memory reused from an earlier case is not missed.
inline void resetPeakResident()
{
    malloc_trim(0);
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

// Nearest-rank percentile (p in 0..100) of an unsorted sample; 0 when empty.
inline double percentile(std::vector<double> v, double p)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t rank = size_t(std::ceil(p / 100.0 * double(v.size())));
    rank = std::clamp<size_t>(rank, 1, v.size());
    return v[rank - 1];
}

inline double median(std::vector<double> v) { return percentile(std::move(v), 50); }

// Runs the GUI thread's event loop until done() holds or timeoutMs passes. The loop
// blocks between events like the tool's own, so it adds no polling of its own.
inline bool spinUntil(const std::function<bool()>& done, int timeoutMs)
{
    if (done()) return true;
    QEventLoop loop;
    QTimer check;
    check.setInterval(2);
    QElapsedTimer t;
    t.start();
    bool ok = false;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) {
            ok = true;
            loop.quit();
        } else if (t.elapsed() > timeoutMs) {
            loop.quit();
        }
    });
    check.start();
    loop.exec();
    return ok;
}

inline void spinFor(int ms)
{
    QElapsedTimer t;
    t.start();
    spinUntil([&] { return t.elapsed() >= ms; }, ms + 1000);
}

// Lateness of a 16 ms timer on the GUI thread: how long after it was due each expiry ran.
// Re-armed from its own expiry, so a late tick does not shift the next one's due time.
class TimerLateness : public QObject {
public:
    explicit TimerLateness(int intervalMs = 16) : interval_(intervalMs)
    {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        connect(&timer_, &QTimer::timeout, this, [this] {
            const double late = msSince(armed_) - interval_;
            samples_.push_back(std::max(0.0, late));
            arm();
        });
    }
    void start()
    {
        samples_.clear();
        arm();
    }
    void stop() { timer_.stop(); }
    const std::vector<double>& samples() const { return samples_; }

private:
    void arm()
    {
        armed_ = Clock::now();
        timer_.start(interval_);
    }
    QTimer timer_;
    int interval_;
    Clock::time_point armed_;
    std::vector<double> samples_;
};

// Closes every modal message box that comes up, keeping its text.
class BoxCloser : public QObject {
public:
    BoxCloser()
    {
        timer_.setInterval(20);
        connect(&timer_, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box == last_) return;
            last_ = box;
            texts << box->text();
            QAbstractButton* b = box->button(QMessageBox::Yes);
            if (!b) b = box->button(QMessageBox::Ok);
            if (b)
                b->click();
            else
                box->reject();
        });
        timer_.start();
    }
    QStringList texts;

private:
    QTimer timer_;
    QPointer<QMessageBox> last_;
};

// The tool reads its definition files from the working directory.
class DefinitionsDir {
public:
    DefinitionsDir()
    {
        previous_ = QDir::currentPath();
        for (const char* f : {"state_config.yaml", "motor_config.yaml", "motor_parameter_config.yaml"})
            QFile::copy(QStringLiteral(QUINTREL_CONFIG_DIR "/") + f, dir_.filePath(f));
        QDir::setCurrent(dir_.path());
    }
    ~DefinitionsDir() { QDir::setCurrent(previous_); }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QString previous_;
};

// One line per figure, read by bench.sh: RESULT<TAB>name<TAB>figure<TAB>goal<TAB>status.
// status is "met", "missed", "report" (no goal) or "smoke" (goal not judged on a short run).
class Results {
public:
    explicit Results(bool smoke) : smoke_(smoke) {}

    // A goal that holds on any run (content, losses): judged in smoke runs too.
    void check(const QString& name, const QString& figure, const QString& goal, bool met)
    {
        emitLine(name, figure, goal, met ? "met" : "missed");
        if (!met) failed_ = true;
    }
    // A goal that needs the full duration (timing, growth): only reported in smoke runs.
    void timing(const QString& name, const QString& figure, const QString& goal, bool met)
    {
        if (smoke_) {
            emitLine(name, figure, goal, met ? "smoke (met)" : "smoke (missed)");
            return;
        }
        check(name, figure, goal, met);
    }
    void report(const QString& name, const QString& figure) { emitLine(name, figure, QStringLiteral("-"), "report"); }
    int exitCode() const { return failed_ ? 1 : 0; }

private:
    void emitLine(const QString& name, const QString& figure, const QString& goal, const char* status)
    {
        std::printf("RESULT\t%s\t%s\t%s\t%s\n", qPrintable(name), qPrintable(figure), qPrintable(goal), status);
        std::fflush(stdout);
    }
    bool smoke_;
    bool failed_ = false;
};

inline QString fmt(double v, int decimals = 1) { return QString::number(v, 'f', decimals); }

// Opens the port on CAN 1 through the window's own buttons.
inline bool openPort(MainWindow& w)
{
    Ui_MainWindow* ui = MainWindowProbe::ui(w);
    ui->radioButtonCAN1->setChecked(true);
    ui->pushButton_openport->click();
    return MainWindowProbe::can(w)->isOpen;
}

}   // namespace bench
