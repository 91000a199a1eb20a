#include "transfer/TableShape.h"

#include "app/ErrorReport.h"
#include "app/SqlText.h"
#include "app/db/Connection.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

namespace {
using Kind = ShapeDefault::Kind;

QString textOf(const Field& field)
{
    return field.Value().toString();
}

bool isNumber(const QString& text)
{
    static const QRegularExpression number(QStringLiteral(R"(^[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?$)"));
    return number.match(text).hasMatch();
}

// A date, or a date and time, that both servers read alike; a MySQL zero date is none.
bool isPlainDate(const QString& text)
{
    static const QRegularExpression date(
        QStringLiteral(R"(^(\d{4})-(\d{2})-(\d{2})( \d{2}:\d{2}:\d{2}(\.\d{1,6})?)?$)"));
    const QRegularExpressionMatch match = date.match(text);
    return match.hasMatch() && match.capturedView(1) != QLatin1String("0000") &&
           match.capturedView(2) != QLatin1String("00") && match.capturedView(3) != QLatin1String("00");
}

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
        if (isNumber(text))
            return {Kind::Number, text};
        return {currentTimeKind(text), {}};
    }
    if (extra.contains(QLatin1String("default_generated")) ||
        ((dataType == QLatin1String("timestamp") || dataType == QLatin1String("datetime")) &&
         currentTimeKind(text) != Kind::None))
        return {currentTimeKind(text), {}};
    if (isMySQLNumberType(dataType))
        return isNumber(text) ? ShapeDefault{Kind::Number, text} : ShapeDefault{};
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
    if (isNumber(bare))
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
        return isNumber(text) ? ShapeDefault{Kind::Number, text} : ShapeDefault{};
    return {Kind::Text, text};
}

// Adds a row of an index's key columns to the indexes, an index's rows in the order of its
// columns; an index with a column that is not a plain one is marked to be left out.
void addIndexColumn(QList<ShapeIndex>& indexes, QSet<QString>& leftOut, const QString& name, bool primary,
                    bool unique, const Value& column)
{
    if (indexes.isEmpty() || indexes.constLast().name != name)
        indexes.append({name, primary, unique, {}});
    if (column.isNull())
        leftOut.insert(name);
    else
        indexes.last().columns.append(column.toString());
}

// Indexes on expressions are left out; a unique index that merely repeats the primary key is
// the key.
void keepCarriedIndexes(TableShape& shape, const QSet<QString>& leftOut)
{
    QStringList primaryKey;
    for (const ShapeIndex& index : std::as_const(shape.indexes)) {
        if (index.primary)
            primaryKey = index.columns;
    }
    QList<ShapeIndex> kept;
    for (const ShapeIndex& index : std::as_const(shape.indexes)) {
        if (leftOut.contains(index.name) || index.columns.isEmpty())
            continue;
        if (!index.primary && index.unique && index.columns == primaryKey)
            continue;
        kept.append(index);
    }
    shape.indexes = kept;
}
} // namespace

TableShape readMySQLShape(Connection& source, const QString& table, QString& statement)
{
    TableShape shape;
    // The catalogue compares names without regard to case; a binary comparison would keep the
    // server from looking up the one table, so the name is compared exactly here.
    const QString where =
        QStringLiteral(" WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = ") + quotedText(table);
    statement =
        QStringLiteral("SELECT TABLE_NAME, COLUMN_NAME, IS_NULLABLE, COLUMN_DEFAULT, EXTRA, DATA_TYPE, "
                       "COLUMN_TYPE, VERSION() LIKE '%MariaDB%' FROM information_schema.COLUMNS") +
        where + QStringLiteral(" ORDER BY ORDINAL_POSITION");
    for (Recordset rows = source.Execute(statement); !rows.Eof(); rows.MoveNext()) {
        const Fields& f = rows.Fields();
        if (textOf(f[0]) != table)
            continue;
        const QString extra = textOf(f[4]).toLower();
        shape.columns.append({textOf(f[1]), textOf(f[2]) == QLatin1String("NO"),
                              extra.contains(QLatin1String("auto_increment")),
                              mySQLDefault(f[3].Value(), extra, textOf(f[5]).toLower(),
                                           textOf(f[6]).toLower(), textOf(f[7]) == QLatin1String("1"))});
    }
    // Full-text and spatial indexes are left out; a MEMORY table's hash index is an index all
    // the same. A column prefix is not kept: the whole column holds every value the prefix did.
    statement = QStringLiteral("SELECT TABLE_NAME, INDEX_NAME, NON_UNIQUE, COLUMN_NAME, INDEX_TYPE FROM "
                               "information_schema.STATISTICS") +
                where + QStringLiteral(" ORDER BY INDEX_NAME <> 'PRIMARY', INDEX_NAME, SEQ_IN_INDEX");
    QSet<QString> leftOut;
    for (Recordset rows = source.Execute(statement); !rows.Eof(); rows.MoveNext()) {
        const Fields& f = rows.Fields();
        if (textOf(f[0]) != table)
            continue;
        const QString name = textOf(f[1]);
        addIndexColumn(shape.indexes, leftOut, name, name == QLatin1String("PRIMARY"),
                       textOf(f[2]) == QLatin1String("0"), f[3].Value());
        const QString type = textOf(f[4]);
        if (type != QLatin1String("BTREE") && type != QLatin1String("HASH"))
            leftOut.insert(name);
    }
    keepCarriedIndexes(shape, leftOut);
    return shape;
}

