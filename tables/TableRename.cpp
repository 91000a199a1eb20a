// "Rename Table" of both halves of the table window: one selected table is renamed to
// the name the user types, and the list shows the new name in place of the old one.

#include "app/ConnectionUse.h"
#include "app/ErrorReport.h"
#include "app/MessageBox.h"
#include "app/OperationGuard.h"
#include "app/SqlText.h"
#include "app/Windows.h"
#include "app/db/Connection.h"
#include "app/db/Error.h"
#include "tables/Catalogue.h"
#include "tables/Form2.h"
#include "tables/TableList.h"

namespace {
// The numbered steps of PushButton6_Click, as its error reports name them.
namespace RenameMySQLLine {
constexpr int kConnectionObject = 100;
constexpr int kNothingSelected = 102;
constexpr int kItemCount = 104;
constexpr int kSelected = 106;
constexpr int kOldName = 108;
constexpr int kOldIndex = 110;
constexpr int kCountSelected = 112;
constexpr int kNotOne = 116;
constexpr int kAskName = 118;
constexpr int kNoName = 120;
constexpr int kBusyPointer = 122;
constexpr int kStatement = 124;
constexpr int kOpen = 126;
constexpr int kRename = 128;
constexpr int kClose = 130;
constexpr int kUnlist = 132;
constexpr int kList = 134;
constexpr int kDefaultPointer = 136;
constexpr int kNotOneMessage = 138;
constexpr int kSelectMessage = 140;
} // namespace RenameMySQLLine

// The numbered steps of PushButton7_Click.
namespace RenamePostgreSQLLine {
constexpr int kConnectionObject = 100;
constexpr int kBusyPointer = 102;
constexpr int kOpen = 104;
constexpr int kNothingSelected = 106;
constexpr int kNotOne = 108;
constexpr int kLastItem = 110;
constexpr int kNotSelected = 112;
constexpr int kOldTable = 114;
constexpr int kAskName = 116;
constexpr int kNamed = 118;
constexpr int kRename = 120;
constexpr int kUnlist = 122;
constexpr int kList = 124;
constexpr int kFirstCurrent = 126;
constexpr int kNotOneMessage = 130;
constexpr int kSelectMessage = 132;
constexpr int kDefaultPointer = 134;
} // namespace RenamePostgreSQLLine

// The prompt names the table as the list shows it; the name proposed is the table's own,
// as the new one stays in the table's schema.
QString askNewName(const QString& shown, const QString& proposed)
{
    return MessageBox::input(QStringLiteral("Enter new name of ") + shown + QStringLiteral(":"), QString(),
                             proposed);
}
} // namespace

void Form2::PushButton6_Click()
{
    OperationGuard guard;
    if (!guard.entered())
        return;
    using namespace RenameMySQLLine;
    Handler handler(QStringLiteral("Form2"), QStringLiteral("PushButton6_Click"));
    std::unique_ptr<Connection> connection;
    handler.step(kConnectionObject, [&] { connection = std::make_unique<Connection>(); });
    if (handler.test(kNothingSelected, [&] { return List1->currentRow() == -1; })) {
        handler.step(kSelectMessage, [] { MessageBox::show(QStringLiteral("Please select a table")); });
        return;
    }
    QString oldName;
    int oldIndex = -1;
    int selected = 0;
    int count = 0;
    handler.step(kItemCount, [&] { count = List1->count(); });
    for (int i = 0; i < count; ++i) {
        if (handler.test(kSelected, [&] { return List1->at(i).isSelected(); })) {
            handler.step(kOldName, [&] { oldName = List1->at(i).text(); });
            handler.step(kOldIndex, [&] { oldIndex = i; });
            handler.step(kCountSelected, [&] { ++selected; });
        }
    }
    if (handler.test(kNotOne, [&] { return selected != 1; })) {
        handler.step(kNotOneMessage,
                     [] { MessageBox::show(QStringLiteral("Please select just one table to rename")); });
        return;
    }
    QString newName;
    handler.step(kAskName, [&] { newName = askNewName(oldName, oldName); });
    if (handler.test(kNoName, [&] { return newName.isEmpty(); }))
        return;
    QString statement;
    handler.step(kBusyPointer, [&] { m_pointer->set(WindowPointer::Busy); });
    handler.step(kStatement, [&] {
        statement = QStringLiteral("RENAME TABLE ") + mySQLName(oldName) + QStringLiteral(" TO ") +
                    mySQLName(newName);
    });
    handler.step(kOpen, [&] { required(connection).Open(Windows::mySQLConnectionString()); });
    // Without the server nothing was renamed: the list keeps the old name.
    if (!unusable(connection)) {
        const bool renamed = handler.step(kRename, [&] { required(connection).Execute(statement); });
        if (!connection->isBroken()) {
            handler.step(kClose, [&] { required(connection).Close(); });
            // The list changes only when the server did the rename.
            if (renamed) {
                handler.step(kUnlist, [&] { delete List1->takeItem(oldIndex); });
                handler.step(kList, [&] { List1->addName(newName); });
            }
        }
    }
    handler.step(kDefaultPointer, [&] { m_pointer->set(WindowPointer::Default); });
}

