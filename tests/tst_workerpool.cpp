#include "app/workers.h"

#include <QElapsedTimer>
#include <QtTest>

#include <atomic>

class WorkerPoolTest : public QObject {
    Q_OBJECT

private slots:
    void runOnGuiRunsThereAndWaits()
    {
        QObject context;
        WorkerPool pool(&context);
        std::atomic<bool> ranOnGui{false};
        std::atomic<bool> returned{false};
        pool.start([&] {
            const bool ok = pool.runOnGui([&] { ranOnGui = QThread::currentThread() == context.thread(); });
            returned = ok;
        });
        QTRY_VERIFY(returned);
        QVERIFY(ranOnGui);
        pool.stopAll();
        QCOMPARE(pool.running(), 0);
    }

    // The GUI thread waiting in stopAll() must not deadlock with a worker waiting for it.
    void stopWhileWorkerWaitsForGui()
    {
        QObject context;
        WorkerPool pool(&context);
        std::atomic<bool> waiting{false};
        std::atomic<int> result{-1};
        pool.start([&] {
            waiting = true;
            result = pool.runOnGui([] {}) ? 1 : 0;
        });
        while (!waiting) QThread::msleep(1);
        QThread::msleep(20);   // the call is queued; this thread does not process it
        QElapsedTimer t;
        t.start();
        pool.stopAll();
        QVERIFY(t.elapsed() < 1000);
        QCOMPARE(result.load(), 0);
        // The queued call may still arrive: it must be harmless.
        QCoreApplication::processEvents();
    }

    void sleepEndsOnStop()
    {
        QObject context;
        WorkerPool pool(&context);
        std::atomic<int> slept{-1};
        pool.start([&] { slept = pool.sleepFor(60000) ? 1 : 0; });
        QThread::msleep(20);
        QElapsedTimer t;
        t.start();
        pool.stopAll();
        QVERIFY(t.elapsed() < 1000);
        QCOMPARE(slept.load(), 0);
        QVERIFY(pool.stopRequested());
        // A new start is not born stopped.
        std::atomic<int> again{-1};
        pool.start([&] { again = pool.sleepFor(1) ? 1 : 0; });
        QTRY_COMPARE(again.load(), 1);
    }

    void guiWorkAfterContextIsGoneIsDropped()
    {
        auto* context = new QObject;
        WorkerPool pool(context);
        delete context;
        std::atomic<int> result{-1};
        pool.start([&] { result = pool.runOnGui([] {}) ? 1 : 0; });
        QTRY_COMPARE(result.load(), 0);
        pool.postToGui([] {});
    }
};

QTEST_GUILESS_MAIN(WorkerPoolTest)
#include "tst_workerpool.moc"
