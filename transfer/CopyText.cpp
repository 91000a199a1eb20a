#include "transfer/CopyText.h"

#include "transfer/ValueText.h"

namespace {
// COPY's text format reads a backslash as the start of an escape, and a tab, a line feed
// and a carriage return as the ends of a value and a row.
char escapeOf(char c)
{
    switch (c) {
    case '\\':
        return '\\';
    case '\t':
        return 't';
    case '\n':
        return 'n';
    case '\r':
        return 'r';
    default:
        return 0;
    }
}

void appendEscaped(QByteArray& line, QByteArrayView text)
{
    const char* run = text.data();
    const char* end = run + text.size();
    for (const char* at = run; at < end; ++at) {
        if (const char escape = escapeOf(*at)) {
            line.append(run, at - run);
            line.append('\\');
            line.append(escape);
            run = at + 1;
        }
    }
    line.append(run, end - run);
}

// A value of a COPY line as it was before its escapes; false for \N, NULL.
bool unescaped(QByteArrayView field, QByteArray& text)
{
    if (field == QByteArrayView("\\N"))
        return false;
    text.resize(0);
    for (qsizetype i = 0; i < field.size(); ++i) {
        char c = field[i];
        if (c == '\\' && i + 1 < field.size()) {
            switch (field[++i]) {
            case 't':
                c = '\t';
                break;
            case 'n':
                c = '\n';
                break;
            case 'r':
                c = '\r';
                break;
            default:
                c = field[i];
            }
        }
        text.append(c);
    }
    return true;
}
} // namespace

bool appendCopyValue(QByteArray& line, const Value& value, int typeCode, bool numeric)
{
    const PostgreSQLText text = postgreSQLText(value, typeCode, numeric);
    switch (text.form) {
    case PostgreSQLText::Null:
        line.append("\\N");
        break;
    case PostgreSQLText::Bare:
        line.append(text.bytes);
        break;
    case PostgreSQLText::Hex:
        // bytea's hex input, its backslash escaped for COPY.
        line.append("\\\\x");
        appendHex(line, text.bytes);
        break;
    case PostgreSQLText::Quoted:
        appendEscaped(line, text.bytes);
        break;
    }
    line.append('\t');
    return text.byRule;
}

QByteArray insertOfCopyLine(QByteArrayView head, QByteArrayView line, const QList<bool>& numeric)
{
    QByteArray statement(head.data(), head.size());
    QByteArray text;
    qsizetype start = 0;
    int column = 0;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        if (i < line.size() && line[i] != '\t' && line[i] != '\n')
            continue;
        if (i == line.size() && start == i)
            break;
        if (column > 0)
            statement.append(", ");
        const bool isNumeric = numeric.value(column++);
        if (!unescaped(line.sliced(start, i - start), text))
            appendPostgreSQLLiteral(statement, {PostgreSQLText::Null, {}, false});
        else
            appendPostgreSQLLiteral(
                statement, {isNumeric && isPlainNumber(text) ? PostgreSQLText::Bare : PostgreSQLText::Quoted,
                            text, false});
        start = i + 1;
        if (i < line.size() && line[i] == '\n')
            break;
    }
    statement.append(')');
    return statement;
}
