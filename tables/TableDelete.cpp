// "Delete Table/s" of both halves of the table window. No confirmation is asked: the
// selected tables are dropped at once. Each side keeps its own order of steps.

#include "app/ConnectionUse.h"
#include "app/ErrorReport.h"
#include "app/MessageBox.h"
#include "app/OperationGuard.h"
#include "app/SqlText.h"
#include "app/Windows.h"
#include "app/Wording.h"
#include "app/Yield.h"
#include "app/db/Connection.h"
#include "app/db/Waiting.h"
#include "tables/Catalogue.h"
#include "tables/Form2.h"
#include "tables/TableList.h"

namespace {
// What one click of "Delete Table/s" did.
struct DeleteTally
{
    int selected = 0;
    int dropped = 0;
    int failed = 0;

    QString summary(bool stopped, qint64 milliseconds) const
    {
        return clickSummary(stopped,
                            QStringLiteral("%1 of %2 dropped")
                                .arg(thousands(dropped),
                                     counted(selected, QStringLiteral("table"), QStringLiteral("tables"))),
                            failed, milliseconds);
    }
};
} // namespace

void Form2::PushButton1_Click()
{
    OperationGuard guard;
    if (!guard.entered())
        return;
    Handler handler(QStringLiteral("Form2"), QStringLiteral("PushButton1_Click"));
    std::unique_ptr<Connection> connection;
    handler.step(100, [&] { connection = std::make_unique<Connection>(); });
    if (handler.test(106, [&] { return List1->currentRow() == -1; })) {
        handler.step(130, [] { MessageBox::show(QStringLiteral("Please select a table")); });
        return;
    }
    StoppableWork work(*this);
    DeleteTally tally;
    tally.selected = List1->selectedCount();
    handler.step(108, [&] { m_pointer->set(WindowPointer::Busy); });
    // Built once: the walk lets the window handle its events, and the fields may change
    // meanwhile; every table is dropped in the database that was listed.
    const QString connectionString = Windows::mySQLConnectionString();
    int last = -1;
    handler.step(110, [&] { last = List1->count() - 1; });
    for (int i = last; i >= 0 && !Waiting::stopRequested(); --i) {
        handler.step(112, [] { YieldToEvents(); });
        if (handler.test(114, [&] { return List1->at(i).isSelected(); })) {
            QString table;
            if (!handler.step(116, [&] { required(connection).Open(connectionString); }))
                break;
            handler.step(118, [&] { table = List1->at(i).text(); });
            handler.setContext(table);
            const bool dropped = handler.step(
                120, [&] { required(connection).Execute(QStringLiteral("DROP TABLE ") + mySQLName(table)); });
            ++(dropped ? tally.dropped : tally.failed);
            if (connection->isBroken())
                break;
            // A table the server kept stays in the list.
            if (dropped)
                handler.step(122, [&] { delete List1->takeItem(i); });
            handler.step(124, [&] { required(connection).Close(); });
        }
        handler.step(126, [] {});
    }
    handler.step(128, [&] { m_pointer->set(WindowPointer::Default); });
    work.tell(tally.summary(StoppableWork::stopped(), work.elapsed()));
}

void Form2::PushButton5_Click()
{
    OperationGuard guard;
    if (!guard.entered())
        return;
    Handler handler(QStringLiteral("Form2"), QStringLiteral("PushButton5_Click"));
    std::unique_ptr<Connection> connection;
    handler.step(100, [&] { connection = std::make_unique<Connection>(); });
    StoppableWork work(*this);
    DeleteTally tally;
    tally.selected = List2->selectedCount();
    bool nothingSelected = false;
    handler.step(102, [&] { m_pointer->set(WindowPointer::Busy); });
    handler.step(104, [&] { required(connection).Open(Windows::postgreSQLConnectionString()); });
    if (unusable(connection)) {
        // Nothing else can be done without the server.
    } else if (handler.test(106, [&] { return List2->currentRow() == -1; })) {
        handler.step(118, [] { MessageBox::show(QStringLiteral("Please select a table")); });
        nothingSelected = true;
    } else {
        int last = -1;
        QStringList droppedNames;
        handler.step(108, [&] { last = List2->count() - 1; });
        for (int i = last; i >= 0 && !Waiting::stopRequested(); --i) {
            // The window paints, and Stop is heard, between two tables.
            YieldToEvents();
            if (handler.test(110, [&] { return List2->at(i).isSelected(); })) {
                QString name;
                const bool dropped = handler.step(112, [&] {
                    const ListedTable table = TableList::tableOf(List2->at(i));
                    name = table.name;
                    handler.setContext(table.text());
                    required(connection).Execute(QStringLiteral("DROP TABLE ") + postgreSQLName(table));
                });
                ++(dropped ? tally.dropped : tally.failed);
                if (unusable(connection))
                    break;
                // A table the server kept stays in the list.
                if (dropped) {
                    handler.step(114, [&] { delete List2->takeItem(i); });
                    if (!droppedNames.contains(name))
                        droppedNames.append(name);
                }
            }
            handler.step(116, [] {});
        }
        // Another table of a dropped name may now be the one its bare name reaches. Read
        // once the walk is over, as a text that changes moves its item.
        if (!unusable(connection)) {
            for (const QString& name : droppedNames)
                Attempt([&] { relistPostgreSQLTable(List2, required(connection), name); });
        }
    }
    handler.step(120, [&] { m_pointer->set(WindowPointer::Default); });
    // Without a selection there was nothing to do, and nothing to tell.
    if (!nothingSelected)
        work.tell(tally.summary(StoppableWork::stopped(), work.elapsed()));
}
