// Function list, completion, tool tips and the navigation context menu.
#include "editor/sourceedit.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QCompleter>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStringListModel>
#include <QToolTip>
#include <algorithm>

#include "editor/core/includetarget.h"
#include "editor/mainview.h"
#include "host/dialogs.h"
#include "project/project.h"

namespace ov {

namespace {

// Typing one of these ends a word and closes the completion popup. The
// underscore is part of names and is not among them.
const QString EndOfWord = QStringLiteral("~!@#$%^&*()+{}|:\"<>?,./;'[]\\-=");

QList<PHPFunctionDefinition> inFileOrder(const PHPFileDescription &d)
{
    QList<PHPFunctionDefinition> functions = d.functions.values();
    std::stable_sort(functions.begin(), functions.end(),
                     [](const PHPFunctionDefinition &a, const PHPFunctionDefinition &b) {
                         return a.startPos < b.startPos;
                     });
    return functions;
}

QString canonicalPath(const QDir &dir, const QString &name)
{
    return QFileInfo(dir.filePath(name)).canonicalFilePath();
}

} // namespace

void SourceEdit::updateFunctionList()
{
    fillFunctionList();
}

void SourceEdit::fillFunctionList()
{
    const Project *p = project();
    if (!p)
        return;
    const PHPFileDescription d = p->getPHPFileDescription(fileName);
    if (d.name != fileName)
        return;
    updatingFunctionList = true;
    functionList->clear();
    // In the order of the file: the model's table is a hash whose order
    // changes from one session to the next.
    for (const PHPFunctionDefinition &f : inFileOrder(d))
        functionList->addItem(f.declaration, QVariant());
    updatingFunctionList = false;
}

void SourceEdit::goToFunction(QString text)
{
    const Project *p = project();
    if (updatingFunctionList || !p)
        return;
    const PHPFileDescription d = p->getPHPFileDescription(fileName);
    if (d.name != fileName)
        return;
    int target = -1;
    for (const PHPFunctionDefinition &f : inFileOrder(d))
        if (f.declaration == text)
            target = f.startPos;
    if (target >= 0)
        goToPosition(target);
}

void SourceEdit::updateCompletionWords()
{
    const Project *p = project();
    if (!p || !view)
        return;
    const int pos = textCursor().position();
    QStringList locals;
    const PHPFileDescription d = p->getPHPFileDescription(fileName);
    for (const PHPFunctionDefinition &f : d.functions)
        if (f.startPos < pos && pos < f.endPos)
            locals += f.localVariables;
    if (completionWords.update(view->getFunctionNames(), locals))
        completerModel->setStringList(completionWords.words());
}

bool SourceEdit::completerTakesKey(QKeyEvent *e)
{
    if (!completer->popup()->isVisible())
        return false;
    switch (e->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // The completer acts on these once the editor has ignored them.
        e->ignore();
        return true;
    default:
        return false;
    }
}

// The word before the cursor with its leading "$": variables are listed
// with it, and a lone "$" opens the list of variables.
QString SourceEdit::completionPrefixAtCursor() const
{
    const QTextCursor word = wordUnderCursor(textCursor());
    QString prefix = word.selectedText();
    const int start = prefix.isEmpty() ? textCursor().position() : word.selectionStart();
    if (!prefix.startsWith(QLatin1Char('$')) && start > 0
        && document()->characterAt(start - 1) == QLatin1Char('$'))
        prefix.prepend(QLatin1Char('$'));
    return prefix;
}

// The word of "<?php" (or of "<?xml") names no function: offering one
// there would take the Return that ends the tag's line.
bool SourceEdit::inOpeningTag() const
{
    const QTextCursor word = wordUnderCursor(textCursor());
    const int start = word.hasSelection() ? word.selectionStart() : textCursor().position();
    return start >= 2 && document()->characterAt(start - 1) == QLatin1Char('?')
           && document()->characterAt(start - 2) == QLatin1Char('<');
}

void SourceEdit::updateCompletionPopup(QKeyEvent *e, bool shortcut)
{
    const Qt::KeyboardModifiers modifiers = e->modifiers();
    const bool ctrlOrShift = modifiers & (Qt::ControlModifier | Qt::ShiftModifier);
    const QString text = e->text();
    if (ctrlOrShift && text.isEmpty())
        return;

    const QString prefix = completionPrefixAtCursor();
    const bool otherModifier = modifiers != Qt::NoModifier && !ctrlOrShift;

    const bool show = shortcut
                      || (!otherModifier && !text.isEmpty() && prefix.size() >= 2
                          && !EndOfWord.contains(text.right(1)))
                      || prefix == QLatin1String("$");
    QAbstractItemView *popup = completer->popup();
    if (!show || inOpeningTag()) {
        popup->hide();
        return;
    }
    if (prefix != completer->completionPrefix()) {
        completer->setCompletionPrefix(prefix);
        popup->setCurrentIndex(completer->completionModel()->index(0, 0));
    }
    QRect rect = cursorRect();
    rect.translate(addInfoPanelWidth(), functionList->height());
    rect.setWidth(popup->sizeHintForColumn(0) + popup->verticalScrollBar()->sizeHint().width());
    completer->complete(rect);
}

void SourceEdit::insertCompletion(QString completion)
{
    if (completer->widget() != this)
        return;
    const QString prefix = completer->completionPrefix();
    QTextCursor tc = textCursor();
    tc.movePosition(QTextCursor::EndOfWord);
    // The completer matches without regard to case: replace what was typed,
    // so that "$Fo" completed to "$foo" names the variable that exists.
    QTextCursor typed = tc;
    typed.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, int(prefix.size()));
    if (!prefix.isEmpty() && typed.selectedText().compare(prefix, Qt::CaseInsensitive) == 0) {
        typed.insertText(completion);
        setTextCursor(typed);
        return;
    }
    tc.insertText(completion.right(completion.size() - prefix.size()));
    setTextCursor(tc);
}

