#include "transfer/ShapeDefaults.h"

#include "app/db/Value.h"

#include <QRegularExpression>
#include <QSet>

using Kind = ShapeDefault::Kind;

bool isPlainNumber(const QString& text)
{
    static const QRegularExpression number(QStringLiteral(R"(^[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?$)"));
    return number.match(text).hasMatch();
}

bool isPlainDate(const QString& text)
{
    static const QRegularExpression date(
        QStringLiteral(R"(^(\d{4})-(\d{2})-(\d{2})( \d{2}:\d{2}:\d{2}(\.\d{1,6})?)?$)"));
    const QRegularExpressionMatch match = date.match(text);
    return match.hasMatch() && match.capturedView(1) != QLatin1String("0000") &&
           match.capturedView(2) != QLatin1String("00") && match.capturedView(3) != QLatin1String("00");
}

namespace {
// The current time or date, as either server writes such a default; None for anything else.
Kind currentTimeKind(const QString& expression)
{
    static const QRegularExpression time(
        QStringLiteral(R"(^(now\(\d*\)|current_timestamp(\(\d*\))?|localtimestamp(\(\d*\))?|)"
                       R"(transaction_timestamp\(\)|statement_timestamp\(\)|clock_timestamp\(\)|)"
                       R"(\('now'::text\)::timestamp.*)$)"));
    static const QRegularExpression date(
        QStringLiteral(R"(^(curdate\(\)|current_date(\(\))?|\('now'::text\)::date)$)"));
    const QString lower = expression.trimmed().toLower();
    if (time.match(lower).hasMatch())
        return Kind::CurrentTime;
    if (date.match(lower).hasMatch())
        return Kind::CurrentDate;
    return Kind::None;
}

// MariaDB's catalogue writes a text default between apostrophes, an apostrophe doubled and
// other characters escaped with a backslash.
QString unquotedMariaDB(const QString& quoted)
{
    QString text;
    for (qsizetype i = 1; i + 1 < quoted.size(); ++i) {
        const QChar c = quoted.at(i);
        if (c == QLatin1Char('\'') && quoted.at(i + 1) == QLatin1Char('\'')) {
            text += c;
            ++i;
        } else if (c == QLatin1Char('\\') && i + 2 < quoted.size()) {
            const QChar escaped = quoted.at(++i);
            switch (escaped.unicode()) {
            case '0':
                text += QChar(0);
                break;
            case 'n':
                text += QLatin1Char('\n');
                break;
            case 'r':
                text += QLatin1Char('\r');
                break;
            case 't':
                text += QLatin1Char('\t');
                break;
            case 'b':
                text += QLatin1Char('\b');
                break;
            case 'Z':
                text += QChar(0x1a);
                break;
            default:
                text += escaped;
            }
        } else {
            text += c;
        }
    }
    return text;
}

bool isMySQLNumberType(const QString& dataType)
{
    static const QSet<QString> numbers = {
        QStringLiteral("tinyint"), QStringLiteral("smallint"), QStringLiteral("mediumint"),
        QStringLiteral("int"),     QStringLiteral("bigint"),   QStringLiteral("decimal"),
        QStringLiteral("float"),   QStringLiteral("double"),   QStringLiteral("year"),
    };
    return numbers.contains(dataType);
}
} // namespace

// A MySQL column's default as information_schema.COLUMNS gives it. MariaDB writes a text
// between apostrophes and an expression as it is; MySQL writes a text as it is and marks an
// expression as DEFAULT_GENERATED (before 8.0.13 only CURRENT_TIMESTAMP was one).
ShapeDefault mySQLDefault(const Value& value, const QString& extra, const QString& dataType,
                          const QString& columnType, bool mariaDB)
{
    if (value.isNull())
        return {};
    const QString text = value.toString();
    if (mariaDB && text == QLatin1String("NULL"))
        return {};
    static const QRegularExpression bit(QStringLiteral("^b'([01]+)'$"));
    if (const QRegularExpressionMatch match = bit.match(text);
        match.hasMatch() && dataType == QLatin1String("bit")) {
        // BIT(1) is read as a boolean; longer bit strings arrive as bytes, which take none.
        if (columnType != QLatin1String("bit(1)"))
            return {};
        return {Kind::Boolean,
                match.capturedView(1).toInt() != 0 ? QStringLiteral("true") : QStringLiteral("false")};
    }
    if (mariaDB) {
        if (text.size() >= 2 && text.startsWith(QLatin1Char('\'')) && text.endsWith(QLatin1Char('\'')))
            return {Kind::Text, unquotedMariaDB(text)};
        if (isPlainNumber(text))
            return {Kind::Number, text};
        return {currentTimeKind(text), {}};
    }
    if (extra.contains(QLatin1String("default_generated")) ||
        ((dataType == QLatin1String("timestamp") || dataType == QLatin1String("datetime")) &&
         currentTimeKind(text) != Kind::None))
        return {currentTimeKind(text), {}};
    if (isMySQLNumberType(dataType))
        return isPlainNumber(text) ? ShapeDefault{Kind::Number, text} : ShapeDefault{};
    return {Kind::Text, text};
}

// A PostgreSQL column's default as pg_get_expr writes it: 0.00, '-5'::integer, 'new'::mood,
// true, now(). The serial columns' nextval(...) is their auto-increment, not a default.
ShapeDefault postgreSQLDefault(const QString& expression)
{
    if (expression.isEmpty() || expression.startsWith(QLatin1String("nextval(")))
        return {};
    if (const Kind now = currentTimeKind(expression); now != Kind::None)
        return {now, {}};
    if (expression == QLatin1String("true") || expression == QLatin1String("false"))
        return {Kind::Boolean, expression};
    static const QRegularExpression bracketed(QStringLiteral(R"(^\((.*)\)$)"));
    const QRegularExpressionMatch inner = bracketed.match(expression);
    const QString bare = inner.hasMatch() ? inner.captured(1) : expression;
    if (isPlainNumber(bare))
        return {Kind::Number, bare};
    static const QRegularExpression literal(QStringLiteral(R"(^'((?:[^']|'')*)'(?:::(.+))?$)"),
                                            QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = literal.match(expression);
    if (!match.hasMatch())
        return {};
    const QString text = match.captured(1).replace(QLatin1String("''"), QLatin1String("'"));
    const QString type = match.captured(2);
    static const QRegularExpression numberType(
        QStringLiteral(R"(^(smallint|integer|bigint|real|double precision|numeric(\(.*\))?)$)"));
    if (type == QLatin1String("bytea"))
        return {};
    if (numberType.match(type).hasMatch())
        return isPlainNumber(text) ? ShapeDefault{Kind::Number, text} : ShapeDefault{};
    return {Kind::Text, text};
}
