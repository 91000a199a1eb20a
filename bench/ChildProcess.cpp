#include "bench/ChildProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>
#include <QVariant>
#include <csignal>
#include <stdexcept>
#include <string>

void startChild(QProcess& child, const QStringList& arguments, const QProcessEnvironment& environment)
{
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForStarted(60000))
        throw std::runtime_error("a child process did not start");
}

QList<QByteArray> resultOf(QProcess& child, int words, const char* what)
{
    if (child.state() != QProcess::NotRunning)
        throw std::runtime_error(std::string(what) + " has not ended: " + child.errorString().toStdString());
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        throw std::runtime_error(std::string(what) + " failed (exit code " +
                                 std::to_string(child.exitCode()) +
                                 (child.exitStatus() == QProcess::CrashExit ? ", killed)" : ")"));
    if (child.property("result").isNull())
        child.setProperty("result", child.readAllStandardOutput());
    for (const QByteArray& line : child.property("result").toByteArray().split('\n')) {
        QList<QByteArray> result = line.trimmed().split(' ');
        if (result.size() == words + 1 && result[0] == "RESULT")
            return result;
    }
    throw std::runtime_error(std::string("unexpected output of ") + what);
}

namespace {
// The state letter of /proc/PID/stat: 'T' when stopped.
char processState(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return '?';
    const QByteArray stat = file.readAll();
    const qsizetype close = stat.lastIndexOf(')');
    return close >= 0 && close + 2 < stat.size() ? stat.at(close + 2) : '?';
}
} // namespace

void waitStopped(QProcess& child)
{
    const qint64 pid = child.processId();
    const QDeadlineTimer deadline(30000);
    // A child that has ended is a zombie ('Z') until it is waited for, which QProcess does
    // only inside its own waits: it will never stop.
    for (char state = processState(pid);
         state != 'T' && state != 'Z' && child.state() == QProcess::Running && !deadline.hasExpired();
         state = processState(pid))
        QThread::usleep(200);
}

void stopChild(QProcess& child)
{
    kill(pid_t(child.processId()), SIGSTOP);
    waitStopped(child);
}

void continueChild(QProcess& child)
{
    kill(pid_t(child.processId()), SIGCONT);
}
