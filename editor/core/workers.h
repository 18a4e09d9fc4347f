#pragma once

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <functional>
#include <utility>

namespace ov {

// The one thread pool of the application's background work: analysis
// runs, Find All, the checks of files changed on disk. Work on it holds
// copies of its inputs and is cancelled by a flag it polls, never waited
// for by whoever cancels it; only the destructor waits, for everything
// started on the pool.
class Workers
{
public:
    // `maxThreads` 0: one more than the processor runs side by side, so
    // that a long run on every core leaves room for a short one.
    explicit Workers(int maxThreads = 0);
    ~Workers();
    Workers(const Workers &) = delete;
    Workers &operator=(const Workers &) = delete;

    QThreadPool *pool() { return &threads; }

    // QtConcurrent::run on this pool; a callable taking a QPromise<T> &
    // first reports through it.
    template <typename Function, typename... Args>
    auto run(Function &&f, Args &&...args)
    {
        return QtConcurrent::run(&threads, std::forward<Function>(f), std::forward<Args>(args)...);
    }

    // Calls work(i) for every i in [0, count), on the calling thread and on
    // up to `maxHelpers` threads of `pool` that are free now; returns when
    // all calls have returned. It never waits for a thread to come free,
    // so it is safe on a thread of `pool` itself (QtConcurrent's
    // blockingMap is not: it waits for its queued work). Its hand-overs
    // go through a mutex the thread checker sees.
    static void forEach(QThreadPool *pool, qsizetype count, int maxHelpers,
                        const std::function<void(qsizetype)> &work);

    // The application's workers: the first Workers made and still alive
    // (main() makes one), else one made on first use that the
    // application's object waits for as it is destroyed.
    static Workers *instance();

private:
    QThreadPool threads;
};

} // namespace ov
