#include "server/firewall.h"

#include "server/firewallrulename.h"

#include <QProcess>
#include <QTimer>
#include <memory>

QString firewallRuleName() {
    return QString::fromUtf16(QUORIN_FIREWALL_RULE_NAME);
}

FirewallRule firewallRuleFromCheck(bool exitedInTime, int exitCode, const QByteArray &output) {
    if (!exitedInTime)
        return FirewallRule::Unknown;
    if (exitCode == 0)
        return output.trimmed().isEmpty() ? FirewallRule::Unknown : FirewallRule::Found;
    return exitCode == 1 ? FirewallRule::NotFound : FirewallRule::Unknown;
}

QString firewallMessage(FirewallRule rule) {
    const QString ask =
        QStringLiteral("学校のネットワークの管理者に、次のどちらかを頼んでください。\n"
                       "・Windows ファイアウォールで、このプログラム（quorin.exe）への受信の接続を"
                       "プライベートとドメインのネットワークで許可する\n"
                       "・このプログラムを「このコンピューターのすべてのユーザー」用にインストール"
                       "し直す（そのとき許可の規則も入ります）");
    switch (rule) {
    case FirewallRule::Found:
        return {};
    case FirewallRule::NotFound:
        return QStringLiteral("このコンピューターのファイアウォールが、タブレットからの接続を"
                              "止めることがあります。\n") +
               ask;
    case FirewallRule::Unknown:
        return QStringLiteral("タブレットからアドレスを開けないときは、ファイアウォールが"
                              "止めているのかもしれません。\n") +
               ask;
    }
    return {};
}

void runFirewallCheck(QProcess *process, int timeoutMs,
                      const std::function<void(FirewallRule)> &done) {
    // Exactly one answer, whichever comes first: the end, a failed start or the time limit.
    auto answered = std::make_shared<bool>(false);
    const auto answer = [process, done, answered](FirewallRule rule) {
        if (*answered)
            return;
        *answered = true;
        process->disconnect();
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(1000);
        }
        process->deleteLater();
        done(rule);
    };
    QObject::connect(process, &QProcess::finished, process,
                     [process, answer](int exitCode, QProcess::ExitStatus status) {
                         answer(firewallRuleFromCheck(status == QProcess::NormalExit, exitCode,
                                                      process->readAllStandardOutput()));
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [answer](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart)
                             answer(FirewallRule::Unknown);
                     });
    QTimer::singleShot(timeoutMs, process, [answer] { answer(FirewallRule::Unknown); });
    process->setStandardInputFile(QProcess::nullDevice());
    process->start();
}

void checkFirewallRule(QObject *parent, const std::function<void(FirewallRule)> &done) {
#ifdef Q_OS_WIN
    auto *process = new QProcess(parent);
    process->setProgram(QStringLiteral("netsh"));
    // netsh reads the quotes itself: name="…" must reach it as written, which QProcess's
    // own quoting of an argument with spaces would not give.
    process->setNativeArguments(
        QStringLiteral("advfirewall firewall show rule name=\"%1\"").arg(firewallRuleName()));
    runFirewallCheck(process, 3000, done);
#else
    Q_UNUSED(parent);
    done(FirewallRule::Found);
#endif
}
