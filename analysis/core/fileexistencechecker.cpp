#include "analysis/core/fileexistencechecker.h"

#include <QFileInfo>

namespace ov {

namespace {
// Names wait for a batch: waking the thread for each would cost more than
// the look it saves.
constexpr size_t Batch = 32;
}

FileExistenceChecker::FileExistenceChecker()
    : thread([this] { run(); })
{
}

FileExistenceChecker::~FileExistenceChecker()
{
    if (thread.joinable())
        results();
}

void FileExistenceChecker::check(const QString &fileName)
{
    bool full;
    {
        std::lock_guard<std::mutex> lock(mutex);
        pending.push_back(fileName);
        full = pending.size() >= Batch;
    }
    if (full)
        wake.notify_one();
}

std::vector<bool> FileExistenceChecker::results()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
    }
    wake.notify_one();
    thread.join();
    return std::move(answers);
}

void FileExistenceChecker::run()
{
    std::vector<QString> batch;
    bool last = false;
    while (!last) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [this] { return pending.size() >= Batch || finished; });
            batch.swap(pending);
            last = finished;
        }
        for (const QString &name : batch)
            answers.push_back(!name.isEmpty() && QFileInfo::exists(name));
        batch.clear();
    }
}

} // namespace ov
