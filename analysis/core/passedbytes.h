#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>

namespace ov {

// A file's bytes, read whole into pages of their own, for one pass that
// reads them front to back and hands back what it has passed: a code
// database is parsed into a model several times its size, and the bytes
// need not stay resident beside all of it. Where pages cannot be handed
// back, the bytes are an ordinary array and handing back does nothing.
class PassedBytes
{
public:
    PassedBytes() = default;
    ~PassedBytes();
    PassedBytes(const PassedBytes &) = delete;
    PassedBytes &operator=(const PassedBytes &) = delete;

    // As readFileBytes().
    bool read(const QString &path, QString *error);
    // The bytes; valid while this object lives. Once pages were handed
    // back, the bytes before them read as zeros.
    const QByteArray &bytes() const { return view; }
    // The pass will not look at [from, to) again: the whole pages in it
    // go back to the system. Passes over parts that do not overlap may
    // call this side by side. Returns where what went back ends (`from`
    // when nothing did): the place to hand back from next time.
    const char *release(const char *from, const char *to);
    bool anyReleased() const { return released.load(); }

private:
    QByteArray view;
    char *pages = nullptr;
    qsizetype mapped = 0;
    std::atomic<bool> released{false};   // the two halves' readers hand back side by side
};

} // namespace ov