TableShape readPostgreSQLShape(Connection& source, const QString& relation, QString& statement)
{
    TableShape shape;
    // to_regclass: a table that is not there has no rows here, and no error.
    const QString table = QStringLiteral("to_regclass(") + quotedText(relation) + QLatin1Char(')');
    // A generated column's expression is kept where defaults are: it is none.
    statement =
        QStringLiteral("SELECT a.attname, a.attnotnull, a.attidentity <> '', pg_get_expr(d.adbin, "
                       "d.adrelid) FROM pg_attribute a LEFT JOIN pg_attrdef d ON d.adrelid = "
                       "a.attrelid AND d.adnum = a.attnum AND a.attgenerated = '' WHERE a.attrelid = ") +
        table + QStringLiteral(" AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum");
    for (Recordset rows = source.Execute(statement); !rows.Eof(); rows.MoveNext()) {
        const Fields& f = rows.Fields();
        const QString expression = textOf(f[3]);
        shape.columns.append(
            {textOf(f[0]), textOf(f[1]) == QLatin1String("t"),
             textOf(f[2]) == QLatin1String("t") || expression.startsWith(QLatin1String("nextval(")),
             postgreSQLDefault(expression)});
    }
    // B-tree indexes on columns, whole and valid; INCLUDE columns are not keys.
    statement =
        QStringLiteral(
            "SELECT c.relname, i.indisprimary, i.indisunique, a.attname FROM pg_index i JOIN pg_class "
            "c ON c.oid = i.indexrelid JOIN pg_am am ON am.oid = c.relam CROSS JOIN LATERAL "
            "unnest(i.indkey::int2[]) WITH ORDINALITY AS k(attnum, n) LEFT JOIN pg_attribute a ON "
            "a.attrelid = i.indrelid AND a.attnum = k.attnum WHERE i.indrelid = ") +
        table +
        QStringLiteral(" AND am.amname = 'btree' AND i.indpred IS NULL AND i.indisvalid AND NOT "
                       "i.indisexclusion AND k.n <= i.indnkeyatts ORDER BY i.indisprimary DESC, "
                       "i.indexrelid, k.n");
    QSet<QString> leftOut;
    for (Recordset rows = source.Execute(statement); !rows.Eof(); rows.MoveNext()) {
        const Fields& f = rows.Fields();
        // An expression's key column has the number 0, and so no attribute.
        addIndexColumn(shape.indexes, leftOut, textOf(f[0]), textOf(f[1]) == QLatin1String("t"),
                       textOf(f[2]) == QLatin1String("t"), f[3].Value());
    }
    keepCarriedIndexes(shape, leftOut);
    return shape;
}