bool SourceEdit::event(QEvent *e)
{
    if (e->type() == QEvent::ToolTip) {
        const QTextCursor c = wordUnderCursor(cursorForPosition(mousePos));
        const QString word = c.selectedText();
        const Project *p = project();
        if (p && view && !word.isEmpty() && view->getFunctionNames().contains(word)
            && !p->isBuiltinFunction(word)) {
            const QList<PHPFunctionDefinition> definitions = p->findFunctionDefinitions(word);
            if (!definitions.isEmpty())
                QToolTip::showText(globalMousePos, definitions.first().declaration, this);
        }
    }
    return QPlainTextEdit::event(e);
}

void SourceEdit::contextMenuEvent(QContextMenuEvent *e)
{
    QMenu *menu = createStandardContextMenu();
    // Its Paste pastes as the Edit menu does: tabs expanded, the clipboard
    // looked at first.
    if (QAction *paste = menu->findChild<QAction *>(QStringLiteral("edit-paste"))) {
        disconnect(paste, &QAction::triggered, nullptr, nullptr);
        connect(paste, &QAction::triggered, this, &SourceEdit::paste2);
    }
    const QTextCursor clicked = cursorForPosition(e->pos());
    const QTextCursor current = textCursor();
    if (clicked.position() < current.selectionStart() || clicked.position() > current.selectionEnd())
        setTextCursor(clicked);

    QTextCursor lineCursor = clicked;
    lineCursor.select(QTextCursor::LineUnderCursor);
    const QString line = lineCursor.selectedText();
    static const QRegularExpression include(
        QStringLiteral("\\b(include_once|include|require_once|require)\\s+('|\")\\S+('|\")"));
    const QRegularExpressionMatch match = include.match(line);
    QAction *first = menu->actions().value(0);
    includeCandidates.clear();
    if (match.hasMatch()) {
        const QString quote = match.captured(2);
        const QString name = line.section(quote, 1, 1);
        if (quote == match.captured(3) && !name.isEmpty()) {
            includeFileName = name;
            openIncludeAction->setText(QStringLiteral("Open '%1'").arg(name));
            menu->insertAction(first, openIncludeAction);
            menu->insertSeparator(first);
        }
    } else {
        offerInclude(line, menu, first);
        QTextCursor wordCursor = clicked;
        wordCursor.select(QTextCursor::WordUnderCursor);
        const QString word = wordCursor.selectedText();
        const Project *p = project();
        if (p && !word.isEmpty() && !p->isBuiltinFunction(word) && p->getAllFunctionNames().contains(word)) {
            navigationWord = word;
            goToDeclarationAction->setText(QStringLiteral("Go To Declaration"));
            showCallGraphAction->setText(QStringLiteral("Show Call Graph"));
            menu->insertAction(first, goToDeclarationAction);
            menu->insertAction(first, showCallGraphAction);
            menu->insertSeparator(first);
        }
    }
    menu->exec(e->globalPos());
    delete menu;
}

