#include "support/windowharness.h"

#include "app/logformat.h"
#include "app/pendinglog.h"

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

    // A logged frame's line keeps the place it took when the frame was handed over; what
    // comes before its text waits behind it. Steps: "line T@s" (a line stamped s), "open@s",
    // "close T@s", "clear", "take" (the pane takes what is ready); the pane as "s T".
    void sendLineKeepsItsPlace_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("pane");
        QTest::newRow("reply waits behind its request")
            << QStringList{"open@1", "line reply@2", "take", "close [Trans ]@3"}
            << QStringList{"1 [Trans ]", "2 reply"};
        QTest::newRow("refused frame")
            << QStringList{"open@1", "line other@2", "close [Adapter refused]@3"}
            << QStringList{"1 [Adapter refused]", "2 other"};
        QTest::newRow("an unlogged frame's refusal is an ordinary line")
            << QStringList{"line a@1", "close [Adapter refused]@2", "line b@3"}
            << QStringList{"1 a", "2 [Adapter refused]", "3 b"};
        QTest::newRow("earlier lines stay before, later ones after")
            << QStringList{"line a@1", "open@2", "line b@3", "close T@4", "line c@5"}
            << QStringList{"1 a", "2 T", "3 b", "5 c"};
        QTest::newRow("one send after another")
            << QStringList{"open@1", "line r1@2", "close T1@3", "open@4", "line r2@5", "close T2@6"}
            << QStringList{"1 T1", "2 r1", "4 T2", "5 r2"};
        QTest::newRow("cleared while awaited: its line goes with the rest")
            << QStringList{"line a@1", "open@2", "line b@3", "clear", "line c@4", "close T@5", "line d@6"}
            << QStringList{"4 c", "6 d"};
        QTest::newRow("a second opening keeps the first's place")
            << QStringList{"open@1", "open@2", "line x@3", "close T@4", "close U@5"}
            << QStringList{"1 T", "3 x", "5 U"};
        QTest::newRow("beyond the pane's limit only the newest lines wait")
            << QStringList{"limit 3",  "open@1",   "line a@2", "line b@3", "line c@4",
                           "line d@5", "line e@6", "line f@7", "close T@8"}
            << QStringList{"1 T", "5 d", "6 e", "7 f"};
        QTest::newRow("taken in batches") << QStringList{"line a@1", "take", "open@2", "line b@3", "take", "line c@4",
                                                        "take", "close T@5", "take", "line d@6"}
                                          << QStringList{"1 a", "2 T", "3 b", "4 c", "6 d"};
    }

    void sendLineKeepsItsPlace()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, pane);
        PendingLog log;
        QStringList shown;
        const auto take = [&] {
            QCOMPARE(log.isEmpty(), log.starts().isEmpty());
            const QStringList lines = log.text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            QCOMPARE(lines.size(), log.starts().size());
            shown += lines;
            log.taken();
        };
        for (const QString& step : steps) {
            const QString what = step.section(QLatin1Char('@'), 0, 0);
            const QString stamp = step.section(QLatin1Char('@'), 1) + QLatin1Char(' ');
            if (what == "open")
                log.openSendLine(stamp);
            else if (what.startsWith("close "))
                log.closeSendLine(stamp, what.mid(6));
            else if (what.startsWith("line "))
                log.append(stamp, what.mid(5));
            else if (what == "clear")
                log.clear();
            else if (what == "take")
                take();
            else if (what.startsWith("limit "))
                log.setLineLimit(what.mid(6).toInt());
            else
                QFAIL(qPrintable(step));
        }
        take();
        QCOMPARE(shown, pane);
        QVERIFY(!log.awaitingSendLine());
    }

    // With the adapter slow to return, the window shows the read value at once, and the
    // log still reads request, sent frame, reply.
    void slowAdapterKeepsTheLogInOrder()
    {
        WorkDir dir(true);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        openPort(w);
        QTest::qWait(50);
        double driveValue = 0;
        QVERIFY(SimReadParameter(7, &driveValue));   // current limit
        ui->doubleSpinBox_CurrentLimit->setValue(driveValue + 1);
        ui->pushButton_clear->click();
        SimSlowTransmit(300);
        ui->pushButton_CurrentLimit_2->click();
        SimSlowTransmit(0);
        QTRY_COMPARE(ui->doubleSpinBox_CurrentLimit->value(), driveValue);
        QTRY_COMPARE(MainWindowProbe::logLines(w).size(), 4);
        const QStringList log = MainWindowProbe::logLines(w);
        QCOMPARE(log[0], QString(">>> Send \"CurrentLimit\" get command"));
        QCOMPARE(log[1], QString("[Trans ]: f1 07 12 00 00 00 00 00"));
        QVERIFY2(log[2].startsWith("[Recv: ") && log[2].contains("] f1 07 12 "), qPrintable(log[2]));
        QCOMPARE(log[3], QString(">>> Get \"CurrentLimit\" Value: %1").arg(driveValue));
        // Stamps never go back.
        const QStringList raw = MainWindowProbe::rawLogLines(w);
        for (int i = 1; i < raw.size(); ++i)
            QVERIFY(raw[i - 1].left(12) <= raw[i].left(12) || raw[i].startsWith("00:"));
    }
};

QTEST_MAIN(LogPane)
#include "tst_logpane.moc"
