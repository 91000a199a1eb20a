// A copy the user follows and stops: the bar names the table, its place and the rows done;
// Stop (the button or Escape) ends the click within a second, or within the bounded cancel
// of a server that does not answer; the rows the server confirmed stay, no further table is
// started, the lists show what the servers hold, and no box is shown. Closing the window
// stops the copy the same way, then ends the program.

#include "app/OperationGuard.h"
#include "app/Yield.h"
#include "tests/transfer/TransferFixture.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTimer>

namespace {
// The number of a summary line, "Stopped: 0 of 1 table copied, 1 in part: 12,345 rows
// written; in 0.4 s." gives 12345 for "rows written".
qint64 summaryNumber(const QString& summary, const QString& after)
{
    const QRegularExpression number(QStringLiteral("([\\d,]+) ") + QRegularExpression::escape(after));
    const QRegularExpressionMatch match = number.match(summary);
    return match.hasMatch() ? match.captured(1).remove(QLatin1Char(',')).toLongLong() : -1;
}
} // namespace

class TransferStopTest : public ServerCase
{
    Q_OBJECT
private slots:
    void stopDuringALargeCopy_data()
    {
        QTest::addColumn<const Server*>("server");
        QTest::addColumn<bool>("escape");
        QTest::newRow("to PostgreSQL, the Stop button") << &Server::mySQL() << false;
        QTest::newRow("to MySQL, the Stop button") << &Server::postgreSQL() << false;
        QTest::newRow("to PostgreSQL, Escape") << &Server::mySQL() << true;
        QTest::newRow("to MySQL, Escape") << &Server::postgreSQL() << true;
    }

    void stopDuringALargeCopy()
    {
        QFETCH(bool, escape);
        numbers(QStringLiteral("big"), 200000);
        Form2& form = openTableWindow();
        form.show();
        QString words;
        bool enabledWhileRunning = false;
        WhenThen stop([&] { return form.ProgressBar1->value() >= 5; },
                      [&] {
                          words = form.ProgressBar1->format();
                          enabledWhileRunning = form.stopButton()->isEnabled();
                          if (escape)
                              QTest::keyClick(targetList(), Qt::Key_Escape);
                          else
                              pressStop();
                      });
        send({QStringLiteral("big")});

        QVERIFY(stop.done());
        const qint64 tookAfterStop = stop.elapsed();
        QS_VERIFY_NO_BOXES();
        QVERIFY(enabledWhileRunning);
        QVERIFY2(QRegularExpression(QStringLiteral("^big \\(1 of 1\\): \\d{1,3}(,\\d{3})* of 200,000 rows$"))
                     .match(words)
                     .hasMatch(),
                 qPrintable(words));
        // The rows the target confirmed are the ones the summary counts, each once.
        const QString summary = form.summaryLine()->text();
        QVERIFY2(summary.startsWith(QStringLiteral("Stopped: 0 of 1 table copied, 1 in part: ")),
                 qPrintable(summary));
        const qint64 written = summaryNumber(summary, QStringLiteral("rows written"));
        QVERIFY2(written >= 10000 && written < 200000, qPrintable(summary));
        QCOMPARE(targetCount(QStringLiteral("big")), written);
        QCOMPARE(Sandbox::scalar(target(), QStringLiteral("SELECT COUNT(DISTINCT id) FROM big")),
                 QString::number(written));
        QCOMPARE(items(targetList()), QStringList{"big"});
        qInfo("the click ended %lld ms after Stop", tookAfterStop);
        QVERIFY2(tookAfterStop < 1000, qPrintable(QString::number(tookAfterStop)));
        verifyIdle();
    }

    void stopDuringTheSecondOfThreeTables_data() { directions(); }
    void stopDuringTheSecondOfThreeTables()
    {
        // The list is worked from the bottom up: c, then b, then a.
        numbers(QStringLiteral("a"), 3);
        numbers(QStringLiteral("b"), 200000);
        numbers(QStringLiteral("c"), 5);
        Form2& form = openTableWindow();
        form.show();
        WhenThen stop(
            [&] {
                return form.ProgressBar1->format().startsWith(QStringLiteral("b (2 of 3): ")) &&
                       form.ProgressBar1->value() >= 5;
            },
            [] { pressStop(); });
        send({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});

        QVERIFY(stop.done());
        const qint64 tookAfterStop = stop.elapsed();
        QS_VERIFY_NO_BOXES();
        const QString summary = form.summaryLine()->text();
        QVERIFY2(summary.startsWith(QStringLiteral("Stopped: 1 of 3 tables copied, 1 in part: ")),
                 qPrintable(summary));
        QCOMPARE(targetCount(QStringLiteral("c")), 5);
        const qint64 partOfB = targetCount(QStringLiteral("b"));
        QVERIFY2(partOfB > 0 && partOfB < 200000, qPrintable(QString::number(partOfB)));
        QCOMPARE(summaryNumber(summary, QStringLiteral("rows written")), 5 + partOfB);
        // a was not started: the target has no such table, and the list shows none.
        QCOMPARE(items(targetList()), (QStringList{"b", "c"}));
        QCOMPARE(server().other().tables(), (QStringList{"b", "c"}));
        qInfo("the click ended %lld ms after Stop", tookAfterStop);
        QVERIFY2(tookAfterStop < 1000, qPrintable(QString::number(tookAfterStop)));
        verifyIdle();
    }

