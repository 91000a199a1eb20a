#pragma once

// One quillstone_delay_proxy in front of a server, for the benchmark's servers "far away"
// and for the proxy's own test.

#include <QProcess>
#include <QString>
#include <QStringList>

// One proxy in front of host:port, for as long as this lives; the options make its link
// narrow.
class DelayProxy
{
public:
    DelayProxy(const QString& host, const QString& port, const QString& delayMs,
               const QStringList& options = {});
    ~DelayProxy();
    DelayProxy(const DelayProxy&) = delete;
    DelayProxy& operator=(const DelayProxy&) = delete;

    // The port it listens on.
    QString port() const { return m_port; }
    qint64 processId() const { return m_process.processId(); }

private:
    QProcess m_process;
    QString m_port;
};
