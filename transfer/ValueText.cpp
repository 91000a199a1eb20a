#include "transfer/ValueText.h"

#include <QRegularExpression>

namespace {
enum AdoType {
    adDate = 7, adBoolean = 11, adBinary = 128, adDBDate = 133, adDBTimeStamp = 135, adVarBinary = 204,
    adLongVarBinary = 205
};

bool isBinary(int typeCode)
{
    return typeCode == adBinary || typeCode == adVarBinary || typeCode == adLongVarBinary;
}

void appendQuoted(QString& statement, const QString& text)
{
    statement += QLatin1Char('\'');
    for (const QChar c : text) {
        statement += c;
        if (c == QLatin1Char('\''))
            statement += c;
    }
    statement += QLatin1Char('\'');
}

// Digits with an optional sign and fraction: safe to write without quotes.
bool isPlainNumber(const QByteArray& text)
{
    qsizetype i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        ++i;
    bool digits = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9')
            digits = true;
        else if (c == '.' && !point)
            point = true;
        else
            return false;
    }
    return digits;
}

// A MySQL zero date ("0000-00-00", or a month or day of 0) has no PostgreSQL value.
bool isZeroDate(const QByteArray& text)
{
    return text.size() >= 10 && (text.mid(5, 2) == "00" || text.mid(8, 2) == "00");
}
} // namespace

void appendPostgreSQLValue(QString& statement, const Value& value, int typeCode, bool numeric)
{
    const QByteArray& bytes = value.bytes();
    if (value.isNull() || (typeCode == adDBDate && isZeroDate(bytes))) {
        statement += QStringLiteral("NULL, ");
        return;
    }
    if (isBinary(typeCode)) {
        statement += QStringLiteral("'\\x") + QLatin1String(bytes.toHex()) + QStringLiteral("', ");
        return;
    }
    if (typeCode == adBoolean && bytes.size() == 1 && (bytes[0] == '\0' || bytes[0] == '\1')) {
        statement += bytes[0] ? QStringLiteral("'true', ") : QStringLiteral("'false', ");
        return;
    }
    if (numeric && isPlainNumber(bytes)) {
        statement += QLatin1String(bytes) + QStringLiteral(", ");
        return;
    }
    appendQuoted(statement, value.toString());
    statement += QStringLiteral(", ");
}

QString mySQLDateTime(const QString& text)
{
    static const QRegularExpression dateTime(QStringLiteral(
        "^(\\d{4})-(\\d\\d)-(\\d\\d)(?:[ T](\\d\\d):(\\d\\d):(\\d\\d)(?:\\.(\\d{1,6}))?)?(?:[+-]\\d\\d(?::?\\d\\d){0,2})?$"));
    const QRegularExpressionMatch match = dateTime.match(text);
    if (!match.hasMatch())
        return text;
    QString result = match.captured(1) + QLatin1Char('-') + match.captured(2) + QLatin1Char('-') + match.captured(3);
    if (match.captured(4).isEmpty()) {
        result += QStringLiteral(" 00:00:00");
        return result;
    }
    result += QLatin1Char(' ') + match.captured(4) + QLatin1Char(':') + match.captured(5) + QLatin1Char(':') +
              match.captured(6);
    const QString fraction = match.captured(7).leftJustified(6, QLatin1Char('0'));
    if (!match.captured(7).isEmpty() && fraction != QLatin1String("000000"))
        result += QLatin1Char('.') + fraction;
    return result;
}

void appendMySQLValue(QString& statement, const Value& value, int typeCode)
{
    if (value.isNull()) {
        statement.chop(1);
        statement += QStringLiteral("NULL, '");
        return;
    }
    if (isBinary(typeCode)) {
        statement.chop(1);
        statement += QStringLiteral("X'") + QLatin1String(value.bytes().toHex()) + QStringLiteral("', '");
        return;
    }
    QString text = value.toString();
    if (typeCode == adBoolean)
        text = text == QLatin1String("t") ? QStringLiteral("true") : QStringLiteral("false");
    else if (typeCode == adDate || typeCode == adDBDate || typeCode == adDBTimeStamp)
        text = mySQLDateTime(text);
    for (const QChar c : text) {
        statement += c;
        if (c == QLatin1Char('\''))
            statement += c;
    }
    statement += QStringLiteral("', '");
}
