#include "records/cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

#ifdef Q_OS_WIN
// Qt for Windows has no ICU: its converters know only the Unicode forms and the system code
// page, which is 932 on Japanese Windows only. Windows' own converter for code page 932 is
// used instead, refusing what it would otherwise replace: bytes that are not code page 932
// (MB_ERR_INVALID_CHARS) and characters that would become "?" or a look-alike
// (WC_NO_BEST_FIT_CHARS with the default-character flag).
constexpr UINT kWindowsCodePage = 932;

std::optional<QByteArray> encodeCp932(const QString &text) {
    if (text.isEmpty())
        return QByteArray();
    const auto *wide = reinterpret_cast<const wchar_t *>(text.utf16());
    const int wideSize = int(text.size());
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(kWindowsCodePage, WC_NO_BEST_FIT_CHARS, wide, wideSize,
                                         nullptr, 0, nullptr, &usedDefault);
    if (size <= 0 || usedDefault)
        return std::nullopt;
    QByteArray bytes(size, Qt::Uninitialized);
    if (WideCharToMultiByte(kWindowsCodePage, WC_NO_BEST_FIT_CHARS, wide, wideSize, bytes.data(),
                            size, nullptr, &usedDefault) != size ||
        usedDefault)
        return std::nullopt;
    return bytes;
}

std::optional<QString> decodeCp932(const QByteArray &bytes) {
    if (bytes.isEmpty())
        return QString();
    const int byteSize = int(bytes.size());
    const int size = MultiByteToWideChar(kWindowsCodePage, MB_ERR_INVALID_CHARS, bytes.constData(),
                                         byteSize, nullptr, 0);
    if (size <= 0)
        return std::nullopt;
    QString text(size, Qt::Uninitialized);
    if (MultiByteToWideChar(kWindowsCodePage, MB_ERR_INVALID_CHARS, bytes.constData(), byteSize,
                            reinterpret_cast<wchar_t *>(text.data()), size) != size)
        return std::nullopt;
    return text;
}
#else
namespace {
constexpr const char *kCodePage = "windows-932";

// ICU's table for this code page maps three control codes in a ring (byte 1A is U+001C, 1C
// is U+007F, 7F is U+001A), where Windows maps each to itself. The bytes stand alone in code
// page 932 (no lead byte is below 81 and no second byte is 1A, 1C or 7F), so turning them
// around byte by byte gives Windows' mapping and both builds write the same file.
QByteArray turnControls(const QByteArray &bytes, bool forEncoder) {
    if (!bytes.contains('\x1a') && !bytes.contains('\x1c') && !bytes.contains('\x7f'))
        return bytes;
    QByteArray turned = bytes;
    for (char &c : turned) {
        if (c == '\x1a')
            c = forEncoder ? '\x1c' : '\x7f';
        else if (c == '\x1c')
            c = forEncoder ? '\x7f' : '\x1a';
        else if (c == '\x7f')
            c = forEncoder ? '\x1a' : '\x1c';
    }
    return turned;
}
} // namespace

std::optional<QByteArray> encodeCp932(const QString &text) {
    QStringEncoder encoder(kCodePage, QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return std::nullopt;
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return turnControls(bytes, true);
}

std::optional<QString> decodeCp932(const QByteArray &bytes) {
    QStringDecoder decoder(kCodePage, QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return std::nullopt;
    QString text = decoder.decode(turnControls(bytes, false));
    if (decoder.hasError())
        return std::nullopt;
    return text;
}
#endif

bool isCp932Encodable(const QString &text) {
    const auto bytes = encodeCp932(text);
    if (!bytes)
        return false;
    const auto back = decodeCp932(*bytes);
    return back && *back == text;
}

QList<RawLine> splitRawLines(const QByteArray &file) {
    QList<RawLine> lines;
    const char *const data = file.constData();
    const qsizetype n = file.size();
    qsizetype start = 0;
    while (start < n) {
        qsizetype end = start;
        while (end < n && data[end] != '\r' && data[end] != '\n')
            ++end;
        qsizetype next = end;
        if (next < n && data[next] == '\r')
            ++next;
        if (next < n && data[next] == '\n' && (next == end || data[next - 1] == '\r'))
            ++next;
        lines.append({file.mid(start, end - start), next});
        start = next;
    }
    return lines;
}

Cp932Form toCp932Form(const QByteArray &file) {
    std::optional<QStringConverter::Encoding> encoding;
    qsizetype bom = 0;
    if (file.startsWith("\xEF\xBB\xBF"))
        encoding = QStringConverter::Utf8, bom = 3;
    else if (file.startsWith("\xFF\xFE"))
        encoding = QStringConverter::Utf16LE, bom = 2;
    else if (file.startsWith("\xFE\xFF"))
        encoding = QStringConverter::Utf16BE, bom = 2;
    else if (!decodeCp932(file))
        encoding = QStringConverter::Utf8;
    if (!encoding)
        return {file, false};
    QStringDecoder decoder(*encoding, QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(QByteArrayView(file).sliced(bom));
    if (decoder.hasError())
        return {file, false}; // neither: read as code page 932, line by line
    Cp932Form form{{}, true};
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != u'\r' && text[end] != u'\n')
            ++end;
        const QString line = text.mid(start, end - start);
        const std::optional<QByteArray> bytes =
            isCp932Encodable(line) ? encodeCp932(line) : std::nullopt;
        form.bytes += bytes ? *bytes : line.toUtf8();
        if (end < text.size())
            form.bytes += "\r\n";
        start = end;
        if (start < text.size() && text[start] == u'\r')
            ++start;
        if (start < text.size() && text[start] == u'\n' &&
            (start == end || text[start - 1] == u'\r'))
            ++start;
    }
    return form;
}
