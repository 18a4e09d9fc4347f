#pragma once

#include <initializer_list>
#include <vector>

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>

#include "analysis/core/phprecords.h"

namespace ov {

// Reads code databases in exactly the form CodeDatabase writes, several
// times faster than QXmlStreamReader. It accepts only documents whose
// meaning it is sure of (well-formed, our tags, our layout, plain
// attributes); on anything else it gives up, and the caller reads the
// document with the careful reader, so that both always agree.
class FastCodeDbReader
{
public:
    explicit FastCodeDbReader(const QByteArray &xml);

    // Every "File" in document order; false when the document is not one
    // this reader handles (then `files` holds nothing useful).
    bool read(QList<PHPFileDescription> *files);
    // After a read: nothing of the document was dropped or replaced.
    bool isWhole() const { return whole; }

    // read() and isWhole() in one, on two threads for big documents. With
    // `present`, element i tells whether the file of files[i] exists now:
    // the threads look while they read.
    static bool readDocument(const QByteArray &xml, QList<PHPFileDescription> *files, bool *whole,
                             std::vector<bool> *present = nullptr);

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
    QHash<QByteArrayView, QString> shared;
    std::vector<QString> scratch;   // a list's entries before the list is made
    std::vector<bool> *present = nullptr;
    bool whole = true;
    const char *stopAt = nullptr;
    bool stopped = false;
};

} // namespace ov
