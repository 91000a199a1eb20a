// ADO type names and the two rule lists that turn them into target column types.

#include "transfer/Datatype.h"

#include <QTest>

class DatatypeTest : public QObject
{
    Q_OBJECT
private slots:
    void everyCode_data();
    void everyCode();
    void decimalKeepsDeclaredSize_data();
    void decimalKeepsDeclaredSize();
};

void DatatypeTest::everyCode_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("postgreSQL");
    QTest::addColumn<bool>("numeric");
    QTest::addColumn<QString>("mySQL");

    struct Row
    {
        int code;
        const char* name;
        const char* postgreSQL;
        const char* mySQL;
    };
    // "NUMERIC" is the one numeric PostgreSQL word.
    static const Row table[] = {
        {0, "adEmpty", "TEXT", "LONGTEXT"},
        {2, "adSmallInt", "NUMERIC", "BIGINT"},
        {3, "adInteger", "NUMERIC", "BIGINT"},
        {4, "adSingle", "TEXT", "FLOAT"},
        {5, "adDouble", "TEXT", "DOUBLE"},
        {6, "adCurrency", "NUMERIC", "LONGTEXT"},
        {7, "adDate", "DATE", "DATETIME"},
        {8, "adBSTR", "TEXT", "LONGTEXT"},
        {9, "adIDispatch", "TEXT", "LONGTEXT"},
        {10, "adError", "TEXT", "LONGTEXT"},
        {11, "adBoolean", "BOOL", "LONGTEXT"},
        {12, "adVariant", "TEXT", "LONGTEXT"},
        {13, "adIUnknown", "TEXT", "LONGTEXT"},
        {14, "adDecimal", "TEXT", "DECIMAL(65,30)"},
        {16, "adTinyInt", "NUMERIC", "BIGINT"},
        {17, "adUnsignedTinyInt", "NUMERIC", "BIGINT"},
        {18, "adUnsignedSmallInt", "NUMERIC", "BIGINT"},
        {19, "adUnsignedInt", "NUMERIC", "BIGINT"},
        {20, "adBigInt", "NUMERIC", "BIGINT"},
        {21, "adUnsignedBigInt", "NUMERIC", "BIGINT"},
        {64, "adFileTime", "TEXT", "LONGTEXT"},
        {72, "adGUID", "TEXT", "LONGTEXT"},
        {128, "adBinary", "BYTEA", "LONGTEXT"},
        {129, "adChar", "TEXT", "LONGTEXT"},
        {130, "adWChar", "TEXT", "LONGTEXT"},
        {131, "adNumeric", "TEXT", "DECIMAL(65,30)"},
        {132, "adUserDefined", "TEXT", "LONGTEXT"},
        {133, "adDBDate", "DATE", "DATETIME"},
        {134, "adDBTime", "TEXT", "LONGTEXT"},
        {135, "adDBTimeStamp", "TEXT", "DATETIME(6)"},
        {136, "adChapter", "TEXT", "LONGTEXT"},
        {138, "adPropVariant", "TEXT", "LONGTEXT"},
        {139, "adVarNumeric", "TEXT", "DECIMAL(65,30)"},
        {200, "adVarChar", "TEXT", "LONGTEXT"},
        {201, "adLongVarChar", "TEXT", "LONGTEXT"},
        {202, "adVarWChar", "TEXT", "LONGTEXT"},
        {203, "adLongVarWChar", "TEXT", "LONGTEXT"},
        {204, "adVarBinary", "BYTEA", "LONGTEXT"},
        {205, "adLongVarBinary", "BYTEA", "LONGBLOB"},
    };
    static_assert(std::size(table) == 39);
    for (const Row& row : table) {
        QTest::addRow("%d %s", row.code, row.name)
            << row.code << QString::fromLatin1(row.name) << QString::fromLatin1(row.postgreSQL)
            << (qstrcmp(row.postgreSQL, "NUMERIC") == 0) << QString::fromLatin1(row.mySQL);
    }
    // Codes without a name, including both ends of the 16-bit range.
    for (int code : {-32768, -1, 1, 15, 22, 63, 65, 127, 137, 140, 199, 206, 8192, 32767})
        QTest::addRow("unknown %d", code)
            << code << QString() << QStringLiteral("TEXT") << false << QStringLiteral("LONGTEXT");
}

void DatatypeTest::everyCode()
{
    QFETCH(int, code);
    QFETCH(QString, name);
    QFETCH(QString, postgreSQL);
    QFETCH(bool, numeric);
    QFETCH(QString, mySQL);

    QCOMPARE(AdoTypeName(code), name);
    // The rules take the lower-cased name, as the transfers pass it.
    const PostgreSQLColumnType type = PostgreSQLTypeRules(name.toLower());
    QCOMPARE(type.word, postgreSQL);
    QCOMPARE(type.numeric, numeric);
    QCOMPARE(MySQLTypeRules(name.toLower()), mySQL);
}

void DatatypeTest::decimalKeepsDeclaredSize_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("precision");
    QTest::addColumn<int>("scale");
    QTest::addColumn<QString>("mySQL");
    for (int code : {14, 131, 139}) {
        const QByteArray name = AdoTypeName(code).toLatin1();
        QTest::addRow("%s 10,2", name.data()) << code << 10 << 2 << QStringLiteral("DECIMAL(10,2)");
        QTest::addRow("%s 1,0", name.data()) << code << 1 << 0 << QStringLiteral("DECIMAL(1,0)");
        QTest::addRow("%s 65,30", name.data()) << code << 65 << 30 << QStringLiteral("DECIMAL(65,30)");
        QTest::addRow("%s 40,0", name.data()) << code << 40 << 0 << QStringLiteral("DECIMAL(40,0)");
        QTest::addRow("%s undeclared", name.data()) << code << 0 << 0 << QStringLiteral("DECIMAL(65,30)");
        QTest::addRow("%s 66,2", name.data()) << code << 66 << 2 << QStringLiteral("DECIMAL(65,30)");
        QTest::addRow("%s 40,31", name.data()) << code << 40 << 31 << QStringLiteral("DECIMAL(65,30)");
        QTest::addRow("%s 3,5", name.data()) << code << 3 << 5 << QStringLiteral("DECIMAL(65,30)");
    }
    // The declared size means nothing to other types.
    QTest::addRow("adInteger 10,2") << 3 << 10 << 2 << QStringLiteral("BIGINT");
    QTest::addRow("adDouble 10,2") << 5 << 10 << 2 << QStringLiteral("DOUBLE");
}

void DatatypeTest::decimalKeepsDeclaredSize()
{
    QFETCH(int, code);
    QFETCH(int, precision);
    QFETCH(int, scale);
    QFETCH(QString, mySQL);
    QCOMPARE(MySQLTypeRules(AdoTypeName(code).toLower(), precision, scale), mySQL);
}

QTEST_APPLESS_MAIN(DatatypeTest)
#include "test_datatype.moc"
