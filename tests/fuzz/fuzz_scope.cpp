// The fast scope search against the straightforward one, on arbitrary text
// and after an edit in the middle.
#include <QGuiApplication>
#include <QTextCursor>
#include <QTextDocument>
#include <cstdint>
#include <cstdlib>

#include "editor/core/scopefinder.h"

namespace {

void compareAt(ov::ScopeFinder &finder, const QString &text, int pos)
{
    for (int type = 0; type < 4; ++type) {
        int s1 = -7, e1 = -7, s2 = -7, e2 = -7;
        const int r1 = ov::ScopeSearch::find(text, pos, s1, e1, type);
        const int r2 = finder.find(pos, s2, e2, type);
        if (r1 != r2 || (r1 == ov::ScopeFound && (s1 != s2 || e1 != e2)))
            abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Documents lay out text, which needs a GUI application (offscreen here).
    static int argc = 1;
    static char name[] = "fuzz_scope";
    static char *argv[] = {name, nullptr};
    static QGuiApplication *app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QGuiApplication(argc, argv);
    }();
    Q_UNUSED(app);
    if (size < 2)
        return 0;
    const int pos = data[0] | (data[1] << 8);
    const QString text = QString::fromLatin1(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));
    QTextDocument doc;
    doc.setPlainText(text);
    ov::ScopeFinder finder(&doc);
    const QString plain = doc.toPlainText();
    compareAt(finder, plain, pos % (plain.size() + 2));
    compareAt(finder, plain, plain.size() / 2);

    // An edit must leave the index as good as a fresh one.
    QTextCursor c(&doc);
    c.setPosition(qMin(pos % (plain.size() + 1), plain.size()));
    c.insertText(QStringLiteral("{(<[\n"));
    const QString edited = doc.toPlainText();
    compareAt(finder, edited, pos % (edited.size() + 1));
    compareAt(finder, edited, edited.size() - 1);
    return 0;
}
