#include "transfer/Datatype.h"

#include "app/db/DataTypeEnum.h"

#include <QHash>

QString AdoTypeName(int typeCode)
{
    static const QHash<int, QString> names = {
        {adEmpty, QStringLiteral("adEmpty")},
        {adSmallInt, QStringLiteral("adSmallInt")},
        {adInteger, QStringLiteral("adInteger")},
        {adSingle, QStringLiteral("adSingle")},
        {adDouble, QStringLiteral("adDouble")},
        {adCurrency, QStringLiteral("adCurrency")},
        {adDate, QStringLiteral("adDate")},
        {adBSTR, QStringLiteral("adBSTR")},
        {adIDispatch, QStringLiteral("adIDispatch")},
        {adError, QStringLiteral("adError")},
        {adBoolean, QStringLiteral("adBoolean")},
        {adVariant, QStringLiteral("adVariant")},
        {adIUnknown, QStringLiteral("adIUnknown")},
        {adDecimal, QStringLiteral("adDecimal")},
        {adTinyInt, QStringLiteral("adTinyInt")},
        {adUnsignedTinyInt, QStringLiteral("adUnsignedTinyInt")},
        {adUnsignedSmallInt, QStringLiteral("adUnsignedSmallInt")},
        {adUnsignedInt, QStringLiteral("adUnsignedInt")},
        {adBigInt, QStringLiteral("adBigInt")},
        {adUnsignedBigInt, QStringLiteral("adUnsignedBigInt")},
        {adFileTime, QStringLiteral("adFileTime")},
        {adGUID, QStringLiteral("adGUID")},
        {adBinary, QStringLiteral("adBinary")},
        {adChar, QStringLiteral("adChar")},
        {adWChar, QStringLiteral("adWChar")},
        {adNumeric, QStringLiteral("adNumeric")},
        {adUserDefined, QStringLiteral("adUserDefined")},
        {adDBDate, QStringLiteral("adDBDate")},
        {adDBTime, QStringLiteral("adDBTime")},
        {adDBTimeStamp, QStringLiteral("adDBTimeStamp")},
        {adChapter, QStringLiteral("adChapter")},
        {adPropVariant, QStringLiteral("adPropVariant")},
        {adVarNumeric, QStringLiteral("adVarNumeric")},
        {adVarChar, QStringLiteral("adVarChar")},
        {adLongVarChar, QStringLiteral("adLongVarChar")},
        {adVarWChar, QStringLiteral("adVarWChar")},
        {adLongVarWChar, QStringLiteral("adLongVarWChar")},
        {adVarBinary, QStringLiteral("adVarBinary")},
        {adLongVarBinary, QStringLiteral("adLongVarBinary")},
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
