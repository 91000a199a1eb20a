#include "transfer/ValueText.h"

#include "app/db/DataTypeEnum.h"
#include "app/db/Error.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

// These run once per value of every copied row, so they append the bytes the client
// library gave to a UTF-8 statement, without texts of their own where they can.

namespace {

bool isBinary(int typeCode)
{
    return typeCode == adBinary || typeCode == adVarBinary || typeCode == adLongVarBinary;
}

// Appends the text with each apostrophe doubled, a stretch at a time.
void appendDoubled(QByteArray& statement, QByteArrayView text)
{
    const char* at = text.data();
    const char* end = at + text.size();
    while (const void* quote = std::memchr(at, '\'', size_t(end - at))) {
        const char* next = static_cast<const char*>(quote) + 1;
        statement.append(at, next - at);
        statement.append('\'');
        at = next;
    }
    statement.append(at, end - at);
}

bool isDigits(QByteArrayView text, qsizetype from, qsizetype count)
{
    if (from + count > text.size())
        return false;
    for (qsizetype i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    return true;
}

} // namespace

// Appends the bytes as hex digits.
void appendHex(QByteArray& statement, QByteArrayView bytes)
{
    static const char digits[] = "0123456789abcdef";
    const qsizetype at = statement.size();
    statement.resize(at + 2 * bytes.size());
    char* out = statement.data() + at;
    for (const char byte : bytes) {
        *out++ = digits[(static_cast<unsigned char>(byte) >> 4) & 0xf];
        *out++ = digits[static_cast<unsigned char>(byte) & 0xf];
    }
}

// Digits with an optional sign and fraction: safe to write without quotes.
bool isPlainNumber(QByteArrayView text)
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

namespace {

// PostgreSQL writes a real with the fewest digits that read back as the same float, but
// MySQL reads those digits as a double before it rounds to FLOAT and so refuses the
// largest reals (3.4028235e+38 is past FLT_MAX). The exact double of the float is safe.
void appendSingle(QByteArray& statement, const QByteArray& text)
{
    float value = 0;
    const char* end = text.constData() + text.size();
    const std::from_chars_result read = std::from_chars(text.constData(), end, value);
    if (read.ec != std::errc() || read.ptr != end || !std::isfinite(value)) {
        appendDoubled(statement, text);
        return;
    }
    char buffer[32];
    const std::to_chars_result written =
        std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value));
    statement.append(buffer, written.ptr - buffer);
}

// yyyy-mm-dd[( |T)hh:mm:ss[.f{1,6}]][(+|-)hh[[:]mm[[:]ss]]], as PostgreSQL writes dates and
// timestamps, in MySQL's form in out (26 characters at most); its length, or 0 for anything
// else (infinity, a date before Christ).
qsizetype toMySQLDateTime(QByteArrayView s, char* out)
{
    const qsizetype size = s.size();
    if (size < 10 || !isDigits(s, 0, 4) || s[4] != '-' || !isDigits(s, 5, 2) || s[7] != '-' ||
        !isDigits(s, 8, 2))
        return 0;
    std::memcpy(out, s.data(), 10);
    if (size == 10) {
        static constexpr char kMidnight[] = " 00:00:00"; // written without its NUL
        std::copy_n(kMidnight, sizeof kMidnight - 1, out + 10);
        return 19;
    }
    if (size < 19 || (s[10] != ' ' && s[10] != 'T') || !isDigits(s, 11, 2) || s[13] != ':' ||
        !isDigits(s, 14, 2) || s[16] != ':' || !isDigits(s, 17, 2))
        return 0;
    out[10] = ' ';
    std::memcpy(out + 11, s.data() + 11, 8);
    qsizetype at = 19;
    qsizetype length = 19;
    if (at < size && s[at] == '.') {
        qsizetype end = at + 1;
        while (end < size && isDigits(s, end, 1))
            ++end;
        const QByteArrayView fraction = s.sliced(at + 1, end - at - 1);
        if (fraction.isEmpty() || fraction.size() > 6)
            return 0;
        if (fraction.count('0') != fraction.size()) {
            out[19] = '.';
            std::memcpy(out + 20, fraction.data(), size_t(fraction.size()));
            std::memset(out + 20 + fraction.size(), '0', size_t(6 - fraction.size()));
            length = 26;
        }
        at = end;
    }
    if (at < size) {
        if ((s[at] != '+' && s[at] != '-') || !isDigits(s, at + 1, 2))
            return 0;
        at += 3;
        for (int part = 0; part < 2 && at < size; ++part) {
            if (s[at] == ':')
                ++at;
            if (!isDigits(s, at, 2))
                return 0;
            at += 2;
        }
        if (at != size)
            return 0;
    }
    return length;
}

