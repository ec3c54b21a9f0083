#include "servermodule/frmclassserver.h"

#include "classroom/classroom.h"
#include "server/classserver.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QTime>
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

frmClassServer::frmClassServer(const QString &dataFolder, QWidget *parent,
                               const std::function<QList<NetworkInterfaceRecord>()> &interfaces)
    : QDialog(parent), m_state(std::make_unique<ApplicationState>()) {
    setObjectName(QStringLiteral("frmClassServer"));
    setWindowTitle(QStringLiteral("タブレットの教室"));
    // The tablets' own classroom on the same data folder: its saves meet the desktop's
    // through the folder's lock and merge, as another computer's would.
    initialiseApplicationState(*m_state, dataFolder);
    m_classroom = std::make_unique<Classroom>(*m_state);
    m_classroom->useServerAnswerLog();
    // What the tablets' saves have to tell the teacher is shown in this window, never in a
    // message box: a box would stop this computer for the teacher and, waiting in its own
    // event loop, take the next tablet's request in the middle of this one.
    m_problem = new QLabel;
    m_problem->setObjectName(QStringLiteral("ClassServerProblem"));
    m_problem->setTextFormat(Qt::PlainText);
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: #b00000"));
    connect(m_classroom.get(), &Classroom::message, this,
            [this](Notice, const QString &title, const QString &text) {
                m_problem->setText(QTime::currentTime().toString(QStringLiteral("HH:mm ")) + title +
                                   QStringLiteral("：") + text);
            });
    m_classroom->load();
    m_server = std::make_unique<ClassServer>(*m_classroom, interfaces);

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
    // Why no tablet can open the server, and what the firewall may need: for the teacher,
    // where the address would be.
    m_unreachable = new QLabel;
    m_unreachable->setObjectName(QStringLiteral("ClassServerUnreachable"));
    m_firewall = new QLabel;
    m_firewall->setObjectName(QStringLiteral("ClassServerFirewall"));
    for (QLabel *label : {m_unreachable, m_firewall}) {
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setStyleSheet(QStringLiteral("color: #b00000"));
        side->addWidget(label);
    }
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
    layout->addWidget(m_problem);
    auto *buttons = new QHBoxLayout;
    m_disconnect = new QPushButton(QStringLiteral("このタブレットを切る(&D)"));
    m_disconnect->setObjectName(QStringLiteral("ClassServerDisconnect"));
    auto *close = new QPushButton(QStringLiteral("閉じる"));
    // The class code stays the same over restarts; a new one sends every tablet to scan again.
    m_newCode = new QPushButton(QStringLiteral("あたらしい コードに する(&N)"));
    m_newCode->setObjectName(QStringLiteral("ClassServerNewCode"));
    m_newCode->setToolTip(QStringLiteral("タブレットはみな、新しいアドレス（QR コード）を開き直して"
                                         "名前を入れ直します。"));
    buttons->addWidget(m_disconnect);
    buttons->addWidget(m_newCode);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(m_startStop, &QPushButton::clicked, this, &frmClassServer::startOrStop);
    connect(m_disconnect, &QPushButton::clicked, this, &frmClassServer::disconnectSelected);
    connect(m_newCode, &QPushButton::clicked, m_server.get(), &ClassServer::renewCode);
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
    // A firewall check still running (netsh may take seconds) would answer while its process
    // is destroyed with this window, into a window half gone: it goes first, unheard.
    for (QProcess *check : findChildren<QProcess *>(Qt::FindDirectChildrenOnly)) {
        check->disconnect();
        delete check;
    }
    // Stopping tells of the tablets forgotten; this window, half gone, must not hear it.
    disconnect(&m_server->service(), nullptr, this, nullptr);
    disconnect(m_server.get(), nullptr, this, nullptr);
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
    if (!problem.isEmpty()) {
        QMessageBox::warning(this, windowTitle(), problem);
        return;
    }
    // Asked at every start, so that a rule the administrator added since is seen.
    checkFirewallRule(this, [this](FirewallRule rule) {
        m_firewallRule = rule;
        refresh();
    });
}

void frmClassServer::refresh() {
    const bool on = m_server->running();
    m_startStop->setText(on ? QStringLiteral("サーバーを止める(&S)")
                            : QStringLiteral("サーバーを始める(&S)"));
    // This computer's own address is never shown for the tablets: they cannot open it.
    const ClassServer::TabletAddress where = m_server->tabletAddress();
    const bool reachable = on && where.problem.isEmpty();
    m_address->setText(!on         ? QStringLiteral("サーバーは止まっています。")
                       : reachable ? where.url
                                   : QStringLiteral("タブレットからは開けません。"));
    m_unreachable->setText(
        on && !reachable ? where.problem + QStringLiteral("\nつながると、タブレットで開く"
                                                          "アドレスと QR コードがここに出ます。")
        : on             ? m_server->portNote()
                         : QString());
    m_unreachable->setVisible(!m_unreachable->text().isEmpty());
    m_firewall->setText(on ? firewallMessage(m_firewallRule) : QString());
    m_firewall->setVisible(!m_firewall->text().isEmpty());
    const QImage qr = reachable ? qrCodeImage(where.url, 6) : QImage();
    m_qr->setPixmap(qr.isNull() ? QPixmap() : QPixmap::fromImage(qr));
    m_qr->setText(reachable && qr.isNull() ? QStringLiteral("（QR コードは作れません）")
                                           : QString());
    m_qr->setAccessibleName(reachable ? QStringLiteral("QR コード: ") + where.url : QString());
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
