// "Send Table/s To PostgreSQL": copies the MySQL tables selected in List1 into the
// PostgreSQL database, one CREATE TABLE and one INSERT per row each.

#include "app/Error.h"
#include "app/ErrorReport.h"
#include "app/Main.h"
#include "app/MessageBox.h"
#include "app/OperationGuard.h"
#include "app/SqlText.h"
#include "app/Yield.h"
#include "app/db/Connection.h"
#include "connect/ConnectionStrings.h"
#include "tables/Form2.h"
#include "tables/TableList.h"
#include "transfer/Datatype.h"
#include "transfer/TransferSteps.h"
#include "transfer/ValueText.h"

#include <QProgressBar>

namespace {
constexpr qsizetype kLongestPostgreSQLName = 63; // bytes

void requireFittingNames(const QString& table, const Fields& fields)
{
    QStringList names{table};
    for (int c = 0; c < fields.Count(); ++c)
        names.append(fields[c].Name());
    for (const QString& name : names) {
        if (name.toUtf8().size() > kLongestPostgreSQLName)
            throw Error(
                QStringLiteral("The name \"%1\" is longer than the %2 bytes PostgreSQL allows; the table "
                               "%3 is not copied.")
                    .arg(name)
                    .arg(kLongestPostgreSQLName)
                    .arg(table));
    }
}
} // namespace

