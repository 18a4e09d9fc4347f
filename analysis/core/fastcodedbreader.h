#pragma once

#include <initializer_list>
#include <vector>

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QHash>
#include <QList>

#include "analysis/core/phprecords.h"

namespace ov {

class FileExistenceChecker;
class PassedBytes;

// Reads code databases in exactly the form CodeDatabase writes, several
// times faster than QXmlStreamReader. It accepts only documents whose
// meaning it is sure of (well-formed, our tags, our layout, plain
// attributes); on anything else it gives up, and the caller reads the
// document with the careful reader, so that both always agree.
class FastCodeDbReader
{
public:
    // `partSize`: how much of the document this reader reads, when not all.
    explicit FastCodeDbReader(const QByteArray &xml, qsizetype partSize = -1);

    // Every "File" in document order; false when the document is not one
    // this reader handles (then `files` holds nothing useful).
    bool read(QList<PHPFileDescription> *files);
    // After a read: nothing of the document was dropped or replaced.
    bool isWhole() const { return whole; }

    // How a big document is read: in two halves side by side, or by one
    // reader while another thread looks for the files. Automatic: two
    // halves (each thread has a heap of its own, so they do not wait for
    // each other's allocations).
    enum class Readers { Automatic, One, Two };
    // read() and isWhole() in one. With `present`, element i tells whether
    // the file of files[i] exists now, looked at while the document is read.
    // With `passed` (whose bytes `xml` are), each reader hands back the
    // bytes it has read as it goes: the document cannot be read again.
    static bool readDocument(const QByteArray &xml, QList<PHPFileDescription> *files, bool *whole,
                             std::vector<bool> *present = nullptr, Readers readers = Readers::Automatic,
                             PassedBytes *passed = nullptr);

private:
    struct Attribute {
        const char *name = nullptr;
        int nameLength = 0;
        const char *value = nullptr;
        int valueLength = 0;
        bool plain = true;   // ASCII without references: no decoding needed
    };
    static constexpr int MaxAttributes = 8;

    bool skipSpace();
    bool literal(const char *text);
    // At "<": reads the tag's name and attributes; `empty` tells "/>".
    bool startTag(const char *name, bool *empty);
    bool anyStartTag(bool *empty);
    bool endTag(const char *name);
    bool atEndTag() const;
    bool attribute(Attribute *a);
    bool value(const Attribute *a, QString *out) const;
    const Attribute *find(const char *name) const;
    bool text(const char *name, QString *out) const;
    // Names recur (variables, callees, includes): one shared string each.
    bool sharedText(const char *name, QString *out);
    bool number(const char *name, int *out) const;

    // At "<": an entry of a list in the exact form we write, which is read
    // quicker than through startTag().
    bool plainEntry(const char *entry, size_t entryLength, const char **value, int *length);
    bool list(const char *tag, const char *entry, QStringList *out);
    struct ListSlot {
        const char *tag;
        const char *entry;
        QStringList *target;
    };
    // The list element just started, when it is one of `choices`.
    bool knownList(std::initializer_list<ListSlot> choices, bool empty);
    // The keyed section just started ("Functions", "Methods", "Classes").
    template <typename T, typename ReadOne>
    bool table(const char *tag, const char *entry, QHash<QString, T> *target, bool empty, ReadOne readOne);
    bool function(PHPFunctionDefinition *f, bool empty);
    bool classDefinition(PHPClassDefinition *c, bool empty);
    bool file(PHPFileDescription *d, bool empty);
    // The "File" elements up to "</Files>", or up to `stopAt`.
    bool filesSection(QList<PHPFileDescription> *files);
    // The children of a section ("Functions", "Methods", "Classes").
    template <typename Read>
    bool section(const char *tag, Read read);

    const char *p;
    const char *end;
    const char *tagName = nullptr;
    int tagNameLength = 0;
    Attribute attributes[MaxAttributes];
    int attributeCount = 0;
    // The shared names by their bytes: open addressing on a cheap hash,
    // as this lookup runs for nearly every element of a database.
    class NameTable
    {
    public:
        explicit NameTable(qsizetype expected);
        const QString &intern(const char *text, int length);

    private:
        // 16 bytes, and the bytes compared against are the table's own
        // copy, packed: a hit touches little memory beyond the slot.
        struct Slot {
            quint32 hash = 0;     // upper half of the hash: most misses end here
            quint32 length = 0;
            quint32 offset = 0;   // into `bytes`
            quint32 index = Empty;   // into `names`
        };
        static constexpr quint32 Empty = ~quint32(0);
        void grow();
        std::vector<Slot> table;
        std::vector<char> bytes;
        std::vector<QString> names;
    };
    NameTable shared;
    std::vector<QString> scratch;   // a list's entries before the list is made
    QHash<QString, QDateTime> times;   // by their text
    std::vector<bool> *present = nullptr;
    FileExistenceChecker *checker = nullptr;   // instead of `present`
    bool whole = true;
    PassedBytes *passed = nullptr;
    const char *passedTo = nullptr;   // handed back up to here
    const char *stopAt = nullptr;
    bool stopped = false;
};

} // namespace ov
