#include "app/workers.h"

#include <QMetaObject>
#include <QThread>

#include <chrono>

namespace {
std::atomic<int> liveBodies{0};
}

WorkerPool::WorkerPool(QObject* guiContext) : context_(guiContext) {}

WorkerPool::~WorkerPool() { stopAll(); }

void WorkerPool::reapFinished()
{
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void WorkerPool::start(std::function<void()> body)
{
    std::lock_guard<std::mutex> lock(mutex_);
    reapFinished();
    stop_.store(false, std::memory_order_release);
    auto done = std::make_shared<std::atomic<bool>>(false);
    liveBodies.fetch_add(1);
    workers_.push_back(Worker{std::thread([body = std::move(body), done] {
                                  body();
                                  done->store(true);
                                  liveBodies.fetch_sub(1);
                              }),
                              done});
}

void WorkerPool::stopAll()
{
    std::list<Worker> joining;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_.store(true, std::memory_order_release);
        joining.swap(workers_);
    }
    wake_.notify_all();
    for (Worker& w : joining) w.thread.join();
}

int WorkerPool::running() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const Worker& w : workers_) n += w.done->load() ? 0 : 1;
    return n;
}

int WorkerPool::bodiesRunning() { return liveBodies.load(); }

bool WorkerPool::sleepFor(int ms)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopRequested(); });
}

bool WorkerPool::runOnGui(std::function<void()> fn)
{
    struct Call {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
    };
    auto call = std::make_shared<Call>();
    QObject* ctx = context_.data();
    if (!ctx || stopRequested()) return false;
    QMetaObject::invokeMethod(
        ctx,
        [call, fn = std::move(fn)] {
            fn();
            std::lock_guard<std::mutex> lock(call->m);
            call->done = true;
            call->cv.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(call->m);
    // Poll the stop flag: the GUI thread may be the one waiting in stopAll().
    while (!call->done) {
        if (stopRequested()) return false;
        call->cv.wait_for(lock, std::chrono::milliseconds(5));
    }
    return true;
}

void WorkerPool::postToGui(std::function<void()> fn)
{
    if (QObject* ctx = context_.data()) QMetaObject::invokeMethod(ctx, std::move(fn), Qt::QueuedConnection);
}
