#include "records/cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {
constexpr const char *kCodePage = "windows-932";
}

std::optional<QByteArray> encodeCp932(const QString &text) {
    QStringEncoder encoder(kCodePage, QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return std::nullopt;
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return bytes;
}

std::optional<QString> decodeCp932(const QByteArray &bytes) {
    QStringDecoder decoder(kCodePage, QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return std::nullopt;
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

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
