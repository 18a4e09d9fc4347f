#include "editor/core/workers.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace ov {

namespace {

// A database read on a thread of its own may ask for the workers too.
std::mutex instanceMutex;
Workers *registered = nullptr;
Workers *fallback = nullptr;

void dropFallback()
{
    Workers *dropped;
    {
        std::lock_guard<std::mutex> lock(instanceMutex);
        dropped = std::exchange(fallback, nullptr);
    }
    delete dropped;
}

} // namespace

Workers::Workers(int maxThreads)
{
    threads.setMaxThreadCount(maxThreads > 0 ? maxThreads : QThread::idealThreadCount() + 1);
    // -1: the fallback, made by instance() under the lock.
    if (maxThreads < 0)
        return;
    std::lock_guard<std::mutex> lock(instanceMutex);
    if (!registered)
        registered = this;
}

Workers::~Workers()
{
    threads.waitForDone();
    std::lock_guard<std::mutex> lock(instanceMutex);
    if (registered == this)
        registered = nullptr;
}

void Workers::forEach(QThreadPool *pool, qsizetype count, int maxHelpers,
                      const std::function<void(qsizetype)> &work)
{
    std::atomic<qsizetype> next{0};
    std::mutex mutex;
    std::condition_variable idle;
    int helpers = 0;   // guarded by mutex
    const auto drain = [&] {
        for (qsizetype i = next.fetch_add(1); i < count; i = next.fetch_add(1))
            work(i);
    };
    for (int h = 0; h < maxHelpers && h + 1 < count; ++h) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++helpers;
        }
        const bool started = pool->tryStart([&] {
            {
                // What the caller wrote before starting us is ours to read.
                std::lock_guard<std::mutex> lock(mutex);
            }
            drain();
            std::lock_guard<std::mutex> lock(mutex);
            if (--helpers == 0)
                idle.notify_all();
        });
        if (!started) {
            std::lock_guard<std::mutex> lock(mutex);
            --helpers;
            break;
        }
    }
    drain();
    std::unique_lock<std::mutex> lock(mutex);
    idle.wait(lock, [&] { return helpers == 0; });
}

Workers *Workers::instance()
{
    std::lock_guard<std::mutex> lock(instanceMutex);
    if (registered)
        return registered;
    if (!fallback) {
        fallback = new Workers(-1);
        // Waited for before the application object goes; without one the
        // process ends with the work.
        if (QCoreApplication::instance())
            qAddPostRoutine(dropFallback);
    }
    return fallback;
}

} // namespace ov
