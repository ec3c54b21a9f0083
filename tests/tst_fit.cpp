// The window on small school screens: scaled down as a whole until it fits, nothing clipped,
// and a position kept from another monitor brought back onto the screen.

#include "testsupport.h"

#include <QScreen>
#include <QSettings>

class TestFit : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }
    void fits_data();
    void fits();
    void positionOffEveryScreen();
};

void TestFit::fits_data() {
    QTest::addColumn<QSize>("screen"); // physical pixels
    QTest::addColumn<qreal>("scale");  // the desktop's scaling
    for (const QSize screen : {QSize(1366, 768), QSize(1280, 800)})
        for (const qreal scale : {1.0, 1.25, 1.5})
            QTest::addRow("%dx%d at %g", screen.width(), screen.height(), scale) << screen << scale;
}

void TestFit::fits() {
    QFETCH(QSize, screen);
    QFETCH(qreal, scale);
    // The free area in logical pixels: less a 40-pixel panel, a title bar and borders.
    const QSize available =
        QSize(qFloor(screen.width() / scale), qFloor((screen.height() - 40) / scale)) -
        QSize(8, 36);
    TestMain t;
    t.window->fitInto(available);
    t.window->show();
    QVERIFY(t.window->width() <= available.width() && t.window->height() <= available.height());
    const bool needsScaling = 825 > available.width() || 576 + 30 > available.height();
    QCOMPARE(t.window->contentScale() < 1.0, needsScaling);
    // Every control of every page lies inside the widget that holds it.
    for (QWidget *w : t.window->centralWidget()->findChildren<QWidget *>()) {
        if (w->objectName().isEmpty() || !w->property("designTwips").isValid())
            continue;
        QVERIFY2(w->parentWidget()->rect().contains(w->geometry()),
                 qPrintable(w->objectName() + QStringLiteral(" is clipped")));
    }
    if (screen == QSize(1366, 768) && scale == 1.25)
        snapshot(t.window.get(), QStringLiteral("window-1366x768-125"));
}

void TestFit::positionOffEveryScreen() {
    QSettings settings(applicationTitle());
    settings.setValue(QStringLiteral("Settings/MainLeft"), QStringLiteral("60000"));
    settings.setValue(QStringLiteral("Settings/MainTop"), QStringLiteral("-9000"));
    settings.sync();
    TestMain t;
    t.window->show();
    const QRect available = t.window->screen()->availableGeometry();
    QVERIFY(available.contains(t.window->geometry()));
    settings.remove(QStringLiteral("Settings"));
}

QTEST_MAIN(TestFit)
#include "tst_fit.moc"
