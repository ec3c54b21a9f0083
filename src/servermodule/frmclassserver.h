#pragma once
// The class server window: the teacher turns the server for the pupils' tablets on and off,
// shows its address as text and as a QR code for the tablets' cameras (or why the tablets
// cannot reach this computer, and what the firewall may need), sees the tablets and
// who is signed in on each, and can send a tablet away. Closing the window keeps the server
// running; the main window's title says how many tablets are connected.

#include "server/firewall.h"
#include "server/schooladdress.h"

#include <QDialog>
#include <functional>
#include <memory>

class Classroom;
class ClassServer;
class QLabel;
class QPushButton;
class QTreeWidget;
struct ApplicationState;

// A QR code of `text` (UTF-8, error correction M), `scale` pixels a module with the quiet
// zone around it; a null image where no QR code can be made.
QImage qrCodeImage(const QString &text, int scale);

class frmClassServer : public QDialog {
    Q_OBJECT
public:
    // `dataFolder` is the folder the tablets' records go to (the desktop's); `interfaces`
    // lists the network interfaces the address is chosen from (empty: this computer's).
    frmClassServer(const QString &dataFolder, QWidget *parent,
                   const std::function<QList<NetworkInterfaceRecord>()> &interfaces = {});
    ~frmClassServer() override;

    // The title's word for the main window: "タブレット 3台" while serving, else empty.
    QString titleNote() const;

Q_SIGNALS:
    void titleNoteChanged();

private:
    void startOrStop();
    void refresh();
    void disconnectSelected();

    std::unique_ptr<ApplicationState> m_state;
    std::unique_ptr<Classroom> m_classroom;
    std::unique_ptr<ClassServer> m_server;
    QPushButton *m_startStop = nullptr;
    QLabel *m_address = nullptr;
    QLabel *m_qr = nullptr;
    QLabel *m_unreachable = nullptr;
    QLabel *m_firewall = nullptr;
    FirewallRule m_firewallRule = FirewallRule::Found; // until the check at start says otherwise
    QLabel *m_count = nullptr;
    QTreeWidget *m_tablets = nullptr;
    QPushButton *m_newCode = nullptr;
    QPushButton *m_disconnect = nullptr;
    QLabel *m_problem = nullptr;
};
