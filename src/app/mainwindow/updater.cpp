// Starts the separate updater program that looks for a newer version of the tool.
#include "app/mainwindow/mainwindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>

namespace {
#ifdef Q_OS_WIN
const QString kUpdater = QStringLiteral("Renewer.exe");
#else
const QString kUpdater = QStringLiteral("Renewer");
#endif
}   // namespace

void MainWindow::autoUpgrade(bool show)
{
    const QStringList arguments = {
        QString::number(QCoreApplication::applicationPid()),
        QStringLiteral("http://%1:443/Quintrel/updates.json").arg(QLatin1String(QUINTREL_UPDATE_HOST)),
        QStringLiteral("Quintrel"),
        QStringLiteral(QUINTREL_VERSION),
        QLatin1Char('"') + QDir(QCoreApplication::applicationDirPath()).path() + QLatin1Char('"'),
        show ? QStringLiteral("show") : QStringLiteral("hide"),
    };
    // Looking the program up first spares a process start when there is none to start.
    const bool found = !QStandardPaths::findExecutable(kUpdater).isEmpty() ||
                       !QStandardPaths::findExecutable(kUpdater, {QCoreApplication::applicationDirPath()}).isEmpty();
    if (!found || !QProcess::startDetached(kUpdater, arguments, QString()))
        emit writeLog(QStringLiteral("Failed to start the updater."));
}
