#pragma once
// The class server without a window (quorin --serve): serves the tablets from the data
// folder until Ctrl+C or SIGTERM, then writes what is pending and ends.

#include "app/commandline.h"

int runHeadlessServer(const StartDecision &start, int argc, char *argv[]);
