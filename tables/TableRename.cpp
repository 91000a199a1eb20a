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
    Handler handler(QStringLiteral("Form2"), QStringLiteral("PushButton6_Click"));
    std::unique_ptr<Connection> connection;
    handler.step(100, [&] { connection = std::make_unique<Connection>(); });
    if (handler.test(102, [&] { return List1->currentRow() == -1; })) {
        handler.step(140, [] { MessageBox::show(QStringLiteral("Please select a table")); });
        return;
    }
    QString oldName;
    int oldIndex = -1;
    int selected = 0;
    int count = 0;
    handler.step(104, [&] { count = List1->count(); });
    for (int i = 0; i < count; ++i) {
        if (handler.test(106, [&] { return List1->at(i).isSelected(); })) {
            handler.step(108, [&] { oldName = List1->at(i).text(); });
            handler.step(110, [&] { oldIndex = i; });
            handler.step(112, [&] { ++selected; });
        }
        handler.step(114, [] {});
    }
    if (handler.test(116, [&] { return selected != 1; })) {
        handler.step(138, [] { MessageBox::show(QStringLiteral("Please select just one table to rename")); });
        return;
    }
    QString newName;
    handler.step(118, [&] { newName = askNewName(oldName, oldName); });
    if (handler.test(120, [&] { return newName.isEmpty(); }))
        return;
    QString statement;
    handler.step(122, [&] { m_pointer->set(WindowPointer::Busy); });
    handler.step(124, [&] {
        statement = QStringLiteral("RENAME TABLE ") + mySQLName(oldName) + QStringLiteral(" TO ") +
                    mySQLName(newName);
    });
    handler.step(126, [&] { required(connection).Open(Windows::mySQLConnectionString()); });
    if (unusable(connection)) {
        // Without the server nothing was renamed: the list keeps the old name.
        handler.step(136, [&] { m_pointer->set(WindowPointer::Default); });
        return;
    }
    const bool renamed = handler.step(128, [&] { required(connection).Execute(statement); });
    if (connection->isBroken()) {
        handler.step(136, [&] { m_pointer->set(WindowPointer::Default); });
        return;
    }
    handler.step(130, [&] { required(connection).Close(); });
    // The list changes only when the server did the rename.
    if (renamed) {
        handler.step(132, [&] { delete List1->takeItem(oldIndex); });
        handler.step(134, [&] { List1->addName(newName); });
    }
    handler.step(136, [&] { m_pointer->set(WindowPointer::Default); });
}

void Form2::PushButton7_Click()
{
    OperationGuard guard;
    if (!guard.entered())
        return;
    Handler handler(QStringLiteral("Form2"), QStringLiteral("PushButton7_Click"));
    std::unique_ptr<Connection> connection;
    handler.step(100, [&] { connection = std::make_unique<Connection>(); });
    handler.step(102, [&] { m_pointer->set(WindowPointer::Busy); });
    handler.step(104, [&] { required(connection).Open(Windows::postgreSQLConnectionString()); });
    if (unusable(connection)) {
        // Nothing can be renamed without the server; the one report said why.
    } else if (handler.test(106, [&] { return List2->currentRow() == -1; })) {
        handler.step(132, [] { MessageBox::show(QStringLiteral("Please select a table to rename.")); });
    } else if (handler.test(108, [&] { return List2->selectedCount() != 1; })) {
        handler.step(130,
                     [] { MessageBox::show(QStringLiteral("Please select just one table to rename.")); });
    } else {
        int last = -1;
        handler.step(110, [&] { last = List2->count() - 1; });
        for (int i = last; i >= 0; --i) {
            if (!handler.test(112, [&] { return !List2->at(i).isSelected(); })) {
                ListedTable old;
                QString newName;
                handler.step(114, [&] { old = TableList::tableOf(List2->at(i)); });
                handler.step(116, [&] { newName = askNewName(old.text(), old.name); });
                if (handler.test(118, [&] { return !newName.isEmpty(); })) {
                    const bool renamed = handler.step(120, [&] {
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
                        handler.step(122, [&] { delete List2->takeItem(i); });
                        handler.step(124, [&] { List2->addTable({old.schema, newName, old.reached}); });
                        // The table stays in its schema; which tables the old name and the
                        // new one reach may have changed with it.
                        for (const QString& name : {old.name, newName})
                            Attempt([&] { relistPostgreSQLTable(List2, required(connection), name); });
                        // The first item becomes current without being selected, so the
                        // walk does not offer a rename the user never asked for.
                        handler.step(126, [&] {
                            if (List2->count() > 0)
                                List2->setCurrentRow(0, QItemSelectionModel::NoUpdate);
                        });
                        // The one selected table is renamed, and the items read again may
                        // have moved: the walk ends here.
                        break;
                    }
                }
            }
            handler.step(128, [] {});
        }
    }
    handler.step(134, [&] { m_pointer->set(WindowPointer::Default); });
}