    void stopWhileTheTargetDoesNotAnswer_data() { directions(); }
    void stopWhileTheTargetDoesNotAnswer()
    {
        // The target's server is stopped in the middle of the rows; the user waits a moment,
        // clicks "Deselect All" (which waits for the server like any other click), then Stop.
        // Both clicks come as the window system delivers them, to the window.
        numbers(QStringLiteral("big"), 200000);
        Form2& form = openTableWindow();
        form.show();
        TableList* sourceList = server().list();
        std::optional<StoppedProcesses> stoppedServer;
        QElapsedTimer sinceStopped;
        WhenThen silence([&] { return form.ProgressBar1->value() >= 5; },
                         [&] {
                             stoppedServer.emplace(targetProcesses());
                             sinceStopped.start();
                         });
        QStringList selectedWhileWaiting;
        // The clicks come while the copy waits for the silent server; before that (a slow machine
        // still filling the socket's buffers) a click is handled at once, as it should be.
        WhenThen stop(
            [&] { return sinceStopped.isValid() && sinceStopped.elapsed() > 300 && isWaitingForServer(); },
            [&] {
                clickInWindow(server().deselectAllButton());
                for (QListWidgetItem* item : sourceList->selectedItems())
                    selectedWhileWaiting << item->text();
                clickInWindow(form.stopButton());
            });
        send({QStringLiteral("big")});
        const qint64 tookAfterStop = stop.elapsed();
        stoppedServer.reset();

        QVERIFY(stop.done());
        QS_VERIFY_NO_BOXES();
        // Given up within the grace after the stop and the bounded cancel of the statement.
        qInfo("the click ended %lld ms after Stop", tookAfterStop);
        QVERIFY2(tookAfterStop < 6000, qPrintable(QString::number(tookAfterStop)));
        QCOMPARE(selectedWhileWaiting, QStringList{"big"});
        QTRY_VERIFY(sourceList->selectedItems().isEmpty());
        const QString summary = form.summaryLine()->text();
        QVERIFY2(summary.startsWith(QStringLiteral("Stopped: 0 of 1 table copied, 1 in part: ")),
                 qPrintable(summary));
        // The server may still commit a row that it had not confirmed when it was given up.
        QVERIFY2(targetCount(QStringLiteral("big")) >= summaryNumber(summary, QStringLiteral("rows written")),
                 qPrintable(summary));
        QCOMPARE(items(targetList()), QStringList{"big"});
        verifyIdle();
    }

    void closingTheWindowStopsTheCopyThenEnds_data()
    {
        QTest::addColumn<const Server*>("server");
        QTest::addColumn<bool>("silent");
        QTest::newRow("to PostgreSQL") << &Server::mySQL() << false;
        QTest::newRow("to PostgreSQL, the target silent") << &Server::mySQL() << true;
        QTest::newRow("to MySQL, the target silent") << &Server::postgreSQL() << true;
    }

    void closingTheWindowStopsTheCopyThenEnds()
    {
        QFETCH(bool, silent);
        numbers(QStringLiteral("big"), 200000);
        Form2& form = openTableWindow();
        form.show();
        std::optional<StoppedProcesses> stoppedServer;
        QElapsedTimer sinceStopped;
        WhenThen silence([&] { return form.ProgressBar1->value() >= 5; },
                         [&] {
                             if (silent)
                                 stoppedServer.emplace(targetProcesses());
                             sinceStopped.start();
                         });
        int endsAtClose = -1;
        WhenThen close([&] { return sinceStopped.isValid() && sinceStopped.elapsed() > 300; },
                       [&] {
                           form.close();
                           endsAtClose = m_program->endCalls();
                       });
        send({QStringLiteral("big")});
        const qint64 tookAfterClose = close.elapsed();
        stoppedServer.reset();

        QVERIFY(close.done());
        // The window stays until the copy has stopped, and the program ends once, then.
        QCOMPARE(endsAtClose, 0);
        QVERIFY(form.isVisible());
        QCOMPARE(m_program->endCalls(), 1);
        qInfo("the program ended %lld ms after the close", tookAfterClose);
        QVERIFY2(tookAfterClose < OperationGuard::kEndGraceMilliseconds + 1000,
                 qPrintable(QString::number(tookAfterClose)));
        QS_VERIFY_NO_BOXES();
        QCOMPARE(items(targetList()), QStringList{"big"});
    }