namespace {
// The copy's columns by name, and their types.
class CopiedColumns
{
public:
    explicit CopiedColumns(const QList<TargetColumn>& columns)
    {
        for (const TargetColumn& column : columns)
            m_types.insert(column.name, column.type);
    }
    bool has(const QString& column) const { return m_types.contains(column); }
    bool hasAll(const QStringList& columns) const
    {
        return std::all_of(columns.begin(), columns.end(), [&](const QString& c) { return has(c); });
    }
    QString type(const QString& column) const { return m_types.value(column); }

private:
    QHash<QString, QString> m_types;
};

// Runs statements until one ends the shape.
class Statements
{
public:
    explicit Statements(const ShapeRunner& run) : m_run(run) {}
    // True when the statement was made.
    bool run(const QString& sql, const QString& what)
    {
        if (m_ended)
            return false;
        const ShapeOutcome outcome = m_run({sql, what});
        m_ended = outcome == ShapeOutcome::Ended;
        return outcome == ShapeOutcome::Made;
    }
    bool ended() const { return m_ended; }

private:
    const ShapeRunner& m_run;
    bool m_ended = false;
};

const ShapeIndex* primaryKeyOf(const TableShape& shape)
{
    for (const ShapeIndex& index : shape.indexes) {
        if (index.primary)
            return &index;
    }
    return nullptr;
}

QString quotedList(const QStringList& names)
{
    QStringList quoted;
    for (const QString& name : names)
        quoted.append(QLatin1Char('"') + name + QLatin1Char('"'));
    return quoted.join(QStringLiteral(", "));
}

QString keyWhat(const ShapeIndex& index)
{
    if (index.primary)
        return QStringLiteral("the primary key (%1)").arg(quotedList(index.columns));
    return QStringLiteral("the %1 \"%2\" (%3)")
        .arg(index.unique ? QStringLiteral("unique key") : QStringLiteral("index"), index.name,
             quotedList(index.columns));
}

QString columnList(const QStringList& columns, QString (*quote)(const QString&))
{
    QStringList quoted;
    for (const QString& column : columns)
        quoted.append(quote(column));
    return quoted.join(QStringLiteral(", "));
}

// The start of a name that fits in so many bytes of UTF-8, cut between characters.
QString fitted(const QString& name, qsizetype bytes)
{
    QString kept;
    qsizetype used = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const qsizetype length = name.at(i).isHighSurrogate() && i + 1 < name.size() ? 2 : 1;
        const qsizetype size = name.mid(i, length).toUtf8().size();
        if (used + size > bytes)
            break;
        kept += name.mid(i, length);
        used += size;
        i += length - 1;
    }
    return kept;
}

using QuoteName = QString (*)(const QString&);
using DefaultLiteral = QString (*)(const ShapeDefault&, const QString&);

// What the steps of one table's shape share: the source's shape, the copy's columns and
// what has been made so far.
struct Shaping
{
    Shaping(const QString& table, const TableShape& shape, const QList<TargetColumn>& columns,
            const ShapeRunner& run, QuoteName quote)
        : table(table), shape(shape), copied(columns), statements(run), quote(quote),
          alter(QStringLiteral("ALTER TABLE ") + quote(table))
    {}
    const QString& table;
    const TableShape& shape;
    const CopiedColumns copied;
    Statements statements;
    const QuoteName quote;
    const QString alter;
    QSet<QString> notNull; // by the primary key
    QSet<QString> leading; // the first columns of the keys made
};

// The same columns in the same order; true when it was made.
bool addPrimaryKey(Shaping& shaping)
{
    const ShapeIndex* key = primaryKeyOf(shaping.shape);
    if (!key || !shaping.copied.hasAll(key->columns) ||
        !shaping.statements.run(
            shaping.alter +
                QStringLiteral(" ADD PRIMARY KEY (%1)").arg(columnList(key->columns, shaping.quote)),
            keyWhat(*key)))
        return false;
    shaping.notNull = QSet<QString>(key->columns.begin(), key->columns.end());
    shaping.leading.insert(key->columns.constFirst());
    return true;
}

// Defaults the copy's column takes, each its own statement.
void addDefaults(Shaping& shaping, DefaultLiteral literalFor)
{
    for (const ShapeColumn& column : shaping.shape.columns) {
        if (column.autoIncrement || !shaping.copied.has(column.name))
            continue;
        const QString literal = literalFor(column.columnDefault, shaping.copied.type(column.name));
        if (!literal.isEmpty())
            shaping.statements.run(shaping.alter + QStringLiteral(" ALTER COLUMN %1 SET DEFAULT %2")
                                                       .arg(shaping.quote(column.name), literal),
                                   QStringLiteral("the default of the column \"%1\"").arg(column.name));
    }
}

