#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "editor/core/documentfile.h"
#include "testutil.h"

using namespace ov;

class DocumentFileTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A file's life as the editor sees it: read, saved with its tabs and line
    // ends, touched by another program without a change, changed, removed.
    void followsTheFileOnDisk()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("a.php"));
        const QByteArray bytes("<?php\r\n\tif ($a) {\r\n\t\tf();\r\n\t}\r\n");
        QVERIFY(ovtest::writeFile(path, bytes));
        QByteArray read;
        QString error;
        QVERIFY(readFileBytes(path, &read, &error));

        DocumentFile file;
        QVERIFY(!file.isLoaded());
        const QString text = file.read(path, read);
        QVERIFY(file.isLoaded());
        QCOMPARE(file.format().lineEnding, TextFormat::CRLF);
        QCOMPARE(file.check(path), DocumentFile::DiskUnchanged);

        // One line edited: the others keep their tabs.
        QString edited = expandTabs(text);
        edited.replace(QStringLiteral("f();"), QStringLiteral("g();"));
        TextFormat written = file.format();
        QVERIFY(file.write(path, file.textForDisk(edited), &written, &error));
        QByteArray expected = bytes;
        expected.replace("\t\tf();", "        g();");
        QCOMPARE(ovtest::readFile(path), expected);
        QCOMPARE(file.stamp().size, qint64(expected.size()));

        QFile touched(path);
        QVERIFY(touched.open(QIODevice::ReadWrite));
        QVERIFY(touched.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
        touched.close();
        QCOMPARE(file.check(path), DocumentFile::DiskUnchanged);

        QVERIFY(ovtest::writeFile(path, "changed"));
        QByteArray digest;
        QCOMPARE(file.check(path, &digest), DocumentFile::DiskChanged);
        QVERIFY(digest != file.stamp().sha1);
        // Another path was never read: nothing there to protect.
        QCOMPARE(file.check(dir.filePath(QStringLiteral("b.php"))), DocumentFile::DiskUnchanged);
        QVERIFY(QFile::remove(path));
        QCOMPARE(file.check(path), DocumentFile::DiskMissing);
    }
};

QTEST_MAIN(DocumentFileTest)
#include "tst_documentfile.moc"
