#pragma once
// The class server without a window (quorin --serve): serves the tablets from the data
// folder until Ctrl+C or SIGTERM, then writes what is pending and ends.

#include <QString>

// `listen` empty: every interface; `port` 0: one the system gives.
int runHeadlessServer(const QString &dataFolder, const QString &listen, int port, int argc,
                      char *argv[]);
