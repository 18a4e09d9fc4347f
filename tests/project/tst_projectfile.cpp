#include "project/core/projectfile.h"
#include "testutil.h"

#include <QDir>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace ov;

namespace {

ProjectNode folder(const QString &name, QList<ProjectNode> children = {})
{
    return {ProjectNode::Folder, name, QString(), children};
}

ProjectNode file(const QString &path)
{
    return {ProjectNode::File, QString(), path, {}};
}

// Tree shape as one line, to compare trees with a readable failure.
// Loaded paths keep their ".." steps; the file they name is what counts.
QString shape(const ProjectNode &node)
{
    QString s = ProjectNode::typeName(node.type) + QLatin1Char('(')
        + (node.type == ProjectNode::File ? QDir::cleanPath(node.path) : node.name);
    for (const ProjectNode &child : node.children)
        s += QLatin1Char(' ') + shape(child);
    return s + QLatin1Char(')');
}

QByteArray nested(int levels)
{
    QByteArray xml = "<!DOCTYPE RODadazozOZO>\n<Project Name=\"deep\">";
    for (int i = 0; i < levels; ++i)
        xml += "<Folder Name=\"f\">";
    for (int i = 0; i < levels; ++i)
        xml += "</Folder>";
    return xml + "</Project>\n";
}

} // namespace

class TestProjectFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { ovtest::isolate(); }

    void writesTheDocumentForm()
    {
        ProjectFile pf;
        pf.root.name = QStringLiteral("Site");
        pf.root.children = {folder(QStringLiteral("lib"), {file(QStringLiteral("/w/lib/db.php"))}),
                            file(QStringLiteral("/w/index.php"))};
        pf.bookmarks[QStringLiteral("/w/index.php")] = {4};
        QCOMPARE(pf.serialize(QStringLiteral("/w/site.vuzar")),
                 QByteArray("<!DOCTYPE RODadazozOZO>\n"
                            "<Project Name=\"Site\">\n"
                            " <Folder Name=\"lib\">\n"
                            "  <File Name=\"lib/db.php\"/>\n"
                            " </Folder>\n"
                            " <File Name=\"index.php\"/>\n"
                            " <Bookmarks>\n"
                            "  <Bookmark FileName=\"index.php\" LineNumber=\"4\"/>\n"
                            " </Bookmarks>\n"
                            "</Project>\n"));

        ProjectFile empty;
        empty.root.name = QStringLiteral("Empty");
        QCOMPARE(empty.serialize(QStringLiteral("/w/e.vuzar")),
                 QByteArray("<!DOCTYPE RODadazozOZO>\n<Project Name=\"Empty\">\n <Bookmarks/>\n</Project>\n"));
    }

    // The DOM writer is the reference for files written by hand or by older
    // versions; escaping and layout must agree with it byte for byte.
    void agreesWithTheDomWriter()
    {
        const QString odd = QStringLiteral("a<b>&\"c\" ]]> tab\there\nline é 𝄞");
        ProjectFile pf;
        pf.root.name = odd;
        pf.root.children = {folder(odd, {folder(QStringLiteral("empty")), file(QStringLiteral("/p/x&y.php"))}),
                            file(QStringLiteral("/q/b.php"))};

        QDomDocument doc(QStringLiteral("RODadazozOZO"));
        QDomElement root = doc.createElement(QStringLiteral("Project"));
        doc.appendChild(root);
        root.setAttribute(QStringLiteral("Name"), odd);
        QDomElement f = doc.createElement(QStringLiteral("Folder"));
        root.appendChild(f);
        f.setAttribute(QStringLiteral("Name"), odd);
        QDomElement e = doc.createElement(QStringLiteral("Folder"));
        f.appendChild(e);
        e.setAttribute(QStringLiteral("Name"), QStringLiteral("empty"));
        QDomElement x = doc.createElement(QStringLiteral("File"));
        f.appendChild(x);
        x.setAttribute(QStringLiteral("Name"), QStringLiteral("x&y.php"));
        QDomElement b = doc.createElement(QStringLiteral("File"));
        root.appendChild(b);
        b.setAttribute(QStringLiteral("Name"), QStringLiteral("../q/b.php"));
        root.appendChild(doc.createElement(QStringLiteral("Bookmarks")));

        QCOMPARE(pf.serialize(QStringLiteral("/p/p.vuzar")), doc.toByteArray(1));
    }

    void roundTripKeepsTreeOrderNamesAndBookmarks()
    {
        QTemporaryDir tmp;
        const QString dir = tmp.path();
        const QString name = dir + QStringLiteral("/site.vuzar");
        ProjectFile pf;
        pf.root.name = QStringLiteral("Site & <Co>");
        pf.root.children = {file(dir + QStringLiteral("/z.php")),
                            folder(QStringLiteral("b \"quoted\""),
                                   {folder(QStringLiteral("inner"), {file(dir + QStringLiteral("/lib/a.php"))}),
                                    file(dir + QStringLiteral("/lib/b.php"))}),
                            folder(QStringLiteral("a"), {}),
                            file(QStringLiteral("/elsewhere/x.php"))};
        pf.bookmarks[dir + QStringLiteral("/z.php")] = {10, 3, 7};
        pf.bookmarks[QStringLiteral("/elsewhere/x.php")] = {0};
        QVERIFY2(pf.write(name), qPrintable(pf.errorString()));

        ProjectFile back;
        QVERIFY2(back.read(name), qPrintable(back.errorString()));
        QCOMPARE(back.root.name, pf.root.name);
        QCOMPARE(shape(back.root), shape(pf.root));
        QCOMPARE(back.bookmarks.value(dir + QStringLiteral("/z.php")), QList<int>({10, 3, 7}));
        QCOMPARE(back.bookmarks.size(), 2);
        // Written again, the file is the same bytes.
        QCOMPARE(back.serialize(name), ovtest::readFile(name));
    }

    void pathsAreRelativeToTheProjectFolder()
    {
        ProjectFile pf;
        pf.root.children = {file(QStringLiteral("/p/src/a.php")), file(QStringLiteral("/q/b.php"))};
        pf.bookmarks[QStringLiteral("/q/b.php")] = {2};
        const QByteArray xml = pf.serialize(QStringLiteral("/p/p.vuzar"));
        QVERIFY(xml.contains("<File Name=\"src/a.php\"/>"));
        QVERIFY(xml.contains("<File Name=\"../q/b.php\"/>"));
        QVERIFY(xml.contains("FileName=\"../q/b.php\""));

        ProjectFile back;
        QVERIFY(back.parse(xml, QStringLiteral("/p/p.vuzar")));
        QCOMPARE(back.root.children.at(0).path, QStringLiteral("/p/src/a.php"));
        QCOMPARE(back.root.children.at(1).path, QStringLiteral("/p/../q/b.php"));
        QCOMPARE(back.bookmarks.keys(), QStringList{QStringLiteral("/p/../q/b.php")});
    }

    // Files in our written form take a quicker reader than others: both
    // read every form alike, including those near the written one.
    void writtenFormReadsAsAnyXml()
    {
        ProjectFile pf;
        pf.root.name = QStringLiteral("Site > 1");
        pf.root.children = {file(QStringLiteral("/w/z.php")),
                            folder(QStringLiteral("b"), {folder(QStringLiteral("inner"), {file(QStringLiteral("/w/a.php"))}),
                                                         folder(QStringLiteral("empty"), {})}),
                            file(QStringLiteral("/elsewhere/x.php")), file(QStringLiteral("/w"))};
        pf.bookmarks[QStringLiteral("/w/z.php")] = {10, 3};
        const QByteArray written = pf.serialize(QStringLiteral("/w/site.vuzar"));
        const QList<QByteArray> documents = {
            written,
            ProjectFile().serialize(QStringLiteral("/w/site.vuzar")),
            QByteArray(written).replace("Name=\"b\"", "Name=\"b &amp; c\""),
            QByteArray(written).replace("\n <File", "\n\t<File"),
            QByteArray(written).replace("LineNumber=\"3\"", "LineNumber=\"-3\""),
            QByteArray(written).replace("LineNumber=\"3\"", "LineNumber=\"99999999999\""),
            QByteArray(written).replace("</Project>", "</Project><!-- end -->"),
            QByteArray(written).replace("</Project>", "</Folder></Project>"),
            QByteArray(written).replace(" </Bookmarks>", " </Bookmarks>\n <Bookmarks/>"),
            QByteArray(written).replace("<File Name=\"z.php\"/>", "<File Name=\"z.php\"></File>"),
            QByteArray(written).replace("<Folder Name=\"inner\">", "<Folder Name=\"inner\"><Bookmarks/>"),
            written.chopped(3),
            written + "x",
        };
        for (const QByteArray &xml : documents) {
            ProjectFile quick, careful;
            const bool read = quick.parse(xml, QStringLiteral("/w/site.vuzar"));
            QCOMPARE(read, careful.parseCarefully(xml, QStringLiteral("/w/site.vuzar")));
            QCOMPARE(quick.root, careful.root);
            QCOMPARE(quick.bookmarks, careful.bookmarks);
            QCOMPARE(quick.errorString(), careful.errorString());
        }
    }

    // The quick way agrees with QFileInfo on the paths it keeps as they are,
    // on those whose steps up it takes and on those it hands on.
    void absolutePathsAsQFileInfoHasThem()
    {
        for (const char *path : {"/p/a.php", "/", "/p/", "/p/../q", "/p/./q", "//p", "/p//q", "/p/.", "/p/..", "/.",
                                 "/..", "/p/...", "/p/.a/..b/c..", "/p/.../q", "p/a.php", "./a", "", "/p/a.php/",
                                 "/w/site/../../usr/share/a.php", "/w/../../a.php", "/w/x/../../../a", "/w/./../x/.//a.php",
                                 "/w/x/..", "/w/x/../.", "//w/../a", "/w/x/../../..", "/w/.../../a"}) {
            const QString p = QString::fromLatin1(path);
            QCOMPARE(absoluteFilePath(p), QFileInfo(p).absoluteFilePath());
        }
    }

    void readsHandWrittenFilesLeniently()
    {
        const QByteArray xml = "<?xml version=\"1.0\"?>\n"
                               "<Whatever Name=\"Hand\" Extra=\"1\">\n"
                               "  text and <!-- comments -->\n"
                               "  <File Name=\"/abs/one.php\"><Folder Name=\"ignored\"/></File>\n"
                               "  <Unknown><Folder Name=\"hidden\"><File Name=\"h.php\"/></Folder></Unknown>\n"
                               "  <Folder><File Name=\"sub/two.php\"/><Bookmarks><Bookmark FileName=\"n.php\"/></Bookmarks></Folder>\n"
                               "  <folder Name=\"wrong case\"/>\n"
                               "  <Bookmarks>\n"
                               "    <Bookmark FileName=\"one.php\" LineNumber=\"5\"/>\n"
                               "    <Group><Bookmark LineNumber=\"x\" FileName=\"/abs/one.php\"/></Group>\n"
                               "    <Bookmark FileName=\"one.php\" LineNumber=\"5\"/>\n"
                               "  </Bookmarks>\n"
                               "</Whatever>\n";
        ProjectFile pf;
        QVERIFY2(pf.parse(xml, QStringLiteral("/w/h.vuzar")), qPrintable(pf.errorString()));
        QCOMPARE(pf.root.name, QStringLiteral("Hand"));
        QCOMPARE(shape(pf.root), QStringLiteral("Project(Hand File(/abs/one.php) Folder( File(/w/sub/two.php)))"));
        QCOMPARE(pf.bookmarks.value(QStringLiteral("/w/one.php")), QList<int>({5, 5}));
        QCOMPARE(pf.bookmarks.value(QStringLiteral("/abs/one.php")), QList<int>({0}));
        QCOMPARE(pf.bookmarks.size(), 2);
    }

    void refusesBrokenAndHostileFiles_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<int>("error");
        const int bad = ProjectFile::NotWellFormed;
        QTest::newRow("empty") << QByteArray() << bad;
        QTest::newRow("not XML") << QByteArray("<?php echo 1; ?>\nhello") << bad;
        QTest::newRow("binary") << QByteArray("\x7f" "ELF\x02\x01\x01\0\0\0\xff\xfe", 12) << bad;
        QTest::newRow("truncated") << QByteArray("<!DOCTYPE RODadazozOZO>\n<Project Name=\"a\">\n <Folder Name=\"lib\">\n  <Fi")
                                   << bad;
        QTest::newRow("unclosed") << QByteArray("<Project Name=\"a\"><Folder Name=\"b\"></Project>") << bad;
        QTest::newRow("two roots") << QByteArray("<Project/><Project/>") << bad;
        QTest::newRow("entity expansion")
            << QByteArray("<!DOCTYPE P [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">"
                          "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                          "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
                          "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">"
                          "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">"
                          "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">"
                          "<!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\">]>"
                          "<Project Name=\"&g;\"><Folder Name=\"&g;\">&g;</Folder></Project>")
            << bad;
        QTest::newRow("100000 levels") << nested(100000) << int(ProjectFile::TooDeep);
    }

    void refusesBrokenAndHostileFiles()
    {
        QFETCH(QByteArray, xml);
        QFETCH(int, error);
        ProjectFile pf;
        pf.root.name = QStringLiteral("before");
        pf.bookmarks[QStringLiteral("/a")] = {1};
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!pf.parse(xml, QStringLiteral("/w/x.vuzar")));
        QVERIFY(timer.elapsed() < 5000);
        QCOMPARE(int(pf.error()), error);
        QVERIFY(!pf.errorString().isEmpty());
        QCOMPARE(pf.root.name, QStringLiteral("before"));
        QCOMPARE(pf.bookmarks.size(), 1);
    }

    void nestingUpToTheLimitLoads()
    {
        ProjectFile pf;
        QVERIFY(pf.parse(nested(ProjectFile::MaxDepth - 1), QStringLiteral("/w/x.vuzar")));
        int depth = 0;
        for (const ProjectNode *n = &pf.root; !n->children.isEmpty(); n = &n->children.first())
            ++depth;
        QCOMPARE(depth, ProjectFile::MaxDepth - 1);
        // What loads also writes back and loads again.
        ProjectFile again;
        QVERIFY(again.parse(pf.serialize(QStringLiteral("/w/x.vuzar")), QStringLiteral("/w/x.vuzar")));
    }

    void readFailures()
    {
        QTemporaryDir tmp;
        ProjectFile pf;
        QVERIFY(!pf.read(tmp.path() + QStringLiteral("/missing.vuzar")));
        QCOMPARE(pf.error(), ProjectFile::OpenError);
        QVERIFY(!pf.read(tmp.path()));

        // A sparse file just over the limit is refused without parsing it.
        QFile huge(tmp.path() + QStringLiteral("/huge.vuzar"));
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(ProjectFile::MaxSize + 1));
        huge.close();
        QVERIFY(!pf.read(huge.fileName()));
        QCOMPARE(pf.error(), ProjectFile::TooLarge);
    }

    void writeFailuresKeepTheOldFile()
    {
        QTemporaryDir tmp;
        ProjectFile pf;
        pf.root.name = QStringLiteral("P");
        QVERIFY(!pf.write(tmp.path() + QStringLiteral("/no/such/folder/p.vuzar")));
        QCOMPARE(pf.error(), ProjectFile::WriteError);
        QVERIFY(!pf.errorString().isEmpty());

        // A write cut short by the file size limit leaves the previous file whole.
        const QString name = tmp.path() + QStringLiteral("/p.vuzar");
        QVERIFY(pf.write(name));
        const QByteArray before = ovtest::readFile(name);
        for (int i = 0; i < 2000; ++i)
            pf.root.children.append(file(tmp.path() + QStringLiteral("/file%1.php").arg(i)));
        struct rlimit old;
        getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit small = old;
        small.rlim_cur = 4096;
        signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
        const bool written = pf.write(name);
        setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!written);
        QCOMPARE(ovtest::readFile(name), before);
    }

    void scansFolders()
    {
        QTemporaryDir tmp;
        const QString d = tmp.path();
        QVERIFY(QDir().mkpath(d + QStringLiteral("/deep/a/b/c")));
        QVERIFY(QDir().mkpath(d + QStringLiteral("/nofiles/x")));
        QVERIFY(QDir().mkpath(d + QStringLiteral("/jquery.ui")));
        QVERIFY(ovtest::writeFile(d + QStringLiteral("/deep/a/b/c/x.php"), "<?php"));
        QVERIFY(ovtest::writeFile(d + QStringLiteral("/nofiles/x/readme.txt"), "text"));
        QVERIFY(ovtest::writeFile(d + QStringLiteral("/jquery.ui/ui.php"), ""));
        QVERIFY(ovtest::writeFile(d + QStringLiteral("/B.php"), ""));
        QVERIFY(ovtest::writeFile(d + QStringLiteral("/a.php"), ""));
        // A link back up the tree must not make the scan recurse forever.
        QVERIFY(QFile::link(d, d + QStringLiteral("/deep/a/loop")));

        ProjectNode root;
        scanFolder(d, {QStringLiteral("*.php")}, &root);
        const QString p = d + QLatin1Char('/');
        QCOMPARE(shape(root).remove(p),
                 QStringLiteral("Folder( Folder(deep Folder(a Folder(b Folder(c File(deep/a/b/c/x.php)))))"
                                " Folder(jquery File(jquery.ui/ui.php)) File(B.php) File(a.php))"));
        QVERIFY(dirHasFiles(d + QStringLiteral("/nofiles"), {QStringLiteral("*")}));
        QVERIFY(!dirHasFiles(d + QStringLiteral("/nofiles"), {QStringLiteral("*.php")}));

        ProjectNode node;
        QVERIFY(!scanFolderNode(QStringLiteral("n"), d + QStringLiteral("/nofiles"), {QStringLiteral("*.php")}, &node));
        QVERIFY(scanFolderNode(QStringLiteral("n"), d + QStringLiteral("/nofiles"), {QStringLiteral("*")}, &node));
        QCOMPARE(shape(node).remove(p), QStringLiteral("Folder(n Folder(x File(nofiles/x/readme.txt)))"));
    }

    void makesFolderChains()
    {
        QTemporaryDir tmp;
        const QString path = tmp.path() + QStringLiteral("/home/me/site/lib");
        QVERIFY(makeDirPath(path));
        QVERIFY(QFileInfo(path).isDir());
        QVERIFY(makeDirPath(path));
        QVERIFY(!makeDirPath(QString()));
        QVERIFY(!makeDirPath(QStringLiteral("/proc/self/nope/x")));
    }
};

QTEST_GUILESS_MAIN(TestProjectFile)
#include "tst_projectfile.moc"
