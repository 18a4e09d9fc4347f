#pragma once

#include <QByteArray>
#include <QFile>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

#include "editor/mainview.h"
#include "editor/pendingsource.h"
#include "editor/sourceedit.h"
#include "host/dialogs.h"
#include "search/core/textsearch.h"

namespace ovtest {

// Settings and dialogs that can never reach the user's own or block.
inline void isolate()
{
    QStandardPaths::setTestModeEnabled(true);
    ov::Dialogs::setScripted(true);
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    return f.write(bytes) == bytes.size();
}

// A file of `size` bytes: `head`, then `line` over and over, cut at `size`.
inline bool writeBigFile(const QString &path, qint64 size, const QByteArray &head, const QByteArray &line)
{
    QByteArray chunk;
    while (chunk.size() < 1024 * 1024)
        chunk += line;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(head) != head.size())
        return false;
    for (qint64 left = size - head.size(); left > 0; left -= chunk.size()) {
        const QByteArray piece = chunk.left(qsizetype(qMin<qint64>(left, chunk.size())));
        if (f.write(piece) != piece.size())
            return false;
    }
    return f.size() == size;
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

// Writes `bytes` to `path` and opens it in a tab: its editor, or null.
inline ov::SourceEdit *openSource(ov::MainView *view, const QString &path, const QByteArray &bytes)
{
    if (!writeFile(path, bytes) || !view->addSource(path))
        return nullptr;
    return view->getSource(path);
}

// Closes every tab, throwing away unsaved edits, and forgets the dialogs'
// answers and calls: the state each GUI test case starts from.
inline void discardAllTabs(ov::MainView *view)
{
    for (int i = view->count() - 1; i >= 0; --i) {
        if (ov::SourceEdit *e = view->getSource(i))
            e->document()->setModified(false);
        view->closeTab(i);
    }
    ov::Dialogs::clear();
}

// Opens `path` the way Replace All opens a file that was not open: a tab
// behind the others, without its editor yet, whose text has every `from`
// (matching case) replaced by `to`.
inline ov::PendingSource *openReplaced(ov::MainView *view, const QString &path, const QString &from,
                                       const QString &to)
{
    QByteArray bytes = readFile(path);
    const QString text = ov::PendingSource::textOf(bytes);
    const ov::TextMatcher matcher(from, true, false);
    const QList<qsizetype> hits = matcher.replaceAllHits(matcher.prepare(text), to);
    auto *page = new ov::PendingSource(path, ov::LoadedFile::stamped(path, std::move(bytes)), text, view);
    page->replace(hits, matcher.length(), to);
    return view->addPendingSource(page) ? page : nullptr;
}

} // namespace ovtest
