#include "bench/ProxyProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <stdexcept>

DelayProxy::DelayProxy(const QString& host, const QString& port, const QString& delayMs,
                       const QStringList& options)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/quillstone_delay_proxy"),
                    options + QStringList{host, port, delayMs});
    // The proxy prints its port once it listens.
    const QDeadlineTimer deadline(30000);
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(int(deadline.remainingTime())) || deadline.hasExpired())
            throw std::runtime_error("the delay proxy did not start");
    }
    m_port = QString::fromLatin1(m_process.readLine().trimmed());
    if (m_port.toInt() <= 0)
        throw std::runtime_error("the delay proxy printed no port");
}

DelayProxy::~DelayProxy()
{
    m_process.terminate();
    m_process.waitForFinished(10000);
}