// PostgreSQL keeps the names of tables, indexes and sequences in one name space per schema:
// the wanted name, else the first of name_2, name_3, ... that no relation of the table's
// schema has, each cut to the 63 bytes a name may have.
QString freeRelationName(Connection& target, const QString& table, const QString& wanted)
{
    const QString schema = QStringLiteral("(SELECT relnamespace FROM pg_class WHERE oid = ") +
                           quotedText(postgreSQLName(table)) + QStringLiteral("::regclass)");
    for (int n = 1; n <= 100; ++n) {
        const QString suffix = n == 1 ? QString() : QStringLiteral("_%1").arg(n);
        QString candidate = fitted(wanted, kLongestPostgreSQLName - suffix.size()) + suffix;
        bool taken = false;
        const bool asked = Attempt([&] {
            taken = !target
                         .Execute(QStringLiteral("SELECT 1 FROM pg_class WHERE relname = ") +
                                  quotedText(candidate) + QStringLiteral(" AND relnamespace = ") + schema)
                         .Eof();
        });
        if (!asked || !taken)
            return candidate;
    }
    return fitted(wanted, kLongestPostgreSQLName);
}

// The literal of a default as the copy's PostgreSQL column takes it, or empty where it takes
// none. Values arrive as the type rules say, and so do defaults: a MySQL DECIMAL's 0.00
// becomes the text '0.00', and a current time only goes to a DATE column.
QString postgreSQLLiteral(const ShapeDefault& value, const QString& type)
{
    const bool constant =
        value.kind == Kind::Number || value.kind == Kind::Text || value.kind == Kind::Boolean;
    if (type == QLatin1String("NUMERIC"))
        return constant && value.kind != Kind::Boolean && isNumber(value.value) ? value.value : QString();
    if (type == QLatin1String("TEXT"))
        return constant ? quotedText(value.value) : QString();
    if (type == QLatin1String("DATE")) {
        if (value.kind == Kind::CurrentTime || value.kind == Kind::CurrentDate)
            return QStringLiteral("CURRENT_DATE");
        return value.kind == Kind::Text && isPlainDate(value.value) ? quotedText(value.value) : QString();
    }
    if (type == QLatin1String("BOOL")) {
        if (value.kind == Kind::Boolean)
            return value.value;
        if (value.kind == Kind::Number &&
            (value.value == QLatin1String("0") || value.value == QLatin1String("1")))
            return value.value == QLatin1String("1") ? QStringLiteral("true") : QStringLiteral("false");
    }
    return {};
}

// Text that does not occur in body, to quote it with: $shape$, else $shape1$, ...
QString dollarQuoted(const QString& body)
{
    QString tag = QStringLiteral("$shape$");
    for (int n = 1; body.contains(tag); ++n)
        tag = QStringLiteral("$shape%1$").arg(n);
    return tag + body + tag;
}

// Column by column: a MySQL zero date became NULL, and its column's NOT NULL alone is refused.
void addPostgreSQLNotNull(Shaping& shaping)
{
    for (const ShapeColumn& column : shaping.shape.columns) {
        if (column.notNull && shaping.copied.has(column.name) && !shaping.notNull.contains(column.name))
            shaping.statements.run(
                shaping.alter +
                    QStringLiteral(" ALTER COLUMN %1 SET NOT NULL").arg(postgreSQLName(column.name)),
                QStringLiteral("NOT NULL on the column \"%1\"").arg(column.name));
    }
}

void addPostgreSQLIndexes(Connection& target, Shaping& shaping)
{
    for (const ShapeIndex& index : shaping.shape.indexes) {
        if (index.primary || !shaping.copied.hasAll(index.columns) || shaping.statements.ended())
            continue;
        const QString name = postgreSQLName(freeRelationName(target, shaping.table, index.name));
        const QString keys = columnList(index.columns, postgreSQLName);
        shaping.statements.run(
            index.unique
                ? shaping.alter + QStringLiteral(" ADD CONSTRAINT %1 UNIQUE (%2)").arg(name, keys)
                : QStringLiteral("CREATE INDEX %1 ON %2 (%3)").arg(name, postgreSQLName(shaping.table), keys),
            keyWhat(index));
    }
}