    // Stop, or the window's close, while the first statement of the copy's shape waits for
    // another session that read the copy in a transaction it keeps open: that statement is
    // stopped on the server, no other is started, and the summary says the shape is missing.
    void stopDuringTheShape_data()
    {
        QTest::addColumn<const Server*>("server");
        QTest::addColumn<bool>("close");
        QTest::newRow("to PostgreSQL, the Stop button") << &Server::mySQL() << false;
        QTest::newRow("to MySQL, the Stop button") << &Server::postgreSQL() << false;
        QTest::newRow("to PostgreSQL, the window closed") << &Server::mySQL() << true;
        QTest::newRow("to MySQL, the window closed") << &Server::postgreSQL() << true;
    }
    void stopDuringTheShape()
    {
        QFETCH(bool, close);
        numbers(QStringLiteral("shaped"), 200000);
        Sandbox::exec(source(), QStringLiteral("ALTER TABLE shaped ADD PRIMARY KEY (id)"));
        Sandbox::exec(source(), QStringLiteral("CREATE INDEX shaped_label ON shaped (label)"));
        const Server& to = server().other();
        Form2& form = openTableWindow();
        form.show();
        std::unique_ptr<Connection> reader = to.connect();
        WhenThen read([&] { return form.ProgressBar1->value() >= 5; },
                      [&] {
                          Sandbox::exec(*reader, to.isMySQL() ? QStringLiteral("START TRANSACTION")
                                                              : QStringLiteral("BEGIN"));
                          Sandbox::exec(*reader, QStringLiteral("SELECT COUNT(*) FROM shaped"));
                      });
        const QString waiting = to.lockWaits(QStringLiteral("ALTER TABLE%"));
        WhenThen stop([&] { return read.done() && !Sandbox::column(target(), waiting).isEmpty(); },
                      [&] { close ? (void)form.close() : pressStop(); });
        send({QStringLiteral("shaped")});

        QVERIFY(stop.done());
        const qint64 tookAfterStop = stop.elapsed();
        // Nothing of the copy's waits on the server any more, and it made no part of the shape.
        QCOMPARE(Sandbox::column(target(), to.lockWaits(QStringLiteral("%"))), QStringList());
        Sandbox::exec(*reader, QStringLiteral("COMMIT"));
        QS_VERIFY_NO_BOXES();
        QCOMPARE(m_program->endCalls(), close ? 1 : 0);
        QCOMPARE(targetCount(QStringLiteral("shaped")), 200000);
        const Catalogue catalogue = to.catalogue(target());
        QVERIFY(std::none_of(catalogue.keys.begin(), catalogue.keys.end(),
                             [](const Catalogue::Key& key) { return key.table == QLatin1String("shaped"); }));
        const QString summary = form.summaryLine()->text();
        QVERIFY2(
            summary.startsWith(QStringLiteral("Stopped: 1 of 1 table copied: 200,000 rows written; shape "
                                              "missing: shaped; in ")),
            qPrintable(summary));
        qInfo("the click ended %lld ms after Stop", tookAfterStop);
        QVERIFY2(tookAfterStop < 3000, qPrintable(QString::number(tookAfterStop)));
    }

private:
    // A source table of the numbers 1..rows with a label.
    void numbers(const QString& table, int rows)
    {
        Sandbox::exec(source(), server().numbersTable(table, rows));
    }
    qint64 targetCount(const QString& table)
    {
        auto fresh = server().other().connect();
        return Sandbox::scalar(*fresh, QStringLiteral("SELECT COUNT(*) FROM %1").arg(table)).toLongLong();
    }
    // The processes that answer for the target, the program's own session among them.
    QList<pid_t> targetProcesses()
    {
        if (!toPostgreSQL())
            return Sandbox::mySQLProcesses();
        const QString backend = Sandbox::scalar(
            *m_pg, QStringLiteral("SELECT pid FROM pg_stat_activity WHERE backend_type = 'client backend' "
                                  "AND pid <> pg_backend_pid() AND datname = current_database()"));
        return Sandbox::postgreSQLProcesses(static_cast<pid_t>(backend.toLong()));
    }
    static void pressStop() { QTest::mouseClick(Windows::form2().stopButton(), Qt::LeftButton); }
    // A click as the window system delivers it: to the window, at the control's place.
    static void clickInWindow(QWidget* control)
    {
        Form2& form = Windows::form2();
        QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {},
                          control->mapTo(&form, control->rect().center()));
    }
    // The window between clicks: Stop disabled, the bar empty and saying "Progress Bar".
    static void verifyIdle()
    {
        Form2& form = Windows::form2();
        QVERIFY(!form.stopButton()->isEnabled());
        QCOMPARE(form.ProgressBar1->value(), 0);
        QCOMPARE(form.ProgressBar1->format(), QStringLiteral("Progress Bar"));
    }
};

QTEST_MAIN(TransferStopTest)
#include "test_transfer_stop.moc"
