// The error report's text, and how a handler goes on after a failed step.

#include "app/ErrorReport.h"
#include "tests/support/TestSupport.h"

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
