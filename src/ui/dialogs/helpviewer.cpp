#include "ui/dialogs/helpviewer.h"

#include "classroom/classroom.h"
#include "ui/main/geometry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

HelpViewer::HelpViewer() : QWidget(nullptr) {
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(applicationTitle() + QStringLiteral(" ヘルプ"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(designFont(12));
    resize(720, 600);
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("HelpBrowser"));
    m_browser->setOpenLinks(true);
    m_browser->setOpenExternalLinks(false);
    // A button and Esc close it, as in the program's other windows.
    auto *close = new QPushButton(QStringLiteral("とじる"), this);
    close->setObjectName(QStringLiteral("HelpCloseCommand"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 6);
    layout->addWidget(m_browser, 1);
    layout->addWidget(close, 0, Qt::AlignHCenter);
}

bool HelpViewer::showFile(const QString &path, QString *error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("ヘルプファイル %1 を開けません: %2")
                         .arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    const QByteArray html = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = QStringLiteral("ヘルプファイル %1 を読めません: %2")
                         .arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    const QString dir = QFileInfo(path).absolutePath();
    const QUrl base = path.startsWith(u':') ? QUrl(QStringLiteral("qrc") + dir + u'/')
                                            : QUrl::fromLocalFile(dir + u'/');
    m_browser->document()->setBaseUrl(base);
    m_browser->setSearchPaths({dir});
    m_browser->setHtml(QString::fromUtf8(html));
    return true;
}
