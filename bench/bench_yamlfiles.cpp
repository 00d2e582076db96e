// The YAML inputs at their limits: the three definition files read while the window is
// built, and a configuration file loaded through its button, each made of the costliest
// YAML the tool still takes, of the costliest that fits in the size limit (which it must
// refuse cheaply) and of the cheapest it refuses. Each case runs in a child process of its
// own, so that no case inherits another's heap: the window's construction or the load is
// timed, and the peak resident memory taken above the process's own just before it. The
// median time and the highest peak over the starts count.
// Goals: the window built within 1 s and 300 MB; a configuration file answered within
// 0.5 s and 300 MB.
//   bench_yamlfiles [--smoke]         --smoke: one start per case; the goals are reported only
//   bench_yamlfiles --child-window    internal: builds the window in the working directory
//   bench_yamlfiles --child-load F    internal: builds the window, then loads configuration file F
#include "benchsupport.h"

#include "files/yamltokens.h"
#include "formats/configfiles.h"
#include "vocabulary/loadyaml.h"

#include <QDoubleSpinBox>
#include <QProcess>
#include <QPushButton>

using namespace bench;

namespace {

constexpr double kWindowGoalMs = 1000;
constexpr double kLoadGoalMs = 500;
constexpr double kGoalMB = 300;
constexpr std::size_t kNoBudget = std::size_t(-1);

std::size_t tokens(const QByteArray& text) { return files::yamlTokenStarts(text.constData(), std::size_t(text.size())); }

// head, then as many units as the token budget and the size allow, then tail, padded with
// a comment to the size when one is given. With one-token units a budget one past the
// limit gives the cheapest text refused.
QByteArray filled(const QByteArray& head, const QByteArray& unit, const QByteArray& tail, std::size_t budget,
                  qint64 size = 0)
{
    const QByteArray pad = size > 0 ? "\n#" : "";
    const std::size_t fixed = tokens(head + tail + pad);
    const std::size_t perUnit = tokens(head + unit + unit + tail) - tokens(head + unit + tail);
    std::size_t n = budget > fixed ? (budget - fixed) / perUnit : 0;
    if (size > 0) n = std::min(n, std::size_t(std::max<qint64>(0, size - (head + tail + pad).size()) / unit.size()));
    QByteArray text = head + unit.repeated(qsizetype(n)) + tail;
    while (n > 0 && tokens(text + pad) > budget) text = head + unit.repeated(qsizetype(--n)) + tail;
    if (size > 0 && text.size() + 2 < size) text += pad + QByteArray(size - text.size() - 2, 'x');
    return text;
}

QByteArray original(const char* name)
{
    QFile f(QStringLiteral(QUINTREL_CONFIG_DIR "/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Pattern {
    const char* name;
    QByteArray head, unit, tail;
};

// The costliest YAML per token found: explicit keys and compact maps build three nodes for
// two tokens, a flow collection holds all its tokens until it ends. Each at the token limit
// must be taken within the goals, and filling the size limit refused within them.
QList<Pattern> costlyPatterns(const QByteArray& head)
{
    return {
        {"block list of nulls", head + "x:\n", "- \n", ""},
        {"explicit keys", head + "x:\n", "  ? :\n", ""},
        {"compact maps in a block list", head + "x:\n", "- ? :\n", ""},
        {"flow list of nulls", head + "x: [", "~,", "~]"},
        {"flow list of pairs", head + "x: [", ":,", ":]"},
        {"flow maps", head + "x: [", "{},", "{}]"},
        {"nested flow lists", head + "x:\n", "- " + QByteArray(50, '[') + QByteArray(50, ']') + "\n", ""},
        {"anchored nulls", head + "x: [", "&a ~,", "~]"},
    };
}

// Three definition files per case, each named by its file.
struct WindowCase {
    QString name;
    QByteArray state, motor, parameters;
    int loadedFiles;   // how many of the three must load: -1 when not judged
};

QList<WindowCase> windowCases()
{
    QList<WindowCase> cases;
    const QByteArray state = original("state_config.yaml");
    const QByteArray motor = original("motor_config.yaml");
    const QByteArray parameters = original("motor_parameter_config.yaml");
    cases.append({QStringLiteral("the shipped files"), state, motor, parameters, 3});

    const auto same = [](const QString& name, const QByteArray& text, int loaded) {
        return WindowCase{name, text, text, text, loaded};
    };
    for (const Pattern& p : costlyPatterns(QByteArray())) {
        cases.append(same(QStringLiteral("%1, at the token limit").arg(p.name),
                          filled(p.head, p.unit, p.tail, MaxDefinitionTokens, MaxDefinitionFileSize), -1));
        cases.append(same(QStringLiteral("%1, filling the size limit").arg(p.name),
                          filled(p.head, p.unit, p.tail, kNoBudget, MaxDefinitionFileSize), 0));
    }
    cases.append(same(QStringLiteral("one long plain scalar, at the size limit"),
                      "x: " + QByteArray(MaxDefinitionFileSize - 3, 'x'), -1));
    // The shipped files with a list no loader reads, one token past the limit.
    const auto past = [](const QByteArray& text, const QByteArray& head) {
        return filled(text + head, " -\n", "", MaxDefinitionTokens + 1);
    };
    cases.append({QStringLiteral("the shipped files, one token past"), past(state, "X:\n other:\n"),
                  past(motor, "other:\n"), past(parameters, "other:\n"), 0});
    cases.append(same(QStringLiteral("a comment, one byte past the size"), "#" + QByteArray(MaxDefinitionFileSize, 'x'),
                      0));

    // Files the loaders take, walked to their entry limit through aliases.
    QByteArray bits = "A: &a\n  error_word: {";
    for (int n = 0; n < 64; ++n) bits += (n ? ", 1<<" : "1<<") + QByteArray::number(n) + ": t";
    bits += "}\n";
    QByteArray walkedState = state + bits;
    for (int i = 0; i < MaxDefinitionEntries / 65 - 2; ++i) walkedState += "T" + QByteArray::number(i) + ": *a\n";
    QByteArray element = "x: &a {name: p, value: 1";
    for (int i = 0; i < 998; ++i) element += ", k" + QByteArray::number(i) + ": 1";
    QByteArray walkedParameters = element + "}\n" + parameters;
    walkedParameters += QByteArray("  - *a\n").repeated(MaxDefinitionEntries / 1001 - 2);
    cases.append({QStringLiteral("aliases walked to the entry limit"), walkedState, motor, walkedParameters, 3});
    return cases;
}

struct LoadCase {
    QString name;
    QByteArray text;
    int parseError;   // 1: the parse error box expected, 0: not, -1: not judged
};

QList<LoadCase> loadCases()
{
    QList<LoadCase> cases;
    const QByteArray head = "电机:\n  转动惯量: 0.002\n";
    cases.append({QStringLiteral("a saved file and the inertia"),
                  "电机:\n  转动惯量: 0.002\n  转矩常数: 0.0955\n  力矩电流限制: 33.33\n  突破电流: 10\n  力矩比例: 1\n"
                  "  电流比例: 1\n  电机转动惯量: 0.0001\n  电机粘性摩擦: 0\n  电机静摩擦: 0\n"
                  "安全保护:\n  相电流保护阈值: 80\n",
                  0});
    for (const Pattern& p : costlyPatterns(head)) {
        cases.append({QStringLiteral("%1, at the token limit").arg(p.name),
                      filled(p.head, p.unit, p.tail, configfile::MaxTokens, configfile::MaxFileSize), 0});
        cases.append({QStringLiteral("%1, filling the size limit").arg(p.name),
                      filled(p.head, p.unit, p.tail, kNoBudget, configfile::MaxFileSize), 1});
    }
    cases.append({QStringLiteral("one long plain scalar, at the size limit"),
                  head + "x: " + QByteArray(configfile::MaxFileSize - head.size() - 3, 'x'), 0});
    // Each byte becomes a three-byte replacement character.
    cases.append({QStringLiteral("not UTF-8, at the size limit"),
                  head + "x: " + QByteArray(configfile::MaxFileSize - head.size() - 3, '\xff'), 0});

    // A known section holding every key it may: each looked up, none twice.
    QByteArray keys = head;
    for (int i = 1; i < configfile::MaxSectionEntries; ++i) keys += "  k" + QByteArray::number(i) + ": 1\n";
    cases.append({QStringLiteral("a section at the key limit"), keys, 0});
    QByteArray aliased = "x: &a {转动惯量: 0.002";
    for (int i = 1; i < 100; ++i) aliased += ", k" + QByteArray::number(i) + ": 1";
    aliased += "}\n" + QByteArray("电机: *a\n").repeated(configfile::MaxSectionEntries / 100);
    cases.append({QStringLiteral("one section aliased to the key limit"), aliased, 0});

    cases.append({QStringLiteral("block list of nulls, one token past"),
                  filled(head + "x:\n", "- \n", "", configfile::MaxTokens + 1), 1});
    cases.append({QStringLiteral("a comment, one byte past the size"), "#" + QByteArray(configfile::MaxFileSize, 'x'),
                  1});
    return cases;
}

void quietBelowCritical(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg) return;
    std::fprintf(stderr, "%s\n", qPrintable(msg));
}

// Prints "MEASURE <ms> <bytes above the start>" and what the case shows.
int childWindow(int argc, char** argv)
{
    qInstallMessageHandler(quietBelowCritical);
    QApplication app(argc, argv);
    resetPeakResident();
    const qint64 start = residentBytes();
    const Clock::time_point t0 = Clock::now();
    MainWindow w;
    const double ms = msSince(t0);
    const qint64 peak = peakResidentBytes();
    std::printf("MEASURE %.3f %lld\n", ms, static_cast<long long>(peak - start));
    int loaded = 0;
    for (const QString& line : MainWindowProbe::logLines(w))
        if (line.startsWith(QLatin1String(">>> File ")) && line.endsWith(QLatin1String(" Load OK"))) ++loaded;
    std::printf("LOADED %d\n", loaded);
    std::fflush(stdout);
    std::_Exit(0);   // the window's teardown is not measured
}

// The time runs from the button's press to the parse error box showing, or to the press's
// end when no box comes.
class BoxWatch : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto* box = qobject_cast<QMessageBox*>(watched)) {
                if (!shownAt) shownAt = msSince(t0);
                title = box->windowTitle();
                QTimer::singleShot(0, box, [box] { box->done(QMessageBox::Ok); });
            }
        }
        return QObject::eventFilter(watched, event);
    }
    Clock::time_point t0;
    double shownAt = 0;
    QString title;
};

