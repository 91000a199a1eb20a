// Connection fields a user may well type: separators, braces, blanks and non-ASCII
// letters, a port in letters, no database at all. Nothing crashes, and every failure is
// a clear message.

#include "app/Settings.h"
#include "tests/support/ProgramWindows.h"

namespace {
const QString kMySQLFailure = QStringLiteral("Could not connect. Please check with your administrator. Make "
                                             "sure you are allowed to connect to your database "
                                             "remotely and not just through web-based control panels.");
const QString kPostgreSQLFailure = QStringLiteral("Could not connect. Please check with your administrator.");

// The connection window on the sandbox servers, which did not go on by itself.
Form1& connectionWindow()
{
    Form1& form = openConnectionWindow();
    form.Text2->setText(Sandbox::env("QS_PG_PORT"));
    return form;
}
} // namespace

class BadInputTest : public QObject
{
    Q_OBJECT
private slots:
    void databaseNamesWithSeparatorsAndLettersConnect()
    {
        ProgramUnderTest program;
        const QString postgreSQLName = QStringLiteral(" qs ;{x}=ü ");
        const QString mySQLName = QStringLiteral("qs_ ;{x}=ü");
        {
            auto pg = Sandbox::postgreSQL();
            Sandbox::exec(*pg, QStringLiteral("DROP DATABASE IF EXISTS \"%1\"").arg(postgreSQLName));
            Sandbox::exec(*pg, QStringLiteral("CREATE DATABASE \"%1\"").arg(postgreSQLName));
            auto my = Sandbox::mySQL();
            Sandbox::exec(*my, QStringLiteral("DROP DATABASE IF EXISTS `%1`").arg(mySQLName));
            Sandbox::exec(*my, QStringLiteral("CREATE DATABASE `%1`").arg(mySQLName));
        }
        Form1& form = connectionWindow();
        form.Text5->setText(postgreSQLName);
        form.Text9->setText(mySQLName);
        form.PushButton3_Click();
        form.PushButton1_Click();
        QCOMPARE(shownTexts(), (QStringList{"Connection successful.", "Connection successful."}));
        // The names were stored as typed.
        QCOMPARE(Settings(program.settingsFile()).read("PostgreSQLDatabase", ""), postgreSQLName);

        // One character more or less is another database.
        MessageBox::clearHistory();
        form.Text5->setText(postgreSQLName.trimmed());
        form.Text9->setText(mySQLName + QLatin1Char(' '));
        form.PushButton3_Click();
        form.PushButton1_Click();
        QCOMPARE(shownTexts(), (QStringList{kPostgreSQLFailure, kMySQLFailure}));
    }

    void aPortInLettersFailsCleanly()
    {
        ProgramUnderTest program;
        Form1& form = connectionWindow();
        form.Text2->setText(QStringLiteral("five"));
        form.Text10->setText(QStringLiteral("3306x"));
        form.PushButton3_Click();
        form.PushButton1_Click();
        form.PushButton2_Click();
        QCOMPARE(shownTexts(), (QStringList{kPostgreSQLFailure, kMySQLFailure}));
        QVERIFY(!Windows::form2Exists());
        QCOMPARE(form.pointer().value(), 0);
    }

    void withoutAMySQLDatabaseTheCatalogueFailureIsReported()
    {
        ProgramUnderTest program;
        Form1& form = connectionWindow();
        form.Text9->clear();
        form.PushButton2_Click();
        // The MySQL server takes the login but has no database to list.
        QCOMPARE(MessageBox::history().size(), 1);
        const QString report = MessageBox::history().first().text;
        QVERIFY2(report.contains(
                     QStringLiteral("\r\nin Tablewright2021/08/31.Form1.PushButton2_Click at line 106\r\r")),
                 qPrintable(report));
        QVERIFY(report.contains(QStringLiteral("database"), Qt::CaseInsensitive));
        // The PostgreSQL side is still listed and the table window shown.
        QVERIFY(Windows::form2().isVisible());
        QVERIFY(Windows::form2().List2->count() > 0);
        QCOMPARE(Windows::form2().List1->count(), 0);
    }
};

QTEST_MAIN(BadInputTest)
#include "test_bad_input.moc"
