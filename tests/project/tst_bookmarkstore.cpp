#include "project/core/bookmarkstore.h"

#include <QTest>

using namespace ov;

Q_DECLARE_METATYPE(BookmarkMap)

class TestBookmarkStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void editing()
    {
        BookmarkStore store;
        store.add(QStringLiteral("/p/b.php"), 7);
        store.add(QStringLiteral("/p/b.php"), 2);
        store.add(QStringLiteral("/p/b.php"), 7);
        QCOMPARE(store.get(QStringLiteral("/p/b.php")), QList<int>({7, 2}));
        QVERIFY(store.has(QStringLiteral("/p/b.php"), 2));
        QVERIFY(!store.has(QStringLiteral("/p/b.php"), 3));

        QVERIFY(store.get(QStringLiteral("/p/none.php")).isEmpty());
        QVERIFY(!store.map().contains(QStringLiteral("/p/none.php")));

        store.remove(QStringLiteral("/p/b.php"), 7);
        store.remove(QStringLiteral("/p/b.php"), 2);
        QVERIFY(store.map().contains(QStringLiteral("/p/b.php")));
        store.remove(QStringLiteral("/p/c.php"), 1);
        QVERIFY(store.map().contains(QStringLiteral("/p/c.php")));

        store.set(QStringLiteral("/p/a.php"), {1, 5});
        QCOMPARE(store.get(QStringLiteral("/p/a.php")), QList<int>({1, 5}));
        store.set(QStringLiteral("/p/a.php"), {});
        QVERIFY(!store.map().contains(QStringLiteral("/p/a.php")));
        store.clear();
        QVERIFY(store.map().isEmpty());
    }

    void traversal_data()
    {
        QTest::addColumn<BookmarkMap>("marks");
        QTest::addColumn<QString>("steps"); // n = next, p = previous
        QTest::addColumn<QStringList>("visits");
        const QString a = QStringLiteral("/p/a.php"), b = QStringLiteral("/p/b.php"), c = QStringLiteral("/p/c.php");
        const BookmarkMap two{{a, {3, 10}}, {b, {5}}};
        QTest::newRow("next walks files in path order and wraps")
            << two << "nnnn" << QStringList{"a.php:3", "a.php:10", "b.php:5", "a.php:3"};
        QTest::newRow("previous starts at the first and wraps to the last")
            << two << "pppp" << QStringList{"a.php:3", "b.php:5", "a.php:10", "a.php:3"};
        QTest::newRow("mixed") << two << "nnpn" << QStringList{"a.php:3", "a.php:10", "a.php:3", "a.php:10"};
        QTest::newRow("single bookmark")
            << BookmarkMap{{b, {5}}} << "npnp" << QStringList{"b.php:5", "b.php:5", "b.php:5", "b.php:5"};
        QTest::newRow("unsorted lists from the project file")
            << BookmarkMap{{a, {9, 2, 6}}} << "nnnp" << QStringList{"a.php:9", "a.php:9", "a.php:9", "a.php:6"};
        QTest::newRow("emptied lists are skipped")
            << BookmarkMap{{a, {}}, {b, {4}}, {c, {}}} << "nnpp" << QStringList{"b.php:4", "b.php:4", "b.php:4", "b.php:4"};
        QTest::newRow("emptied list between two files")
            << BookmarkMap{{a, {1}}, {b, {}}, {c, {2}}} << "nnnppp"
            << QStringList{"a.php:1", "c.php:2", "a.php:1", "c.php:2", "a.php:1", "c.php:2"};
        QTest::newRow("only emptied lists") << BookmarkMap{{a, {}}} << "np" << QStringList{"-", "-"};
        QTest::newRow("no bookmarks") << BookmarkMap{} << "np" << QStringList{"-", "-"};
    }

    void traversal()
    {
        QFETCH(BookmarkMap, marks);
        QFETCH(QString, steps);
        QFETCH(QStringList, visits);
        BookmarkStore store;
        store.setMap(marks);
        QStringList seen;
        for (QChar step : steps) {
            const bool moved = step == u'n' ? store.next() : store.prev();
            const auto pos = store.position();
            seen << (moved ? pos.file.mid(3) + QLatin1Char(':') + QString::number(pos.line) : QStringLiteral("-"));
        }
        QCOMPARE(seen, visits);
    }

    void positionOutlivesItsFile()
    {
        BookmarkStore store;
        store.setMap({{QStringLiteral("/p/b.php"), {5, 8}}});
        QVERIFY(store.next());
        QVERIFY(store.next());
        // The current file's list was emptied: the step goes on to the next file.
        store.setMap({{QStringLiteral("/p/b.php"), {}}, {QStringLiteral("/p/c.php"), {1}}});
        QVERIFY(store.next());
        QCOMPARE(store.position().file, QStringLiteral("/p/c.php"));
        // Its entry is gone altogether: start again at the first bookmark.
        store.setMap({{QStringLiteral("/p/d.php"), {4}}, {QStringLiteral("/p/e.php"), {0}}});
        QVERIFY(store.prev());
        QCOMPARE(store.position().file, QStringLiteral("/p/d.php"));
        QCOMPARE(store.position().line, 4);
    }
};

QTEST_GUILESS_MAIN(TestBookmarkStore)
#include "tst_bookmarkstore.moc"