int childLoad(int argc, char** argv, const QString& path)
{
    qInstallMessageHandler(quietBelowCritical);
    QApplication app(argc, argv);
    MainWindow w;
    configfile::openDialogHook = [path](QWidget*, const QString&, const QString&) { return path; };
    QDoubleSpinBox* inertia = MainWindowProbe::ui(w)->doubleSpinBox_Inertia;
    inertia->setValue(inertia->minimum());
    BoxWatch watch;
    app.installEventFilter(&watch);
    QPushButton* load = MainWindowProbe::ui(w)->pushButton_loadConfigFile;
    resetPeakResident();
    const qint64 start = residentBytes();
    watch.t0 = Clock::now();
    load->click();
    const double ms = watch.shownAt ? watch.shownAt : msSince(watch.t0);
    const qint64 peak = peakResidentBytes();
    std::printf("MEASURE %.3f %lld\n", ms, static_cast<long long>(peak - start));
    std::printf("PARSEERROR %d\n", watch.title == QStringLiteral("解析错误") ? 1 : 0);
    std::printf("APPLIED %d\n", inertia->value() != inertia->minimum() ? 1 : 0);
    std::fflush(stdout);
    std::_Exit(0);
}

struct Run {
    double ms = -1;
    double mb = 0;
    QMap<QByteArray, int> shows;   // LOADED, PARSEERROR, APPLIED
};

