// The editing keys and line commands, driven through real key events.
// Texts mark the cursor with '|' and, when there is a selection, its
// anchor with '^'. Scripts type their characters; <Name> is a special key
// or a command. The undo column lists the text after each further undo.
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QMimeData>
#include <QVBoxLayout>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "editor/longlinelayout.h"
#include "sourceeditfixture.h"

using namespace ov;

namespace {

struct Marked {
    QString text;
    int anchor = 0;
    int position = 0;
};

Marked parse(const QString &marked)
{
    Marked m;
    int anchor = -1;
    for (const QChar ch : marked) {
        if (ch == QLatin1Char('|'))
            m.position = m.text.size();
        else if (ch == QLatin1Char('^'))
            anchor = m.text.size();
        else
            m.text += ch;
    }
    m.anchor = anchor < 0 ? m.position : anchor;
    return m;
}

QString render(const QString &text, int anchor, int position)
{
    QString out = text;
    // Insert the later marker first so the earlier index stays right.
    if (anchor != position && anchor > position)
        out.insert(anchor, QLatin1Char('^'));
    out.insert(position, QLatin1Char('|'));
    if (anchor != position && anchor < position)
        out.insert(anchor, QLatin1Char('^'));
    return out;
}

QString render(const SourceEdit *editor)
{
    const QTextCursor c = editor->textCursor();
    return render(editor->toPlainText(), c.anchor(), c.position());
}

void key(SourceEdit *editor, const QString &name)
{
    static const QHash<QString, QPair<int, int>> keys = {
        {QStringLiteral("Home"), {Qt::Key_Home, Qt::NoModifier}},
        {QStringLiteral("S-Home"), {Qt::Key_Home, Qt::ShiftModifier}},
        {QStringLiteral("C-Home"), {Qt::Key_Home, Qt::ControlModifier}},
        {QStringLiteral("End"), {Qt::Key_End, Qt::NoModifier}},
        {QStringLiteral("S-End"), {Qt::Key_End, Qt::ShiftModifier}},
        {QStringLiteral("Ins"), {Qt::Key_Insert, Qt::NoModifier}},
        {QStringLiteral("Tab"), {Qt::Key_Tab, Qt::NoModifier}},
        {QStringLiteral("Ret"), {Qt::Key_Return, Qt::NoModifier}},
        {QStringLiteral("Enter"), {Qt::Key_Enter, Qt::KeypadModifier}},
        {QStringLiteral("Right"), {Qt::Key_Right, Qt::NoModifier}},
        {QStringLiteral("Down"), {Qt::Key_Down, Qt::NoModifier}},
        {QStringLiteral("C-v"), {Qt::Key_V, Qt::ControlModifier}},
        {QStringLiteral("C-y"), {Qt::Key_Y, Qt::ControlModifier}},
        {QStringLiteral("S-Tab"), {Qt::Key_Backtab, Qt::ShiftModifier}},
        {QStringLiteral("C-Left"), {Qt::Key_Left, Qt::ControlModifier}},
        {QStringLiteral("C-Right"), {Qt::Key_Right, Qt::ControlModifier}},
        {QStringLiteral("CS-Left"), {Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier}},
        {QStringLiteral("Left"), {Qt::Key_Left, Qt::NoModifier}},
    };
    // Keys that type nothing, as a real keyboard sends them between others.
    static const QHash<QString, QPair<int, int>> silent = {
        {QStringLiteral("Shift"), {Qt::Key_Shift, Qt::ShiftModifier}},
        {QStringLiteral("AltGr"), {Qt::Key_AltGr, Qt::NoModifier}},
        {QStringLiteral("Dead"), {Qt::Key_Dead_Circumflex, Qt::NoModifier}},
    };
    if (name == QLatin1String("indent"))
        editor->indent();
    else if (name == QLatin1String("unindent"))
        editor->unindent();
    else if (name == QLatin1String("comment"))
        editor->comment();
    else if (name == QLatin1String("uncomment"))
        editor->uncomment();
    else if (name == QLatin1String("undo"))
        editor->undo();
    else if (silent.contains(name)) {
        for (const QTest::KeyAction action : {QTest::Press, QTest::Release})
            QTest::sendKeyEvent(action, editor, Qt::Key(silent[name].first), QString(),
                                Qt::KeyboardModifiers(silent[name].second));
    } else if (keys.contains(name))
        QTest::keyClick(editor, Qt::Key(keys[name].first), Qt::KeyboardModifiers(keys[name].second));
    else
        QFAIL(qPrintable(QStringLiteral("unknown key <%1>").arg(name)));
}

void play(SourceEdit *editor, const QString &script)
{
    for (int i = 0; i < script.size(); ++i) {
        if (script.at(i) == QLatin1Char('<')) {
            const int close = script.indexOf(QLatin1Char('>'), i);
            key(editor, script.mid(i + 1, close - i - 1));
            i = close;
        } else {
            QTest::keyClick(editor, script.at(i).toLatin1());
        }
    }
}

} // namespace

class EditingTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    void columns()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QStringList>("undo");
    }

    void run()
    {
        QFETCH(QString, before);
        QFETCH(QString, script);
        QFETCH(QString, after);
        QFETCH(QStringList, undo);
        auto editor = ovtest::makeEditor(dir, QString());
        QVERIFY(editor);
        const Marked start = parse(before);
        editor->setPlainText(start.text);
        QTextCursor c = editor->textCursor();
        c.setPosition(start.anchor);
        c.setPosition(start.position, QTextCursor::KeepAnchor);
        editor->setTextCursor(c);

        play(editor.get(), script);
        const Marked expected = parse(after);
        QCOMPARE(render(editor.get()), render(expected.text, expected.anchor, expected.position));

        QStringList history;
        for (int i = 0; i < 20 && editor->document()->isUndoAvailable(); ++i) {
            editor->undo();
            history << editor->toPlainText();
        }
        if (history != undo)
            qDebug() << "undo history" << history;
        QCOMPARE(history, undo);
    }

private Q_SLOTS:
    void initTestCase()
    {
        ovtest::isolate();
        QVERIFY(dir.isValid());
    }

    void lineCommands_data()
    {
        columns();
        const QStringList none;
        // indent
        QTest::newRow("indent: cursor mid-line keeps its character") << "ab|c" << "<indent>" << "    ab|c" << QStringList{"abc"};
        QTest::newRow("indent: cursor at line start inserts before it") << "x\n|abc" << "<indent>" << "x\n    |abc" << QStringList{"x\nabc"};
        QTest::newRow("indent: forward selection") << "^one\ntwo\nth|ree" << "<indent>"
                                                   << "    ^one\n    two\n    th|ree" << QStringList{"one\ntwo\nthree"};
        QTest::newRow("indent: backward selection") << "|one\ntwo\nth^ree" << "<indent>"
                                                    << "    |one\n    two\n    th^ree" << QStringList{"one\ntwo\nthree"};
        QTest::newRow("indent: selection up to a line start leaves that line")
            << "a\n^b\nc\nd\n|e" << "<indent>" << "a\n    ^b\n    c\n    d\n|e" << QStringList{"a\nb\nc\nd\ne"};
        QTest::newRow("indent: last line once") << "a\nb|" << "<indent>" << "a\n    b|" << QStringList{"a\nb"};
        QTest::newRow("Tab on a selection indents") << "^one\ntw|o" << "<Tab>" << "    ^one\n    tw|o" << QStringList{"one\ntwo"};
        QTest::newRow("Tab: spaces to the next stop, one step") << "a|b" << "<Tab>" << "a   |b" << QStringList{"ab"};
        QTest::newRow("Tab at a stop: a whole unit") << "    |x" << "<Tab>" << "        |x" << QStringList{"    x"};
        QTest::newRow("Tab after a tab character") << "\tab|" << "<Tab>" << "\tab  |" << QStringList{"\tab"};
        QTest::newRow("Shift+Tab unindents the line") << "      a|b" << "<S-Tab>" << "  a|b" << QStringList{"      ab"};
        QTest::newRow("Shift+Tab on a selection") << "^    one\n  tw|o" << "<S-Tab>" << "^one\ntw|o"
                                                  << QStringList{"    one\n  two"};
        // unindent
        QTest::newRow("unindent: two spaces, then stops") << "  |x" << "<unindent>" << "|x" << QStringList{"  x"};
        QTest::newRow("unindent: at most four") << "      a|b" << "<unindent>" << "  a|b" << QStringList{"      ab"};
        QTest::newRow("unindent: word at line start, no change") << "x|yz" << "<unindent>" << "x|yz" << none;
        QTest::newRow("unindent: tabs are whitespace") << "\t\t|foo" << "<unindent>" << "|foo" << QStringList{"\t\tfoo"};
        QTest::newRow("unindent: cursor at line start") << "a\n|    b" << "<unindent>" << "a\n|b" << QStringList{"a\n    b"};
        QTest::newRow("unindent: last line once") << "a\n    b|" << "<unindent>" << "a\nb|" << QStringList{"a\n    b"};
        QTest::newRow("unindent: selection shifts back by what each end lost")
            << "^    one\n  two\n  th|ree" << "<unindent>" << "^one\ntwo\nth|ree" << QStringList{"    one\n  two\n  three"};
        QTest::newRow("unindent: end inside removed indentation stays on its line")
            << "x\n  ^  one\n    t|wo" << "<unindent>" << "x\n^one\nt|wo" << QStringList{"x\n    one\n    two"};
        // comment
        QTest::newRow("comment: four spaces") << "    fo|o" << "<comment>" << "//  fo|o" << QStringList{"    foo"};
        QTest::newRow("comment: word") << "fo|o" << "<comment>" << "//fo|o" << QStringList{"foo"};
        QTest::newRow("comment: one space") << " fo|o" << "<comment>" << "//fo|o" << QStringList{" foo"};
        QTest::newRow("comment: brace") << "} else {|" << "<comment>" << "//} else {|" << QStringList{"} else {"};
        QTest::newRow("comment: empty line stays empty") << "^a\n\n  b|" << "<comment>" << "^//a\n\n//b|" << QStringList{"a\n\n  b"};
        QTest::newRow("comment: backward selection") << "|a\nb^" << "<comment>" << "|//a\n//b^" << QStringList{"a\nb"};
        QTest::newRow("comment: cursor at line start") << "a\n|b" << "<comment>" << "a\n//|b" << QStringList{"a\nb"};
        QTest::newRow("comment: last line once") << "a\nb|" << "<comment>" << "a\n//b|" << QStringList{"a\nb"};
        // uncomment
        QTest::newRow("uncomment: keeps columns") << "  //|x" << "<uncomment>" << "    |x" << QStringList{"  //x"};
        QTest::newRow("uncomment: code before the comment") << "x // |y" << "<uncomment>" << "x // |y" << none;
        QTest::newRow("uncomment: single slash") << "/ //|x" << "<uncomment>" << "/ //|x" << none;
        QTest::newRow("uncomment: hash comment stays") << "#|x" << "<uncomment>" << "#|x" << none;
        QTest::newRow("uncomment: after a tab") << "\t//|x" << "<uncomment>" << "\t  |x" << QStringList{"\t//x"};
        QTest::newRow("uncomment: selection kept") << "^//a\n  //b|" << "<uncomment>" << "^  a\n    b|" << QStringList{"//a\n  //b"};
        QTest::newRow("uncomment: cursor at line start") << "a\n|//b" << "<uncomment>" << "a\n|  b" << QStringList{"a\n//b"};
        QTest::newRow("comment then uncomment") << "    fo|o" << "<comment><uncomment>" << "    fo|o"
                                                << QStringList{"//  foo", "    foo"};
    }
    void lineCommands() { run(); }

    void movementKeys_data()
    {
        columns();
        const QStringList none;
        QTest::newRow("Home: first word") << "    fo|o" << "<Home>" << "    |foo" << none;
        QTest::newRow("Home twice: line start") << "    fo|o" << "<Home><Home>" << "|    foo" << none;
        QTest::newRow("Home thrice: first word again") << "    fo|o" << "<Home><Home><Home>" << "    |foo" << none;
        QTest::newRow("Home: line opening with a word") << "fo|o" << "<Home>" << "|foo" << none;
        QTest::newRow("Home: empty line stays") << "a\n|\nb" << "<Home>" << "a\n|\nb" << none;
        QTest::newRow("Shift+Home selects") << "    fo|o" << "<S-Home>" << "    |fo^o" << none;
        QTest::newRow("Ctrl+Home: document start") << "a\n  b|" << "<C-Home>" << "|a\n  b" << none;
        QTest::newRow("End: last word") << "fo|o   " << "<End>" << "foo|   " << none;
        QTest::newRow("End twice: line end") << "fo|o   " << "<End><End>" << "foo   |" << none;
        QTest::newRow("End: line ending in a word") << "f|oo" << "<End>" << "foo|" << none;
        QTest::newRow("End: empty line stays") << "a\n|\nb" << "<End>" << "a\n|\nb" << none;
        QTest::newRow("End: blank line, to its end") << "a\n  |  \nb" << "<End>" << "a\n    |\nb" << none;
        QTest::newRow("Shift+End selects") << "f|oo  " << "<S-End>" << "f^oo|  " << none;
        QTest::newRow("Insert: typing overwrites") << "a|bc" << "<Ins>x" << "ax|c" << QStringList{"ac", "abc"};
        QTest::newRow("Insert twice: typing inserts") << "a|bc" << "<Ins><Ins>x" << "ax|bc" << QStringList{"abc"};
        QTest::newRow("Ctrl+Right: a variable is one word") << "|$name = 1;" << "<C-Right>" << "$name |= 1;" << none;
        QTest::newRow("Ctrl+Left: to the $") << "x = $name|" << "<C-Left>" << "x = |$name" << none;
        QTest::newRow("Ctrl+Shift+Left selects the $") << "x = $name|" << "<CS-Left>" << "x = |$name^" << none;
        const QString longLine(LongLineLayout::Limit + 1, QLatin1Char('a'));
        QTest::newRow("Ctrl+Left in a long line: to the $") << longLine + " = $name|" << "<C-Left>"
                                                             << longLine + " = |$name" << none;
        QTest::newRow("Ctrl+Right in a long line: over the variable") << "|$name = " + longLine << "<C-Right>"
                                                                      << "$name = |" + longLine << none;
        QTest::newRow("Ctrl+Y redoes") << "a|" << "b<undo><C-y>" << "ab|" << QStringList{"a"};
    }
    void movementKeys() { run(); }

    void closers_data()
    {
        columns();
        QTest::newRow("quote pair") << "a|b" << "\"" << "a\"|\"b" << QStringList{"a\"b", "ab"};
        QTest::newRow("quote typed over") << "a|b" << "\"\"" << "a\"\"|b" << QStringList{"a\"b", "ab"};
        QTest::newRow("apostrophe pair, typed over") << "|" << "''" << "''|" << QStringList{"'", ""};
        QTest::newRow("paren pair") << "a|" << "(" << "a(|)" << QStringList{"a(", "a"};
        QTest::newRow("paren typed over") << "a|" << "()" << "a()|" << QStringList{"a(", "a"};
        QTest::newRow("paren then text, typed over") << "f|" << "(x)" << "f(x)|" << QStringList{"f()", "f(", "f"};
        QTest::newRow("nested pairs with text, typed over in turn")
            << "|" << "print_r($a['k']);" << "print_r($a['k']);|"
            << QStringList{"print_r($a['k'])", "print_r($a[''])", "print_r($a['])", "print_r($a[])",
                           "print_r($a[)", "print_r()", "print_r(", ""};
        QTest::newRow("keys that type nothing keep the pending closer")
            << "a|" << "<Shift>\"<Shift><AltGr><Dead>\"<Shift>(<Shift>)" << "a\"\"()|"
            << QStringList{"a\"\"(", "a\"\"", "a\"", "a"};
        QTest::newRow("leaving the pair forgets its closer") << "|" << "(<Right><Left>)" << "()|)"
                                                             << QStringList{"()", "(", ""};
        QTest::newRow("closer typed inside, not before the pending one") << "|" << "(ab<Left>)" << "(a)|b)"
                                                                         << QStringList{"(ab)", "()", "(", ""};
        QTest::newRow("bracket pair, typed over") << "a|" << "[]" << "a[]|" << QStringList{"a[", "a"};
        QTest::newRow("bracket keeps a selection's text") << "^ab|" << "[" << "ab[|]" << QStringList{"ab[", "ab"};
        QTest::newRow("bracket at a backward selection's cursor") << "|ab^" << "[" << "[|]ab" << QStringList{"[ab", "ab"};
        QTest::newRow("quote wraps a selection") << "x ^ab| y" << "\"" << "x \"|ab\" y" << QStringList{"x ab y"};
        QTest::newRow("apostrophe wraps a selection") << "|ab^" << "'" << "'|ab'" << QStringList{"ab"};
        QTest::newRow("paren wraps a selection") << "^ab|" << "(" << "(|ab)" << QStringList{"ab"};
        QTest::newRow("slash wraps a selection in a comment") << "^ab|" << "/" << "/*|ab*/" << QStringList{"ab"};
        QTest::newRow("slash alone") << "a|" << "/" << "a/|" << QStringList{"a"};
        QTest::newRow("closer after an undo types normally") << "a|" << "(<undo>)" << "a()|" << QStringList{"a(", "a"};
        QTest::newRow("closer after Home types where the cursor is") << "a|" << "(<Home>)" << ")|a()"
                                                                      << QStringList{"a()", "a(", "a"};
        QTest::newRow("other key drops the pending quote") << "|" << "\"<Right>\"" << "\"\"\"|\""
                                                           << QStringList{"\"\"\"", "\"\"", "\"", ""};
    }
    void closers() { run(); }

    void braces_data()
    {
        columns();
        QTest::newRow("brace block") << "    if ($a) |" << "{" << "    if ($a) {\n        |\n    }"
                                     << QStringList{"    if ($a) {", "    if ($a) "};
        QTest::newRow("brace block, unindented line") << "if|" << "{" << "if{\n    |\n}" << QStringList{"if{", "if"};
        QTest::newRow("brace typed over") << "a|" << "{}" << "a{}|" << QStringList{"a{", "a"};
        QTest::newRow("brace wrap after a code line")
            << "if ($x)\n^    foo();\n    bar();|" << "{"
            << "if ($x)\n{\n        foo();\n        bar();|\n    }\n    "
            << QStringList{"if ($x)\n    foo();\n    bar();"};
        QTest::newRow("brace wrap after an empty line")
            << "    if ($x)\n\n^    foo();|" << "{" << "    if ($x)\n\n    {\n        foo();|\n    }\n    "
            << QStringList{"    if ($x)\n\n    foo();"};
        QTest::newRow("brace wrap keeps blank lines and relative indentation")
            << "x;\n^\n  a\n\n    b|" << "{" << "x;\n{\n\n        a\n\n          b|\n    }\n    "
            << QStringList{"x;\n\n  a\n\n    b"};
        QTest::newRow("brace wrap from mid-line") << "    $a = ^f();|" << "{" << "    $a = {\n        f();|\n    }\n    "
                                                   << QStringList{"    $a = f();"};
    }
    void braces() { run(); }

    void returnKey_data()
    {
        columns();
        QTest::newRow("after an opening brace") << "    foreach ($x as $y) {|" << "<Ret>"
                                                << "    foreach ($x as $y) {\n        |"
                                                << QStringList{"    foreach ($x as $y) {"};
        QTest::newRow("after a statement") << "    $a = 1;|" << "<Ret>" << "    $a = 1;\n    |" << QStringList{"    $a = 1;"};
        QTest::newRow("after a case label") << "    case 1:  |" << "<Ret>" << "    case 1:  \n        |"
                                            << QStringList{"    case 1:  "};
        QTest::newRow("after an empty line") << "    $a = 1;\n|" << "<Ret>" << "    $a = 1;\n\n    |"
                                             << QStringList{"    $a = 1;\n"};
        QTest::newRow("empty first line has no indentation") << "|\nfoo" << "<Ret>" << "\n|\nfoo" << QStringList{"\nfoo"};
        QTest::newRow("replaces a selection") << "    ab^cd|ef" << "<Ret>" << "    ab\n    |ef" << QStringList{"    abcdef"};
        QTest::newRow("at a line start") << "a\n|  b" << "<Ret>" << "a\n\n  |  b" << QStringList{"a\n  b"};
        QTest::newRow("keypad Enter is plain") << "    a|" << "<Enter>" << "    a\n|" << QStringList{"    a"};
        QTest::newRow("typing after Return is its own step") << "  a|" << "<Ret>b" << "  a\n  b|"
                                                             << QStringList{"  a\n  ", "  a"};
    }
    void returnKey() { run(); }

    void returnSplitsPair_data()
    {
        columns();
        QTest::newRow("brackets") << "    $a = |;" << "[<Ret>" << "    $a = [\n        |\n    ];"
                                  << QStringList{"    $a = [];", "    $a = [;", "    $a = ;"};
        QTest::newRow("parentheses") << "f|" << "(<Ret>" << "f(\n    |\n)" << QStringList{"f()", "f(", "f"};
        QTest::newRow("not with text inside") << "f|" << "(a<Ret>)" << "f(a\n)|)"
                                              << QStringList{"f(a\n)", "f(a)", "f()", "f(", "f"};
        QTest::newRow("quotes break plainly") << "|" << "\"<Ret>" << "\"\n|\"" << QStringList{"\"\"", "\"", ""};
    }
    void returnSplitsPair() { run(); }

    // Dead keys and other input methods commit text without a key event:
    // a composed quote pairs and types over like a typed one, and the
    // composing in between changes nothing.
    void inputMethodCommitsFollowTheCloserRules()
    {
        auto editor = ovtest::makeEditor(dir, QString());
        QVERIFY(editor);
        const auto send = [&](const QString &preedit, const QString &commit) {
            QInputMethodEvent event(preedit, {});
            event.setCommitString(commit);
            QCoreApplication::sendEvent(editor.get(), &event);
        };
        send(QString(), QStringLiteral("\""));
        QCOMPARE(render(editor.get()), QStringLiteral("\"|\""));
        send(QStringLiteral("^"), QString());
        send(QString(), QStringLiteral("\u00ea"));
        send(QStringLiteral("\u00b4"), QString());
        send(QString(), QStringLiteral("\""));
        QCOMPARE(render(editor.get()), QStringLiteral("\"\u00ea\"|"));
    }

    void insertKeySignalsOverwriteMode()
    {
        auto editor = ovtest::makeEditor(dir, QStringLiteral("abc"));
        QVERIFY(editor);
        QSignalSpy spy(editor.get(), &SourceEdit::overwriteModeChanged);
        QTest::keyClick(editor.get(), Qt::Key_Insert);
        QTest::keyClick(editor.get(), Qt::Key_Insert);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(0).toBool(), true);
        QCOMPARE(spy.at(1).at(0).toBool(), false);
        QVERIFY(!editor->overwriteMode());
    }

    void readOnlyEditorTakesNoText()
    {
        auto editor = ovtest::makeEditor(dir, QStringLiteral("    ab"));
        QVERIFY(editor);
        editor->setReadOnly(true);
        editor->moveCursor(QTextCursor::End);
        play(editor.get(), QStringLiteral("(\"{<Ret><Home>"));
        QCOMPARE(render(editor.get()), QStringLiteral("    |ab"));
    }

    void pasteExpandsTabs_data()
    {
        QTest::addColumn<bool>("byKey");
        QTest::newRow("paste2") << false;
        QTest::newRow("Ctrl+V") << true;
    }
    void pasteExpandsTabs()
    {
        QFETCH(bool, byKey);
        auto editor = ovtest::makeEditor(dir, QStringLiteral("x"));
        QVERIFY(editor);
        editor->moveCursor(QTextCursor::End);
        QGuiApplication::clipboard()->setText(QStringLiteral("\tif {\n\t\ta;"));
        if (byKey)
            play(editor.get(), QStringLiteral("<C-v>"));
        else
            editor->paste2();
        QCOMPARE(editor->toPlainText(), QStringLiteral("x    if {\n        a;"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("    if {\n        a;"));
    }

    // Nothing to paste is no fault: no data, data without text, or text so
    // large that it makes one long line.
    void pasteOfWhatIsNoText_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("no data") << "none";
        QTest::newRow("empty clipboard") << "empty";
        QTest::newRow("image only") << "image";
        QTest::newRow("huge text") << "huge";
    }
    void pasteOfWhatIsNoText()
    {
        QFETCH(QString, kind);
        auto editor = ovtest::makeEditor(dir, QStringLiteral("x"));
        QVERIFY(editor);
        editor->moveCursor(QTextCursor::End);
        QClipboard *clipboard = QGuiApplication::clipboard();
        QString expected = QStringLiteral("x");
        if (kind == QLatin1String("none")) {
            clipboard->setMimeData(nullptr);
        } else if (kind == QLatin1String("empty")) {
            clipboard->clear();
        } else if (kind == QLatin1String("image")) {
            auto *data = new QMimeData;
            QImage image(4, 4, QImage::Format_RGB32);
            image.fill(Qt::red);
            data->setImageData(image);
            clipboard->setMimeData(data);
        } else {
            const QString huge = QString(4 * 1024 * 1024, QLatin1Char('a')) + QLatin1Char('\t');
            clipboard->setText(huge);
            expected += QString(huge).replace(QLatin1Char('\t'), QLatin1String("    "));
        }
        editor->paste2();
        if (kind != QLatin1String("huge"))
            play(editor.get(), QStringLiteral("<C-v>"));
        QCOMPARE(editor->document()->characterCount() - 1, expected.size());
        QVERIFY(editor->toPlainText() == expected);
    }

    // The context menu's Paste is the same paste.
    void contextMenuPasteExpandsTabs()
    {
        auto editor = ovtest::makeEditor(dir, QStringLiteral("x"));
        QVERIFY(editor);
        QGuiApplication::clipboard()->setText(QStringLiteral("\ty"));
        bool found = false;
        QTimer::singleShot(0, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QAction *paste = menu ? menu->findChild<QAction *>(QStringLiteral("edit-paste")) : nullptr;
            found = paste;
            if (paste)
                paste->trigger();
            if (menu)
                menu->close();
        });
        const QPoint at = editor->cursorRect().center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, editor->viewport()->mapToGlobal(at));
        QApplication::sendEvent(editor->viewport(), &event);
        QVERIFY(found);
        QCOMPARE(editor->toPlainText(), QStringLiteral("    yx"));
    }

    // Shift+Tab stays in the editor: passed on, it would move the focus to
    // the widget before it.
    void shiftTabKeepsTheFocus()
    {
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *before = new QLineEdit(&window);
        layout->addWidget(before);
        auto made = ovtest::makeEditor(dir, QStringLiteral("    x"));
        QVERIFY(made);
        SourceEdit *editor = made.release();
        editor->setParent(&window);
        layout->addWidget(editor);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        editor->setFocus();
        QCOMPARE(window.focusWidget(), editor);
        editor->moveCursor(QTextCursor::End);
        QTest::keyClick(editor, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(window.focusWidget(), editor);
        QCOMPARE(editor->toPlainText(), QStringLiteral("x"));
    }

    // A tab typed before, or pasted by another program, lines up with the
    // four spaces loading makes of it.
    void tabStopIsFourCharacters()
    {
        auto editor = ovtest::makeEditor(dir, QStringLiteral("\tx\n    x"));
        QVERIFY(editor);
        QTextCursor tab(editor->document()->findBlockByNumber(0));
        tab.setPosition(1);
        QTextCursor spaces(editor->document()->findBlockByNumber(1));
        spaces.setPosition(spaces.position() + 4);
        QCOMPARE(editor->cursorRect(tab).left(), editor->cursorRect(spaces).left());
    }

    void doubleClickSelectsTheVariable_data()
    {
        QTest::addColumn<int>("at");
        QTest::newRow("on the name") << 7;
        QTest::newRow("on the $") << 5;
    }
    void doubleClickSelectsTheVariable()
    {
        QFETCH(int, at);
        auto editor = ovtest::makeEditor(dir, QStringLiteral("echo $name;"));
        QVERIFY(editor);
        QTextCursor c = editor->textCursor();
        c.setPosition(at);
        const QPoint point = editor->cursorRect(c).center() + QPoint(2, 0);
        QTest::mouseDClick(editor->viewport(), Qt::LeftButton, Qt::NoModifier, point);
        QCOMPARE(editor->textCursor().selectedText(), QStringLiteral("$name"));
    }
};

QTEST_MAIN(EditingTest)
#include "tst_editing.moc"
