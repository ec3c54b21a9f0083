#pragma once
#include <QString>

// The challenge clock's caption after a number of elapsed seconds: " 9秒" below one minute,
// " 1分 5秒" from one minute on. Each number is written with one leading space and without
// leading zeros. Negative counts read as 0.
QString ClockCaption(int elapsedSeconds);