Run runChild(const QStringList& args, const QString& workDir)
{
    QProcess p;
    p.setProgram(QCoreApplication::applicationFilePath());
    p.setArguments(args);
    p.setWorkingDirectory(workDir);
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start();
    Run run;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return run;
    }
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() == 3 && f[0] == "MEASURE") {
            run.ms = f[1].toDouble();
            run.mb = double(f[2].toLongLong()) / 1048576.0;
        } else if (f.size() == 2) {
            run.shows[f[0]] = f[1].toInt();
        }
    }
    return run;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Starts the case `repetitions` times; the median time and the highest peak count.
void measure(Results& results, const QString& name, const QStringList& args, const QString& workDir, int repetitions,
             double goalMs, const std::function<void(const Run&)>& judgeShows)
{
    std::vector<double> times;
    double mb = 0;
    Run last;
    for (int i = 0; i < repetitions; ++i) {
        last = runChild(args, workDir);
        if (last.ms < 0) {
            results.check(name, QStringLiteral("the child did not finish"), QStringLiteral("finishes"), false);
            return;
        }
        times.push_back(last.ms);
        mb = std::max(mb, last.mb);
    }
    const double ms = median(times);
    results.timing(name, QStringLiteral("%1 ms, %2 MB").arg(fmt(ms), fmt(mb)),
                   QStringLiteral("<= %1 ms, <= %2 MB").arg(goalMs).arg(kGoalMB), ms <= goalMs && mb <= kGoalMB);
    judgeShows(last);
}

}   // namespace

