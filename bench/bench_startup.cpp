// Start-up time: from process start to the main window's first completed paint, against
// an empty main window with one plot (bench_startup_baseline) measured in the same run.
// Each start is a child process; the median of several starts counts. Reported beside it:
// the form alone on a plain main window, which is the floor the tool's own work sits on.
//   bench_startup [--smoke]    --smoke: one start of each; the ratio is reported only
//   bench_startup --child      internal: one start of the tool's window
//   bench_startup --child-form internal: one start of the bare form
#include "benchsupport.h"

#include <QProcess>

#include <map>

using namespace bench;

namespace {

constexpr double kGoalRatio = 2.5;

qint64 steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

class FirstPaint : public QObject {
public:
    explicit FirstPaint(QWidget* window) : window_(window) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (event->type() == QEvent::Paint && !seen_ && widget && widget->window() == window_) {
            seen_ = true;
            // Queued behind the event that paints the whole window, so this marks its end.
            // Any widget of the window counts: opaque children may leave the frame unpainted.
            QMetaObject::invokeMethod(
                this,
                [] {
                    std::printf("FIRSTPAINT %lld\n", static_cast<long long>(steadyNs()));
                    std::fflush(stdout);
                    std::_Exit(0);
                },
                Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* window_;
    bool seen_ = false;
};

void phase(const char* name) { std::printf("PHASE %s %lld\n", name, static_cast<long long>(steadyNs())); }

// The tool's own start, as its main() does it, with the phases marked.
int child(int argc, char** argv)
{
    phase("main");
    QApplication app(argc, argv);
    phase("application");
    MainWindow w;
    phase("window");
    app.installEventFilter(&w);
    FirstPaint firstPaint(&w);
    app.installEventFilter(&firstPaint);
    w.show();
    phase("shown");
    return app.exec();
}

// The designer form built on a plain main window, showing what the window shows at start
// (two docks and the log pane hidden): no definitions, no adapter, no plot set-up.
int formChild(int argc, char** argv)
{
    phase("main");
    QApplication app(argc, argv);
    phase("application");
    QMainWindow w;
    Ui_MainWindow form;
    form.setupUi(&w);
    form.tabWidget->setCurrentIndex(0);
    form.dockWidget_quick_set->hide();
    form.dockWidget_control->hide();
    form.widget_serial_text->hide();
    phase("window");
    FirstPaint firstPaint(&w);
    app.installEventFilter(&firstPaint);
    w.show();
    phase("shown");
    return app.exec();
}

// Milliseconds from the child's start to each phase it marks, per start kind, over the starts.
std::map<QString, std::map<QByteArray, std::vector<double>>> phases;

// Milliseconds from just before the child is started to its first completed paint; < 0 on failure.
double timeStart(const QString& kind, const QString& program, const QStringList& args, const QString& workDir)
{
    QProcess p;
    p.setProgram(program);
    p.setArguments(args);
    p.setWorkingDirectory(workDir);
    p.setProcessChannelMode(QProcess::SeparateChannels);
    const qint64 t0 = steadyNs();
    p.start();
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    const QList<QByteArray> lines = p.readAllStandardOutput().split('\n');
    for (const QByteArray& l : lines) {
        const QList<QByteArray> f = l.split(' ');
        if (f.size() == 3 && f[0] == "PHASE") phases[kind][f[1]].push_back(double(f[2].toLongLong() - t0) / 1e6);
    }
    for (const QByteArray& l : lines)
        if (l.startsWith("FIRSTPAINT ")) return double(l.mid(11).toLongLong() - t0) / 1e6;
    return -1;
}

}   // namespace

int main(int argc, char** argv)
{
    useOffscreenPlatform();
    if (hasArg(argc, argv, "--child")) return child(argc, argv);
    if (hasArg(argc, argv, "--child-form")) return formChild(argc, argv);

    const bool smoke = hasArg(argc, argv, "--smoke");
    QCoreApplication app(argc, argv);
    DefinitionsDir definitions;
    Results results(smoke);

    const QString dir = QCoreApplication::applicationDirPath();
    const QString self = QCoreApplication::applicationFilePath();
    const QString baseline = dir + QStringLiteral("/bench_startup_baseline");
    const int warmups = smoke ? 0 : 1;
    const int repetitions = smoke ? 1 : 15;

    std::vector<double> tool, base, form;
    bool failed = false;
    // Alternating, so a slow patch of the machine hits all alike.
    for (int i = 0; i < warmups + repetitions && !failed; ++i) {
        const double b = timeStart(QStringLiteral("baseline"), baseline, {}, definitions.path());
        const double t = timeStart(QStringLiteral("tool"), self, {QStringLiteral("--child")}, definitions.path());
        const double f = timeStart(QStringLiteral("form"), self, {QStringLiteral("--child-form")}, definitions.path());
        if (b < 0 || t < 0 || f < 0) {
            failed = true;
            break;
        }
        std::printf("start %d%s: baseline %.1f ms, tool %.1f ms, form alone %.1f ms\n", i + 1,
                    i < warmups ? " (warm-up)" : "", b, t, f);
        if (i < warmups) continue;
        base.push_back(b);
        tool.push_back(t);
        form.push_back(f);
    }
    if (failed) {
        results.check(QStringLiteral("start-up to first paint"), QStringLiteral("a child did not paint"),
                      QStringLiteral("<= %1 x baseline").arg(kGoalRatio), false);
        return results.exitCode();
    }
    const double mt = median(tool), mb = median(base), mf = median(form);
    const double ratio = mt / mb;
    std::printf("median of %d: tool %.1f ms, baseline %.1f ms, ratio %.2f\n", repetitions, mt, mb, ratio);
    const std::pair<const char*, double> kinds[] = {{"tool", mt}, {"form", mf}, {"baseline", mb}};
    for (const auto& [kind, paint] : kinds) {
        std::printf("%s, median ms from process start:", kind);
        for (const char* p : {"main", "application", "window", "shown"})
            std::printf(" %s %.1f,", p, median(phases[kind][p]));
        std::printf(" first paint done %.1f\n", paint);
    }
    results.report(QStringLiteral("start-up of the form alone (median of %1)").arg(repetitions),
                   QStringLiteral("%1 ms vs baseline %2 ms = %3 x").arg(fmt(mf), fmt(mb), fmt(mf / mb, 2)));
    results.timing(QStringLiteral("start-up to first paint (median of %1)").arg(repetitions),
                   QStringLiteral("%1 ms vs baseline %2 ms = %3 x").arg(fmt(mt), fmt(mb), fmt(ratio, 2)),
                   QStringLiteral("<= %1 x baseline").arg(kGoalRatio), ratio <= kGoalRatio);
    return results.exitCode();
}
