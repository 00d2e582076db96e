// Starts the separate updater program that looks for a newer version of the tool.
#include "mainwindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

namespace {
#ifdef Q_OS_WIN
const QString kUpdater = QStringLiteral("Renewer.exe");
#else
const QString kUpdater = QStringLiteral("Renewer");
#endif
}  // namespace

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
    if (!QProcess::startDetached(kUpdater, arguments, QString()))
        emit writeLog(QStringLiteral("Failed to start the updater."));
}
