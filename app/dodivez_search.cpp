// Search commands of the main window: stepping through hits across files,
// replacing them, and listing them in the find-results windows.
#include "app/dodivez.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDockWidget>
#include <QEvent>
#include <QFileInfo>
#include <QHash>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QTextDocument>

#include "app/dialogs.h"
#include "editor/core/textfile.h"
#include "editor/mainview.h"
#include "editor/pendingsource.h"
#include "editor/sourceedit.h"
#include "project/project.h"
#include "search/core/filesearch.h"
#include "search/core/searchlog.h"
#include "search/core/textsearch.h"
#include "search/findresults.h"

namespace ov {

namespace {

int windowIndex(int outputWindow)
{
    return outputWindow == 1 ? 1 : 0;
}

// The text of a file that is not open, as an editor would load it.
bool readEditorText(const QString &fileName, QString *text)
{
    QByteArray bytes;
    QString error;
    const QFileInfo info(fileName);
    if (!info.exists() || info.size() > MaxSearchedFileSize) {
        qCDebug(lcSearch, "skipped %s: %s", qUtf8Printable(fileName), info.exists() ? "too large" : "no such file");
        return false;
    }
    if (!readFileBytes(fileName, &bytes, &error)) {
        qCWarning(lcSearch, "cannot search %s: %s", qUtf8Printable(fileName), qUtf8Printable(error));
        return false;
    }
    *text = editorText(bytes);
    return true;
}

// The page of an open file: its editor, or the tab whose editor is still
// to be made. Neither makes one.
struct OpenPage {
    SourceEdit *editor = nullptr;
    PendingSource *pending = nullptr;
    QWidget *widget() const { return editor ? static_cast<QWidget *>(editor) : pending; }
    // The text as the user sees it, unsaved edits included.
    QString text() const { return editor ? editor->document()->toRawText() : pending->text(); }
};

OpenPage openPage(MainView *view, int idx)
{
    return OpenPage{view->realizedSource(idx), view->pendingSource(idx)};
}

// Every open file's page, by path (the first tab of a path wins, as in getSource).
QHash<QString, OpenPage> openPages(MainView *view)
{
    QHash<QString, OpenPage> open;
    for (int i = 0; i < view->count(); ++i) {
        const QString path = view->sourcePath(i);
        if (!path.isEmpty() && !open.contains(path))
            open.insert(path, openPage(view, i));
    }
    return open;
}

// Replace All in one file. `page` is the file's open page, or none: a file
// that is not open is opened in a new tab behind the current one, without
// an editor yet, once its bytes show a hit. An editor's document takes the
// replacements as one undo step. Returns the count; `page` ends as the
// changed file's page.
int replaceAllIn(MainView *view, const QString &fileName, const TextMatcher &matcher, const QString &dst,
                 OpenPage &page)
{
    if (matcher.findsNothing())
        return 0;
    if (page.editor) {
        QTextDocument *doc = page.editor->document();
        const QList<qsizetype> hits = matcher.replaceAllHits(matcher.prepare(doc->toRawText()), dst);
        replaceInDocument(doc, hits, matcher.length(), dst);
        return int(hits.size());
    }
    if (page.pending) {
        const QList<qsizetype> hits = matcher.replaceAllHits(matcher.prepare(page.pending->text()), dst);
        page.pending->replace(hits, matcher.length(), dst);
        return int(hits.size());
    }
    // Most files hold no hit: the byte search of plain ASCII says so without
    // decoding. Other text is decoded once, for both.
    QByteArray bytes;
    if (!readRegularFile(fileName, &bytes) || (isAscii(bytes) && matcher.findAllInBytes(fileName, bytes, 1).isEmpty()))
        return 0;
    const QString text = PendingSource::textOf(bytes);
    const QList<qsizetype> hits = matcher.replaceAllHits(matcher.prepare(text), dst);
    if (hits.isEmpty())
        return 0;
    // Replaced before it is a tab: a tab that becomes current at once makes
    // its editor from it.
    auto *opened = new PendingSource(fileName, LoadedFile::stamped(fileName, std::move(bytes)), text, view);
    opened->replace(hits, matcher.length(), dst);
    if (!view->addPendingSource(opened))
        return 0;
    page.pending = opened;
    return int(hits.size());
}

} // namespace

void DODIvez::fastSearch(QString text)
{
    if (text.isEmpty())
        return;
    lastSearchInBox = true;
    if (fastSearchBox->findText(text, Qt::MatchFixedString) < 0) {
        // The box must not start a second search of its own for the new item.
        const QSignalBlocker blocker(fastSearchBox);
        fastSearchBox->insertItem(0, text);
    }
    if (SourceEdit *editor = view->getCurrentSource())
        editor->findNext(text);
}

void DODIvez::setFindResultWindow(int n) { findResultWindow = n; }
int DODIvez::getFindResultWindow() { return findResultWindow; }

void DODIvez::resetFindNReplacePosition()
{
    if (SourceEdit *editor = view->getCurrentSource())
        findNReplaceStartPosition = editor->textCursor().position();
}

void DODIvez::setFindNReplaceStartPosition(int pos) { findNReplaceStartPosition = pos; }

QStringList DODIvez::scopeFiles(int scope)
{
    QStringList files;
    if (scope == 0) {
        if (SourceEdit *editor = view->getCurrentSource())
            files << editor->getFilePath();
    } else if (scope == 1) {
        for (int i = 0; i < view->count(); ++i) {
            const QString path = view->sourcePath(i);
            if (!path.isEmpty())
                files << path;
        }
    } else if (projectTree->getRootItem()) {
        files = projectTree->getProjectFiles();
    }
    return files;
}

// ---- Find Next and Replace ----

int DODIvez::findInFile(QString fileName, QString text, QString replacement, bool matchCase, bool matchWord,
                        bool replace, bool show)
{
    const TextMatcher matcher(text, matchCase, matchWord);
    const int open = view->indexOfSource(fileName);
    SourceEdit *editor = view->realizedSource(open);
    PendingSource *pending = view->pendingSource(open);
    QString content;
    qsizetype hit = -1;
    if (editor) {
        const QTextCursor cursor = editor->textCursor();
        content = editor->document()->toRawText();
        hit = matcher.nextValid(matcher.prepare(content), cursor.selectionEnd(), cursor.position(),
                                findNReplaceStartPosition);
    } else if (pending) {
        // Its editor is made only once a hit in it is shown.
        content = pending->text();
        hit = matcher.nextValid(matcher.prepare(content), pending->cursorPosition(), pending->cursorPosition(),
                                findNReplaceStartPosition);
    } else {
        QList<FindEntry> first;
        // Most files hold no hit: the byte search says so without decoding.
        if (!searchFile(SearchSource{fileName, QString(), false}, matcher, &first, 1))
            return -1;
        if (first.isEmpty())
            return 0;
        if (!readEditorText(fileName, &content))
            return -1;
        hit = matcher.nextValid(matcher.prepare(content), 0, 0, findNReplaceStartPosition);
    }
    if (hit < 0)
        return 0;
    if (!show)
        return 1;

    if (!view->addSource(fileName) || !(editor = view->getSource(fileName)))
        return -1;
    // The editor of a tab that had none yet was made from the same bytes.
    const QString shown = pending ? content : editor->document()->toRawText();
    if (shown != content) {
        // The file changed on disk between reading and opening it.
        hit = matcher.nextValid(matcher.prepare(shown), 0, 0, findNReplaceStartPosition);
        if (hit < 0)
            return 0;
    }
    QTextCursor cursor(editor->document());
    cursor.setPosition(int(hit));
    cursor.setPosition(int(hit + matcher.length()), QTextCursor::KeepAnchor);
    if (replace)
        cursor.insertText(replacement); // the cursor ends after the new text: the next step goes on from there
    editor->setTextCursor(cursor);
    editor->centerCursor();
    return 1;
}

void DODIvez::stepThroughScope(const QString &src, const QString &dst, bool matchCase, bool matchWord, int scope,
                               bool replace)
{
    SourceEdit *current = view->getCurrentSource();
    if (scope == 0) {
        if (current)
            findInFile(current->getFilePath(), src, dst, matchCase, matchWord, replace, true);
        return;
    }
    QStringList files = scopeFiles(scope);
    // Begin with the current file and go on in list order.
    const qsizetype k = current ? files.indexOf(current->getFilePath()) : -1;
    if (k > 0)
        files = files.mid(k) + files.mid(0, k);
    for (const QString &file : std::as_const(files)) {
        if (findInFile(file, src, dst, matchCase, matchWord, replace, true) > 0)
            return;
        findNReplaceStartPosition = 0;
    }
}

void DODIvez::findNext(QString text, bool matchCase, bool matchWord, int scope)
{
    lastSearchInBox = false;
    stepThroughScope(text, QString(), matchCase, matchWord, scope, false);
}

void DODIvez::replaceNext(QString src, QString dst, bool matchCase, bool matchWord, int scope)
{
    // The hit shown selected is replaced and the next one shown; any other
    // selection gets the next hit shown first, nothing replaced.
    SourceEdit *current = view->getCurrentSource();
    if (current && current->selectionIsHit(TextMatcher(src, matchCase, matchWord))) {
        QTextCursor cursor = current->textCursor();
        const int end = cursor.selectionEnd();
        cursor.insertText(dst);
        current->setTextCursor(cursor);
        // The recorded start keeps pointing at the same text.
        if (end <= findNReplaceStartPosition)
            findNReplaceStartPosition += int(dst.size()) - int(src.size());
    }
    stepThroughScope(src, QString(), matchCase, matchWord, scope, false);
}

// ---- Replace All ----

int DODIvez::replaceAllInFile(QString fileName, QString src, QString dst, bool matchCase, bool matchWord)
{
    const int open = view->indexOfSource(fileName);
    OpenPage page = openPage(view, open);
    const int count = replaceAllIn(view, fileName, TextMatcher(src, matchCase, matchWord), dst, page);
    if (count > 0)
        view->setCurrentWidget(page.widget());
    return count;
}

void DODIvez::replaceAll(QString src, QString dst, bool matchCase, bool matchWord, int scope)
{
    if (scope == 0 && !view->getCurrentSource())
        return;
    QStringList files = scopeFiles(scope);
    files.removeDuplicates();
    const TextMatcher matcher(src, matchCase, matchWord);
    const QHash<QString, OpenPage> open = openPages(view);
    qint64 total = 0;
    {
        // Hundreds of files may open here: their tabs open behind the
        // current one, and only the last changed file's tab is shown.
        view->beginManyChanges();
        QWidget *last = nullptr;
        for (const QString &file : std::as_const(files)) {
            OpenPage page = open.value(file);
            if (const int count = replaceAllIn(view, file, matcher, dst, page)) {
                total += count;
                last = page.widget();
            }
        }
        if (last)
            view->setCurrentWidget(last);
        view->endManyChanges();
    }
    Dialogs::information(this, QStringLiteral("Viziro"), QStringLiteral("%1 occurrence(s) replaced.").arg(total));
}

// ---- Find All ----

void DODIvez::findInFiles(QStringList files, QString text, bool matchCase, bool matchWord, int outputWindow)
{
    files.removeDuplicates();
    const TextMatcher matcher(text, matchCase, matchWord);
    if (matcher.findsNothing() || files.isEmpty())
        return;
    const QHash<QString, OpenPage> open = openPages(view);
    // Open files are searched as the user sees them, unsaved edits included.
    QList<SearchSource> sources;
    sources.reserve(files.size());
    for (const QString &file : std::as_const(files)) {
        const auto page = open.constFind(file);
        if (page != open.cend())
            sources.append(SearchSource{file, page->text(), true});
        else
            sources.append(SearchSource{file, QString(), false});
    }
    findResultTrees[windowIndex(outputWindow)]->fill(new FileSearch(sources, matcher));
}

void DODIvez::findAllInScope(int scope, const QString &text, bool matchCase, bool matchWord, int outputWindow)
{
    const int n = windowIndex(outputWindow);
    findResultTrees[n]->clear();
    findInFiles(scopeFiles(scope), text, matchCase, matchWord, n);
    // A hidden dock stays hidden.
    findResultDocks[n]->raise();
    QEvent zOrder(QEvent::ZOrderChange);
    QCoreApplication::sendEvent(findResultDocks[n], &zOrder);
}

void DODIvez::findInCurrentDocument(QString text, bool matchCase, bool matchWord, int outputWindow)
{
    findAllInScope(0, text, matchCase, matchWord, outputWindow);
}

void DODIvez::findInAllOpenedDocuments(QString text, bool matchCase, bool matchWord, int outputWindow)
{
    findAllInScope(1, text, matchCase, matchWord, outputWindow);
}

void DODIvez::findInProject(QString text, bool matchCase, bool matchWord, int outputWindow)
{
    findAllInScope(2, text, matchCase, matchWord, outputWindow);
}

} // namespace ov
