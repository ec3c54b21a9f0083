#include "core/numericvalue.h"

#include <cmath>
#include <limits>

namespace {

int digitOf(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'０' && u <= u'９')
        return u - u'０';
    return -1;
}

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'　';
}

} // namespace

double numericValue(QStringView text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'-' || text[i] == u'+' || text[i] == u'－' || text[i] == u'＋')) {
        negative = text[i] == u'-' || text[i] == u'－';
        ++i;
    }
    double value = 0.0;
    bool any = false;
    while (i < n && digitOf(text[i]) >= 0) {
        value = value * 10.0 + digitOf(text[i]);
        any = true;
        ++i;
    }
    if (i < n && (text[i] == u'.' || text[i] == u'．')) {
        ++i;
        double scale = 0.1;
        while (i < n && digitOf(text[i]) >= 0) {
            value += digitOf(text[i]) * scale;
            scale /= 10.0;
            any = true;
            ++i;
        }
    }
    if (!any)
        return 0.0;
    return negative ? -value : value;
}

qint16 numericValueInt16(QStringView text) {
    const double rounded = std::nearbyint(numericValue(text));
    if (rounded >= std::numeric_limits<qint16>::max())
        return std::numeric_limits<qint16>::max();
    if (rounded <= std::numeric_limits<qint16>::min())
        return std::numeric_limits<qint16>::min();
    return static_cast<qint16>(rounded);
}

qint16 saturatingIncrement(qint16 value) {
    return value == std::numeric_limits<qint16>::max() ? value : static_cast<qint16>(value + 1);
}