// A character(n) value without the blanks that pad it to its length: PostgreSQL itself
// does not count them, and drops them when it reads the value as text.
QByteArrayView withoutPadding(const QByteArray& text)
{
    qsizetype size = text.size();
    while (size > 0 && text[size - 1] == ' ')
        --size;
    return QByteArrayView(text.constData(), size);
}

// A MySQL zero date ("0000-00-00", or a month or day of 0) has no PostgreSQL value.
bool isZeroDate(const QByteArray& text)
{
    return text.size() >= 10 && (text.mid(5, 2) == "00" || text.mid(8, 2) == "00");
}
} // namespace

PostgreSQLText postgreSQLText(const Value& value, int typeCode, bool numeric)
{
    const QByteArray& bytes = value.bytes();
    if (value.isNull())
        return {PostgreSQLText::Null, {}, false};
    if (typeCode == adDBDate && isZeroDate(bytes))
        return {PostgreSQLText::Null, {}, true};
    if (isBinary(typeCode))
        return {PostgreSQLText::Hex, bytes, false};
    if (typeCode == adBoolean && bytes.size() == 1 && (bytes[0] == '\0' || bytes[0] == '\1'))
        return {PostgreSQLText::Quoted, bytes[0] ? QByteArrayView("true") : QByteArrayView("false"), false};
    if (numeric && isPlainNumber(bytes))
        return {PostgreSQLText::Bare, bytes, false};
    return {PostgreSQLText::Quoted, bytes, false};
}

void appendPostgreSQLLiteral(QByteArray& statement, const PostgreSQLText& text)
{
    switch (text.form) {
    case PostgreSQLText::Null:
        statement.append("NULL");
        break;
    case PostgreSQLText::Bare:
        statement.append(text.bytes);
        break;
    case PostgreSQLText::Hex:
        statement.append("'\\x");
        appendHex(statement, text.bytes);
        statement.append('\'');
        break;
    case PostgreSQLText::Quoted:
        statement.append('\'');
        appendDoubled(statement, text.bytes);
        statement.append('\'');
        break;
    }
}

bool appendPostgreSQLValue(QByteArray& statement, const Value& value, int typeCode, bool numeric)
{
    const PostgreSQLText text = postgreSQLText(value, typeCode, numeric);
    appendPostgreSQLLiteral(statement, text);
    statement.append(", ");
    return text.byRule;
}

namespace {
// MySQL rounds surplus digits after the point without an error, even in strict mode.
void refuseRounding(const QByteArray& number, int scale)
{
    const qsizetype point = number.indexOf('.');
    if (point < 0)
        return;
    qsizetype last = number.size() - 1;
    while (last > point && number[last] == '0')
        --last;
    if (last - point > scale)
        throw Error(
            QStringLiteral("The value %1 has more than %2 digits after the point; the MySQL column would "
                           "round it, so the row is not sent.")
                .arg(QString::fromLatin1(number))
                .arg(scale),
            Error::Cause::Values);
}
} // namespace

void appendMySQLValue(QByteArray& statement, const Value& value, int typeCode, int decimalScale)
{
    const QByteArray& bytes = value.bytes();
    if (typeCode == adNumeric && !value.isNull())
        refuseRounding(bytes, decimalScale);
    if (value.isNull()) {
        statement.chop(1);
        statement.append("NULL, '");
        return;
    }
    if (isBinary(typeCode)) {
        statement.chop(1);
        statement.append("X'");
        appendHex(statement, bytes);
        statement.append("', '");
        return;
    }
    char dateTime[26];
    qsizetype dateTimeLength = 0;
    if (typeCode == adBoolean)
        statement.append(bytes == "t" ? "true" : "false");
    else if (typeCode == adSingle)
        appendSingle(statement, bytes);
    else if ((typeCode == adDate || typeCode == adDBDate || typeCode == adDBTimeStamp) &&
             (dateTimeLength = toMySQLDateTime(bytes, dateTime)) > 0)
        statement.append(dateTime, dateTimeLength);
    else if (typeCode == adWChar)
        appendDoubled(statement, withoutPadding(bytes));
    else
        appendDoubled(statement, bytes);
    statement.append("', '");
}
