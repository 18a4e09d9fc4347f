#include "analysis/core/codedatabase.h"

#include <QFileInfo>
#include <QThread>
#include <QXmlStreamReader>

#include "analysis/core/analysislog.h"
#include "analysis/core/bulkheap.h"
#include "analysis/core/fastcodedbreader.h"
#include "analysis/core/passedbytes.h"
#include "editor/core/textfile.h"
#include "editor/core/vectorscan.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

namespace ov {

namespace {

const QString kName = QStringLiteral("Name");

// The document as QXmlStreamWriter with auto-formatting (indent 1) writes
// it, built in one buffer: that writer costs more than the rest of a run.
class Writer
{
public:
    explicit Writer(qsizetype sizeHint) { out.resize(sizeHint); }

    QByteArray take()
    {
        out.truncate(used);
        used = 0;
        return std::move(out);
    }
    qsizetype size() const { return used; }
    QByteArrayView bytes() const { return QByteArrayView(out.constData(), used); }
    // Keeps the buffer, so that its pages are touched only once.
    void clear() { used = 0; }

    void indent(int depth)
    {
        char *o = room(depth + 1);
        *o++ = '\n';
        std::memset(o, ' ', size_t(depth));
        used += depth + 1;
    }
    // A view: the length of a literal is known where it is written.
    void raw(std::string_view text)
    {
        std::memcpy(room(qsizetype(text.size())), text.data(), text.size());
        used += qsizetype(text.size());
    }

