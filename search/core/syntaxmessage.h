#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>

namespace ov {

// One complaint of the PHP linter about a file.
struct SyntaxError {
    QString fileName;
    int line = 0;    // from 1; 0 when the interpreter named no line
    QString message; // "Parse error: syntax error, ...", or the raw line it printed

    bool operator==(const SyntaxError &o) const
    {
        return fileName == o.fileName && line == o.line && message == o.message;
    }
    // "FILE:LINE: MESSAGE", or "FILE: MESSAGE" without a line.
    QString text() const;
};

// What one check of one file found.
struct SyntaxCheckResult {
    enum Status {
        Clean,      // the interpreter accepted the file
        Errors,     // `errors` says why it did not
        TimedOut,   // stopped after the time limit; `errors` holds the notice
        NotStarted, // no interpreter could be run
    };
    QString fileName;
    Status status = Clean;
    QList<SyntaxError> errors;
};

// Reads what `php -l` printed about `fileName` (both streams, in any order)
// and its exit code. Understands the wordings of PHP 5 to 8, with or
// without the "PHP " log prefix and with HTML error markup; a line of an
// unknown form is kept whole when the interpreter failed without saying
// anything we recognise. Warnings and deprecations are not errors.
SyntaxCheckResult parseLintOutput(const QString &fileName, const QByteArray &output, int exitCode);

// Whether a file is PHP source worth checking: by its suffix, or, without
// one, by an opening tag or a php shebang in `head` (its first bytes).
bool isPhpSource(const QString &fileName, const QByteArray &head = QByteArray());
// The same for a file on disk, whose first bytes are read only when needed.
bool isPhpFile(const QString &fileName);

} // namespace ov

Q_DECLARE_METATYPE(ov::SyntaxCheckResult)
