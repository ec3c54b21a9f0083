// The class server module's entry: the server window and the server without a window.

#include "servermodule/frmclassserver.h"
#include "servermodule/headless.h"
#include "ui/main/servermodule.h"

namespace {

QDialog *openWindow(const QString &dataFolder, QWidget *parent,
                    const std::function<void(const QString &)> &titleNote,
                    const std::function<QList<NetworkInterfaceRecord>()> &interfaces) {
    auto *window = new frmClassServer(dataFolder, parent, interfaces);
    QObject::connect(window, &frmClassServer::titleNoteChanged, window,
                     [window, titleNote] { titleNote(window->titleNote()); });
    return window;
}

const ClassServerEntries kEntries{openWindow, runHeadlessServer};

} // namespace

extern "C" Q_DECL_EXPORT const ClassServerEntries *quorinClassServer() {
    return &kEntries;
}
