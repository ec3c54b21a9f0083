#ifdef QUORIN_SERVER
#include "ui/dialogs/frmclassserver.h"

#include "classroom/classroom.h"
#include "server/classserver.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#ifdef QUORIN_QRENCODE
#include <qrencode.h>
#endif

QImage qrCodeImage(const QString &text, int scale) {
#ifdef QUORIN_QRENCODE
    const QByteArray bytes = text.toUtf8();
    QRcode *code = QRcode_encodeString8bit(bytes.constData(), 0, QR_ECLEVEL_M);
    if (!code)
        return {};
    constexpr int kQuiet = 4; // the white margin a reader needs, in modules
    const int side = (code->width + 2 * kQuiet) * scale;
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x)
            if (code->data[y * code->width + x] & 1)
                painter.fillRect((x + kQuiet) * scale, (y + kQuiet) * scale, scale, scale,
                                 Qt::black);
    painter.end();
    QRcode_free(code);
    return image;
#else
    Q_UNUSED(text);
    Q_UNUSED(scale);
    return {};
#endif
}

frmClassServer::frmClassServer(const QString &dataFolder, QWidget *parent)
    : QDialog(parent), m_state(std::make_unique<ApplicationState>()) {
    setObjectName(QStringLiteral("frmClassServer"));
    setWindowTitle(QStringLiteral("タブレットの教室"));
    // The tablets' own classroom on the same data folder: its saves meet the desktop's
    // through the folder's lock and merge, as another computer's would.
    initialiseApplicationState(*m_state, dataFolder);
    m_classroom = std::make_unique<Classroom>(*m_state);
    m_classroom->useServerAnswerLog();
    connect(m_classroom.get(), &Classroom::message, this,
            [this](Notice, const QString &title, const QString &text) {
                QMessageBox::warning(this, title, text);
            });
    m_classroom->load();
    m_server = std::make_unique<ClassServer>(*m_classroom);

    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(
        QStringLiteral("タブレットのカメラで QR コードを読むか、ブラウザーにアドレスを入れると、\n"
                       "この教室の九九がタブレットでできます。記録はこのコンピューターのデータフォ"
                       "ルダーに残ります。"));
    layout->addWidget(intro);
    auto *row = new QHBoxLayout;
    m_qr = new QLabel;
    m_qr->setObjectName(QStringLiteral("ClassServerQrCode"));
    m_qr->setMinimumSize(240, 240);
    m_qr->setAlignment(Qt::AlignCenter);
    row->addWidget(m_qr);
    auto *side = new QVBoxLayout;
    m_address = new QLabel;
    m_address->setObjectName(QStringLiteral("ClassServerAddress"));
    m_address->setTextFormat(Qt::PlainText);
    m_address->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QFont big = m_address->font();
    big.setPointSize(big.pointSize() + 6);
    m_address->setFont(big);
    side->addWidget(m_address);
    m_count = new QLabel;
    m_count->setObjectName(QStringLiteral("ClassServerCount"));
    side->addWidget(m_count);
    m_startStop = new QPushButton;
    m_startStop->setObjectName(QStringLiteral("ClassServerStartStop"));
    side->addWidget(m_startStop);
    side->addStretch();
    row->addLayout(side, 1);
    layout->addLayout(row);

    m_tablets = new QTreeWidget;
    m_tablets->setObjectName(QStringLiteral("ClassServerTablets"));
    m_tablets->setHeaderLabels({QStringLiteral("タブレット"), QStringLiteral("名前"),
                                QStringLiteral("アドレス"), QStringLiteral("ようす")});
    m_tablets->setRootIsDecorated(false);
    m_tablets->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(m_tablets, 1);
    auto *buttons = new QHBoxLayout;
    m_disconnect = new QPushButton(QStringLiteral("このタブレットを切る(&D)"));
    m_disconnect->setObjectName(QStringLiteral("ClassServerDisconnect"));
    auto *close = new QPushButton(QStringLiteral("閉じる"));
    buttons->addWidget(m_disconnect);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(m_startStop, &QPushButton::clicked, this, &frmClassServer::startOrStop);
    connect(m_disconnect, &QPushButton::clicked, this, &frmClassServer::disconnectSelected);
    connect(close, &QPushButton::clicked, this, &QDialog::hide);
    connect(&m_server->service(), &ClassService::tabletsChanged, this, &frmClassServer::refresh);
    connect(m_server.get(), &ClassServer::runningChanged, this, &frmClassServer::refresh);
    // Tablets that fall quiet leave the count without a request of their own.
    auto *tick = new QTimer(this);
    tick->setInterval(10000);
    connect(tick, &QTimer::timeout, this, &frmClassServer::refresh);
    tick->start();
    refresh();
    resize(720, 560);
}

frmClassServer::~frmClassServer() {
    m_server.reset(); // stops serving and writes what waits, before the classroom goes
}

QString frmClassServer::titleNote() const {
    return m_server->running()
               ? QStringLiteral("タブレット %1台").arg(m_server->service().connectedCount())
               : QString();
}

void frmClassServer::startOrStop() {
    if (m_server->running()) {
        m_server->stop();
        return;
    }
    const QString problem = m_server->start();
    if (!problem.isEmpty())
        QMessageBox::warning(this, windowTitle(), problem);
}

void frmClassServer::refresh() {
    const bool on = m_server->running();
    m_startStop->setText(on ? QStringLiteral("サーバーを止める(&S)")
                            : QStringLiteral("サーバーを始める(&S)"));
    const QString address = m_server->address();
    m_address->setText(on ? address : QStringLiteral("サーバーは止まっています。"));
    const QImage qr = on ? qrCodeImage(address, 6) : QImage();
    m_qr->setPixmap(qr.isNull() ? QPixmap() : QPixmap::fromImage(qr));
    m_qr->setText(on && qr.isNull() ? QStringLiteral("（QR コードは作れません）") : QString());
    m_qr->setAccessibleName(on ? QStringLiteral("QR コード: ") + address : QString());
    m_count->setText(on ? QStringLiteral("つながっているタブレット: %1台")
                              .arg(m_server->service().connectedCount())
                        : QString());
    const QString selected = m_tablets->currentItem()
                                 ? m_tablets->currentItem()->data(0, Qt::UserRole).toString()
                                 : QString();
    m_tablets->clear();
    for (const TabletView &tablet : m_server->service().tablets()) {
        auto *item = new QTreeWidgetItem(m_tablets, {tablet.name, tablet.pupil, tablet.address,
                                                     tablet.connected
                                                         ? QStringLiteral("つながっている")
                                                         : QStringLiteral("1分より前から しずか")});
        item->setData(0, Qt::UserRole, tablet.token);
        if (tablet.token == selected)
            m_tablets->setCurrentItem(item);
    }
    m_disconnect->setEnabled(on && m_tablets->topLevelItemCount() > 0);
    Q_EMIT titleNoteChanged();
}

void frmClassServer::disconnectSelected() {
    if (QTreeWidgetItem *item = m_tablets->currentItem())
        m_server->service().disconnectTablet(item->data(0, Qt::UserRole).toString());
}
#endif
