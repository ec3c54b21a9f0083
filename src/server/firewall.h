#pragma once
// Whether Windows Firewall lets the tablets in. A per-user installation cannot add an
// inbound rule for the program; the installation for every user of the computer adds one
// (its name: windows/firewall-rule-name.txt). The class server window looks for that rule
// and tells the teacher what to ask the school's administrator when it is missing.

#include <QByteArray>
#include <QString>
#include <functional>

class QObject;
class QProcess;

enum class FirewallRule { Found, NotFound, Unknown };

// The rule's name, shared with the installer.
QString firewallRuleName();

// What `netsh advfirewall firewall show rule name="…"` said: exit code 0 with something
// written = the rule is there, exit code 1 = it is not, anything else (not started, killed
// after the time allowed, another exit code, nothing written) = cannot tell.
FirewallRule firewallRuleFromCheck(bool exitedInTime, int exitCode, const QByteArray &output);

// What the tablet window shows the teacher: nothing when the rule is there.
QString firewallMessage(FirewallRule rule);

// Starts `process` (program and arguments set) and calls `done` once with what it said, or
// with Unknown when it cannot start or takes longer than `timeoutMs` (it is killed then).
// The process is deleted afterwards.
void runFirewallCheck(QProcess *process, int timeoutMs,
                      const std::function<void(FirewallRule)> &done);

// Looks for the program's rule (on Windows through netsh, at most a few seconds, without
// blocking); on other systems there is no such firewall to ask and `done` hears Found.
void checkFirewallRule(QObject *parent, const std::function<void(FirewallRule)> &done);
