// "Send Table/s To PostgreSQL": copies the MySQL tables selected in List1 into the
// PostgreSQL database: for each, a CREATE TABLE, one INSERT per row, then the statements
// that give the copy its source's shape.

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
#include "transfer/CopyText.h"
#include "transfer/Datatype.h"
#include "transfer/MySQLShapeReader.h"
#include "transfer/PostgreSQLShapeReader.h"
#include "transfer/PostgreSQLShapeWriter.h"
#include "transfer/TableCopy.h"
#include "transfer/ValueText.h"

namespace {
// The numbered steps of PushButton3_Click, as its error reports name them, in the order
// they stand in the handler.
namespace ToPostgreSQLLine {
constexpr int kSourceObject = 100;
constexpr int kRowsObject = 102;
constexpr int kTargetObject = 104;
constexpr int kNothingSelected = 106; // the test, and its message
constexpr int kBusyPointer = 108;
constexpr ConnectionLines kOpenTarget{110, 112, 114, 116};
constexpr ConnectionLines kOpenSource{118, 120, 122, 124};
// 126 to 148, and from 198 on: the table loop and the rows (kCopy); 130 to 148 are the
// steps of one table that both send handlers number alike (kTableLines, TableCopy.h).
constexpr int kCreateHead = 150;
constexpr int kClearNumeric = 152;
constexpr int kFieldCount = 154;
constexpr int kFieldYield = 156;
constexpr int kColumnType = 158;
constexpr int kColumnText = 162;
constexpr int kColumnNoted = 174;
constexpr int kLastComma = 194;
constexpr int kCreateEnd = 196;
constexpr CopyLines kCopy{
    .tableLoop = 126,
    .tableYield = 128,
    .table = kTableLines,
    .names = 198,
    .create = 200,
    .recordCount = 208,
    .rowLoop = 212,
    .rowYield = 214,
    .progress = 218,
    .buildRow = 220,
    .sendRow = 270,
    .moveNext = 272,
    .pointer = 274,
    .resetBar = 276,
    .closeRows = 278,
    .list = 280,
    .finishRows = 282,
    .readShape = 284,
    .shapeStatement = 286,
};
constexpr int kCloseSource = 290;
constexpr int kCloseTarget = 292;
constexpr int kDefaultPointer = 294;
} // namespace ToPostgreSQLLine

class ToPostgreSQL : public CopyDirection
{
public:
    explicit ToPostgreSQL(Form2& form) : m_form(form) {}

    const CopyLines& lines() const override { return ToPostgreSQLLine::kCopy; }
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
        using namespace ToPostgreSQLLine;
        m_types.clear();
        m_columns.clear();
        m_insertHead =
            (QStringLiteral("INSERT INTO ") + postgreSQLName(table) + QStringLiteral(" VALUES(")).toUtf8();
        h.step(kCreateHead, [&] {
            statement = QStringLiteral("CREATE TABLE ") + postgreSQLName(table) + QStringLiteral("(");
        });
        h.step(kClearNumeric, [&] { m_numeric.clear(); });
        int fieldCount = 0;
        h.step(kFieldCount, [&] { fieldCount = fields.Count(); });
        for (int j = 0; j < fieldCount; ++j) {
            h.step(kFieldYield, [] { YieldToEvents(); });
            PostgreSQLColumnType type;
            h.step(kColumnType, [&] { type = postgreSQLTypeFor(fields[j].Type()); });
            h.step(kColumnText, [&] {
                statement +=
                    postgreSQLName(fields[j].Name()) + QLatin1Char(' ') + type.word + QLatin1Char(',');
            });
            h.step(kColumnNoted, [&] {
                m_types.append(fields[j].Type());
                m_numeric.append(type.numeric);
                m_columns.append({fields[j].Name(), type.word});
            });
        }
        h.step(kLastComma, [&] { statement.chop(1); });
        h.step(kCreateEnd, [&] { statement += QLatin1Char(')'); });
    }

    // The row as a line of COPY's text format: 5<tab>\N<tab>O'Brien<line feed>. Sent alone
    // it is INSERT INTO "t" VALUES(5, NULL, 'O''Brien').
    int buildRow(QByteArray& row, const QString&, const Fields& fields) override
    {
        int byRule = 0;
        for (int c = 0; c < fields.Count(); ++c) {
            YieldToEvents();
            if (appendCopyValue(row, fields[c].Value(), m_types.value(c), m_numeric.value(c)))
                ++byRule;
        }
        if (!row.isEmpty())
            row.back() = '\n';
        return byRule;
    }

    RowFormat rowFormat(const QString& table) const override
    {
        return {postgreSQLName(table).toUtf8(),
                [head = m_insertHead, numeric = m_numeric](QByteArrayView row) {
                    return insertOfCopyLine(head, row, numeric);
                }};
    }

    TableShape readShape(Connection& source, const ListedTable& table, QString& statement) override
    {
        return readMySQLShape(source, table.name, statement);
    }

    void addShape(Connection& target, const QString& table, const TableShape& shape,
                  const ShapeRunner& run) const override
    {
        shapePostgreSQLTable(target, table, shape, m_columns, run);
    }

    QList<ShapeForeignKey> readForeignKeys(Connection& source, const ListedTable& table,
                                           QString& statement) const override
    {
        return readMySQLForeignKeys(source, table.name, false, statement);
    }

    QList<ShapeForeignKey> referringKeys(Connection& target, const QString& table,
                                         QString& statement) const override
    {
        return readPostgreSQLForeignKeys(target, postgreSQLName(table), true, statement);
    }

    ShapeStatement addForeignKey(Connection& target, const ShapeForeignKey& key) const override
    {
        return postgreSQLForeignKey(target, key);
    }

    ShapeStatement dropForeignKey(const ShapeForeignKey& key) const override
    {
        return dropPostgreSQLForeignKey(key);
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
    using namespace ToPostgreSQLLine;
    Handler handler(QStringLiteral("Form2"), QStringLiteral("PushButton3_Click"));
    QString statement;
    handler.showStatementText(&statement);
    TransferObjects objects;

    handler.step(kSourceObject, [&] { objects.source = std::make_unique<Connection>(); });
    handler.step(kRowsObject, [&] { objects.rows = std::make_unique<Recordset>(); });
    handler.step(kTargetObject, [&] { objects.target = std::make_unique<Connection>(); });
    if (handler.test(kNothingSelected, [&] { return List1->currentRow() == -1; })) {
        handler.step(kNothingSelected, [] { MessageBox::show(QStringLiteral("Please select a table")); });
        return;
    }
    StoppableWork work(*this);
    CopyProgress progress(ProgressBar1, *List1);
    handler.step(kBusyPointer, [&] { m_pointer->set(WindowPointer::Busy); });

    // Without both connections there is nothing to do: the failure is reported once and
    // the click ends.
    if (openConnection(handler, kOpenTarget, objects.target, adUseServer,
                       Windows::postgreSQLConnectionString()) &&
        openConnection(handler, kOpenSource, objects.source, adUseClient, Windows::mySQLConnectionString())) {
        ToPostgreSQL direction(*this);
        TableCopy(handler, statement, objects, direction, progress, *m_pointer, copiesForeignKeys())
            .copySelected();
    }
    if (objects.rows && objects.rows->isOpen())
        resetProgress(ProgressBar1);
    handler.step(kCloseSource, [&] { objects.closeSource(); });
    handler.step(kCloseTarget, [&] { objects.closeTarget(); });
    handler.step(kDefaultPointer, [&] { m_pointer->set(WindowPointer::Default); });
    work.tell(progress.summary(StoppableWork::stopped(), work.elapsed()));
}