// A sequence owned by the column, its default taken from it, and its next value above the
// copied rows' (1 for an empty table); as one statement, so that it is made whole or not at
// all. A copied 0 stays.
void addPostgreSQLSequences(Connection& target, Shaping& shaping)
{
    const QString& table = shaping.table;
    for (const ShapeColumn& column : shaping.shape.columns) {
        if (!column.autoIncrement || !shaping.copied.has(column.name) || shaping.statements.ended())
            continue;
        const QString sequence = postgreSQLName(
            freeRelationName(target, table, table + QLatin1Char('_') + column.name + QStringLiteral("_seq")));
        const QString name = postgreSQLName(column.name);
        const QString body =
            QStringLiteral(
                "BEGIN CREATE SEQUENCE %1 OWNED BY %2.%3; ALTER TABLE %2 ALTER COLUMN %3 SET DEFAULT "
                "nextval(%4); PERFORM setval(%4, (SELECT GREATEST(COALESCE(MAX(%3), 0), 0) + 1 FROM "
                "%2)::bigint, false); END")
                .arg(sequence, postgreSQLName(table), name, quotedText(sequence));
        shaping.statements.run(QStringLiteral("DO ") + dollarQuoted(body),
                               QStringLiteral("the auto-increment of the column \"%1\"").arg(column.name));
    }
}
} // namespace

// The server names the key (table_pkey, or another name when that one is taken).
void shapePostgreSQLTable(Connection& target, const QString& table, const TableShape& shape,
                          const QList<TargetColumn>& columns, const ShapeRunner& run)
{
    Shaping shaping(table, shape, columns, run, postgreSQLName);
    addPrimaryKey(shaping);
    addPostgreSQLNotNull(shaping);
    addPostgreSQLIndexes(target, shaping);
    addPostgreSQLSequences(target, shaping);
    addDefaults(shaping, postgreSQLLiteral);
}