void Form2::PushButton7_Click()
{
    OperationGuard guard;
    if (!guard.entered())
        return;
    using namespace RenamePostgreSQLLine;
    Handler handler(QStringLiteral("Form2"), QStringLiteral("PushButton7_Click"));
    std::unique_ptr<Connection> connection;
    handler.step(kConnectionObject, [&] { connection = std::make_unique<Connection>(); });
    handler.step(kBusyPointer, [&] { m_pointer->set(WindowPointer::Busy); });
    handler.step(kOpen, [&] { required(connection).Open(Windows::postgreSQLConnectionString()); });
    if (unusable(connection)) {
        // Nothing can be renamed without the server; the one report said why.
    } else if (handler.test(kNothingSelected, [&] { return List2->currentRow() == -1; })) {
        handler.step(kSelectMessage,
                     [] { MessageBox::show(QStringLiteral("Please select a table to rename.")); });
    } else if (handler.test(kNotOne, [&] { return List2->selectedCount() != 1; })) {
        handler.step(kNotOneMessage,
                     [] { MessageBox::show(QStringLiteral("Please select just one table to rename.")); });
    } else {
        int last = -1;
        handler.step(kLastItem, [&] { last = List2->count() - 1; });
        for (int i = last; i >= 0; --i) {
            if (!handler.test(kNotSelected, [&] { return !List2->at(i).isSelected(); })) {
                ListedTable old;
                QString newName;
                handler.step(kOldTable, [&] { old = TableList::tableOf(List2->at(i)); });
                handler.step(kAskName, [&] { newName = askNewName(old.text(), old.name); });
                if (handler.test(kNamed, [&] { return !newName.isEmpty(); })) {
                    const bool renamed = handler.step(kRename, [&] {
                        requireFittingPostgreSQLName(newName, QStringLiteral("the table is not renamed."));
                        required(connection)
                            .Execute(QStringLiteral("ALTER TABLE ") + postgreSQLName(old) +
                                     QStringLiteral(" RENAME TO ") + postgreSQLName(newName) +
                                     QStringLiteral(";"));
                    });
                    if (unusable(connection))
                        break;
                    // The list changes only when the server did the rename.
                    if (renamed) {
                        handler.step(kUnlist, [&] { delete List2->takeItem(i); });
                        handler.step(kList, [&] { List2->addTable({old.schema, newName, old.reached}); });
                        // The table stays in its schema; which tables the old name and the
                        // new one reach may have changed with it.
                        for (const QString& name : {old.name, newName})
                            Attempt([&] { relistPostgreSQLTable(List2, required(connection), name); });
                        // The first item becomes current without being selected, so the
                        // walk does not offer a rename the user never asked for.
                        handler.step(kFirstCurrent, [&] {
                            if (List2->count() > 0)
                                List2->setCurrentRow(0, QItemSelectionModel::NoUpdate);
                        });
                        // The one selected table is renamed, and the items read again may
                        // have moved: the walk ends here.
                        break;
                    }
                }
            }
        }
    }
    handler.step(kDefaultPointer, [&] { m_pointer->set(WindowPointer::Default); });
}
