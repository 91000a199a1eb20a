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
#include "transfer/MySQLShapeReader.h"
#include "transfer/PostgreSQLShapeReader.h"

namespace {
// The numbered steps of PushButton1_Click, as its error reports name them.
namespace DeleteMySQLLine {
constexpr int kConnectionObject = 100;
constexpr int kNothingSelected = 106;
constexpr int kBusyPointer = 108;
constexpr int kLastItem = 110;
constexpr int kItemYield = 112;
constexpr int kSelected = 114;
constexpr int kOpen = 116;
constexpr int kTableName = 118;
constexpr int kDrop = 120;
constexpr int kUnlist = 122;
constexpr int kClose = 124;
constexpr int kDefaultPointer = 128;
constexpr int kSelectMessage = 130;
} // namespace DeleteMySQLLine

// The numbered steps of PushButton5_Click.
namespace DeletePostgreSQLLine {
constexpr int kConnectionObject = 100;
constexpr int kBusyPointer = 102;
constexpr int kOpen = 104;
constexpr int kNothingSelected = 106;
constexpr int kLastItem = 108;
constexpr int kSelected = 110;
constexpr int kDrop = 112;
constexpr int kUnlist = 114;
constexpr int kSelectMessage = 118;
constexpr int kDefaultPointer = 120;
} // namespace DeletePostgreSQLLine

namespace {
// Runs the DROP. When the server keeps the table as foreign keys refer to it, the report
// names the tables they belong to, as the catalogue tells them after the refusal.
void dropTable(Connection& connection, const QString& drop, const std::function<QStringList()>& referring)
{
    try {
        connection.Execute(drop);
    } catch (const Error& error) {
        const bool keptByKeys = error.sqlState() == QLatin1String("2BP01") || error.code() == 1451 ||
                                error.code() == 1217 || error.code() == 3730;
        QStringList tables;
        if (!keptByKeys || !Attempt([&] { tables = referring(); }) || tables.isEmpty())
            throw;
        throw Error(error.description() + QStringLiteral("\nForeign keys of these tables refer to it: %1.")
                                              .arg(tables.join(QStringLiteral(", "))),
                    Error::Cause::Other, error.sqlState(), error.code());
    }
}

// The tables of the keys, each once; one of another schema by its schema too.
QStringList tablesOf(const QList<ShapeForeignKey>& keys, const QString& schema)
{
    QStringList tables;
    for (const ShapeForeignKey& key : keys) {
        const QString table = key.schema == schema ? key.table : key.schema + QLatin1Char('.') + key.table;
        if (!tables.contains(table))
            tables.append(table);
    }
    return tables;
}
} // namespace

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
                            {failed, 0}, milliseconds);
    }
};
} // namespace

void Form2::PushButton1_Click()
{
    OperationGuard guard;
    if (!guard.entered())
        return;
    using namespace DeleteMySQLLine;
    Handler handler(QStringLiteral("Form2"), QStringLiteral("PushButton1_Click"));
    std::unique_ptr<Connection> connection;
    handler.step(kConnectionObject, [&] { connection = std::make_unique<Connection>(); });
    if (handler.test(kNothingSelected, [&] { return List1->currentRow() == -1; })) {
        handler.step(kSelectMessage, [] { MessageBox::show(QStringLiteral("Please select a table")); });
        return;
    }
    StoppableWork work(*this);
    DeleteTally tally;
    tally.selected = List1->selectedCount();
    handler.step(kBusyPointer, [&] { m_pointer->set(WindowPointer::Busy); });
    // Built once: the walk lets the window handle its events, and the fields may change
    // meanwhile; every table is dropped in the database that was listed.
    const QString connectionString = Windows::mySQLConnectionString();
    int last = -1;
    handler.step(kLastItem, [&] { last = List1->count() - 1; });
    for (int i = last; i >= 0 && !Waiting::stopRequested(); --i) {
        handler.step(kItemYield, [] { YieldToEvents(); });
        if (handler.test(kSelected, [&] { return List1->at(i).isSelected(); })) {
            QString table;
            if (!handler.step(kOpen, [&] { required(connection).Open(connectionString); }))
                break;
            handler.step(kTableName, [&] { table = List1->at(i).text(); });
            handler.setContext(table);
            const bool dropped = handler.step(kDrop, [&] {
                dropTable(required(connection), QStringLiteral("DROP TABLE ") + mySQLName(table), [&] {
                    QString query;
                    return tablesOf(readMySQLForeignKeys(*connection, table, true, query), QString());
                });
            });
            ++(dropped ? tally.dropped : tally.failed);
            if (connection->isBroken())
                break;
            // A table the server kept stays in the list.
            if (dropped)
                handler.step(kUnlist, [&] { delete List1->takeItem(i); });
            handler.step(kClose, [&] { required(connection).Close(); });
        }
    }
    handler.step(kDefaultPointer, [&] { m_pointer->set(WindowPointer::Default); });
    work.tell(tally.summary(StoppableWork::stopped(), work.elapsed()));
}

