#pragma once

#include <QMap>
#include <QString>

// An ODBC-style connection string: KEY=value pairs separated by ";". Keys are matched
// without regard to case; a value wrapped in braces may hold ";" and "=", with "}}"
// standing for one "}".
class ConnectionString
{
public:
    static ConnectionString parse(const QString& text);

    // The value of the first of the given keys that is present, else the empty text.
    QString value(std::initializer_list<const char*> keys) const;
    bool contains(const char* key) const;

    // Wraps a value in braces when it could not stand bare in a connection string.
    static QString quoteValue(const QString& value);

private:
    QMap<QString, QString> m_values; // lower-case key -> value
};
