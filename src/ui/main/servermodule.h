#pragma once
// The class server for the pupils' tablets lives in a module of its own (servermodule/),
// loaded when the teacher opens its window or the program starts with --serve: Qt Network,
// Qt HTTP Server and the QR code stay out of every other start.

#include "server/schooladdress.h"

#include <QString>
#include <functional>

class QDialog;
class QWidget;

struct ClassServerEntries {
    // The server window, owned by `parent`; `titleNote` is told the main window's title word
    // ("タブレット 3台" while serving, empty otherwise) whenever it changes. `interfaces`
    // lists the network interfaces the address is chosen from (empty: this computer's).
    QDialog *(*openWindow)(const QString &dataFolder, QWidget *parent,
                           const std::function<void(const QString &)> &titleNote,
                           const std::function<QList<NetworkInterfaceRecord>()> &interfaces);
    // The server without a window; returns the process's exit code.
    int (*serve)(const QString &dataFolder, const QString &listen, int port, int argc,
                 char *argv[]);
};

// The module's entry, looked up by this name.
using ClassServerEntryFunction = const ClassServerEntries *(*)();
#define QUORIN_SERVER_ENTRY "quorinClassServer"

// The module's entries, loaded on first use (and kept loaded); nullptr when the module is
// not there.
const ClassServerEntries *classServerModule();
// Tests load the module from the build tree.
void setClassServerModuleFolder(const QString &folder);
