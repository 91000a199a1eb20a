#pragma once

#include <QString>
#include <exception>

// The one exception type of the program: a failure with the description text that the
// server, the client library or the platform gave. Handlers turn it into an error report.
class Error : public std::exception
{
public:
    // Whether the failure lies in the values a statement carried (a number out of range,
    // a text too long for its column, a broken constraint): then the same statement with
    // other values may well succeed. Any other failure (a missing table, a missing right,
    // a read-only server, a full disk, a lost link) would fail the next statement too.
    enum class Cause { Other, Values, Stopped };

    explicit Error(QString description, Cause cause = Cause::Other, QString sqlState = {}, int code = 0)
        : m_description(std::move(description)), m_utf8(m_description.toUtf8()), m_cause(cause),
          m_sqlState(std::move(sqlState)), m_code(code)
    {}
    const QString& description() const { return m_description; }
    const char* what() const noexcept override { return m_utf8.constData(); }
    bool refusedValues() const { return m_cause == Cause::Values; }
    // The user stopped the operation while it waited: nothing to report.
    bool stopped() const { return m_cause == Cause::Stopped; }
    static Error stoppedByUser() { return Error(QStringLiteral("Stopped by the user."), Cause::Stopped); }
    // The five-character SQLSTATE the server gave, or empty.
    const QString& sqlState() const { return m_sqlState; }
    // The server's own error number, where it has one (MySQL's do), else 0.
    int code() const { return m_code; }
    // Failures of one kind share it: the same SQLSTATE and error number, or, without
    // either, the same description.
    QString kind() const
    {
        if (m_sqlState.isEmpty() && m_code == 0)
            return m_description;
        return m_sqlState + QLatin1Char(':') + QString::number(m_code);
    }

private:
    QString m_description;
    QByteArray m_utf8;
    Cause m_cause;
    QString m_sqlState;
    int m_code;
};
