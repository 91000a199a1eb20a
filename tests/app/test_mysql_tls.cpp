// MySQL over TLS: a server that refuses unencrypted connections is reached encrypted,
// through the database layer and through "Test Connection", and a server without TLS is
// still reached in the clear.

#include "app/Windows.h"
#include "connect/ConnectionStrings.h"
#include "connect/Form1.h"
#include "tests/support/TestSupport.h"

#include <QLineEdit>
#include <optional>

namespace {
QString mySQLString(const QString& port)
{
    return MySQLConnectionString({Sandbox::env("QS_MY_HOST"), Sandbox::env("QS_MY_USER"),
                                  Sandbox::env("QS_MY_DATABASE"), Sandbox::env("QS_MY_PASSWORD"), port});
}

// The cipher of the session, empty for an unencrypted one; nothing when the server did
// not say.
std::optional<QString> sessionCipher(Connection& connection)
{
    Recordset rows = connection.Execute(QStringLiteral("SHOW SESSION STATUS LIKE 'Ssl_cipher'"));
    if (rows.Eof())
        return std::nullopt;
    return rows.Fields()[1].Value().toString();
}
} // namespace

class MySQLTlsTest : public QObject
{
    Q_OBJECT
private slots:
    void theServerGetsTlsWhenItOffersIt()
    {
        Connection tls;
        try {
            tls.Open(mySQLString(Sandbox::env("QS_MY_TLS_PORT")));
        } catch (const Error& error) {
            QFAIL(qPrintable(QStringLiteral("TLS server: ") + error.description()));
        }
        // The sandbox server really turns away unencrypted clients.
        QCOMPARE(Sandbox::scalar(tls, QStringLiteral("SELECT @@require_secure_transport")),
                 QStringLiteral("1"));
        const std::optional<QString> cipher = sessionCipher(tls);
        QVERIFY2(cipher, "the server did not tell the session's cipher");
        QVERIFY2(!cipher->isEmpty(), "the session is not encrypted");
        // Rows enough for many TLS records arrive whole.
        QCOMPARE(Sandbox::column(tls, QStringLiteral("SELECT seq FROM seq_1_to_20000")).size(), 20000);

        Connection plain;
        try {
            plain.Open(mySQLString(Sandbox::env("QS_MY_PORT")));
        } catch (const Error& error) {
            QFAIL(qPrintable(QStringLiteral("plain server: ") + error.description()));
        }
        QCOMPARE(Sandbox::scalar(plain, QStringLiteral("SELECT @@have_ssl")), QStringLiteral("DISABLED"));
        const std::optional<QString> none = sessionCipher(plain);
        QVERIFY2(none, "the server did not tell the session's cipher");
        QCOMPARE(*none, QString());
    }

    void testConnectionReachesTheTlsServer()
    {
        ProgramUnderTest program;
        Form1& form = Windows::form1();
        form.Text6->setText(Sandbox::env("QS_MY_HOST"));
        form.Text10->setText(Sandbox::env("QS_MY_TLS_PORT"));
        form.Text7->setText(Sandbox::env("QS_MY_USER"));
        form.Text8->setText(Sandbox::env("QS_MY_PASSWORD"));
        form.Text9->setText(Sandbox::env("QS_MY_DATABASE"));
        form.PushButton1_Click();
        QCOMPARE(shownTexts(), QStringList{QStringLiteral("Connection successful.")});
    }
};

QTEST_MAIN(MySQLTlsTest)
#include "test_mysql_tls.moc"
