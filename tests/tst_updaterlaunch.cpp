#include "support/windowharness.h"

#include <QStandardPaths>

class UpdaterLaunch : public QObject {
    Q_OBJECT

private slots:
    void init() { SimReset(); }

    void missingUpdaterIsLogged()
    {
        WorkDir dir(false);
        qputenv("PATH", "/nonexistent");
        MainWindow w;
        QCOMPARE(MainWindowProbe::logLines(w).count("Failed to start the updater."), 1);
        MainWindowProbe::ui(w)->actionUpgrade->trigger();
        QCOMPARE(MainWindowProbe::logLines(w).count("Failed to start the updater."), 2);
    }

    void updaterGetsSixArguments()
    {
        WorkDir dir(false);
        QTemporaryDir bin;
        const QString record = bin.filePath("args.txt");
        QFile script(bin.filePath("Renewer"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QString("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> '%1'\necho --- >> '%1'\n")
                         .arg(record)
                         .toUtf8());
        script.close();
        script.setPermissions(script.permissions() | QFile::ExeOwner);
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8() + ":" + oldPath);
        MainWindow w;
        MainWindowProbe::ui(w)->actionUpgrade->trigger();
        qputenv("PATH", oldPath);
        QTRY_VERIFY(QFile(record).size() > 0 && QFile(record).readAll().count("---") == 2 ? true : [&] {
            QFile f(record);
            return f.open(QIODevice::ReadOnly) && f.readAll().count("---") == 2;
        }());
        QFile f(record);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList runs = QString::fromUtf8(f.readAll()).split("---\n", Qt::SkipEmptyParts);
        QCOMPARE(runs.size(), 2);
        const QStringList args = runs[0].split('\n', Qt::SkipEmptyParts);
        QCOMPARE(args.size(), 6);
        QCOMPARE(args[0], QString::number(QCoreApplication::applicationPid()));
        QVERIFY(args[1].startsWith("http://") && args[1].endsWith(":443/Quintrel/updates.json"));
        QCOMPARE(args[2], QString("Quintrel"));
        QCOMPARE(args[3], QString("1.6.5"));
        QCOMPARE(args[4], "\"" + QCoreApplication::applicationDirPath() + "\"");
        QCOMPARE(args[5], QString("hide"));
        QCOMPARE(runs[1].split('\n', Qt::SkipEmptyParts).at(5), QString("show"));
        QVERIFY(!MainWindowProbe::logLines(w).contains("Failed to start the updater."));
    }
};

QTEST_MAIN(UpdaterLaunch)
#include "tst_updaterlaunch.moc"
