// How each value is spelled in an INSERT statement of either direction, without servers:
// NULL, numbers bare or quoted, apostrophes, binary, dates with and without fractions,
// character(n) padding, booleans and the float extremes.

#include "app/db/DataTypeEnum.h"
#include "app/db/Error.h"
#include "transfer/ValueText.h"

#include <QTest>

Q_DECLARE_METATYPE(Value)

namespace {
Value text(const char* bytes)
{
    return Value::of(QByteArray(bytes));
}

QString toPostgreSQL(const Value& value, int type, bool numeric)
{
    QByteArray statement;
    appendPostgreSQLValue(statement, value, type, numeric);
    return QString::fromUtf8(statement);
}

// The MySQL writer appends to a statement that already holds the value's opening quote.
QString toMySQL(const Value& value, int type, int scale = 30)
{
    QByteArray statement("'");
    appendMySQLValue(statement, value, type, scale);
    return QString::fromUtf8(statement);
}
} // namespace

class ValueTextTest : public QObject
{
    Q_OBJECT
private slots:
    void postgreSQLSpellings_data()
    {
        QTest::addColumn<Value>("value");
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("numeric");
        QTest::addColumn<QString>("written");
        QTest::newRow("NULL") << Value() << int(adInteger) << true << "NULL, ";
        QTest::newRow("NULL text") << Value() << int(adVarWChar) << false << "NULL, ";
        QTest::newRow("empty text stays text") << text("") << int(adVarWChar) << false << "'', ";
        QTest::newRow("integer bare") << text("-42") << int(adBigInt) << true << "-42, ";
        QTest::newRow("unsigned maximum bare")
            << text("18446744073709551615") << int(adUnsignedBigInt) << true << "18446744073709551615, ";
        QTest::newRow("not a plain number quoted") << text("1e5") << int(adInteger) << true << "'1e5', ";
        QTest::newRow("decimal quoted") << text("-0.50") << int(adNumeric) << false << "'-0.50', ";
        QTest::newRow("apostrophes doubled")
            << text("O'Brien's") << int(adVarWChar) << false << "'O''Brien''s', ";
        QTest::newRow("backslash as it is")
            << text("C:\\new\\") << int(adVarWChar) << false << "'C:\\new\\', ";
        QTest::newRow("binary as hex")
            << Value::of(QByteArray("\x00\xff'", 3)) << int(adLongVarBinary) << false << "'\\x00ff27', ";
        QTest::newRow("empty binary") << Value::of(QByteArray()) << int(adVarBinary) << false << "'\\x', ";
        QTest::newRow("zero date is NULL") << text("0000-00-00") << int(adDBDate) << false << "NULL, ";
        QTest::newRow("zero day is NULL") << text("2021-02-00") << int(adDBDate) << false << "NULL, ";
        QTest::newRow("date") << text("2021-08-31") << int(adDBDate) << false << "'2021-08-31', ";
        QTest::newRow("bit one") << Value::of(QByteArray("\x01", 1)) << int(adBoolean) << false << "'true', ";
        QTest::newRow("bit zero") << Value::of(QByteArray("\x00", 1)) << int(adBoolean) << false
                                  << "'false', ";
        QTest::newRow("unicode") << text("Grüße 😀") << int(adLongVarWChar) << false << "'Grüße 😀', ";
    }
    void postgreSQLSpellings()
    {
        QFETCH(Value, value);
        QFETCH(int, type);
        QFETCH(bool, numeric);
        QFETCH(QString, written);
        QCOMPARE(toPostgreSQL(value, type, numeric), written);
    }

    void mySQLSpellings_data()
    {
        QTest::addColumn<Value>("value");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("written");
        QTest::newRow("NULL") << Value() << int(adInteger) << "NULL, '";
        QTest::newRow("empty text stays text") << text("") << int(adVarWChar) << "'', '";
        QTest::newRow("number quoted") << text("5") << int(adInteger) << "'5', '";
        QTest::newRow("apostrophes doubled") << text("it's") << int(adLongVarWChar) << "'it''s', '";
        QTest::newRow("binary as hex literal")
            << Value::of(QByteArray("\x5c\x27", 2)) << int(adLongVarBinary) << "X'5c27', '";
        QTest::newRow("date at midnight")
            << text("2021-08-31") << int(adDBDate) << "'2021-08-31 00:00:00', '";
        QTest::newRow("timestamp") << text("2021-08-31 14:05:00") << int(adDBTimeStamp)
                                   << "'2021-08-31 14:05:00', '";
        QTest::newRow("fraction kept to six digits")
            << text("2021-08-31 14:05:00.5") << int(adDBTimeStamp) << "'2021-08-31 14:05:00.500000', '";
        QTest::newRow("zero fraction dropped")
            << text("2021-08-31 14:05:00.000") << int(adDBTimeStamp) << "'2021-08-31 14:05:00', '";
        QTest::newRow("time zone dropped, value in UTC")
            << text("2021-08-31 14:05:00.123456+00") << int(adDBTimeStamp)
            << "'2021-08-31 14:05:00.123456', '";
        QTest::newRow("infinity left for the server")
            << text("infinity") << int(adDBTimeStamp) << "'infinity', '";
        QTest::newRow("time of day as it is") << text("14:05:00") << int(adDBTime) << "'14:05:00', '";
        QTest::newRow("text that looks like a date")
            << text("2021-08-31") << int(adVarWChar) << "'2021-08-31', '";
        QTest::newRow("boolean") << text("t") << int(adBoolean) << "'true', '";
        QTest::newRow("character(n) without padding") << text("ab   ") << int(adWChar) << "'ab', '";
        QTest::newRow("inner blanks kept") << text(" a b ") << int(adWChar) << "' a b', '";
        QTest::newRow("largest real as its double")
            << text("3.4028235e+38") << int(adSingle) << "'3.4028234663852886e+38', '";
        QTest::newRow("smallest real") << text("1e-45") << int(adSingle) << "'1.401298464324817e-45', '";
        QTest::newRow("real NaN as it is") << text("NaN") << int(adSingle) << "'NaN', '";
        QTest::newRow("decimal within its scale") << text("1.2500") << int(adNumeric) << "'1.2500', '";
    }
    void mySQLSpellings()
    {
        QFETCH(Value, value);
        QFETCH(int, type);
        QFETCH(QString, written);
        QCOMPARE(toMySQL(value, type), written);
    }

    // MySQL would round surplus digits after the point without a word.
    void decimalsPastTheScaleAreRefused()
    {
        QCOMPARE(toMySQL(text("1.230"), adNumeric, 2), QStringLiteral("'1.230', '"));
        QVERIFY_THROWS_EXCEPTION(Error, toMySQL(text("1.235"), adNumeric, 2));
        QVERIFY_THROWS_EXCEPTION(Error, toMySQL(text("0.0000000000000000000000000000001"), adNumeric, 30));
    }
};

QTEST_MAIN(ValueTextTest)
#include "test_value_text.moc"
