// Deleting and renaming tables on both sides against the sandbox servers, and clicks
// that arrive while an operation is still running.

#include "app/OperationGuard.h"
#include "tests/support/Servers.h"

#include <QTimer>
#include <atomic>
#include <thread>

namespace {
QStringList without(QStringList list, const QStringList& removed)
{
    list.removeIf([&](const QString& name) { return removed.contains(name); });
    return list;
}
} // namespace

class TestTablesMaintenance : public ServerCase
{
    Q_OBJECT
private slots:

    // b_child references c_parent: dropped in descending list order, c_parent comes
    // first and is refused, the report naming b_child; its item stays, as the table does.
    void deleteDropsSelectedTablesFromTheEnd_data() { perServer(); }
    void deleteDropsSelectedTablesFromTheEnd()
    {
        const Server& side = server();
        const QString quoted = QStringLiteral("d") + side.quote() + QStringLiteral("q");
        side.createTables({"Alpha", quoted, "e'q"});
        Sandbox::exec(on(side), QStringLiteral("CREATE TABLE c_parent (id int PRIMARY KEY)"));
        Sandbox::exec(
            on(side),
            QStringLiteral("CREATE TABLE b_child (p int, FOREIGN KEY (p) REFERENCES c_parent (id))"));
        openTableWindow();
        const QStringList selected{"b_child", "c_parent", quoted, "e'q"};
        const QStringList before = names(side.list());
        select(side.list(), selected);
        const int attempts = side.isMySQL() ? Sandbox::mySQLConnections() : 0;

        QTest::mouseClick(side.deleteButton(), Qt::LeftButton);
        QCOMPARE(shownBoxes(), QStringList{Server::report(side.deleteButton(), side.isMySQL() ? 120 : 112)});
        QVERIFY2(MessageBox::history().constFirst().text.contains(
                     QStringLiteral("\nForeign keys of these tables refer to it: b_child.")),
                 qPrintable(MessageBox::history().constFirst().text));
        if (side.isMySQL()) // one connection per table, and the one that counts
            QCOMPARE(Sandbox::mySQLConnections(), attempts + 4 + 1);
        QCOMPARE(names(side.list()), without(before, {"b_child", quoted, "e'q"}));
        QCOMPARE(side.tables(), QStringList({"Alpha", "c_parent"}));
        QCOMPARE(Windows::form2().pointer().value(), 0);
    }

    void deleteWithNothingSelectedDropsNothing_data() { perServer(); }
    void deleteWithNothingSelectedDropsNothing()
    {
        const Server& side = server();
        side.createTables({"t1", "t2"});
        Form2& form = openTableWindow();
        const QStringList before = names(side.list());
        side.list()->setCurrentRow(0);
        QTest::mouseClick(side.deselectAllButton(), Qt::LeftButton);
        QTest::mouseClick(side.deleteButton(), Qt::LeftButton);
        QS_VERIFY_NO_BOXES();
        QCOMPARE(names(side.list()), before);
        QCOMPARE(side.tables(), QStringList({"t1", "t2"}));
        QCOMPARE(form.pointer().value(), 0);
    }

    void renameOneTable_data() { perServer(); }
    void renameOneTable()
    {
        const Server& side = server();
        const QString oldName = QStringLiteral("m") + side.quote() + QStringLiteral("x");
        const QString newName = QStringLiteral("b'new") + side.quote() + QStringLiteral("name");
        side.createTables({"Alpha", oldName, "zeta"});
        openTableWindow();
        TableList* list = side.list();
        const QStringList before = names(list);
        select(list, {oldName});
        MessageBox::setNextInput(newName);

        QTest::mouseClick(side.renameButton(), Qt::LeftButton);
        QCOMPARE(MessageBox::history().size(), 1); // no further prompt
        const MessageBox::Shown prompt = MessageBox::history().first();
        QVERIFY(prompt.isInput);
        QCOMPARE(prompt.text, QStringLiteral("Enter new name of ") + oldName + QStringLiteral(":"));
        QCOMPARE(prompt.proposed, oldName);
        QCOMPARE(prompt.title, QStringLiteral("Quillstone"));
        QCOMPARE(side.tables(), QStringList({"Alpha", newName, "zeta"}));
        QCOMPARE(without(names(list), {newName}), without(before, {oldName}));
        QCOMPARE(names(list).indexOf(newName), 1);
        QVERIFY(selectedNames(list).isEmpty());
        if (!side.isMySQL())
            QCOMPARE(list->currentRow(), 0);
        QCOMPARE(Windows::form2().pointer().value(), 0);
    }