void Form2::PushButton5_Click()
{
    OperationGuard guard;
    if (!guard.entered())
        return;
    using namespace DeletePostgreSQLLine;
    Handler handler(QStringLiteral("Form2"), QStringLiteral("PushButton5_Click"));
    std::unique_ptr<Connection> connection;
    handler.step(kConnectionObject, [&] { connection = std::make_unique<Connection>(); });
    StoppableWork work(*this);
    DeleteTally tally;
    tally.selected = List2->selectedCount();
    bool nothingSelected = false;
    handler.step(kBusyPointer, [&] { m_pointer->set(WindowPointer::Busy); });
    handler.step(kOpen, [&] { required(connection).Open(Windows::postgreSQLConnectionString()); });
    if (unusable(connection)) {
        // Nothing else can be done without the server.
    } else if (handler.test(kNothingSelected, [&] { return List2->currentRow() == -1; })) {
        handler.step(kSelectMessage, [] { MessageBox::show(QStringLiteral("Please select a table")); });
        nothingSelected = true;
    } else {
        int last = -1;
        QStringList droppedNames;
        handler.step(kLastItem, [&] { last = List2->count() - 1; });
        for (int i = last; i >= 0 && !Waiting::stopRequested(); --i) {
            // The window paints, and Stop is heard, between two tables.
            YieldToEvents();
            if (handler.test(kSelected, [&] { return List2->at(i).isSelected(); })) {
                QString name;
                const bool dropped = handler.step(kDrop, [&] {
                    const ListedTable table = TableList::tableOf(List2->at(i));
                    name = table.name;
                    handler.setContext(table.text());
                    dropTable(
                        required(connection), QStringLiteral("DROP TABLE ") + postgreSQLName(table), [&] {
                            QString query;
                            return tablesOf(
                                readPostgreSQLForeignKeys(*connection, postgreSQLName(table), true, query),
                                table.schema);
                        });
                });
                ++(dropped ? tally.dropped : tally.failed);
                if (unusable(connection))
                    break;
                // A table the server kept stays in the list.
                if (dropped) {
                    handler.step(kUnlist, [&] { delete List2->takeItem(i); });
                    if (!droppedNames.contains(name))
                        droppedNames.append(name);
                }
            }
        }
        // Another table of a dropped name may now be the one its bare name reaches. Read
        // once the walk is over, as a text that changes moves its item.
        if (!unusable(connection)) {
            for (const QString& name : droppedNames)
                Attempt([&] { relistPostgreSQLTable(List2, required(connection), name); });
        }
    }
    handler.step(kDefaultPointer, [&] { m_pointer->set(WindowPointer::Default); });
    // Without a selection there was nothing to do, and nothing to tell.
    if (!nothingSelected)
        work.tell(tally.summary(StoppableWork::stopped(), work.elapsed()));
}
