#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

namespace ov {

// How a file's bytes map to the editor's text, remembered so that a save
// writes the file back the way it was found.
struct TextFormat {
    enum Encoding { Utf8, Utf8Bom, Utf16LE, Utf16BE, Latin1, Windows1252 };
    enum LineEnding { LF, CRLF };
    Encoding encoding = Utf8;
    LineEnding lineEnding = LF;
    bool operator==(const TextFormat &o) const { return encoding == o.encoding && lineEnding == o.lineEnding; }
};

struct DecodedText {
    QString text;      // carriage returns removed, tabs kept
    TextFormat format;
};

// Encoding: a UTF-8 or UTF-16 byte-order mark wins; else valid UTF-8; else
// Windows-1252 when a byte from 0x80 to 0x9F is there, else Latin-1. Both
// map every byte to one character (the five bytes Windows-1252 leaves
// undefined to the C1 controls), so any file survives.
// Line ends: CR LF when most line ends are CR LF, else LF; every CR goes.
DecodedText decodeText(const QByteArray &bytes);

// The inverse of decodeText for text in `format`. Text that the encoding
// cannot hold is written as UTF-8 rather than lost; `format` then reports
// UTF-8. Callers that must not change the encoding unasked look first with
// firstUnencodable.
QByteArray encodeText(const QString &text, TextFormat *format);

// Index of the first character of `text` that `encoding` cannot hold, or -1.
qsizetype firstUnencodable(QStringView text, TextFormat::Encoding encoding);

// Names for the user: "UTF-8", "Windows-1252", ...; "LF", "CRLF".
QString encodingName(TextFormat::Encoding encoding);
QString lineEndingName(TextFormat::LineEnding lineEnding);

// Each tab becomes four spaces, as the editor shows it.
QString expandTabs(const QString &text);

// The exact text an editor holds for these bytes: positions into it are
// editor cursor positions. Used by the analyser and by searches of files
// that are not open.
QString editorText(const QByteArray &bytes);

// Reads a whole file; false with a message in `error` when it cannot.
bool readFileBytes(const QString &path, QByteArray *bytes, QString *error);

// Writes atomically through a temporary file beside the target: on any
// failure the old file is left whole and `error` says why. Permissions of
// an existing file are kept; a symbolic link is followed and kept.
bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error);
// The same for bytes made while they are written: `produce` hands them on
// piece by piece to `write`. A failed write makes `write` return false, and
// `produce` must then return false; the old file stays and `error` says why.
using WriteBytes = std::function<bool(QByteArrayView bytes)>;
bool writeFileAtomically(const QString &path, const std::function<bool(const WriteBytes &write)> &produce,
                         QString *error);

} // namespace ov