    void cancelledRenameChangesNothing_data() { perServer(); }
    void cancelledRenameChangesNothing()
    {
        const Server& side = server();
        side.createTables({"t1", "t2"});
        openTableWindow();
        const QStringList before = names(side.list());
        select(side.list(), {"t2"});
        MessageBox::setNextInput(QString());
        const int attempts = side.isMySQL() ? Sandbox::mySQLConnections() : 0;

        QTest::mouseClick(side.renameButton(), Qt::LeftButton);
        QCOMPARE(shownBoxes(), QStringList({"Enter new name of t2:"}));
        if (side.isMySQL()) // only the connection that counts
            QCOMPARE(Sandbox::mySQLConnections(), attempts + 1);
        QCOMPARE(names(side.list()), before);
        QCOMPARE(side.tables(), QStringList({"t1", "t2"}));
        QCOMPARE(Windows::form2().pointer().value(), 0);
    }

    // The server keeps the old name (the new one is taken, too long, or no name at all to
    // MySQL): so does the list. PostgreSQL would shorten a long name without a word, so the
    // program refuses it before asking.
    void refusedRenameKeepsTheList_data()
    {
        QTest::addColumn<const Server*>("server");
        QTest::addColumn<QString>("newName");
        QTest::addColumn<QString>("refusal");
        const QString tooLong = QString(64, QLatin1Char('n'));
        QTest::newRow("MySQL, taken")
            << &Server::mySQL() << QStringLiteral("taken") << QStringLiteral("Table 'taken' already exists");
        QTest::newRow("PostgreSQL, taken") << &Server::postgreSQL() << QStringLiteral("taken")
                                           << QStringLiteral("ERROR:  relation \"taken\" already exists");
        QTest::newRow("MySQL, too long") << &Server::mySQL() << tooLong + QStringLiteral("n")
                                         << QStringLiteral("Incorrect table name '%1n'").arg(tooLong);
        QTest::newRow("PostgreSQL, too long")
            << &Server::postgreSQL() << tooLong
            << QStringLiteral("The name \"%1\" is longer than the 63 bytes PostgreSQL allows").arg(tooLong);
        QTest::newRow("MySQL, blanks only")
            << &Server::mySQL() << QStringLiteral("   ") << QStringLiteral("Incorrect table name '   '");
    }
    void refusedRenameKeepsTheList()
    {
        const Server& side = server();
        QFETCH(QString, newName);
        QFETCH(QString, refusal);
        side.createTables({"old", "taken"});
        openTableWindow();
        select(side.list(), {"old"});
        MessageBox::setNextInput(newName);

        QTest::mouseClick(side.renameButton(), Qt::LeftButton);
        QCOMPARE(shownBoxes(),
                 QStringList({"Enter new name of old:",
                              Server::report(side.renameButton(), side.isMySQL() ? 128 : 120)}));
        QVERIFY2(MessageBox::history().last().text.startsWith(refusal),
                 qPrintable(MessageBox::history().last().text));
        const QStringList listed = names(side.list());
        QCOMPARE(listed.count(QStringLiteral("old")), 1);
        QCOMPARE(listed.count(QStringLiteral("taken")), 1);
        QVERIFY(newName == QLatin1String("taken") || !listed.contains(newName));
        QCOMPARE(side.tables(), QStringList({"old", "taken"}));
        QCOMPARE(Windows::form2().pointer().value(), 0);
    }

    // Tables the server will not drop stay listed: one a view depends on (PostgreSQL), a
    // view (MySQL). A later copy of that name from the other side then asks first.
    void refusedDeleteKeepsTheItem_data() { perServer(); }
    void refusedDeleteKeepsTheItem()
    {
        const Server& side = server();
        if (side.isMySQL()) {
            Sandbox::exec(on(side), QStringLiteral("CREATE TABLE base (id INT)"));
            Sandbox::exec(on(side), QStringLiteral("CREATE VIEW kept AS SELECT * FROM base"));
        } else {
            Sandbox::exec(on(side), QStringLiteral("CREATE TABLE kept (id int)"));
            Sandbox::exec(on(side), QStringLiteral("CREATE VIEW kept_view AS SELECT * FROM kept"));
        }
        side.other().createTables({"kept"});
        openTableWindow();
        select(side.list(), {"kept"});
        QTest::mouseClick(side.deleteButton(), Qt::LeftButton);
        QCOMPARE(shownBoxes(), QStringList{Server::report(side.deleteButton(), side.isMySQL() ? 120 : 112)});
        QCOMPARE(side.list()->findItems(QStringLiteral("kept"), Qt::MatchExactly).size(), 1);

        MessageBox::clearHistory();
        MessageBox::setNextAnswer(MessageBox::No);
        select(side.other().list(), {"kept"});
        QTest::mouseClick(side.other().sendButton(), Qt::LeftButton);
        QCOMPARE(shownBoxes(), QStringList{"Would you like to overwrite kept?"});
    }

