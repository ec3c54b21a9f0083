#include "ui/main/geometry.h"

#include <QApplication>
#include <QFontMetrics>
#include <QImageReader>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenuBar>
#include <QPalette>
#include <QScreen>
#include <QTranslator>

QFont designFont(qreal pointSize, bool bold, bool underline) {
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                      QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    font.setUnderline(underline);
    return font;
}

void scaleDesign(QWidget *root, qreal factor) {
    const auto scaled = [factor](int twips) { return qRound(twips * factor / kTwipsPerPixel); };
    const QList<QWidget *> widgets = root->findChildren<QWidget *>();
    // Every design font is taken before any is scaled (parents come before their children
    // in the list). A widget that inherits its font takes its parent's design font: the
    // parent's font may be scaled already (a page built into a scaled window), and taking
    // that as the design would shrink the child twice.
    for (QWidget *w : widgets) {
        if (w->property("designFont").isValid())
            continue;
        const QWidget *parent = w->parentWidget();
        const bool inherits =
            !w->testAttribute(Qt::WA_SetFont) && parent && parent->property("designFont").isValid();
        w->setProperty("designFont", inherits ? parent->property("designFont") : w->font());
    }
    for (QWidget *w : widgets) {
        QFont font = w->property("designFont").value<QFont>();
        font.setPointSizeF(font.pointSizeF() * factor);
        w->setFont(font);
        const QRect r = w->property("designTwips").toRect();
        if (r.isValid())
            w->setGeometry(scaled(r.left()), scaled(r.top()), scaled(r.width()),
                           scaled(r.height()));
        const QString widest = w->property("widestText").toString();
        const int room = w->contentsRect().width();
        for (int step = 0; step < 10 && !widest.isEmpty() && font.pointSizeF() > 2; ++step) {
            const int need = QFontMetrics(font).horizontalAdvance(widest);
            if (need <= room)
                break;
            font.setPointSizeF(font.pointSizeF() * qMin(0.97, qreal(room) / need));
            w->setFont(font);
        }
    }
}

QSize windowFrameExtra(const QWidget *window) {
    const QSize frame = window->frameGeometry().size() - window->geometry().size();
    return window->isVisible() && !frame.isEmpty() ? frame : QSize(8, 36);
}

void fitOnScreen(QWidget *window, QScreen *screen) {
    if (window->screen() != screen)
        window->setScreen(screen);
    const QRect available = screen->availableGeometry();
    const QSize frame = windowFrameExtra(window);
    window->resize(window->size().boundedTo(available.size() - frame));
    const QSize outer = window->size() + frame;
    if (!window->isVisible() && !window->testAttribute(Qt::WA_Moved)) {
        const QPoint corner = available.center() - QPoint(outer.width(), outer.height()) / 2;
        window->move(qMax(available.left(), corner.x()), qMax(available.top(), corner.y()));
        return;
    }
    if (available.contains(QRect(window->pos(), outer)))
        return;
    window->move(qBound(available.left(), window->x(),
                        qMax(available.left(), available.right() + 1 - outer.width())),
                 qBound(available.top(), window->y(),
                        qMax(available.top(), available.bottom() + 1 - outer.height())));
}

qreal fitFactor(const QSize &design, const QSize &available) {
    if (design.isEmpty())
        return 1.0;
    return qMin(1.0, qMin(qreal(available.width()) / design.width(),
                          qreal(available.height()) / design.height()));
}

void setTextColour(QWidget *w, const QColor &colour) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, colour);
    p.setColor(QPalette::Text, colour);
    p.setColor(QPalette::ButtonText, colour);
    w->setPalette(p);
}

void setBackgroundColour(QWidget *w, const QColor &colour) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, colour);
    p.setColor(QPalette::Base, colour);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

QIcon applicationIcon() {
    // The sizes title bars and task bars draw. Larger views (launchers, window switchers)
    // take the installed icon named by the desktop entry, and on Windows the icon in the
    // program file; decoding 128 and 256 px here held a third of a megabyte for nothing.
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addPixmap(
            pngPixmap(QStringLiteral(":/icons/hicolor/%1x%1/jp.ac.quorin.Quorin.png").arg(size)));
    return icon;
}

QPixmap pngPixmap(const QString &path) {
    QImageReader reader(path, QByteArrayLiteral("png"));
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

void nameControl(QObject *o, const QString &name) {
    o->setObjectName(name);
}

void nameArrayControl(QObject *o, const QString &arrayName, int index) {
    o->setObjectName(arrayName + QLatin1Char('_') + QString::number(index));
    o->setProperty("index", index);
}

QColor Colours::menuBar() {
    return QApplication::palette("QMenuBar").color(QPalette::Window);
}

void installJapaneseQtTexts() {
    // Debian's Qt translations, or those shipped beside the program on Windows.
    static QTranslator translator;
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    const QStringList places{QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                             QCoreApplication::applicationDirPath() +
                                 QStringLiteral("/translations")};
    for (const QString &place : places)
        if (translator.load(japanese, QStringLiteral("qtbase"), QStringLiteral("_"), place)) {
            QCoreApplication::installTranslator(&translator);
            return;
        }
}
