// Threads the main window starts (bulk read/write, firmware transfer, hybrid burst).
// The window stops and joins them before it goes away, so none can touch a dead window.
#pragma once

#include <QObject>
#include <QPointer>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

class WorkerPool {
public:
    // Work handed to the GUI thread is queued on this object.
    explicit WorkerPool(QObject* guiContext);
    ~WorkerPool();

    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Runs body on a new thread.
    void start(std::function<void()> body);
    // Asks every worker to stop and waits until all have returned. Never waits on the GUI
    // thread's event loop, so it cannot deadlock when called from there.
    void stopAll();
    int running() const;
    // Bodies of every pool that have not returned yet, so a test can see that an owner's
    // teardown waited for all of them.
    static int bodiesRunning();

    // For use inside a worker:
    bool stopRequested() const { return stop_.load(std::memory_order_acquire); }
    // Sleeps up to ms; false (early) when a stop is requested.
    bool sleepFor(int ms);
    // Runs fn on the GUI thread and waits for it; false when a stop came first (fn may
    // then never run).
    bool runOnGui(std::function<void()> fn);
    // Queues fn for the GUI thread without waiting.
    void postToGui(std::function<void()> fn);

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void reapFinished();

    QPointer<QObject> context_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::list<Worker> workers_;
};