int main(int argc, char** argv)
{
    useOffscreenPlatform();
    if (hasArg(argc, argv, "--child-window")) return childWindow(argc, argv);
    if (hasArg(argc, argv, "--child-load") && argc >= 3) return childLoad(argc, argv, QString::fromLocal8Bit(argv[2]));

    const bool smoke = hasArg(argc, argv, "--smoke");
    QCoreApplication app(argc, argv);
    Results results(smoke);
    const int repetitions = smoke ? 1 : 5;

    for (const WindowCase& c : windowCases()) {
        QTemporaryDir dir;
        const bool written = writeFile(dir.filePath("state_config.yaml"), c.state) &&
                             writeFile(dir.filePath("motor_config.yaml"), c.motor) &&
                             writeFile(dir.filePath("motor_parameter_config.yaml"), c.parameters);
        const QString name = QStringLiteral("window with definition files: %1").arg(c.name);
        if (!written) {
            results.check(name, QStringLiteral("cannot write the files"), QStringLiteral("written"), false);
            continue;
        }
        measure(results, name, {QStringLiteral("--child-window")}, dir.path(), repetitions, kWindowGoalMs,
                [&](const Run& run) {
                    if (c.loadedFiles < 0) return;
                    const int loaded = run.shows.value("LOADED", -1);
                    results.check(QStringLiteral("  files loaded"), QString::number(loaded),
                                  QString::number(c.loadedFiles), loaded == c.loadedFiles);
                });
    }

    DefinitionsDir definitions;
    for (const LoadCase& c : loadCases()) {
        const QString path = definitions.path() + QStringLiteral("/load.yaml");
        const QString name = QStringLiteral("configuration file: %1").arg(c.name);
        if (!writeFile(path, c.text)) {
            results.check(name, QStringLiteral("cannot write the file"), QStringLiteral("written"), false);
            continue;
        }
        measure(results, name, {QStringLiteral("--child-load"), path}, definitions.path(), repetitions, kLoadGoalMs,
                [&](const Run& run) {
                    if (c.parseError < 0) return;
                    const int error = run.shows.value("PARSEERROR", -1);
                    const int applied = run.shows.value("APPLIED", -1);
                    // A refused file sets nothing; every accepted one sets the inertia.
                    const bool met = error == c.parseError && applied == 1 - c.parseError;
                    results.check(QStringLiteral("  outcome"),
                                  QStringLiteral("%1, %2").arg(error ? "解析错误" : "no box", applied ? "applied" : "nothing set"),
                                  c.parseError ? QStringLiteral("解析错误, nothing set")
                                               : QStringLiteral("no box, applied"),
                                  met);
                });
    }
    return results.exitCode();
}
