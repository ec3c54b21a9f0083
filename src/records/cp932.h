#pragma once
// Code page 932 (Shift_JIS as Windows uses it) text, the encoding of both data files.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// Encodes text; nullopt when some character cannot be represented in code page 932.
std::optional<QByteArray> encodeCp932(const QString &text);

// Decodes bytes; nullopt when they are not valid code page 932.
std::optional<QString> decodeCp932(const QByteArray &bytes);

// True when the text can be written to a data file and read back unchanged.
bool isCp932Encodable(const QString &text);

// One line of a data file as read: its bytes (without the line end) and where the next line
// starts in the file.
struct RawLine {
    QByteArray bytes;
    qsizetype nextOffset = 0;
};

// Splits file bytes into lines. A line ends at CR, CR LF or LF; a last line without an end
// counts; an empty file has no lines.
QList<RawLine> splitRawLines(const QByteArray &file);

// A data file's bytes as code page 932 lines. Editors re-save the files in other encodings; a
// file that starts with a byte-order mark (UTF-8, UTF-16) or that is not valid code page 932
// but is valid UTF-8 is decoded and each line written again in code page 932, ended by CR LF.
// A line code page 932 cannot hold stays in its UTF-8 bytes. A code page 932 file is returned
// as it is.
struct Cp932Form {
    QByteArray bytes;
    bool converted = false; // the file was in another encoding
};
Cp932Form toCp932Form(const QByteArray &file);
