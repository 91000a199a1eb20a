#pragma once

#include <QString>
#include <exception>

// The one exception type of the program: a failure with the description text that the
// server, the client library or the platform gave. Handlers turn it into an error report.
class Error : public std::exception
{
public:
    explicit Error(QString description)
        : m_description(std::move(description)), m_utf8(m_description.toUtf8())
    {}
    const QString& description() const { return m_description; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
};
