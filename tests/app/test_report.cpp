// The error report's text, and how a handler goes on after a failed step.

#include "app/ErrorReport.h"
#include "app/MessageBox.h"
#include "tests/support/TestSupport.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QScreen>
#include <QTest>

class ReportTest : public QObject
{
    Q_OBJECT
private slots:
    void textIsExactForOrdinaryHandlers()
    {
        const QString text =
            errorReportText(QStringLiteral("Boom"), handlerTag("Form1", "PushButton2_Click"), 106);
        QCOMPARE(text,
                 QStringLiteral("Boom\r\nin Tablewright2021/08/31.Form1.PushButton2_Click at line 106\r\r"
                                "Please email screenshot of this message to support@vantrel.example"));
    }

    void transferReportsEndWithTheStatement()
    {
        const QString statement = QStringLiteral("INSERT INTO \"t\" VALUES(1)");
        const QString text =
            errorReportText(QString(), handlerTag("Form2", "PushButton3_Click"), 270, &statement);
        // An empty description still gives the line break and the rest.
        QVERIFY(text.startsWith(
            QStringLiteral("\r\nin Tablewright2021/08/31.Form2.PushButton3_Click at line 270\r\r")));
        QVERIFY(text.endsWith(QStringLiteral("support@vantrel.example\r\rsql: INSERT INTO \"t\" VALUES(1)")));
    }

    // A statement of megabytes (one row with a large value) shows its first 2,000
    // characters and how many were left out; the box, even for a server message of a
    // megabyte without a line break, fits the screen and is made at once.
    void aHugeReportFitsTheScreen()
    {
        ProgramUnderTest program;
        const QString statement =
            QStringLiteral("INSERT INTO `t` VALUES('") + QString(8 << 20, QLatin1Char('7'));
        const QString text = errorReportText(QString(1 << 20, QLatin1Char('e')),
                                             handlerTag("Form2", "PushButton4_Click"), 256, &statement);
        const QString sql = text.mid(text.indexOf(QStringLiteral("\r\rsql: ")) + 7);
        QCOMPARE(sql.size(), 2000 + QStringLiteral("… (8386632 more characters)").size());
        QVERIFY(sql.startsWith(QStringLiteral("INSERT INTO `t` VALUES('777")));
        QVERIFY2(sql.endsWith(QStringLiteral("7… (8386632 more characters)")), qPrintable(sql.right(40)));

        QElapsedTimer clock;
        clock.start();
        const auto box = MessageBox::boxFor(
            {text, QStringLiteral("Application Error"), MessageBox::OkOnly, MessageBox::Warning, false, {}});
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        const QRect screen = box->screen()->availableGeometry();
        QVERIFY2(screen.contains(box->frameGeometry()), qPrintable(QStringLiteral("%1x%2 on %3x%4")
                                                                       .arg(box->width())
                                                                       .arg(box->height())
                                                                       .arg(screen.width())
                                                                       .arg(screen.height())));
        // It used to take minutes; a second is plenty on a busy machine.
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    }

    void eachFailedStepIsReportedInOrderAndTheHandlerGoesOn()
    {
        ProgramUnderTest program;
        Handler handler(QStringLiteral("Form2"), QStringLiteral("PushButton2_Click"));
        QStringList ran;
        QVERIFY(!handler.step(100, [] { throw Error(QStringLiteral("first")); }));
        QVERIFY(handler.step(102, [&] { ran << "102"; }));
        QVERIFY(!handler.step(104, [] { throw std::runtime_error("second"); }));
        QCOMPARE(ran, QStringList{"102"});
        QCOMPARE(handler.reports(), 2);
        const auto& shown = MessageBox::history();
        QCOMPARE(shown.size(), 2);
        QVERIFY(shown[0].text.startsWith(
            QStringLiteral("first\r\nin Tablewright2021/08/31.Form2.PushButton2_Click at line 100\r\r")));
        QVERIFY(shown[1].text.startsWith(QStringLiteral("second\r\n")));
        QVERIFY(shown[1].text.contains(QStringLiteral("at line 104\r\r")));
        for (const auto& box : shown) {
            QCOMPARE(box.title, QStringLiteral("Application Error"));
            QCOMPARE(box.icon, MessageBox::Warning);
            QCOMPARE(box.buttons, MessageBox::OkOnly);
        }
    }

    void aFailedTestEntersTheConditional()
    {
        ProgramUnderTest program;
        Handler handler(QStringLiteral("Form1"), QStringLiteral("Form_Load"));
        QVERIFY(handler.test(148, []() -> bool { throw Error(QStringLiteral("no object")); }));
        QVERIFY(!handler.test(150, [] { return false; }));
        QCOMPARE(handler.reports(), 1);
        QVERIFY(MessageBox::history().first().text.contains(QStringLiteral("Form1.Form_Load at line 148")));
    }
};

QTEST_MAIN(ReportTest)
#include "test_report.moc"
