#include "search/core/syntaxmessage.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace ov {

namespace {

// "PHP Parse error:  syntax error, ... in /a/b.php on line 12": the kind
// before the first colon, the location at the end.
const QRegularExpression &diagnosticPattern()
{
    static const QRegularExpression pattern(
        QStringLiteral("^(?:PHP )?([A-Za-z][A-Za-z ]{0,40}):\\s+(.*)\\s+on line\\s+(\\d{1,10})\\s*$"));
    return pattern;
}

// Markup that html_errors adds, and its entities.
QString plainText(QString line)
{
    if (!line.contains(QLatin1Char('<')) && !line.contains(QLatin1Char('&')))
        return line;
    static const QRegularExpression tag(QStringLiteral("</?(?:b|br|font|span|strong)\\b[^<>]*>"));
    line.remove(tag);
    line.replace(QLatin1String("&quot;"), QLatin1String("\""));
    line.replace(QLatin1String("&#039;"), QLatin1String("'"));
    line.replace(QLatin1String("&lt;"), QLatin1String("<"));
    line.replace(QLatin1String("&gt;"), QLatin1String(">"));
    line.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return line;
}

bool isErrorKind(const QString &kind)
{
    return kind.contains(QLatin1String("error"), Qt::CaseInsensitive);
}

// The text between the kind and "on line", without " in FILE". The file is
// the one we passed; it may itself hold " in ", so look for it whole first.
QString withoutLocation(QString text, const QString &fileName)
{
    text = text.trimmed();
    for (const QString &name : {fileName, QFileInfo(fileName).fileName()}) {
        const QString suffix = QStringLiteral(" in ") + name;
        if (!name.isEmpty() && text.endsWith(suffix))
            return text.left(text.size() - suffix.size()).trimmed();
    }
    const qsizetype in = text.lastIndexOf(QLatin1String(" in "));
    return in > 0 ? text.left(in).trimmed() : text;
}

bool hasOtherSuffix(const QFileInfo &info)
{
    return !info.suffix().isEmpty() && !info.completeBaseName().isEmpty();
}

// Lines that carry no complaint of their own.
bool isChatter(const QString &line)
{
    return line.startsWith(QLatin1String("No syntax errors detected"))
        || line.startsWith(QLatin1String("Errors parsing "));
}

} // namespace

QString SyntaxError::text() const
{
    if (line > 0)
        return QStringLiteral("%1:%2: %3").arg(fileName, QString::number(line), message);
    return QStringLiteral("%1: %2").arg(fileName, message);
}

SyntaxCheckResult parseLintOutput(const QString &fileName, const QByteArray &output, int exitCode)
{
    SyntaxCheckResult result;
    result.fileName = fileName;
    QStringList unknown;
    const QStringList lines = QString::fromUtf8(output).split(QLatin1Char('\n'));
    for (const QString &rawLine : lines) {
        const QString line = plainText(rawLine).trimmed();
        if (line.isEmpty() || isChatter(line))
            continue;
        const QRegularExpressionMatch m = diagnosticPattern().match(line);
        if (!m.hasMatch()) {
            unknown.append(line);
            continue;
        }
        const QString kind = m.captured(1).trimmed();
        if (!isErrorKind(kind))
            continue;
        SyntaxError error;
        error.fileName = fileName;
        bool ok = false;
        error.line = m.captured(3).toInt(&ok);
        if (!ok || error.line < 0)
            error.line = 0;
        error.message = kind + QStringLiteral(": ") + withoutLocation(m.captured(2), fileName);
        // Logged and displayed errors say the same thing twice.
        if (!result.errors.contains(error))
            result.errors.append(error);
    }
    if (result.errors.isEmpty() && exitCode != 0) {
        for (const QString &line : std::as_const(unknown)) {
            SyntaxError error{fileName, 0, line};
            if (!result.errors.contains(error))
                result.errors.append(error);
        }
        if (result.errors.isEmpty())
            result.errors.append({fileName, 0, QStringLiteral("The PHP interpreter failed (exit code %1)").arg(exitCode)});
    }
    result.status = result.errors.isEmpty() ? SyntaxCheckResult::Clean : SyntaxCheckResult::Errors;
    return result;
}

bool isPhpSource(const QString &fileName, const QByteArray &head)
{
    static const QStringList suffixes{
        QStringLiteral("php"),  QStringLiteral("phtml"), QStringLiteral("inc"),  QStringLiteral("php3"),
        QStringLiteral("php4"), QStringLiteral("php5"),  QStringLiteral("php7"), QStringLiteral("php8"),
        QStringLiteral("phps"),
    };
    const QFileInfo info(fileName);
    const QString suffix = info.suffix();
    if (suffixes.contains(suffix, Qt::CaseInsensitive))
        return true;
    if (hasOtherSuffix(info))
        return false;
    // A script without a suffix, such as a command-line tool.
    const QByteArray start = head.left(256);
    if (start.startsWith("<?php"))
        return true;
    if (!start.startsWith("#!"))
        return false;
    const qsizetype end = start.indexOf('\n');
    const QByteArray shebang = end < 0 ? start : start.left(end);
    return shebang.contains("php");
}

bool isPhpFile(const QString &fileName)
{
    if (isPhpSource(fileName))
        return true;
    const QFileInfo info(fileName);
    if (hasOtherSuffix(info) || !info.isFile())
        return false;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return isPhpSource(fileName, file.read(256));
}

} // namespace ov