    // ` name="value"`, escaped as that writer escapes attribute values.
    void attribute(std::string_view name, QStringView value)
    {
        raw(" ");
        raw(name);
        raw("=\"");
        escape(value);
        raw("\"");
    }
    void attribute(std::string_view name, int value)
    {
        // Digits from the end, as "%d" gives them.
        char digits[12];
        char *const end = digits + sizeof digits;
        char *d = end;
        unsigned magnitude = value < 0 ? 0u - unsigned(value) : unsigned(value);
        do {
            *--d = char('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude);
        if (value < 0)
            *--d = '-';
        raw(" ");
        raw(name);
        raw("=\"");
        raw(std::string_view(d, size_t(end - d)));
        raw("\"");
    }

private:
    char *room(qsizetype n)
    {
        if (used + n > out.size())
            out.resize(std::max(out.size() * 2, used + n));
        return out.data() + used;
    }

    void escape(QStringView value)
    {
        const char16_t *d = value.utf16();
        const qsizetype n = value.size();
        // "&quot;" is the longest form of one code unit.
        char *const start = room(6 * n);
        char *o = start;
        for (qsizetype i = 0; i < n; ++i) {
            // A run that needs no escaping goes over as it is.
            const char16_t *plainEnd = scan::findUnprintableOr(d + i, d + n, u'<', u'>', u'&', u'"');
            scan::narrow(d + i, plainEnd, o);
            o += plainEnd - (d + i);
            i = plainEnd - d;
            if (i >= n)
                break;
            const char16_t c = d[i];
            if (c < 0x80) {
                switch (c) {
                case '<': o = put(o, "&lt;", 4); break;
                case '>': o = put(o, "&gt;", 4); break;
                case '&': o = put(o, "&amp;", 5); break;
                case '"': o = put(o, "&quot;", 6); break;
                case '\t': o = put(o, "&#9;", 4); break;
                case '\n': o = put(o, "&#10;", 5); break;
                case '\r': o = put(o, "&#13;", 5); break;
                default:
                    // Other control characters cannot stand in XML 1.0.
                    if (c >= 0x20)
                        *o++ = char(c);
                }
            } else if (c < 0x800) {
                *o++ = char(0xC0 | (c >> 6));
                *o++ = char(0x80 | (c & 0x3F));
            } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(d[i + 1])) {
                const char32_t u = QChar::surrogateToUcs4(c, d[++i]);
                *o++ = char(0xF0 | (u >> 18));
                *o++ = char(0x80 | ((u >> 12) & 0x3F));
                *o++ = char(0x80 | ((u >> 6) & 0x3F));
                *o++ = char(0x80 | (u & 0x3F));
            } else if (QChar::isSurrogate(c) || c >= 0xFFFE) {
                // Not a character: dropped like the control characters
                // (QXmlStreamWriter would stop writing names from here on).
            } else {
                *o++ = char(0xE0 | (c >> 12));
                *o++ = char(0x80 | ((c >> 6) & 0x3F));
                *o++ = char(0x80 | (c & 0x3F));
            }
        }
        used += o - start;
    }

    static char *put(char *o, const char *text, size_t n)
    {
        std::memcpy(o, text, n);
        return o + n;
    }

    QByteArray out;
    qsizetype used = 0;
};

void writeList(Writer &w, int depth, std::string_view listTag, std::string_view entryTag, const QStringList &list)
{
    if (list.isEmpty())
        return;
    w.indent(depth);
    w.raw("<");
    w.raw(listTag);
    w.raw(">");
    for (const QString &entry : list) {
        w.indent(depth + 1);
        w.raw("<");
        w.raw(entryTag);
        w.attribute("Name", entry);
        w.raw("/>");
    }
    w.indent(depth);
    w.raw("</");
    w.raw(listTag);
    w.raw(">");
}

void writePositions(Writer &w, const QString &name, const QString &declaration, int start, int end)
{
    w.attribute("Name", name);
    w.attribute("Declaration", declaration);
    w.attribute("StartPos", start);
    w.attribute("EndPos", end);
}

void writeFunction(Writer &w, int depth, const PHPFunctionDefinition &f)
{
    w.indent(depth);
    w.raw("<Function");
    writePositions(w, f.name, f.declaration, f.startPos, f.endPos);
    if (f.arguments.isEmpty() && f.functionCalls.isEmpty() && f.localVariables.isEmpty()) {
        w.raw("/>");
        return;
    }
    w.raw(">");
    writeList(w, depth + 1, "Arguments", "Argument", f.arguments);
    writeList(w, depth + 1, "FunctionCalls", "FunctionCall", f.functionCalls);
    writeList(w, depth + 1, "LocalVariables", "LocalVariable", f.localVariables);
    w.indent(depth);
    w.raw("</Function>");
}

void writeClass(Writer &w, int depth, const PHPClassDefinition &c)
{
    w.indent(depth);
    w.raw("<Class");
    writePositions(w, c.name, c.declaration, c.startPos, c.endPos);
    if (c.parents.isEmpty() && c.members.isEmpty() && c.methods.isEmpty()) {
        w.raw("/>");
        return;
    }
    w.raw(">");
    writeList(w, depth + 1, "Parents", "Parent", c.parents);
    writeList(w, depth + 1, "Members", "Member", c.members);
    if (!c.methods.isEmpty()) {
        w.indent(depth + 1);
        w.raw("<Methods>");
        for (const PHPFunctionDefinition &m : c.methods)
            writeFunction(w, depth + 2, m);
        w.indent(depth + 1);
        w.raw("</Methods>");
    }
    w.indent(depth);
    w.raw("</Class>");
}

void writeFile(Writer &w, const PHPFileDescription &d)
{
    w.indent(1);
    w.raw("<File");
    w.attribute("Name", d.name);
    w.attribute("Time", CodeDatabase::timeToString(d.time));
    if (d.includes.isEmpty() && d.functionCalls.isEmpty() && d.classes.isEmpty() && d.functions.isEmpty()) {
        w.raw("/>");
        return;
    }
    w.raw(">");
    writeList(w, 2, "Includes", "Include", d.includes);
    writeList(w, 2, "FunctionCalls", "FunctionCall", d.functionCalls);
    if (!d.classes.isEmpty()) {
        w.indent(2);
        w.raw("<Classes>");
        for (const PHPClassDefinition &c : d.classes)
            writeClass(w, 3, c);
        w.indent(2);
        w.raw("</Classes>");
    }
    if (!d.functions.isEmpty()) {
        w.indent(2);
        w.raw("<Functions>");
        for (const PHPFunctionDefinition &f : d.functions)
            writeFunction(w, 3, f);
        w.indent(2);
        w.raw("</Functions>");
    }
    w.indent(1);
    w.raw("</File>");
}

// Reading: every reader leaves `r` after the end of the element it was
// called on, and returns false once the document turned bad.

QStringList readList(QXmlStreamReader &r)
{
    QStringList list;
    while (r.readNextStartElement()) {
        const QString name = r.attributes().value(kName).toString();
        if (!name.isEmpty())
            list.append(name);
        r.skipCurrentElement();
    }
    return list;
}

int readInt(const QXmlStreamReader &r, const QString &attribute)
{
    bool ok = false;
    const int value = r.attributes().value(attribute).toInt(&ok);
    return ok ? value : 0;
}

void readPositions(QXmlStreamReader &r, QString *name, QString *declaration, int *start, int *end)
{
    const QXmlStreamAttributes attributes = r.attributes();
    *name = attributes.value(kName).toString();
    *declaration = attributes.value(QStringLiteral("Declaration")).toString();
    *start = readInt(r, QStringLiteral("StartPos"));
    *end = readInt(r, QStringLiteral("EndPos"));
}

PHPFunctionDefinition readFunction(QXmlStreamReader &r)
{
    PHPFunctionDefinition f;
    readPositions(r, &f.name, &f.declaration, &f.startPos, &f.endPos);
    while (r.readNextStartElement()) {
        if (r.name() == QLatin1String("Arguments"))
            f.arguments = readList(r);
        else if (r.name() == QLatin1String("FunctionCalls"))
            f.functionCalls = readList(r);
        else if (r.name() == QLatin1String("LocalVariables"))
            f.localVariables = readList(r);
        else
            r.skipCurrentElement();
    }
    return f;
}

PHPClassDefinition readClass(QXmlStreamReader &r)
{
    PHPClassDefinition c;
    readPositions(r, &c.name, &c.declaration, &c.startPos, &c.endPos);
    while (r.readNextStartElement()) {
        if (r.name() == QLatin1String("Parents")) {
            c.parents = readList(r);
        } else if (r.name() == QLatin1String("Members")) {
            c.members = readList(r);
        } else if (r.name() == QLatin1String("Methods")) {
            while (r.readNextStartElement()) {
                const PHPFunctionDefinition m = readFunction(r);
                c.methods.insert(m.name, m);
            }
        } else {
            r.skipCurrentElement();
        }
    }
    return c;
}

PHPFileDescription readFile(QXmlStreamReader &r)
{
    PHPFileDescription d;
    d.name = r.attributes().value(kName).toString();
    d.time = CodeDatabase::timeFromString(r.attributes().value(QStringLiteral("Time")));
    while (r.readNextStartElement()) {
        if (r.name() == QLatin1String("Includes")) {
            d.includes = readList(r);
        } else if (r.name() == QLatin1String("FunctionCalls")) {
            d.functionCalls = readList(r);
        } else if (r.name() == QLatin1String("Classes")) {
            while (r.readNextStartElement()) {
                const PHPClassDefinition c = readClass(r);
                d.classes.insert(c.name, c);
            }
        } else if (r.name() == QLatin1String("Functions")) {
            while (r.readNextStartElement()) {
                const PHPFunctionDefinition f = readFunction(r);
                d.functions.insert(f.name, f);
            }
        } else {
            r.skipCurrentElement();
        }
    }
    return d;
}

} // namespace

QString CodeDatabase::fileNameFor(const QString &projectFileName)
{
    const QFileInfo info(projectFileName);
    return info.absolutePath() + QLatin1Char('/') + info.baseName() + QLatin1String(".cdb");
}

namespace {

// "yyyy-MM-ddTHH:mm:ss" or with ".zzz": what timeToString writes. Other
// forms (zones, 24:00, years before 1000) are left to QDateTime.
constexpr int kTimeLength = 19;
constexpr int kTimeWithMsLength = 23;

bool digits(QStringView s, int from, int count, int *out)
{
    int v = 0;
    for (int i = from; i < from + count; ++i) {
        const char16_t c = s[i].unicode();
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    *out = v;
    return true;
}

void putDigits(char16_t *o, int value, int count)
{
    for (int i = count - 1; i >= 0; --i) {
        o[i] = char16_t('0' + value % 10);
        value /= 10;
    }
}

} // namespace

QString CodeDatabase::timeToString(const QDateTime &time)
{
    const QDateTime local = time.toLocalTime();
    const QDate date = local.date();
    const QTime clock = local.time();
    if (!date.isValid() || date.year() < 1000 || date.year() > 9999 || !clock.isValid())
        return local.toString(clock.msec() ? Qt::ISODateWithMs : Qt::ISODate);
    const int ms = clock.msec();
    QString s(ms ? kTimeWithMsLength : kTimeLength, Qt::Uninitialized);
    char16_t *o = reinterpret_cast<char16_t *>(s.data());
    putDigits(o, date.year(), 4);
    o[4] = '-';
    putDigits(o + 5, date.month(), 2);
    o[7] = '-';
    putDigits(o + 8, date.day(), 2);
    o[10] = 'T';
    putDigits(o + 11, clock.hour(), 2);
    o[13] = ':';
    putDigits(o + 14, clock.minute(), 2);
    o[16] = ':';
    putDigits(o + 17, clock.second(), 2);
    if (ms) {
        o[19] = '.';
        putDigits(o + 20, ms, 3);
    }
    return s;
}

QDateTime CodeDatabase::timeFromString(QStringView text)
{
    int y, mo, d, h, mi, sec, ms = 0;
    const qsizetype n = text.size();
    if ((n == kTimeLength || (n == kTimeWithMsLength && text[19] == u'.' && digits(text, 20, 3, &ms)))
        && text[4] == u'-' && text[7] == u'-' && text[10] == u'T' && text[13] == u':' && text[16] == u':'
        && digits(text, 0, 4, &y) && digits(text, 5, 2, &mo) && digits(text, 8, 2, &d) && digits(text, 11, 2, &h)
        && digits(text, 14, 2, &mi) && digits(text, 17, 2, &sec) && y >= 1000 && h < 24 && mi < 60 && sec < 60
        && QDate::isValid(y, mo, d))
        return QDateTime(QDate(y, mo, d), QTime(h, mi, sec, ms), Qt::LocalTime);
    return QDateTime::fromString(text.toString(), Qt::ISODate);
}

namespace {

const char kHead[] = "<!DOCTYPE ZERivuRO>\n<Files>";
const char kTail[] = "\n</Files>\n";

// The files in the order they are written, and where the share of the
// second thread begins: many files are written in two halves at once.
struct Halves {
    std::vector<const PHPFileDescription *> files;
    size_t half = 0;
};

Halves halves(const FileDescriptions &files)
{
    Halves h;
    h.files.reserve(size_t(files.size()));
    for (const PHPFileDescription &d : files)
        h.files.push_back(&d);
    const size_t n = h.files.size();
    h.half = n >= 256 && QThread::idealThreadCount() > 1 ? n / 2 : n;
    return h;
}

// Writing to a file, a writer hands its bytes on at the end of an entry
// once it holds this much: enough for few writes, little enough to stay
// in the cache and to be touched once.
constexpr qsizetype kChunk = 256 * 1024;
// Room for the entry that crosses kChunk without growing the buffer.
constexpr qsizetype kChunkRoom = kChunk + 64 * 1024;

// Writes the files from `from` to `to` into `w`, calling `handOn` to empty
// it after each entry that fills a chunk; stops when handOn returns false.
template<typename HandOn>
bool writeInChunks(Writer &w, const Halves &h, size_t from, size_t to, HandOn handOn)
{
    for (size_t i = from; i < to; ++i) {
        writeFile(w, *h.files[i]);
        if (w.size() >= kChunk && !handOn())
            return false;
    }
    return true;
}

// Chunks made on one thread and written, in order, on another as soon as
// each is there: a writer that finishes its own half first does not wait
// for the whole of the other.
class ChunkQueue
{
public:
    void push(QByteArray chunk)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        chunks.push_back(std::move(chunk));
        ready.notify_one();
    }
    void close()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        closed = true;
        ready.notify_one();
    }
    // The next chunk, once made; false when all have been taken.
    bool take(QByteArray *chunk)
    {
        std::unique_lock<std::mutex> lock(mutex);
        ready.wait(lock, [this] { return !chunks.empty() || closed; });
        if (chunks.empty())
            return false;
        *chunk = std::move(chunks.front());
        chunks.pop_front();
        return true;
    }

private:
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<QByteArray> chunks;
    bool closed = false;
};

} // namespace

QByteArray CodeDatabase::serialize(const FileDescriptions &files)
{
    if (files.isEmpty())
        return QByteArrayLiteral("<!DOCTYPE ZERivuRO>\n<Files/>\n");
    const Halves h = halves(files);
    // About 7 KB a file for typical PHP: one allocation in most cases.
    auto writeFiles = [&h](size_t from, size_t to) {
        Writer w(qsizetype(to - from) * 8192 + 64);
        for (size_t i = from; i < to; ++i)
            writeFile(w, *h.files[i]);
        return w.take();
    };
    QByteArray second;
    // std::thread: its join is a hand-over the thread checker can see.
    std::thread thread;
    if (h.half < h.files.size())
        thread = std::thread([&] {
            adviseThreadHeap();
            second = writeFiles(h.half, h.files.size());
        });
    QByteArray out = kHead + writeFiles(0, h.half);
    if (thread.joinable())
        thread.join();
    out += second;
    out += kTail;
    return out;
}

bool CodeDatabase::write(const QString &fileName, const FileDescriptions &files, QString *error)
{
    if (files.isEmpty())
        return writeFileAtomically(fileName, serialize(files), error);
    // The bytes of serialize(), never held whole.
    const Halves h = halves(files);
    return writeFileAtomically(
        fileName,
        [&h](const WriteBytes &write) {
            // The second half is made meanwhile into chunks of its own, on
            // small pages (no adviseThreadHeap): they are kept until written,
            // and huge pages would hold more memory than they fill.
            ChunkQueue second;
            std::atomic<bool> failed{false};
            std::thread thread;
            if (h.half < h.files.size()) {
                thread = std::thread([&] {
                    Writer w(kChunkRoom);
                    writeInChunks(w, h, h.half, h.files.size(), [&] {
                        second.push(w.take());
                        w = Writer(kChunkRoom);
                        return !failed.load(std::memory_order_relaxed);
                    });
                    w.raw(kTail);
                    second.push(w.take());
                    second.close();
                });
            }
            // The first half goes to the file as it is made, through one buffer.
            Writer w(kChunkRoom);
            w.raw(kHead);
            bool ok = writeInChunks(w, h, 0, h.half, [&] {
                const bool written = write(w.bytes());
                w.clear();
                return written;
            });
            if (!thread.joinable())
                w.raw(kTail);
            ok = ok && write(w.bytes());
            failed = !ok;
            if (thread.joinable()) {
                for (QByteArray chunk; ok && second.take(&chunk);)
                    ok = write(chunk);
                failed = !ok;
                thread.join();
            }
            return ok;
        },
        error);
}

CodeModel::DatabaseStamp CodeDatabase::stampOf(const QString &fileName)
{
    const QFileInfo info(fileName);
    CodeModel::DatabaseStamp stamp;
    stamp.fileName = info.absoluteFilePath();
    stamp.modified = info.lastModified();
    stamp.size = info.exists() ? info.size() : -1;
    return stamp;
}

bool CodeDatabase::save(const QString &fileName, CodeModel *model, QString *error)
{
    // Rewriting an unchanged cache would only cost a flush to disk.
    if (model->isStoredIn(stampOf(fileName)))
        return true;
    if (!write(fileName, model->fileDescriptions(), error))
        return false;
    model->markStoredIn(stampOf(fileName));
    return true;
}

namespace {

// Files deleted since drop out of the model.
bool store(const PHPFileDescription &d, bool exists, CodeModel *model)
{
    if (!exists)
        return false;
    model->setPHPFileDescription(d.name, d);
    for (auto it = d.functions.cbegin(); it != d.functions.cend(); ++it)
        model->appendProjectFunctionName(it.key());
    return true;
}

// The quick reader's way: false when it gave up, having stored nothing.
bool parseQuickly(const QByteArray &xml, CodeModel *model, bool *whole, int *added, PassedBytes *passed)
{
    QList<PHPFileDescription> files;
    std::vector<bool> present;
    *whole = false;
    if (!FastCodeDbReader::readDocument(xml, &files, whole, &present, FastCodeDbReader::Readers::Automatic,
                                        passed)) {
        *whole = false;
        return false;
    }
    qsizetype functions = 0;
    for (const PHPFileDescription &d : std::as_const(files))
        functions += d.functions.size();
    model->reserveProjectFunctionNames(functions);
    model->reserveFileDescriptions(files.size());
    *added = 0;
    // As store(), moving each description in: copying touches every part
    // of it once more.
    for (qsizetype i = 0; i < files.size(); ++i) {
        PHPFileDescription &d = files[i];
        if (!present[size_t(i)]) {
            *whole = false;
            continue;
        }
        for (auto it = d.functions.cbegin(); it != d.functions.cend(); ++it)
            model->appendProjectFunctionName(it.key());
        const qsizetype before = model->fileDescriptions().size();
        const QString name = d.name;
        model->setPHPFileDescription(name, std::move(d));
        if (model->fileDescriptions().size() == before)
            *whole = false;   // a second entry of the same file replaced the first
        ++*added;
    }
    return true;
}

} // namespace

int CodeDatabase::read(const QString &fileName, CodeModel *model)
{
    adviseThreadHeap();
    // Taken first: a change made while we read makes the stamp stale.
    const CodeModel::DatabaseStamp stamp = stampOf(fileName);
    const bool wasEmpty = model->fileDescriptions().isEmpty();
    PassedBytes bytes;
    QString error;
    if (!bytes.read(fileName, &error)) {
        if (QFileInfo::exists(fileName))
            qCWarning(lcAnalysis, "cannot read the code database %s: %s", qUtf8Printable(fileName),
                      qUtf8Printable(error));
        else
            qCDebug(lcAnalysis, "no code database yet at %s", qUtf8Printable(fileName));
        return 0;
    }
    bool whole = false;
    int added = 0;
    if (!parseQuickly(bytes.bytes(), model, &whole, &added, &bytes)) {
        // The quick reader handed back what it had read: the careful one
        // reads the file again.
        QByteArray again = bytes.bytes();
        if (!bytes.anyReleased() || readFileBytes(fileName, &again, &error))
            added = parseCarefully(again, model, &error);
        whole = false;
    }
    if (!error.isEmpty())
        qCWarning(lcAnalysis, "the code database %s is malformed, ignored from %s", qUtf8Printable(fileName),
                  qUtf8Printable(error));
    if (whole && wasEmpty)
        model->markStoredIn(stamp);
    return added;
}

int CodeDatabase::parse(const QByteArray &xml, CodeModel *model)
{
    bool whole;
    return parse(xml, model, &whole);
}

int CodeDatabase::parse(const QByteArray &xml, CodeModel *model, bool *whole, QString *error)
{
    int added = 0;
    if (parseQuickly(xml, model, whole, &added, nullptr))
        return added;
    *whole = false;
    return parseCarefully(xml, model, error);
}

int CodeDatabase::parseCarefully(const QByteArray &xml, CodeModel *model)
{
    return parseCarefully(xml, model, nullptr);
}

int CodeDatabase::parseCarefully(const QByteArray &xml, CodeModel *model, QString *error)
{
    QXmlStreamReader r(xml);
    const auto stopped = [&r, error] {
        if (r.hasError() && error)
            *error = QStringLiteral("line %1: %2").arg(r.lineNumber()).arg(r.errorString());
    };
    // The root's own tag is not examined.
    if (!r.readNextStartElement()) {
        stopped();
        return 0;
    }
    int added = 0;
    while (r.readNextStartElement()) {
        if (r.name() != QLatin1String("File")) {
            r.skipCurrentElement();
            continue;
        }
        const PHPFileDescription d = readFile(r);
        if (r.hasError())
            break;   // this entry may be cut short; the ones before are whole
        added += store(d, !d.name.isEmpty() && QFileInfo::exists(d.name), model);
    }
    stopped();
    return added;
}

} // namespace ov
