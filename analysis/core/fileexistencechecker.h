#pragma once

#include <QString>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace ov {

// Looks whether files exist on a thread of its own, so that a reader that
// meets file names one by one does not wait for the file system. Answers
// come back in the order the names were handed over.
class FileExistenceChecker
{
public:
    FileExistenceChecker();
    ~FileExistenceChecker();
    FileExistenceChecker(const FileExistenceChecker &) = delete;
    FileExistenceChecker &operator=(const FileExistenceChecker &) = delete;

    // An empty name never exists.
    void check(const QString &fileName);
    // Element i answers the i-th check(); waits for the thread. No check()
    // may follow.
    std::vector<bool> results();

private:
    void run();

    std::mutex mutex;
    std::condition_variable wake;
    std::vector<QString> pending;   // guarded by mutex
    bool finished = false;          // guarded by mutex
    std::vector<bool> answers;      // the thread's own until it is joined
    std::thread thread;
};

} // namespace ov
