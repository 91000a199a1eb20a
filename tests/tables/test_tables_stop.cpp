// A delete the user stops, and one that fails for many tables: Stop ends the walk before
// its next table and the lists show what the servers hold; "Select All" then "Delete
// Table/s" on the PostgreSQL side drops the user's tables with one report and one list for
// the catalogue tables the account may not drop. The line below the bar tells what each
// click did.

#include "tests/support/Servers.h"

#include <QMessageBox>

class TestTablesStop : public ServerCase
{
    Q_OBJECT
private slots:

    void stopDuringADeleteOfSeveralTables_data() { perServer(); }
    void stopDuringADeleteOfSeveralTables()
    {
        QStringList tables;
        for (int t = 0; t < 40; ++t)
            tables << QStringLiteral("t%1").arg(t, 2, 10, QLatin1Char('0'));
        server().createTables(tables);
        Form2& form = openTableWindow();
        form.show();
        TableList* list = server().list();
        select(list, tables);
        const int before = list->count();

        // The user presses Stop once a few tables are gone.
        bool enabledWhileRunning = false;
        WhenThen stop([&] { return before - list->count() >= 5; },
                      [&] {
                          enabledWhileRunning = form.stopButton()->isEnabled();
                          QTest::mouseClick(form.stopButton(), Qt::LeftButton);
                      });
        QTest::mouseClick(server().deleteButton(), Qt::LeftButton);

        QVERIFY(stop.done());
        QVERIFY2(stop.elapsed() < 1000, qPrintable(QString::number(stop.elapsed())));
        QS_VERIFY_NO_BOXES();
        QVERIFY(enabledWhileRunning);
        QVERIFY(!form.stopButton()->isEnabled());
        const QStringList left = server().tables();
        QVERIFY2(!left.isEmpty() && left.size() <= 35, qPrintable(left.join(QLatin1Char(' '))));
        // The walk goes from the bottom up: the tables left are the first ones.
        QCOMPARE(left, tables.mid(0, left.size()));
        QStringList listed;
        for (const QString& name : names(list))
            if (name.startsWith(QLatin1Char('t')) && name.size() == 3)
                listed << name;
        QCOMPARE(listed, left);
        const QString summary = form.summaryLine()->text();
        QVERIFY2(
            summary.startsWith(QStringLiteral("Stopped: %1 of 40 tables dropped; in ").arg(40 - left.size())),
            qPrintable(summary));
    }

    void selectAllThenDeleteOnPostgreSQL()
    {
        Server::postgreSQL().createTables({"mine", "yours", "ours"});
        Form2& form = openTableWindow();
        const int listed = form.List2->count();
        const int catalogue = listed - 3;
        QVERIFY2(catalogue > 50, qPrintable(QString::number(catalogue)));
        QTest::mouseClick(form.PushButton8, Qt::LeftButton);
        QTest::mouseClick(form.PushButton5, Qt::LeftButton);

        QCOMPARE(Server::postgreSQL().tables(), QStringList());
        QCOMPARE(form.List2->count(), catalogue);
        for (const char* name : {"mine", "yours", "ours"})
            QVERIFY(form.List2->findItems(QLatin1String(name), Qt::MatchExactly).isEmpty());
        // The first refused table is reported; the list names every other one, in a box
        // that fits the screen.
        const QStringList boxes = shownBoxes();
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes.constFirst(), QStringLiteral("report Form2.PushButton5_Click 112"));
        const QString& list = boxes.constLast();
        QVERIFY2(list.startsWith(QStringLiteral("These failures happened more than once")), qPrintable(list));
        QVERIFY2(list.contains(QStringLiteral("\r\nAt line 112, %1 times:\r\n").arg(catalogue)),
                 qPrintable(list));
        QVERIFY2(list.contains(QStringLiteral("\r\nAnd %1 more: ").arg(catalogue - 5)), qPrintable(list));
        const QString shown = MessageBox::boxFor(MessageBox::history().constLast())->text();
        QVERIFY2(!shown.endsWith(QStringLiteral("…")), qPrintable(shown));
        const QString lastWalked = form.List2->item(0)->text();
        QVERIFY2(shown.contains(lastWalked), qPrintable(lastWalked));
        const QString summary = form.summaryLine()->text();
        QVERIFY2(summary.startsWith(QStringLiteral("Done: 3 of %1 tables dropped; %2 tables failed; in ")
                                        .arg(listed)
                                        .arg(catalogue)),
                 qPrintable(summary));
    }
};

QTEST_MAIN(TestTablesStop)
#include "test_tables_stop.moc"
