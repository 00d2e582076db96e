#include "support/windowharness.h"

#include "app/logformat.h"

#include <QScrollBar>

#include <ctime>

class LogPane : public QObject {
    Q_OBJECT

private slots:
    void init() { SimReset(); }

    // Batches larger than the limit, batches that push earlier lines out and small ones into
    // a part-filled pane: the pane holds the newest 5000 lines in order and follows the newest.
    void keepsNewestLinesInOrderAcrossBatches()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        w.show();
        ui->actionSerialMonitor->setChecked(true);
        ui->pushButton_clear->click();
        auto expectRange = [&](int from, int to) {
            const QStringList lines = MainWindowProbe::logLines(w);
            QCOMPARE(lines.size(), to - from + 1);
            QCOMPARE(ui->plainTextEdit_display->blockCount(), to - from + 1);   // no empty line either
            for (int i = from; i <= to; ++i)
                if (lines[i - from] != QStringLiteral("line %1").arg(i))
                    QFAIL(qPrintable(QStringLiteral("line %1 reads \"%2\"").arg(i).arg(lines[i - from])));
        };
        for (int i = 1; i <= 12000; ++i) MainWindowProbe::log(w, QStringLiteral("line %1").arg(i));
        expectRange(7001, 12000);
        for (int i = 12001; i <= 13500; ++i) MainWindowProbe::log(w, QStringLiteral("line %1").arg(i));
        expectRange(8501, 13500);

        ui->pushButton_clear->click();
        MainWindowProbe::log(w, QStringLiteral("line 1"));
        MainWindowProbe::log(w, QStringLiteral("line 2"));
        expectRange(1, 2);
        MainWindowProbe::log(w, QStringLiteral("line 3"));
        expectRange(1, 3);
        for (int i = 4; i <= 5000; ++i) MainWindowProbe::log(w, QStringLiteral("line %1").arg(i));
        expectRange(1, 5000);
        MainWindowProbe::log(w, QStringLiteral("line 5001"));
        expectRange(2, 5001);

        QVERIFY(ui->plainTextEdit_display->textCursor().atEnd());
        QScrollBar* bar = ui->plainTextEdit_display->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
    }

    // The stamp is the local time of day the line was written, to the millisecond, also
    // away from UTC.
    void stampIsLocalTimeOfWriting()
    {
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "UTC-8");   // eight hours east of UTC
        tzset();
        WorkDir dir(false);
        MainWindow w;
        MainWindowProbe::ui(w)->pushButton_clear->click();
        for (int round = 0; round < 50; ++round) {
            const qint64 before = QDateTime::currentMSecsSinceEpoch();
            MainWindowProbe::log(w, QStringLiteral("now"));
            const qint64 after = QDateTime::currentMSecsSinceEpoch();
            const QString stamp = MainWindowProbe::rawLogLines(w).last().left(12);
            const QTime t = QTime::fromString(stamp, QStringLiteral("hh:mm:ss.zzz"));
            QVERIFY2(t.isValid(), qPrintable(stamp));
            constexpr qint64 kDay = 86400000, kEast = 8 * 3600000;
            const qint64 lo = (before + kEast) % kDay, hi = (after + kEast) % kDay;
            if (hi < lo) continue;   // midnight passed
            QVERIFY2(lo <= t.msecsSinceStartOfDay() && t.msecsSinceStartOfDay() <= hi, qPrintable(stamp));
            QTest::qWait(3);
        }
        if (zone.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", zone);
        tzset();
    }
};

QTEST_MAIN(LogPane)
#include "tst_logpane.moc"