    // While the MySQL delete runs, the window handles its events; the user may go back and
    // change the database field meanwhile. The tables dropped are those that were listed.
    // Another session holds the first table, so that the field changes while its DROP
    // waits.
    void deleteKeepsToTheDatabaseItListed()
    {
        Server::mySQL().createTables({"t1", "t2", "t3"});
        auto my = Sandbox::mySQL();
        Sandbox::exec(*my, QStringLiteral("DROP DATABASE IF EXISTS qs_elsewhere"));
        Sandbox::exec(*my, QStringLiteral("CREATE DATABASE qs_elsewhere"));
        for (const char* table : {"t1", "t2", "t3"})
            Sandbox::exec(*my,
                          QStringLiteral("CREATE TABLE qs_elsewhere.%1 (id INT)").arg(QLatin1String(table)));
        Form2& form = openTableWindow();
        select(form.List1, {"t1", "t2", "t3"});

        std::atomic<bool> changed{false};
        std::atomic<bool> holding{false};
        std::thread holder([&] {
            try {
                auto other = Sandbox::mySQL();
                other->Execute(QStringLiteral("BEGIN"));
                other->Execute(QStringLiteral("SELECT * FROM t3"));
                holding = true;
                eventually([&] { return changed.load(); }, 10, 15000);
                other->Execute(QStringLiteral("ROLLBACK"));
            } catch (const std::exception& error) {
                qWarning("holding t3: %s", error.what());
                holding = true;
            }
        });
        QTRY_VERIFY(holding.load());
        const QObject scope; // no late change once this case has ended
        QTimer::singleShot(100, &scope, [&] {
            Windows::form1().Text9->setText(QStringLiteral("qs_elsewhere"));
            changed = true;
        });
        QTest::mouseClick(form.PushButton1, Qt::LeftButton);
        holder.join();

        QVERIFY(changed.load());
        QS_VERIFY_NO_BOXES();
        QCOMPARE(Server::mySQL().tables(), QStringList());
        QCOMPARE(Sandbox::column(*my, QStringLiteral("SHOW TABLES FROM qs_elsewhere")),
                 (QStringList{"t1", "t2", "t3"}));
        Sandbox::exec(*my, QStringLiteral("DROP DATABASE qs_elsewhere"));
    }

    // A question or prompt of one operation is open, or it is between two tables: every
    // other operation is refused until it ends.
    void clicksDuringAnOperationAreRefused()
    {
        Server::mySQL().createTables({"m1", "m2", "m3", "shared"});
        Server::postgreSQL().createTables({"p1", "shared"});
        Form2& form = openTableWindow();
        int refusedClicks = 0;
        auto clickEverything = [&] {
            QVERIFY(OperationGuard::running());
            for (QPushButton* button : {form.PushButton1, form.PushButton3, form.PushButton4,
                                        form.PushButton5, form.PushButton6, form.PushButton7})
                QTest::mouseClick(button, Qt::LeftButton);
            Windows::form1().PushButton2_Click();
            ++refusedClicks;
        };
        MessageBox::setObserver([&](const MessageBox::Shown& shown) {
            if (MessageBox::history().size() == 1 && !shown.title.startsWith(QLatin1String("Application")))
                clickEverything();
        });

        // The overwrite question of a transfer, answered No.
        select(form.List1, {"shared"});
        select(form.List2, {"p1", "shared"});
        MessageBox::setNextAnswer(MessageBox::No);
        QTest::mouseClick(form.PushButton3, Qt::LeftButton);
        QCOMPARE(shownBoxes(), QStringList({"Would you like to overwrite shared?"}));

        // The rename prompt of each side.
        for (TableList* list : {form.List1, form.List2}) {
            MessageBox::clearHistory();
            select(list, {"shared"});
            MessageBox::setNextInput(QStringLiteral("renamed"));
            QTest::mouseClick(list == form.List1 ? form.PushButton6 : form.PushButton7, Qt::LeftButton);
            QCOMPARE(shownBoxes(), QStringList({"Enter new name of shared:"}));
        }
        QCOMPARE(refusedClicks, 3);

        // Between two tables of the MySQL deletion.
        MessageBox::clearHistory();
        select(form.List1, {"m1", "m2", "m3"});
        QTest::qWait(20);
        const QObject scope; // no late click once this case has ended
        QTimer::singleShot(0, &scope, clickEverything);
        QTest::mouseClick(form.PushButton1, Qt::LeftButton);
        QCOMPARE(refusedClicks, 4);
        QS_VERIFY_NO_BOXES();

        QCOMPARE(Server::mySQL().tables(), QStringList({"renamed"}));
        QCOMPARE(Server::postgreSQL().tables(), QStringList({"p1", "renamed"}));
        QCOMPARE(names(form.List1), QStringList({"renamed"}));
        QVERIFY(names(form.List2).contains(QStringLiteral("p1")));
    }
};

QTEST_MAIN(TestTablesMaintenance)
#include "test_tables_maintenance.moc"
