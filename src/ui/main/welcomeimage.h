#pragma once
#include <QPixmap>
#include <QSize>

// The welcome illustration of the sign-in page, drawn in code: a smiling sun over a slate
// with a few facts of the table and a pencil.
QPixmap welcomeIllustration(const QSize &size);
