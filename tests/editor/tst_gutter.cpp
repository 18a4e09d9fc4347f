// The editor's gutter: its width, clicks that toggle bookmarks, the line
// list handed to the project and the bookmarks put back on their lines.
#include <QFontMetrics>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

#include "app/dodivez.h"
#include "editor/addinfopanel.h"
#include "editor/mainview.h"
#include "project/project.h"
#include "sourceeditfixture.h"

using namespace ov;

namespace {

QString linesText(int count)
{
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines << QStringLiteral("line %1").arg(i + 1);
    return lines.join(QLatin1Char('\n'));
}

// Where the gutter shows the line with the given 0-based number.
QPoint gutterPointOf(SourceEdit *editor, int line)
{
    QTextCursor cursor(editor->document()->findBlockByNumber(line));
    const QRect r = editor->cursorRect(cursor);
    // The gutter starts at the top of the editor, the text below the function list.
    return QPoint(5, r.center().y() + editor->viewport()->y() - editor->contentsRect().top());
}

void moveToLine(SourceEdit *editor, int line)
{
    editor->setTextCursor(QTextCursor(editor->document()->findBlockByNumber(line)));
}

} // namespace

class GutterTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

private Q_SLOTS:
    void initTestCase()
    {
        ovtest::isolate();
        QVERIFY(dir.isValid());
    }

    void width_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("digits");
        QTest::newRow("empty document") << 0 << 1;
        QTest::newRow("9 lines") << 9 << 1;
        QTest::newRow("10 lines") << 10 << 2;
        QTest::newRow("99 lines") << 99 << 2;
        QTest::newRow("100 lines") << 100 << 3;
    }
    void width()
    {
        QFETCH(int, lines);
        QFETCH(int, digits);
        auto editor = ovtest::makeEditor(dir, linesText(lines));
        QVERIFY(editor);
        const int expected = digits * editor->fontMetrics().horizontalAdvance(QLatin1Char('9')) + 30;
        QCOMPARE(editor->addInfoPanelWidth(), expected);
        QCOMPARE(editor->findChild<AddInfoPanel *>()->sizeHint().width(), expected);
        QCOMPARE(editor->viewport()->x() - editor->contentsRect().left(), expected);
    }

    void widthFollowsTyping()
    {
        auto editor = ovtest::makeEditor(dir, linesText(9));
        QVERIFY(editor);
        const int oneDigit = editor->addInfoPanelWidth();
        editor->moveCursor(QTextCursor::End);
        QTest::keyClick(editor.get(), Qt::Key_Return);
        const int twoDigits = editor->addInfoPanelWidth();
        QCOMPARE(twoDigits - oneDigit, editor->fontMetrics().horizontalAdvance(QLatin1Char('9')));
        QCOMPARE(editor->viewport()->x() - editor->contentsRect().left(), twoDigits);
        QTest::keyClick(editor.get(), Qt::Key_Backspace);
        QCOMPARE(editor->viewport()->x() - editor->contentsRect().left(), oneDigit);
    }

    void clickToggles()
    {
        auto editor = ovtest::makeEditor(dir, linesText(6));
        QVERIFY(editor);
        auto *gutter = editor->findChild<AddInfoPanel *>();
        moveToLine(editor.get(), 5);
        const int cursorBefore = editor->textCursor().position();
        QSignalSpy changed(editor.get(), &SourceEdit::bookmarksChanged);

        QTest::mousePress(gutter, Qt::LeftButton, {}, gutterPointOf(editor.get(), 1));
        QCOMPARE(editor->bookmarkLines(), QList<int>{1});
        QCOMPARE(changed.count(), 1);
        QCOMPARE(editor->textCursor().position(), cursorBefore);

        QTest::mousePress(gutter, Qt::RightButton, {}, gutterPointOf(editor.get(), 3));
        QCOMPARE(editor->bookmarkLines(), QList<int>{1});
        QCOMPARE(changed.count(), 1);

        // Empty space below the last line marks nothing.
        QTest::mousePress(gutter, Qt::LeftButton, {}, QPoint(5, gutter->height() - 3));
        QCOMPARE(editor->bookmarkLines(), QList<int>{1});

        QTest::mousePress(gutter, Qt::LeftButton, {}, gutterPointOf(editor.get(), 1));
        QCOMPARE(editor->bookmarkLines(), QList<int>());
        QCOMPARE(changed.count(), 2);
        QCOMPARE(editor->textCursor().position(), cursorBefore);
    }

    void commandsOnTheCursorLine()
    {
        auto editor = ovtest::makeEditor(dir, linesText(6));
        QVERIFY(editor);
        QSignalSpy changed(editor.get(), &SourceEdit::bookmarksChanged);
        // Lines 1 and 5 as displayed are handed over as 0 and 4.
        moveToLine(editor.get(), 4);
        editor->addBookmarkToCurrentLine();
        moveToLine(editor.get(), 0);
        QVERIFY(!editor->hasBookmarkInCurrentLiane());
        editor->addBookmarkToCurrentLine();
        editor->addBookmarkToCurrentLine();
        QVERIFY(editor->hasBookmarkInCurrentLiane());
        QCOMPARE(editor->bookmarkLines(), (QList<int>{0, 4}));

        moveToLine(editor.get(), 2);
        editor->removeBookmarkFromCurrentLine(); // a line without a bookmark
        moveToLine(editor.get(), 4);
        editor->removeBookmarkFromCurrentLine();
        QVERIFY(!editor->hasBookmarkInCurrentLiane());
        QCOMPARE(editor->bookmarkLines(), QList<int>{0});
        QCOMPARE(changed.count(), 5);
        editor->addBookmarkToCurrentLine(); // reuses the line's data
        QCOMPARE(editor->bookmarkLines(), (QList<int>{0, 4}));
    }

    void restoreSkipsMissingLines()
    {
        auto editor = ovtest::makeEditor(dir, linesText(5));
        QVERIFY(editor);
        BookmarkData::mark(editor->document(), {4, 0, 5, 99, -1});
        QCOMPARE(editor->bookmarkLines(), (QList<int>{0, 4}));
    }

    void bookmarksTravelWithTheirLines()
    {
        auto editor = ovtest::makeEditor(dir, QStringLiteral("a\nb\nc"));
        QVERIFY(editor);
        BookmarkData::mark(editor->document(), {1});
        QTest::keyClick(editor.get(), Qt::Key_Return); // a new line above
        QCOMPARE(editor->bookmarkLines(), QList<int>{2});
        moveToLine(editor.get(), 2);
        editor->moveCursor(QTextCursor::EndOfBlock);
        // The automatic closers break and rejoin the line behind the scenes.
        QTest::keyClicks(editor.get(), QStringLiteral("(\"x"));
        QTest::keyClick(editor.get(), Qt::Key_BraceLeft);
        QCOMPARE(editor->document()->findBlockByNumber(2).text(), QStringLiteral("b(\"x{"));
        QCOMPARE(editor->bookmarkLines(), QList<int>{2});
        editor->undo();
        editor->undo();
        QCOMPARE(editor->bookmarkLines(), QList<int>{2});
    }

    void paintsTheIcon()
    {
        auto editor = ovtest::makeEditor(dir, linesText(3));
        QVERIFY(editor);
        auto *gutter = editor->findChild<AddInfoPanel *>();
        const QPoint at = gutterPointOf(editor.get(), 1);
        const QImage plain = gutter->grab().toImage();
        moveToLine(editor.get(), 1);
        editor->addBookmarkToCurrentLine();
        const QImage marked = gutter->grab().toImage();
        // The icon sits in the leftmost strip of its line; other lines are unchanged.
        QVERIFY(plain.copy(0, at.y() - 4, 14, 8) != marked.copy(0, at.y() - 4, 14, 8));
        const QPoint other = gutterPointOf(editor.get(), 2);
        QCOMPARE(plain.copy(0, other.y() - 4, 14, 8), marked.copy(0, other.y() - 4, 14, 8));
    }

    // The project holds the lines between sessions: it gets them after each
    // toggle and when the tab closes, and gives them back when the file opens.
    void handOverToTheProject()
    {
        DODIvez window{QString()};
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        Project *project = window.project();
        MainView *view = window.mainView();
        const QString file = dir.filePath(QStringLiteral("index.php"));
        QVERIFY(ovtest::writeFile(file, linesText(6).toUtf8()));
        QVERIFY(project->createProject(dir.filePath(QStringLiteral("site.vuzar"))));
        project->setBookmarks(file, {1, 99});

        QVERIFY(view->addSource(file));
        SourceEdit *editor = view->getSource(file);
        QVERIFY(editor);
        QCOMPARE(editor->bookmarkLines(), QList<int>{1}); // line 99 is past the end
        auto *gutter = editor->findChild<AddInfoPanel *>();
        QTest::mousePress(gutter, Qt::LeftButton, {}, gutterPointOf(editor, 0));
        QTest::mousePress(gutter, Qt::LeftButton, {}, gutterPointOf(editor, 4));
        QCOMPARE(project->getBookmarks(file), (QList<int>{0, 1, 4}));
        QTest::mousePress(gutter, Qt::LeftButton, {}, gutterPointOf(editor, 1));
        QCOMPARE(project->getBookmarks(file), (QList<int>{0, 4}));

        // Edits move the flags and the project's lines with them.
        moveToLine(editor, 4);
        QTest::keyClick(editor, Qt::Key_Return); // at the start of a bookmarked line
        QCOMPARE(editor->bookmarkLines(), (QList<int>{0, 5}));
        QCOMPARE(project->getBookmarks(file), (QList<int>{0, 5}));
        moveToLine(editor, 0);
        editor->moveCursor(QTextCursor::EndOfBlock);
        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(editor->bookmarkLines(), (QList<int>{0, 6}));
        QCOMPARE(project->getBookmarks(file), (QList<int>{0, 6}));
        Dialogs::queueAnswer(QVariant::fromValue(QMessageBox::Save));
        QVERIFY(view->closeTab(view->indexOf(editor)));
        QCOMPARE(project->getBookmarks(file), (QList<int>{0, 6}));

        QVERIFY(view->addSource(file));
        editor = view->getSource(file);
        QCOMPARE(editor->bookmarkLines(), (QList<int>{0, 6}));
        moveToLine(editor, 1);
        editor->removeBookmarkFromCurrentLine();
        QCOMPARE(project->getBookmarks(file), (QList<int>{0, 6}));
        moveToLine(editor, 0);
        editor->removeBookmarkFromCurrentLine();
        moveToLine(editor, 6);
        editor->removeBookmarkFromCurrentLine();
        QCOMPARE(project->getBookmarks(file), QList<int>());
    }

    // The gutter, Next Bookmark and the project file agree while lines are
    // added above a bookmark; closed without saving, the file keeps the
    // bookmarks it had as saved.
    void projectFollowsEditsAndDiscards()
    {
        const QByteArray original = ovtest::readFile(QStringLiteral("/usr/share/wordpress/wp-login.php"));
        if (original.isEmpty())
            QSKIP("needs Debian's wordpress package");
        DODIvez window{QString()};
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        Project *project = window.project();
        MainView *view = window.mainView();
        const QString file = dir.filePath(QStringLiteral("wp-login.php"));
        const QString projectFile = dir.filePath(QStringLiteral("wp.vuzar"));
        QVERIFY(ovtest::writeFile(file, original));
        QVERIFY(project->createProject(projectFile));
        QVERIFY(view->addSource(file));
        SourceEdit *editor = view->getSource(file);
        moveToLine(editor, 73); // line 74 as shown
        editor->addBookmarkToCurrentLine();

        QTextCursor at(editor->document()->findBlockByNumber(69));
        at.insertText(QStringLiteral("// one\n// two\n// three\n"));
        QCOMPARE(editor->bookmarkLines(), QList<int>{76});
        QCOMPARE(project->getBookmarks(file), QList<int>{76});
        moveToLine(editor, 0);
        project->showNextBookmark();
        QCOMPARE(editor->textCursor().blockNumber(), 76);
        QVERIFY(project->saveProject());
        QVERIFY(ovtest::readFile(projectFile).contains("LineNumber=\"76\""));

        // Lines removed above, the same.
        at.movePosition(QTextCursor::Up, QTextCursor::KeepAnchor, 3);
        at.removeSelectedText();
        QCOMPARE(project->getBookmarks(file), QList<int>{73});
        at.insertText(QStringLiteral("// four\n"));
        QCOMPARE(project->getBookmarks(file), QList<int>{74});

        Dialogs::queueAnswer(QVariant::fromValue(QMessageBox::Discard));
        QVERIFY(view->closeTab(view->indexOf(editor)));
        QCOMPARE(project->getBookmarks(file), QList<int>{73});
        QVERIFY(ovtest::readFile(file) == original);

        // Set while every line is where it was, a bookmark belongs to the
        // file as saved.
        QVERIFY(view->addSource(file));
        editor = view->getSource(file);
        QCOMPARE(editor->bookmarkLines(), QList<int>{73});
        QTextCursor(editor->document()).insertText(QStringLiteral("// edited in place "));
        moveToLine(editor, 5);
        editor->addBookmarkToCurrentLine();
        Dialogs::queueAnswer(QVariant::fromValue(QMessageBox::Discard));
        QVERIFY(view->closeTab(view->indexOf(editor)));
        QCOMPARE(project->getBookmarks(file), (QList<int>{5, 73}));
        project->setBookmarks(file, {73});

        // Saved with a line added: that file's bookmarks stand after later
        // edits are dropped; one set while unmodified belongs to it too.
        QVERIFY(view->addSource(file));
        editor = view->getSource(file);
        QTextCursor(editor->document()).insertText(QStringLiteral("// top\n"));
        QVERIFY(editor->saveDocument());
        moveToLine(editor, 10);
        editor->addBookmarkToCurrentLine();
        QTextCursor(editor->document()).insertText(QStringLiteral("// unsaved\n// unsaved\n"));
        QCOMPARE(project->getBookmarks(file), (QList<int>{12, 76}));
        Dialogs::queueAnswer(QVariant::fromValue(QMessageBox::Discard));
        QVERIFY(view->closeTab(view->indexOf(editor)));
        QCOMPARE(project->getBookmarks(file), (QList<int>{10, 74}));
    }
};

QTEST_MAIN(GutterTest)
#include "tst_gutter.moc"