namespace {
// The types MySQL indexes only by a prefix.
bool isLongMySQLType(const QString& type)
{
    return type == QLatin1String("LONGTEXT") || type == QLatin1String("LONGBLOB");
}

// InnoDB keys hold at most 3072 bytes. A plain index takes the first characters of each long
// column, as many as fit beside the other key columns (up to 32 bytes each: a DECIMAL(65,30)'s
// size), and no more than 191 four-byte characters, the most an older row format takes.
QString mySQLIndexColumns(const ShapeIndex& index, const CopiedColumns& copied)
{
    constexpr int kKeyBytes = 3072;
    constexpr int kFixedBytes = 32;
    constexpr int kLongestPrefix = 764;
    int longColumns = 0;
    for (const QString& column : index.columns)
        longColumns += isLongMySQLType(copied.type(column)) ? 1 : 0;
    QStringList keys;
    for (const QString& column : index.columns) {
        const QString type = copied.type(column);
        if (index.unique || index.primary || !isLongMySQLType(type)) {
            keys.append(mySQLName(column));
            continue;
        }
        const int fixedColumns = int(index.columns.size()) - longColumns;
        const int bytes =
            std::max(4, std::min(kLongestPrefix, (kKeyBytes - kFixedBytes * fixedColumns) / longColumns));
        keys.append(mySQLName(column) +
                    QStringLiteral("(%1)").arg(type == QLatin1String("LONGTEXT") ? bytes / 4 : bytes));
    }
    return keys.join(QStringLiteral(", "));
}

// MySQL index names are the table's own, compared without regard to case; PRIMARY is the
// primary key's.
QString freeIndexName(const QString& wanted, QSet<QString>& used)
{
    constexpr int kLongestMySQLName = 64; // characters
    for (int n = 1;; ++n) {
        const QString suffix = n == 1 ? QString() : QStringLiteral("_%1").arg(n);
        QString candidate = wanted.left(kLongestMySQLName - suffix.size()) + suffix;
        if (!used.contains(candidate.toLower())) {
            used.insert(candidate.toLower());
            return candidate;
        }
    }
}

// The literal of a default as the copy's MySQL column takes it, or empty where it takes none.
// A text or blob column takes an expression only; a current time goes to a DATETIME column.
QString mySQLLiteral(const ShapeDefault& value, const QString& type)
{
    const bool constant =
        value.kind == Kind::Number || value.kind == Kind::Text || value.kind == Kind::Boolean;
    if (type == QLatin1String("BIGINT") || type == QLatin1String("FLOAT") ||
        type == QLatin1String("DOUBLE") || type.startsWith(QLatin1String("DECIMAL")))
        return constant && value.kind != Kind::Boolean && isNumber(value.value) ? value.value : QString();
    if (type == QLatin1String("LONGTEXT"))
        return constant ? QLatin1Char('(') + quotedText(value.value) + QLatin1Char(')') : QString();
    if (type.startsWith(QLatin1String("DATETIME"))) {
        if (value.kind == Kind::CurrentTime)
            return type == QLatin1String("DATETIME") ? QStringLiteral("CURRENT_TIMESTAMP")
                                                     : QStringLiteral("CURRENT_TIMESTAMP(6)");
        if (value.kind == Kind::CurrentDate)
            return QStringLiteral("(CURRENT_DATE)");
        return value.kind == Kind::Text && isPlainDate(value.value) ? quotedText(value.value) : QString();
    }
    return {};
}

// One statement for every column: MySQL rebuilds the table for each, and a value that
// arrived is never NULL where its source's was not.
void addMySQLNotNull(Shaping& shaping)
{
    QStringList modify;
    QStringList names;
    for (const ShapeColumn& column : shaping.shape.columns) {
        if (!column.notNull || !shaping.copied.has(column.name) || shaping.notNull.contains(column.name))
            continue;
        modify.append(QStringLiteral("MODIFY %1 %2 NOT NULL")
                          .arg(mySQLName(column.name), shaping.copied.type(column.name)));
        names.append(column.name);
    }
    if (!modify.isEmpty())
        shaping.statements.run(shaping.alter + QLatin1Char(' ') + modify.join(QStringLiteral(", ")),
                               QStringLiteral("NOT NULL on the columns %1").arg(quotedList(names)));
}

void addMySQLIndexes(Shaping& shaping, QSet<QString>& used)
{
    for (const ShapeIndex& index : shaping.shape.indexes) {
        if (index.primary || !shaping.copied.hasAll(index.columns))
            continue;
        if (shaping.statements.run(shaping.alter + QStringLiteral(" ADD %1 %2 (%3)")
                                                       .arg(index.unique ? QStringLiteral("UNIQUE INDEX")
                                                                         : QStringLiteral("INDEX"),
                                                            mySQLName(freeIndexName(index.name, used)),
                                                            mySQLIndexColumns(index, shaping.copied)),
                                   keyWhat(index)))
            shaping.leading.insert(index.columns.constFirst());
    }
}

// The column is a key by now: InnoDB counts from the first column of an index, and a
// column that leads none (PostgreSQL's serial second in a key) gets an index of its own
// in the same statement. The session keeps a copied 0 (NO_AUTO_VALUE_ON_ZERO), and the
// table's counter goes above the copied rows.
void addMySQLAutoIncrements(Shaping& shaping, QSet<QString>& used)
{
    for (const ShapeColumn& column : shaping.shape.columns) {
        if (!column.autoIncrement || !shaping.copied.has(column.name))
            continue;
        const QString name = mySQLName(column.name);
        const QString index = shaping.leading.contains(column.name)
                                  ? QString()
                                  : QStringLiteral(" ADD INDEX %1 (%2),")
                                        .arg(mySQLName(freeIndexName(column.name, used)), name);
        shaping.statements.run(shaping.alter + index +
                                   QStringLiteral(" MODIFY %1 %2 NOT NULL AUTO_INCREMENT")
                                       .arg(name, shaping.copied.type(column.name)),
                               QStringLiteral("the auto-increment of the column \"%1\"").arg(column.name));
    }
}
} // namespace

void shapeMySQLTable(const QString& table, const TableShape& shape, const QList<TargetColumn>& columns,
                     const ShapeRunner& run)
{
    Shaping shaping(table, shape, columns, run, mySQLName);
    QSet<QString> usedIndexNames{QStringLiteral("primary")};
    addPrimaryKey(shaping);
    addMySQLNotNull(shaping);
    addMySQLIndexes(shaping, usedIndexNames);
    addMySQLAutoIncrements(shaping, usedIndexNames);
    addDefaults(shaping, mySQLLiteral);
}
