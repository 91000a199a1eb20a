// "Send Table/s To PostgreSQL": copies the MySQL tables selected in List1 into the
// PostgreSQL database, one CREATE TABLE and one INSERT per row each.

#include "app/ErrorReport.h"
#include "app/MessageBox.h"
#include "app/OperationGuard.h"
#include "app/SqlText.h"
#include "app/Windows.h"
#include "app/Yield.h"
#include "app/db/Connection.h"
#include "app/db/Error.h"
#include "tables/Catalogue.h"
#include "tables/Form2.h"
#include "tables/TableList.h"
#include "transfer/CopyProgress.h"
#include "transfer/Datatype.h"
#include "transfer/TableCopy.h"
#include "transfer/ValueText.h"

namespace {
class ToPostgreSQL : public CopyDirection
{
public:
    explicit ToPostgreSQL(Form2& form) : m_form(form)
    {
        m_lines.tableYield = 128;
        m_lines.names = 198;
        m_lines.create = 200;
        m_lines.recordCount = 208;
        m_lines.rowLoop = 212;
        m_lines.rowYield = 214;
        m_lines.progress = 218;
        m_lines.buildRow = 220;
        m_lines.sendRow = 270;
        m_lines.moveNext = 272;
        m_lines.finishRows = 282;
        m_lines.pointer = 274;
        m_lines.resetBar = 276;
        m_lines.closeRows = 278;
        m_lines.list = 280;
        m_lines.readShape = 284;
        m_lines.shapeStatement = 286;
    }

    const CopyLines& lines() const override { return m_lines; }
    TableList* sourceList() const override { return m_form.List1; }
    TableList* targetList() const override { return m_form.List2; }
    QString sourceName(const ListedTable& table) const override { return mySQLName(table.name); }
    QString targetName(const QString& table) const override { return postgreSQLName(table); }

    // PostgreSQL would cut a longer name short without an error, and the rows could then
    // land in another table whose name starts the same way.
    void checkNames(const QString& table, const Fields& fields) const override
    {
        QStringList names{table};
        for (int c = 0; c < fields.Count(); ++c)
            names.append(fields[c].Name());
        for (const QString& name : names)
            requireFittingPostgreSQLName(name, QStringLiteral("the table %1 is not copied.").arg(table));
    }

    // CREATE TABLE "t"("c" TYPE,...)
    void buildCreate(Handler& h, QString& statement, const QString& table, const Fields& fields) override
    {
        m_types.clear();
        m_columns.clear();
        m_insertHead =
            (QStringLiteral("INSERT INTO ") + postgreSQLName(table) + QStringLiteral(" VALUES(")).toUtf8();
        h.step(150, [&] {
            statement = QStringLiteral("CREATE TABLE ") + postgreSQLName(table) + QStringLiteral("(");
        });
        h.step(152, [&] { m_numeric.clear(); });
        int fieldCount = 0;
        h.step(154, [&] { fieldCount = fields.Count(); });
        for (int j = 0; j < fieldCount; ++j) {
            h.step(156, [] { YieldToEvents(); });
            PostgreSQLColumnType type;
            h.step(158, [&] { type = postgreSQLTypeFor(fields[j].Type()); });
            h.step(162, [&] {
                statement +=
                    postgreSQLName(fields[j].Name()) + QLatin1Char(' ') + type.word + QLatin1Char(',');
            });
            h.step(174, [&] {
                m_types.append(fields[j].Type());
                m_numeric.append(type.numeric);
                m_columns.append({fields[j].Name(), type.word});
            });
        }
        h.step(194, [&] { statement.chop(1); });
        h.step(196, [&] { statement += QLatin1Char(')'); });
    }

    // INSERT INTO "t" VALUES(5, NULL, 'O''Brien')
    int buildRow(QByteArray& row, const QString&, const Fields& fields) override
    {
        row += m_insertHead;
        int byRule = 0;
        for (int c = 0; c < fields.Count(); ++c) {
            YieldToEvents();
            if (appendPostgreSQLValue(row, fields[c].Value(), m_types.value(c), m_numeric.value(c)))
                ++byRule;
        }
        row.chop(2);
        row += ')';
        return byRule;
    }

    TableShape readShape(Connection& source, const ListedTable& table, QString& statement) const override
    {
        return readMySQLShape(source, table.name, statement);
    }

    void addShape(Connection& target, const QString& table, const TableShape& shape,
                  const ShapeRunner& run) const override
    {
        shapePostgreSQLTable(target, table, shape, m_columns, run);
    }

    QString findTable(const QString& table) const override
    {
        return QStringLiteral("SELECT 1 FROM pg_tables WHERE tablename = ") + quotedText(table);
    }

    // The table made went to the first schema of the search path; the server says which of
    // the tables of its name the bare name now reaches, and whether one given up on is there.
    bool relist(Connection& target, const QString& table) override
    {
        relistPostgreSQLTable(m_form.List2, target, table);
        return true;
    }

private:
    Form2& m_form;
    CopyLines m_lines;
    QByteArray m_insertHead;
    QList<int> m_types;
    QList<bool> m_numeric;
    QList<TargetColumn> m_columns;
};
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
    StoppableWork work(*this);
    CopyProgress progress(ProgressBar1, *List1);
    handler.step(108, [&] { m_pointer->set(WindowPointer::Busy); });

    // Without both connections there is nothing to do: the failure is reported once and
    // the click ends.
    if (openConnection(handler, 110, objects.target, adUseServer, Windows::postgreSQLConnectionString()) &&
        openConnection(handler, 118, objects.source, adUseClient, Windows::mySQLConnectionString())) {
        ToPostgreSQL direction(*this);
        TableCopy(handler, statement, objects, direction, progress, *m_pointer).copySelected(126);
    }
    if (objects.rows && objects.rows->isOpen())
        resetProgress(ProgressBar1);
    handler.step(290, [&] { objects.closeSource(); });
    handler.step(292, [&] { objects.closeTarget(); });
    handler.step(294, [&] { m_pointer->set(WindowPointer::Default); });
    work.tell(progress.summary(StoppableWork::stopped(), work.elapsed()));
}
