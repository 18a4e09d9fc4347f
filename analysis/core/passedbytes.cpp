#include "analysis/core/passedbytes.h"

#include <QFile>
#include <QFileInfo>

#include "editor/core/textfile.h"

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace ov {

PassedBytes::~PassedBytes()
{
#ifdef Q_OS_LINUX
    view = QByteArray();
    if (pages)
        munmap(pages, size_t(mapped));
#endif
}

bool PassedBytes::read(const QString &path, QString *error)
{
#ifdef Q_OS_LINUX
    QFile file(path);
    if (!QFileInfo(path).isDir() && file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        const qint64 size = file.size();
        // One byte over: a read that fills it says the file grew meanwhile,
        // and the ordinary way below reads it as it is now.
        const qsizetype room = size + 1;
        if (size > 0 && size < (qint64(1) << 40)) {
            void *mem = mmap(nullptr, size_t(room), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (mem != MAP_FAILED) {
                pages = static_cast<char *>(mem);
                mapped = room;
                madvise(pages, size_t(room), MADV_HUGEPAGE);
                qint64 used = 0;
                for (qint64 n; used < room && (n = file.read(pages + used, room - used)) > 0;)
                    used += n;
                if (file.error() == QFileDevice::NoError && used <= size) {
                    view = QByteArray::fromRawData(pages, qsizetype(used));
                    return true;
                }
                munmap(pages, size_t(mapped));
                pages = nullptr;
                mapped = 0;
            }
        }
    }
#endif
    return readFileBytes(path, &view, error);
}

const char *PassedBytes::release(const char *from, const char *to)
{
#ifdef Q_OS_LINUX
    if (!pages || from < pages || to > pages + mapped)
        return from;
    static const qintptr page = sysconf(_SC_PAGESIZE);
    const qintptr first = (qintptr(from) + page - 1) & ~(page - 1);
    const qintptr last = qintptr(to) & ~(page - 1);
    if (last <= first)
        return from;
    madvise(reinterpret_cast<void *>(first), size_t(last - first), MADV_DONTNEED);
    released.store(true);
    return reinterpret_cast<const char *>(last);
#else
    Q_UNUSED(to);
    return from;
#endif
}

} // namespace ov
