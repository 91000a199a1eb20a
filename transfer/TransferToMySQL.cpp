// "Send Table/s To MySQL": copies the PostgreSQL tables selected in List2 into the MySQL
// database, one CREATE TABLE and one INSERT per row each, every value quoted.

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

void Form2::PushButton4_Click()
{
    OperationGuard guard;
    if (!guard.entered())
        return;
    Handler handler(QStringLiteral("Form2"), QStringLiteral("PushButton4_Click"));
    QString statement;
    handler.showStatementText(&statement);
    TransferObjects objects;

    handler.step(100, [&] { objects.target = std::make_unique<Connection>(); });
    handler.step(102, [&] { objects.source = std::make_unique<Connection>(); });
    handler.step(104, [&] { objects.rows = std::make_unique<Recordset>(); });
    if (handler.test(108, [&] { return List2->currentRow() == -1; })) {
        handler.step(108, [] { MessageBox::show(QStringLiteral("Please select a table to send.")); });
        return;
    }
    handler.step(110, [&] { m_pointer->set(WindowPointer::Busy); });

    // Without both connections, or without the source rows, there is nothing to do:
    // the failure is reported once and the click ends.
    auto finish = [&] {
        if (objects.rows && objects.rows->isOpen())
            resetProgress(ProgressBar1);
        handler.step(276, [&] { m_pointer->set(WindowPointer::Default); });
        handler.step(278, [&] { objects.closeTarget(); });
        handler.step(280, [&] { objects.closeSource(); });
    };
    if (!openConnection(handler, 112, objects.source, adUseClient, PostgreSQLConnectionString()) ||
        !openConnection(handler, 120, objects.target, adUseServer, MySQLConnectionString())) {
        finish();
        return;
    }

    int last = -1;
    handler.step(128, [&] { last = List2->count() - 1; });
    for (int i = last; i >= 0; --i) {
        if (handler.test(130, [&] { return !List2->at(i).isSelected(); }))
            continue;
        QString table;
        handler.step(132, [&] { table = List2->at(i).text(); });
        int answer = 0;
        if (handler.test(134, [&] { return ListContains(List1, table); })) {
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
                objects.targetConnection().Execute(QStringLiteral("DROP TABLE ") + mySQLName(table));
            });
            handler.step(146, [&] { RemoveListItem(List1, table); });
        }
        if (!handler.step(148,
                          [&] {
                              objects.recordset().Open(QStringLiteral("SELECT * FROM ") +
                                                           postgreSQLName(table),
                                                       objects.sourceConnection());
                          }) ||
            objects.lost()) {
            break;
        }

        // CREATE TABLE `t`(`c` TYPE,...);
        QList<int> types;
        QList<int> scales;
        handler.step(150, [&] {
            statement = QStringLiteral("CREATE TABLE ") + mySQLName(table) + QStringLiteral("(");
        });
        int fieldCount = 0;
        handler.step(152, [&] { fieldCount = objects.recordset().Fields().Count(); });
        for (int j = 0; j < fieldCount; ++j) {
            handler.step(154, [] { YieldToEvents(); });
            QString column;
            handler.step(156, [&] { column = objects.recordset().Fields()[j].Name(); });
            QString type;
            handler.step(158, [&] {
                const Field& field = objects.recordset().Fields()[j];
                type = mySQLTypeFor(field.Type(), field.Precision(), field.NumericScale());
                types.append(field.Type());
                scales.append(mySQLDecimalScale(field.Precision(), field.NumericScale()));
            });
            handler.step(
                160, [&] { statement += mySQLName(column) + QLatin1Char(' ') + type + QLatin1Char(','); });
        }
        handler.step(204, [&] { statement.chop(1); });
        // Every character the client sends fits, whatever the database's default set.
        handler.step(206, [&] { statement += QStringLiteral(") DEFAULT CHARSET=utf8mb4;"); });
        if (!handler.step(210, [&] { objects.targetConnection().Execute(statement); }) && objects.lost())
            break;

        // The rows' statements are built and sent in UTF-8; see withRowStatement.
        const QByteArray insertHead =
            (QStringLiteral("INSERT INTO ") + mySQLName(table) + QStringLiteral(" VALUES('")).toUtf8();
        QByteArray row;
        auto rowStep = [&](int line, auto&& body) {
            return handler.step(line, [&] { withRowStatement(statement, row, body); });
        };
        qint64 lastRow = -1;
        handler.step(218, [&] { lastRow = objects.recordset().RecordCount() - 1; });
        for (qint64 r = 0; r <= lastRow && !objects.lost(); ++r) {
            rowStep(222, [] { YieldToEvents(); });
            rowStep(224, [&] { showProgress(ProgressBar1, r, lastRow); });
            // A row that could not be written whole is not sent: half a statement would
            // only add a second report.
            const bool built = rowStep(226, [&] {
                const Fields& fields = objects.recordset().Fields();
                // The buffer of the previous row is reused.
                row.resize(0);
                row += insertHead;
                for (int c = 0; c < fields.Count(); ++c) {
                    YieldToEvents();
                    appendMySQLValue(row, fields[c].Value(), types.value(c), scales.value(c));
                }
                row.chop(3);
                row += ')';
            });
            if (built)
                rowStep(256, [&] { objects.targetConnection().ExecuteUtf8(row); });
            if (!rowStep(258, [&] { objects.recordset().MoveNext(); }))
                break;
        }
        if (!row.isEmpty())
            statement = QString::fromUtf8(row);
        // Rows already copied stay, so the table is listed also when the copy stopped.
        handler.step(260, [&] { m_pointer->set(WindowPointer::Default); });
        handler.step(262, [&] { resetProgress(ProgressBar1); });
        handler.step(264, [&] { objects.recordset().Close(); });
        handler.step(266, [&] { List1->addName(table); });
        if (objects.lost())
            break;
    }
    finish();
}