void SourceEdit::offerInclude(const QString &line, QMenu *menu, QAction *before)
{
    const IncludeTarget target = IncludeTarget::parse(line);
    QString shown = target.path;
    switch (target.kind) {
    case IncludeTarget::None:
        return;
    case IncludeTarget::Plain:
        // Looked for as the plain form is.
        break;
    case IncludeTarget::InFolder:
        includeCandidates = QStringList{target.resolve(getFileDir())};
        shown = QDir(getFileDir()).relativeFilePath(includeCandidates.first());
        break;
    case IncludeTarget::Suffix: {
        const Project *p = project();
        includeCandidates = p ? target.matches(p->getProjectFiles()) : QStringList();
        if (includeCandidates.isEmpty())
            return;
        while (shown.startsWith(QLatin1Char('/')))
            shown.remove(0, 1);
        break;
    }
    }
    includeFileName = target.path;
    openIncludeAction->setText(QStringLiteral("Open '%1'").arg(shown));
    menu->insertAction(before, openIncludeAction);
    menu->insertSeparator(before);
}

void SourceEdit::openIncludeFile()
{
    if (!view)
        return;
    if (!includeCandidates.isEmpty()) {
        QString chosen = includeCandidates.first();
        if (includeCandidates.size() > 1) {
            chosen = Dialogs::getItem(this, QStringLiteral("Open included file"),
                                      QStringLiteral("Project files ending with '%1':").arg(includeFileName),
                                      includeCandidates);
        }
        if (!chosen.isEmpty())
            view->addSource(chosen);
        return;
    }
    if (includeFileName.isEmpty())
        return;
    // Beside this file first, then beside the project file.
    QString path = canonicalPath(QFileInfo(fileName).dir(), includeFileName);
    if (view->addSource(path))
        return;
    const Project *p = project();
    if (p && !p->getProjectFileName().isEmpty()) {
        path = canonicalPath(QFileInfo(p->getProjectFileName()).dir(), includeFileName);
        view->addSource(path);
    }
}

void SourceEdit::goToDeclaration()
{
    const Project *p = project();
    if (!p || !view)
        return;
    const QStringList files = p->findFunctionFiles(navigationWord);
    if (files.isEmpty())
        return;
    view->addSource(files.first());
    SourceEdit *editor = view->getSource(files.first());
    const QList<PHPFunctionDefinition> definitions = p->findFunctionDefinitions(navigationWord);
    if (editor && !definitions.isEmpty())
        editor->goToPosition(definitions.first().startPos);
}

void SourceEdit::goToDeclarationAtCursor()
{
    const Project *p = project();
    const QString word = wordUnderCursor(textCursor()).selectedText();
    // The same test as the context menu's.
    if (!p || word.isEmpty() || p->isBuiltinFunction(word) || !p->getAllFunctionNames().contains(word))
        return;
    navigationWord = word;
    goToDeclaration();
}

void SourceEdit::showCallGraph()
{
    const Project *p = project();
    if (!p || !view)
        return;
    const QList<PHPFunctionDefinition> definitions = p->findFunctionDefinitions(navigationWord);
    if (!p->findFunctionFiles(navigationWord).isEmpty() && !definitions.isEmpty())
        view->showCallGraph(definitions.first());
}

} // namespace ov
