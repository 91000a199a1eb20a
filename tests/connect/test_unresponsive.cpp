// Servers that take the connection and then say nothing: the checks and the tests give
// up after the time-out and the window stays usable.

#include "app/Settings.h"
#include "app/Windows.h"
#include "connect/ConnectionStrings.h"
#include "connect/Form1.h"
#include "tests/support/TestSupport.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QTcpServer>

class UnresponsiveTest : public QObject
{
    Q_OBJECT
private slots:
    void silentServersAreGivenUpOn()
    {
        ProgramUnderTest program;
        // The kernel completes the handshake; nobody ever reads or writes.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        const QString port = QString::number(silent.serverPort());
        program.settings().write("PostgreSQLServer", "127.0.0.1");
        program.settings().write("PostgreSQLPort", port);
        program.settings().write("MySQLServer", "127.0.0.1");
        program.settings().write("MySQLPort", port);

        QElapsedTimer clock;
        clock.start();
        Form1& form = Windows::form1();
        form.Form_Load(); // the PostgreSQL check times out; MySQL is not tried
        form.PushButton1_Click();
        // Three waits of the 15-second connection time-out, not minutes.
        QVERIFY2(clock.elapsed() < 3 * 15'000 + 10'000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!Windows::form2Exists());
        QCOMPARE(shownTexts(),
                 QStringList{"Could not connect. Please check with your administrator. Make sure you are "
                             "allowed to connect to your database remotely and not just through "
                             "web-based control panels."});
        QCOMPARE(form.pointer().value(), 0);
        form.PushButton5_Click();
        QCOMPARE(MessageBox::history().size(), 2);
    }
};

QTEST_MAIN(UnresponsiveTest)
#include "test_unresponsive.moc"
