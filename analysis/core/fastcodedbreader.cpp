#include "analysis/core/fastcodedbreader.h"

#include <QFileInfo>
#include <QThread>

#include <cstring>
#include <limits>
#include <memory>
#include <thread>

#include "analysis/core/bulkheap.h"
#include "analysis/core/codedatabase.h"
#include "analysis/core/fileexistencechecker.h"
#include "analysis/core/passedbytes.h"
#include "editor/core/vectorscan.h"

namespace ov {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\t' || c == '\r';
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool sameName(const char *a, int length, const char *name)
{
    return int(std::strlen(name)) == length && std::memcmp(a, name, size_t(length)) == 0;
}

// Characters whose treatment by XML readers varies or that a document of
// ours never holds raw: left to the careful reader.
bool doubtful(char32_t u)
{
    return u < 0x20 || (u >= 0x7F && u <= 0x9F) || (u >= 0xFDD0 && u <= 0xFDEF) || (u & 0xFFFE) == 0xFFFE
        || (u >= 0xD800 && u <= 0xDFFF) || u > 0x10FFFF;
}

// One strictly valid UTF-8 sequence at `p` (first byte >= 0x80).
bool decodeUtf8(const unsigned char *&p, const unsigned char *end, char32_t *out)
{
    const unsigned char b = *p;
    int more;
    unsigned char lo = 0x80, hi = 0xBF;
    char32_t u;
    if (b >= 0xC2 && b <= 0xDF) {
        more = 1;
        u = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        more = 2;
        u = b & 0x0F;
        if (b == 0xE0)
            lo = 0xA0;
        else if (b == 0xED)
            hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        more = 3;
        u = b & 0x07;
        if (b == 0xF0)
            lo = 0x90;
        else if (b == 0xF4)
            hi = 0x8F;
    } else {
        return false;
    }
    if (end - p <= more)
        return false;
    for (int i = 1; i <= more; ++i) {
        const unsigned char c = p[i];
        if (c < (i == 1 ? lo : 0x80) || c > (i == 1 ? hi : 0xBF))
            return false;
        u = (u << 6) | (c & 0x3F);
    }
    p += more + 1;
    *out = u;
    return true;
}

// A reference after "&", up to and including ";".
bool decodeReference(const unsigned char *&p, const unsigned char *end, char32_t *out)
{
    const unsigned char *semi = static_cast<const unsigned char *>(std::memchr(p, ';', size_t(std::min<qsizetype>(end - p, 10))));
    if (!semi)
        return false;
    const qsizetype n = semi - p;
    const char *s = reinterpret_cast<const char *>(p);
    if (n >= 2 && s[0] == '#') {
        const bool hex = s[1] == 'x';
        qsizetype i = hex ? 2 : 1;
        if (i == n || n - i > 6)
            return false;
        char32_t u = 0;
        for (; i < n; ++i) {
            const char c = s[i];
            int digit;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (hex && c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (hex && c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            else
                return false;
            u = u * (hex ? 16 : 10) + char32_t(digit);
        }
        if (doubtful(u) && u != '\t' && u != '\n' && u != '\r')
            return false;
        *out = u;
    } else if (n == 2 && s[0] == 'l' && s[1] == 't') {
        *out = '<';
    } else if (n == 2 && s[0] == 'g' && s[1] == 't') {
        *out = '>';
    } else if (n == 3 && std::memcmp(s, "amp", 3) == 0) {
        *out = '&';
    } else if (n == 4 && std::memcmp(s, "quot", 4) == 0) {
        *out = '"';
    } else if (n == 4 && std::memcmp(s, "apos", 4) == 0) {
        *out = '\'';
    } else {
        return false;
    }
    p = semi + 1;
    return true;
}

// The first byte from `q` on that is `quote` or needs a look of its own
// (a reference, a byte over 0x7E or under 0x20, "<"), or `stop`.
const unsigned char *plainRun(const unsigned char *q, const unsigned char *stop, char quote)
{
    return scan::findUnprintableOr(q, stop, quote, '&', '<');
}

} // namespace

namespace {

size_t hashBytes(const char *bytes, int length)
{
    quint64 h = quint64(length) * 0x9E3779B97F4A7C15ull;
    int i = 0;
    for (; i + 8 <= length; i += 8) {
        quint64 chunk;
        std::memcpy(&chunk, bytes + i, 8);
        h = (h ^ chunk) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 29;
    }
    quint64 tail = 0;
    std::memcpy(&tail, bytes + i, size_t(length - i));
    h = (h ^ tail) * 0xC4CEB9FE1A85EC53ull;
    // Every byte reaches the low bits, which pick the slot.
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    return size_t(h ^ (h >> 33));
}

} // namespace

FastCodeDbReader::NameTable::NameTable(qsizetype expected)
{
    size_t capacity = 64;
    while (capacity < size_t(expected) * 2)
        capacity *= 2;
    table.resize(capacity);
    names.reserve(capacity / 2);
    bytes.reserve(capacity * 8);
}

const QString &FastCodeDbReader::NameTable::intern(const char *text, int length)
{
    if (2 * (names.size() + 1) > table.size())
        grow();
    const size_t mask = table.size() - 1;
    const size_t hash = hashBytes(text, length);
    const quint32 tag = quint32(hash >> 32);
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        Slot &slot = table[i];
        if (slot.index == Empty) {
            slot.hash = tag;
            slot.length = quint32(length);
            slot.offset = quint32(bytes.size());
            slot.index = quint32(names.size());
            bytes.insert(bytes.end(), text, text + length);
            names.push_back(QString::fromLatin1(text, length));
            return names.back();
        }
        if (slot.hash == tag && slot.length == quint32(length)
            && std::memcmp(bytes.data() + slot.offset, text, size_t(length)) == 0)
            return names[slot.index];
    }
}

void FastCodeDbReader::NameTable::grow()
{
    std::vector<Slot> old(table.size() * 2);
    old.swap(table);
    const size_t mask = table.size() - 1;
    for (const Slot &slot : old) {
        if (slot.index == Empty)
            continue;
        // slot.hash holds only the upper half
        size_t i = hashBytes(bytes.data() + slot.offset, int(slot.length)) & mask;
        while (table[i].index != Empty)
            i = (i + 1) & mask;
        table[i] = slot;
    }
}

FastCodeDbReader::FastCodeDbReader(const QByteArray &xml, qsizetype partSize)
    : p(xml.constData()), end(xml.constData() + xml.size()),
      // Roughly the distinct names of a database as we write them.
      shared(std::min<qsizetype>((partSize < 0 ? xml.size() : partSize) / 256, 1 << 20))
{
}

bool FastCodeDbReader::skipSpace()
{
    while (p < end && isSpace(*p))
        ++p;
    return p < end;
}

bool FastCodeDbReader::literal(const char *text)
{
    const size_t n = std::strlen(text);
    if (size_t(end - p) < n || std::memcmp(p, text, n) != 0)
        return false;
    p += n;
    return true;
}

bool FastCodeDbReader::anyStartTag(bool *empty)
{
    if (p >= end || *p != '<')
        return false;
    const char *name = ++p;
    while (p < end && isLetter(*p))
        ++p;
    tagName = name;
    tagNameLength = int(p - name);
    if (tagNameLength == 0)
        return false;
    attributeCount = 0;
    for (;;) {
        const char *before = p;
        if (!skipSpace())
            return false;
        if (*p == '>') {
            ++p;
            *empty = false;
            return true;
        }
        if (*p == '/') {
            if (end - p < 2 || p[1] != '>')
                return false;
            p += 2;
            *empty = true;
            return true;
        }
        // Attributes stand apart; more than ours is not our document.
        if (p == before || attributeCount == MaxAttributes)
            return false;
        if (!attribute(&attributes[attributeCount]))
            return false;
        ++attributeCount;
    }
}

bool FastCodeDbReader::startTag(const char *name, bool *empty)
{
    return anyStartTag(empty) && sameName(tagName, tagNameLength, name);
}

bool FastCodeDbReader::atEndTag() const
{
    return end - p >= 2 && p[0] == '<' && p[1] == '/';
}

bool FastCodeDbReader::endTag(const char *name)
{
    const size_t n = std::strlen(name);
    if (size_t(end - p) < n + 3 || p[0] != '<' || p[1] != '/' || std::memcmp(p + 2, name, n) != 0)
        return false;
    p += n + 2;
    while (p < end && isSpace(*p))
        ++p;
    if (p >= end || *p != '>')
        return false;
    ++p;
    return true;
}

bool FastCodeDbReader::attribute(Attribute *a)
{
    a->name = p;
    while (p < end && isLetter(*p))
        ++p;
    a->nameLength = int(p - a->name);
    // A namespace declaration would change what the names mean.
    if (a->nameLength == 0 || sameName(a->name, a->nameLength, "xmlns"))
        return false;
    for (int i = 0; i < attributeCount; ++i) {
        if (attributes[i].nameLength == a->nameLength
            && std::memcmp(attributes[i].name, a->name, size_t(a->nameLength)) == 0)
            return false;
    }
    if (end - p < 2 || *p != '=' || (p[1] != '"' && p[1] != '\''))
        return false;
    const char quote = p[1];
    p += 2;
    a->value = p;
    a->plain = true;
    // Every value is checked whole, also those never used: the careful
    // reader would reject the document for any of them.
    const unsigned char *q = reinterpret_cast<const unsigned char *>(p);
    const unsigned char *stop = reinterpret_cast<const unsigned char *>(end);
    while (q < stop && *q != quote) {
        q = plainRun(q, stop, quote);
        if (q == stop || *q == quote)
            break;
        const unsigned char c = *q;
        char32_t u;
        if (c == '&') {
            a->plain = false;
            if (!decodeReference(++q, stop, &u))
                return false;
        } else if (c >= 0x80) {
            a->plain = false;
            if (!decodeUtf8(q, stop, &u) || doubtful(u))
                return false;
        } else if (c < 0x20 || c == 0x7F || c == '<') {
            // Raw white space other than blanks is normalised by readers;
            // "<" cannot stand in a value.
            return false;
        } else {
            ++q;
        }
    }
    p = reinterpret_cast<const char *>(q);
    if (p >= end)
        return false;
    a->valueLength = int(p - a->value);
    ++p;
    return true;
}

bool FastCodeDbReader::value(const Attribute *a, QString *out) const
{
    if (a->plain) {
        *out = QString::fromLatin1(a->value, a->valueLength);
        return true;
    }
    QString s(a->valueLength, Qt::Uninitialized);
    char16_t *o = reinterpret_cast<char16_t *>(s.data());
    const unsigned char *q = reinterpret_cast<const unsigned char *>(a->value);
    const unsigned char *stop = q + a->valueLength;
    while (q < stop) {
        char32_t u = *q;
        if (u == '&') {
            ++q;
            if (!decodeReference(q, stop, &u))
                return false;
        } else if (u >= 0x80) {
            if (!decodeUtf8(q, stop, &u) || doubtful(u))
                return false;
        } else {
            ++q;
        }
        if (u >= 0x10000) {
            *o++ = QChar::highSurrogate(u);
            *o++ = QChar::lowSurrogate(u);
        } else {
            *o++ = char16_t(u);
        }
    }
    s.truncate(o - reinterpret_cast<char16_t *>(s.data()));
    *out = std::move(s);
    return true;
}

const FastCodeDbReader::Attribute *FastCodeDbReader::find(const char *name) const
{
    for (int i = 0; i < attributeCount; ++i) {
        if (sameName(attributes[i].name, attributes[i].nameLength, name))
            return &attributes[i];
    }
    return nullptr;
}

bool FastCodeDbReader::text(const char *name, QString *out) const
{
    const Attribute *a = find(name);
    if (!a) {
        out->clear();
        return true;
    }
    return value(a, out);
}

bool FastCodeDbReader::sharedText(const char *name, QString *out)
{
    const Attribute *a = find(name);
    if (!a || !a->plain)
        return text(name, out);
    *out = shared.intern(a->value, a->valueLength);
    return true;
}

bool FastCodeDbReader::number(const char *name, int *out) const
{
    const Attribute *a = find(name);
    *out = 0;
    if (!a)
        return true;
    // Plain decimals only; signs, blanks and big numbers go the careful way.
    const char *s = a->value;
    int n = a->valueLength;
    const bool negative = n > 0 && *s == '-';
    if (negative) {
        ++s;
        --n;
    }
    if (n < 1 || n > 9)
        return false;
    int v = 0;
    for (int i = 0; i < n; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        v = v * 10 + (s[i] - '0');
    }
    *out = negative ? -v : v;
    return true;
}

bool FastCodeDbReader::plainEntry(const char *entry, size_t entryLength, const char **value, int *length)
{
    // `<Entry Name="..."/>` with nothing in the value that needs decoding:
    // what the general reading gives for exactly these bytes.
    constexpr char nameAttribute[] = " Name=\"";
    constexpr size_t nameLength = sizeof(nameAttribute) - 1;
    const char *q = p;
    if (size_t(end - q) < entryLength + nameLength + 4 || *q != '<' || std::memcmp(q + 1, entry, entryLength) != 0
        || std::memcmp(q + 1 + entryLength, nameAttribute, nameLength) != 0)
        return false;
    q += 1 + entryLength + nameLength;
    const unsigned char *v = reinterpret_cast<const unsigned char *>(q);
    const unsigned char *stop = plainRun(v, reinterpret_cast<const unsigned char *>(end), '"');
    if (end - reinterpret_cast<const char *>(stop) < 3 || std::memcmp(stop, "\"/>", 3) != 0)
        return false;
    *value = q;
    *length = int(reinterpret_cast<const char *>(stop) - q);
    p = reinterpret_cast<const char *>(stop) + 3;
    return true;
}

bool FastCodeDbReader::list(const char *tag, const char *entry, QStringList *out)
{
    scratch.clear();
    const size_t entryLength = std::strlen(entry);
    for (;;) {
        if (!skipSpace())
            return false;
        if (atEndTag())
            break;
        const char *value;
        int length;
        if (plainEntry(entry, entryLength, &value, &length)) {
            if (length > 0)
                scratch.push_back(shared.intern(value, length));
            else
                whole = false;
            continue;
        }
        bool empty = false;
        if (!startTag(entry, &empty) || !empty)
            return false;
        QString name;
        if (!sharedText("Name", &name))
            return false;
        if (!name.isEmpty())
            scratch.push_back(std::move(name));
        else
            whole = false;
    }
    if (!endTag(tag))
        return false;
    // A second list of the same kind replaces the first.
    if (!out->isEmpty())
        whole = false;
    // One allocation of the final size.
    *out = QStringList(std::make_move_iterator(scratch.begin()), std::make_move_iterator(scratch.end()));
    return true;
}

template <typename Read>
bool FastCodeDbReader::section(const char *tag, Read read)
{
    for (;;) {
        if (!skipSpace())
            return false;
        if (atEndTag())
            return endTag(tag);
        if (!read())
            return false;
    }
}

bool FastCodeDbReader::knownList(std::initializer_list<ListSlot> choices, bool empty)
{
    for (const ListSlot &slot : choices) {
        if (!sameName(tagName, tagNameLength, slot.tag))
            continue;
        if (!empty)
            return list(slot.tag, slot.entry, slot.target);
        if (!slot.target->isEmpty())
            whole = false;
        slot.target->clear();
        return true;
    }
    return false;
}

template <typename T, typename ReadOne>
bool FastCodeDbReader::table(const char *tag, const char *entry, QHash<QString, T> *target, bool empty,
                             ReadOne readOne)
{
    if (empty)
        return true;
    return section(tag, [&] {
        bool e = false;
        T item;
        if (!startTag(entry, &e) || !readOne(&item, e))
            return false;
        if (target->contains(item.name))
            whole = false;
        const QString key = item.name;
        target->emplace(key, std::move(item));
        return true;
    });
}

bool FastCodeDbReader::function(PHPFunctionDefinition *f, bool empty)
{
    if (!sharedText("Name", &f->name) || !text("Declaration", &f->declaration) || !number("StartPos", &f->startPos)
        || !number("EndPos", &f->endPos))
        return false;
    if (empty)
        return true;
    return section("Function", [&] {
        bool listEmpty = false;
        return anyStartTag(&listEmpty)
               && knownList({{"Arguments", "Argument", &f->arguments},
                             {"FunctionCalls", "FunctionCall", &f->functionCalls},
                             {"LocalVariables", "LocalVariable", &f->localVariables}},
                            listEmpty);
    });
}

bool FastCodeDbReader::classDefinition(PHPClassDefinition *c, bool empty)
{
    if (!text("Name", &c->name) || !text("Declaration", &c->declaration) || !number("StartPos", &c->startPos)
        || !number("EndPos", &c->endPos))
        return false;
    if (empty)
        return true;
    return section("Class", [&] {
        bool childEmpty = false;
        if (!anyStartTag(&childEmpty))
            return false;
        if (sameName(tagName, tagNameLength, "Methods"))
            return table("Methods", "Function", &c->methods, childEmpty,
                         [this](PHPFunctionDefinition *m, bool e) { return function(m, e); });
        return knownList({{"Parents", "Parent", &c->parents}, {"Members", "Member", &c->members}}, childEmpty);
    });
}

bool FastCodeDbReader::file(PHPFileDescription *d, bool empty)
{
    QString time;
    if (!text("Name", &d->name) || !text("Time", &time))
        return false;
    // Files share their times (a package's files all have one): each
    // distinct text is converted once.
    auto known = times.constFind(time);
    if (known == times.cend())
        known = times.insert(time, CodeDatabase::timeFromString(time));
    d->time = *known;
    if (empty)
        return true;
    return section("File", [&] {
        bool childEmpty = false;
        if (!anyStartTag(&childEmpty))
            return false;
        if (sameName(tagName, tagNameLength, "Functions"))
            return table("Functions", "Function", &d->functions, childEmpty,
                         [this](PHPFunctionDefinition *f, bool e) { return function(f, e); });
        if (sameName(tagName, tagNameLength, "Classes"))
            return table("Classes", "Class", &d->classes, childEmpty,
                         [this](PHPClassDefinition *c, bool e) { return classDefinition(c, e); });
        return knownList({{"Includes", "Include", &d->includes}, {"FunctionCalls", "FunctionCall", &d->functionCalls}},
                         childEmpty);
    });
}

bool FastCodeDbReader::read(QList<PHPFileDescription> *files)
{
    files->clear();
    if (!literal("<!DOCTYPE ZERivuRO>") || !skipSpace())
        return false;
    bool empty = false;
    if (!startTag("Files", &empty))
        return false;
    if (empty)
        return true;
    return filesSection(files);
}

bool FastCodeDbReader::filesSection(QList<PHPFileDescription> *files)
{
    for (;;) {
        if (p == stopAt) {
            stopped = true;
            return true;
        }
        if (!skipSpace())
            return false;
        if (atEndTag())
            break;
        bool empty = false;
        PHPFileDescription d;
        if (!startTag("File", &empty) || !file(&d, empty))
            return false;
        if (checker)
            checker->check(d.name);
        else if (present)
            present->push_back(!d.name.isEmpty() && QFileInfo::exists(d.name));
        files->append(std::move(d));
        // In steps of a megabyte: each hand-back is a system call.
        if (passed && p - passedTo >= (1 << 20))
            passedTo = passed->release(passedTo, p);
    }
    if (!endTag("Files"))
        return false;
    // The careful reader stops at the root's end, but bytes after it that
    // do not decode may make it reject the document: leave those to it.
    for (; p < end; ++p) {
        if (static_cast<unsigned char>(*p) >= 0x80)
            return false;
    }
    return true;
}

bool FastCodeDbReader::readDocument(const QByteArray &xml, QList<PHPFileDescription> *files, bool *whole,
                                    std::vector<bool> *present, Readers readers, PassedBytes *passed)
{
    if (present)
        present->clear();
    // Offsets and lengths are kept in 32 bits; the careful reader takes
    // anything bigger.
    if (xml.size() > std::numeric_limits<int>::max())
        return false;
    const bool big = xml.size() >= 1024 * 1024 && QThread::idealThreadCount() > 1;
    adviseThreadHeap();
    // Two halves are split before a "File" as we write them; the halves
    // are exactly what one reader reads when its first half ends there,
    // else the first reads it all.
    const qsizetype split = big && readers != Readers::One ? xml.indexOf("\n <File ", xml.size() / 2) : -1;
    FastCodeDbReader head(xml, split);
    head.present = present;
    head.passed = passed;
    head.passedTo = xml.constData();
    if (split < 0) {
        std::unique_ptr<FileExistenceChecker> checker;
        if (big && present) {
            checker = std::make_unique<FileExistenceChecker>();
            head.checker = checker.get();
        }
        const bool ok = head.read(files);
        if (checker)
            *present = checker->results();
        *whole = head.whole;
        return ok;
    }
    head.stopAt = xml.constData() + split;
    FastCodeDbReader tail(xml, xml.size() - split);
    tail.p = head.stopAt;
    tail.passed = passed;
    tail.passedTo = tail.p;
    std::vector<bool> tailPresent;
    if (present)
        tail.present = &tailPresent;
    QList<PHPFileDescription> tailFiles;
    bool tailOk = false;
    // std::thread: its join is a hand-over the thread checker can see.
    std::thread thread([&] {
        adviseThreadHeap();
        tailOk = tail.filesSection(&tailFiles);
    });
    const bool headOk = head.read(files);
    thread.join();
    if (!headOk || (head.stopped && !tailOk))
        return false;
    *whole = head.whole;
    if (head.stopped) {
        files->append(std::move(tailFiles));
        *whole = *whole && tail.whole;
        if (present)
            present->insert(present->end(), tailPresent.cbegin(), tailPresent.cend());
    }
    return true;
}

} // namespace ov
