#include "app/db/ConnectionString.h"

#include "app/db/Error.h"

ConnectionString ConnectionString::parse(const QString& text)
{
    ConnectionString result;
    qsizetype pos = 0;
    const qsizetype size = text.size();
    while (pos < size) {
        const qsizetype equals = text.indexOf(QLatin1Char('='), pos);
        const qsizetype semicolon = text.indexOf(QLatin1Char(';'), pos);
        if (equals < 0 || (semicolon >= 0 && semicolon < equals)) {
            // A piece without "=" (an empty piece, or stray text) carries nothing.
            if (semicolon < 0)
                break;
            pos = semicolon + 1;
            continue;
        }
        const QString key = text.mid(pos, equals - pos).trimmed().toLower();
        pos = equals + 1;
        QString value;
        if (pos < size && text.at(pos) == QLatin1Char('{')) {
            ++pos;
            bool closed = false;
            while (pos < size) {
                const QChar c = text.at(pos);
                if (c == QLatin1Char('}')) {
                    if (pos + 1 < size && text.at(pos + 1) == QLatin1Char('}')) {
                        value += QLatin1Char('}');
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    closed = true;
                    break;
                }
                value += c;
                ++pos;
            }
            if (!closed)
                throw Error(QStringLiteral("The connection string has a value with an unclosed brace: %1=")
                                .arg(key.toUpper()));
            const qsizetype next = text.indexOf(QLatin1Char(';'), pos);
            pos = next < 0 ? size : next + 1;
        } else {
            const qsizetype next = text.indexOf(QLatin1Char(';'), pos);
            value = text.mid(pos, next < 0 ? -1 : next - pos);
            pos = next < 0 ? size : next + 1;
        }
        if (!result.m_values.contains(key))
            result.m_values.insert(key, value);
    }
    return result;
}

QString ConnectionString::value(std::initializer_list<const char*> keys) const
{
    for (const char* key : keys) {
        const auto found = m_values.constFind(QString::fromLatin1(key).toLower());
        if (found != m_values.constEnd())
            return found.value();
    }
    return {};
}

bool ConnectionString::contains(const char* key) const
{
    return m_values.contains(QString::fromLatin1(key).toLower());
}

QString ConnectionString::quoteValue(const QString& value)
{
    const bool needsBraces = value.contains(QLatin1Char(';')) || value.contains(QLatin1Char('{')) ||
                             value.contains(QLatin1Char('}')) ||
                             (!value.isEmpty() && (value.front().isSpace() || value.back().isSpace()));
    if (!needsBraces)
        return value;
    QString escaped = value;
    escaped.replace(QLatin1Char('}'), QStringLiteral("}}"));
    return QLatin1Char('{') + escaped + QLatin1Char('}');
}
