// Both passes of the analyser over a file of arbitrary bytes that may
// include itself and a second file: no crash, no hang, and positions that
// fall inside the editor's text of the file.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

#include "analysis/core/phpanalyser.h"
#include "editor/core/textfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString path = dir.filePath(QStringLiteral("f.php"));
    const QString other = dir.filePath(QStringLiteral("g.php"));
    // The second file is the input's second half, so includes meet real text.
    for (const auto &[name, content] : {std::pair{path, bytes}, std::pair{other, bytes.mid(bytes.size() / 2)}}) {
        QFile f(name);
        if (!f.open(QIODevice::WriteOnly))
            abort();
        f.write(content);
    }

    ov::FileDescriptions descriptions;
    ov::PhpAnalyser analyser(dir.path(), {QStringLiteral("strlen"), QStringLiteral("printf")}, &descriptions);
    analyser.startRun();
    analyser.collectFunctionNames(path);
    analyser.startRun();
    analyser.collectFunctionNames(path);
    analyser.analysePHPFile(path);

    const int length = int(ov::editorText(bytes).size());
    const ov::PHPFileDescription d = descriptions.value(path);
    for (const ov::PHPFunctionDefinition &fn : d.functions) {
        if (fn.startPos < 0 || fn.startPos > length || fn.endPos > length)
            abort();
    }
    return 0;
}