void Form2::PushButton3_Click()
{
    OperationGuard guard;
    if (!guard.entered())
        return;
    Handler handler(QStringLiteral("Form2"), QStringLiteral("PushButton3_Click"));
    QString statement;
    handler.showStatementText(&statement);
    TransferObjects objects;

    handler.step(100, [&] { objects.source = std::make_unique<Connection>(); });
    handler.step(102, [&] { objects.rows = std::make_unique<Recordset>(); });
    handler.step(104, [&] { objects.target = std::make_unique<Connection>(); });
    if (handler.test(106, [&] { return List1->currentRow() == -1; })) {
        handler.step(106, [] { MessageBox::show(QStringLiteral("Please select a table")); });
        return;
    }
    handler.step(108, [&] { m_pointer->set(WindowPointer::Busy); });

    // Without both connections, or without the source rows, there is nothing to do:
    // the failure is reported once and the click ends.
    auto finish = [&] {
        if (objects.rows && objects.rows->isOpen())
            resetProgress(ProgressBar1);
        handler.step(290, [&] { objects.closeSource(); });
        handler.step(292, [&] { objects.closeTarget(); });
        handler.step(294, [&] { m_pointer->set(WindowPointer::Default); });
    };
    if (!openConnection(handler, 110, objects.target, adUseServer, PostgreSQLConnectionString()) ||
        !openConnection(handler, 118, objects.source, adUseClient, MySQLConnectionString())) {
        finish();
        return;
    }

    int last = -1;
    handler.step(126, [&] { last = List1->count() - 1; });
    for (int i = last; i >= 0; --i) {
        handler.step(128, [] { YieldToEvents(); });
        if (handler.test(130, [&] { return !List1->at(i).isSelected(); }))
            continue;
        QString table;
        handler.step(132, [&] { table = List1->at(i).text(); });
        int answer = 0;
        if (handler.test(134, [&] { return ListContains(List2, table); })) {
            handler.step(136, [&] {
                answer = MessageBox::show(QStringLiteral("Would you like to overwrite ") + table +
                                              QStringLiteral("?"),
                                          QStringLiteral("Overwrite?"), MessageBox::YesNo);
            });
        } else {
            handler.step(138, [&] { answer = 0; });
        }
        if (handler.test(140, [&] { return answer == MessageBox::No; }))
            continue;
        if (handler.test(142, [&] { return answer == MessageBox::Yes; })) {
            handler.step(144, [&] {
                objects.targetConnection().Execute(QStringLiteral("DROP TABLE ") + postgreSQLName(table));
            });
            // The list shows the table under the name it was created with.
            handler.step(146, [&] { RemoveListItem(List2, table); });
        }
        if (!handler.step(148,
                          [&] {
                              objects.recordset().Open(QStringLiteral("SELECT * FROM ") + mySQLName(table),
                                                       objects.sourceConnection(), adOpenStatic,
                                                       adLockOptimistic);
                          }) ||
            objects.lost()) {
            break;
        }

        // PostgreSQL would cut a longer name short without an error, and the rows could
        // then land in another table whose name starts the same way.
        if (!handler.step(150, [&] { requireFittingNames(table, objects.recordset().Fields()); })) {
            handler.step(278, [&] { objects.recordset().Close(); });
            continue;
        }

        // CREATE TABLE "t"("c" TYPE,...)
        QList<int> types;
        QList<bool> numeric;
        handler.step(150, [&] {
            statement = QStringLiteral("CREATE TABLE ") + postgreSQLName(table) + QStringLiteral("(");
        });
        handler.step(152, [&] { numeric.clear(); });
        int fieldCount = 0;
        handler.step(154, [&] { fieldCount = objects.recordset().Fields().Count(); });
        for (int j = 0; j < fieldCount; ++j) {
            handler.step(156, [] { YieldToEvents(); });
            PostgreSQLColumnType type;
            handler.step(158, [&] { type = postgreSQLTypeFor(objects.recordset().Fields()[j].Type()); });
            handler.step(162, [&] {
                statement += postgreSQLName(objects.recordset().Fields()[j].Name()) + QLatin1Char(' ') +
                             type.word + QLatin1Char(',');
            });
            handler.step(174, [&] {
                types.append(objects.recordset().Fields()[j].Type());
                numeric.append(type.numeric);
            });
        }
        handler.step(194, [&] { statement.chop(1); });
        handler.step(196, [&] { statement += QLatin1Char(')'); });
        if (!handler.step(200, [&] { objects.targetConnection().Execute(statement); }) && objects.lost())
            break;

        // The rows' statements are built and sent in UTF-8; see withRowStatement.
        const QByteArray insertHead =
            (QStringLiteral("INSERT INTO ") + postgreSQLName(table) + QStringLiteral(" VALUES(")).toUtf8();
        QByteArray row;
        auto rowStep = [&](int line, auto&& body) {
            return handler.step(line, [&] { withRowStatement(statement, row, body); });
        };
        qint64 lastRow = -1;
        handler.step(208, [&] { lastRow = objects.recordset().RecordCount() - 1; });
        for (qint64 r = 0; r <= lastRow && !objects.lost(); ++r) {
            rowStep(214, [] { YieldToEvents(); });
            rowStep(218, [&] { showProgress(ProgressBar1, r, lastRow); });
            // A row that could not be written whole is not sent: half a statement would
            // only add a second report.
            const bool built = rowStep(220, [&] {
                const Fields& fields = objects.recordset().Fields();
                // The buffer of the previous row is reused.
                row.resize(0);
                row += insertHead;
                for (int c = 0; c < fields.Count(); ++c) {
                    YieldToEvents();
                    appendPostgreSQLValue(row, fields[c].Value(), types.value(c), numeric.value(c));
                }
                row.chop(2);
                row += ')';
            });
            if (built)
                rowStep(270, [&] { objects.targetConnection().ExecuteUtf8(row); });
            if (!rowStep(272, [&] { objects.recordset().MoveNext(); }))
                break;
        }
        if (!row.isEmpty())
            statement = QString::fromUtf8(row);
        // Rows already copied stay, so the table is listed also when the copy stopped.
        handler.step(274, [&] { m_pointer->set(WindowPointer::Default); });
        handler.step(276, [&] { resetProgress(ProgressBar1); });
        handler.step(278, [&] { objects.recordset().Close(); });
        handler.step(280, [&] { List2->addName(table); });
        if (objects.lost())
            break;
    }
    finish();
}
