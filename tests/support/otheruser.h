// Runs a test case as a user that is not root. Root writes wherever it likes, so a case about
// what a folder's mode or owner forbids means nothing as root: there the test executable
// runs again for that one case, and the re-run drops to the user nobody before its cases.
#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace otheruser {

constexpr unsigned kNobody = 65534;
constexpr const char* kRerunVariable = "QUINTREL_TEST_AS_NOBODY";
// The re-run's exit code when it could not become nobody (no such right here).
constexpr int kCannotDrop = 77;

inline bool isRoot()
{
#ifdef Q_OS_UNIX
    return ::geteuid() == 0;
#else
    return false;
#endif
}

inline bool isRerun() { return qEnvironmentVariableIsSet(kRerunVariable); }

// First thing of initTestCase: the re-run becomes nobody here, or ends with kCannotDrop.
inline void dropIfRerun()
{
    if (!isRerun()) return;
#ifdef Q_OS_UNIX
    const bool dropped = ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
    if (dropped) {
#ifdef Q_OS_LINUX
        // Changing user makes the process undumpable; the leak checker must attach to
        // its threads.
        ::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
#endif
        return;
    }
#endif
    ::_exit(kCannotDrop);
}

struct Rerun {
    int exitCode = -1;
    QString output;
};

// Runs the case "function:tag" of this executable as nobody, with extra environment.
inline Rerun rerun(const QString& function, const QString& tag, const QProcessEnvironment& extra)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(extra);
    env.insert(QString::fromLatin1(kRerunVariable), QStringLiteral("1"));
    // Where a process may not inspect its own threads once it has changed user, the leak
    // checker would fail the re-run; the same code is leak-checked in the run that started it.
    if (env.contains(QStringLiteral("ASAN_OPTIONS")))
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {function + QLatin1Char(':') + tag});
    Rerun r;
    if (!child.waitForStarted()) {
        r.output = QStringLiteral("the re-run did not start: ") + child.errorString();
        return r;
    }
    if (!child.waitForFinished(120000)) {
        child.kill();
        child.waitForFinished();
        r.output = QStringLiteral("the re-run did not end");
        return r;
    }
    r.output = QString::fromLocal8Bit(child.readAll());
    r.exitCode = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    return r;
}

}   // namespace otheruser
