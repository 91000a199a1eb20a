// The error report's text, and how a handler goes on after a failed step.

#include "app/ErrorReport.h"
#include "tests/support/TestSupport.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QScreen>

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

    // Failures of one kind at one line are shown the first time and counted after, per
    // table; when the handler ends one box lists them, the first few tables with their
    // first failure and the others by name, and fits the screen; behind its details, the first
    // 10,000 refused rows of the rows' line. A stop is not a failure; a NUL shows as a mark.
    void repeatedFailuresAreListedOnceWhenTheHandlerEnds()
    {
        ProgramUnderTest program;
        {
            Handler handler(QStringLiteral("Form2"), QStringLiteral("PushButton4_Click"));
            QString statement;
            handler.showStatementText(&statement);
            handler.keepRefusedRowsAt({256});
            auto fail = [&](const QString& table, int line, int row, const QString& state) {
                handler.setContext(table);
                statement =
                    QStringLiteral("INSERT INTO `%1` VALUES('%2', '%3')").arg(table).arg(row).arg(QChar(0));
                handler.step(line, [&] {
                    throw Error(QStringLiteral("refused at row %1").arg(row), Error::Cause::Values, state,
                                1292);
                });
            };
            for (int row = 1; row <= 10002; ++row)
                fail(QStringLiteral("many"), 256, row, QStringLiteral("22007"));
            for (int row = 1; row <= 3; ++row)
                fail(QStringLiteral("few"), 256, row, QStringLiteral("22007"));
            fail(QStringLiteral("few"), 256, 4, QStringLiteral("22003"));
            for (int t = 0; t < 70; ++t)
                fail(QStringLiteral("t%1").arg(t, 2, 10, QLatin1Char('0')), 148, 1, QStringLiteral("42501"));
            handler.step(150, [] { throw Error::stoppedByUser(); });
            QCOMPARE(handler.reports(), 3);
        }
        const QStringList shown = shownTexts();
        QCOMPARE(shown.size(), 4);
        QVERIFY(shown[0].startsWith(QStringLiteral("refused at row 1\r\n")));
        QVERIFY(shown[1].startsWith(QStringLiteral("refused at row 4\r\n")));
        QVERIFY(shown[2].contains(QStringLiteral(" at line 148\r\r")));
        QString expected = QStringLiteral(
            "These failures happened more than once; each kind was shown only the first time.\r\n"
            "\r\nAt line 256, 10005 times:\r\n"
            "many: 10002 times, the first: refused at row 1\r\nsql: INSERT INTO `many` VALUES('1', "
            "'\u2400')\r\n"
            "few: 3 times, the first: refused at row 1\r\nsql: INSERT INTO `few` VALUES('1', '\u2400')\r\n"
            "\r\nAt line 148, 70 times:\r\n");
        for (int t = 0; t < 5; ++t)
            expected +=
                QStringLiteral("t%1: refused at row 1\r\nsql: INSERT INTO `t%1` VALUES('1', '\u2400')\r\n")
                    .arg(t, 2, 10, QLatin1Char('0'));
        QStringList rest;
        for (int t = 5; t < 70; ++t)
            rest << QStringLiteral("t%1").arg(t, 2, 10, QLatin1Char('0'));
        expected += QStringLiteral("And 65 more: ") + rest.join(QStringLiteral(", ")) +
                    QStringLiteral("\r\n\r\n") + handlerTag("Form2", "PushButton4_Click") +
                    QStringLiteral("\r\rPlease email screenshot of this message to support@vantrel.example");
        QCOMPARE(shown[3], expected);
        const auto box = MessageBox::boxFor(MessageBox::history().constLast());
        QVERIFY2(box->text().endsWith(QStringLiteral("support@vantrel.example")), qPrintable(box->text()));
        const QString details = box->detailedText();
        QVERIFY(details.startsWith(QStringLiteral("10,006 refused rows, each with its table, its failure")));
        QCOMPARE(details.count(QStringLiteral("\nsql: ")), 10000);
        QVERIFY(details.endsWith(QStringLiteral("VALUES('10000', '\u2400')\n... and 6 more refused rows")));
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
