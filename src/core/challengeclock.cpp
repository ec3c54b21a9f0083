#include "core/challengeclock.h"

QString ClockCaption(int elapsedSeconds) {
    const int total = elapsedSeconds < 0 ? 0 : elapsedSeconds;
    const int minutes = total / 60;
    const int seconds = total % 60;
    const QString secondsPart = QLatin1Char(' ') + QString::number(seconds) + u'秒';
    if (minutes > 0)
        return QLatin1Char(' ') + QString::number(minutes) + u'分' + secondsPart;
    return secondsPart;
}
