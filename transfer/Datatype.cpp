#include "transfer/Datatype.h"

#include <QHash>

QString AdoTypeName(int typeCode)
{
    static const QHash<int, QString> names = {
        {0, QStringLiteral("adEmpty")},
        {2, QStringLiteral("adSmallInt")},
        {3, QStringLiteral("adInteger")},
        {4, QStringLiteral("adSingle")},
        {5, QStringLiteral("adDouble")},
        {6, QStringLiteral("adCurrency")},
        {7, QStringLiteral("adDate")},
        {8, QStringLiteral("adBSTR")},
        {9, QStringLiteral("adIDispatch")},
        {10, QStringLiteral("adError")},
        {11, QStringLiteral("adBoolean")},
        {12, QStringLiteral("adVariant")},
        {13, QStringLiteral("adIUnknown")},
        {14, QStringLiteral("adDecimal")},
        {16, QStringLiteral("adTinyInt")},
        {17, QStringLiteral("adUnsignedTinyInt")},
        {18, QStringLiteral("adUnsignedSmallInt")},
        {19, QStringLiteral("adUnsignedInt")},
        {20, QStringLiteral("adBigInt")},
        {21, QStringLiteral("adUnsignedBigInt")},
        {64, QStringLiteral("adFileTime")},
        {72, QStringLiteral("adGUID")},
        {128, QStringLiteral("adBinary")},
        {129, QStringLiteral("adChar")},
        {130, QStringLiteral("adWChar")},
        {131, QStringLiteral("adNumeric")},
        {132, QStringLiteral("adUserDefined")},
        {133, QStringLiteral("adDBDate")},
        {134, QStringLiteral("adDBTime")},
        {135, QStringLiteral("adDBTimeStamp")},
        {136, QStringLiteral("adChapter")},
        {138, QStringLiteral("adPropVariant")},
        {139, QStringLiteral("adVarNumeric")},
        {200, QStringLiteral("adVarChar")},
        {201, QStringLiteral("adLongVarChar")},
        {202, QStringLiteral("adVarWChar")},
        {203, QStringLiteral("adLongVarWChar")},
        {204, QStringLiteral("adVarBinary")},
        {205, QStringLiteral("adLongVarBinary")},
    };
    return names.value(typeCode);
}

PostgreSQLColumnType PostgreSQLTypeRules(const QString& lowerCaseName)
{
    struct Rule
    {
        const char* substring;
        const char* word;
        bool numeric;
    };
    // Binary data first: it would otherwise end up as text, which cannot hold every byte.
    static const Rule rules[] = {
        {"binary", "BYTEA", false}, {"varwchar", "TEXT", false},   {"longvar", "TEXT", false},
        {"int", "NUMERIC", true},   {"currency", "NUMERIC", true}, {"date", "DATE", false},
        {"bool", "BOOL", false},
    };
    for (const Rule& rule : rules) {
        if (lowerCaseName.contains(QLatin1String(rule.substring)))
            return {QLatin1String(rule.word), rule.numeric};
    }
    return {QStringLiteral("TEXT"), false};
}

namespace {
// DECIMAL(p,s) as declared by the source, when MySQL can hold it; else the widest.
bool declaredWithinLimits(int precision, int scale)
{
    return precision >= 1 && precision <= 65 && scale >= 0 && scale <= 30 && scale <= precision;
}

QString decimalType(int precision, int scale)
{
    if (declaredWithinLimits(precision, scale))
        return QStringLiteral("DECIMAL(%1,%2)").arg(precision).arg(scale);
    return QStringLiteral("DECIMAL(65,30)");
}
} // namespace

int mySQLDecimalScale(int precision, int scale)
{
    return declaredWithinLimits(precision, scale) ? scale : 30;
}

QString MySQLTypeRules(const QString& lowerCaseName, int precision, int scale)
{
    // Each target type holds every value of its sources: LONGTEXT past TEXT's 64 KiB,
    // BIGINT and DOUBLE where FLOAT keeps 24 bits, DATETIME(6) for fractions of a second.
    static const std::pair<const char*, const char*> rules[] = {
        {"char", "LONGTEXT"}, {"decimal", "DECIMAL"},          {"single", "FLOAT"},
        {"int", "BIGINT"},    {"adlongvarbinary", "LONGBLOB"}, {"numeric", "DECIMAL"},
        {"date", "DATETIME"}, {"timestamp", "DATETIME(6)"},    {"double", "DOUBLE"},
    };
    for (const auto& [substring, word] : rules) {
        if (lowerCaseName.contains(QLatin1String(substring))) {
            if (qstrcmp(word, "DECIMAL") == 0)
                return decimalType(precision, scale);
            return QLatin1String(word);
        }
    }
    return QStringLiteral("LONGTEXT");
}
