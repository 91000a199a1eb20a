// "Send Table/s To MySQL": copies the PostgreSQL tables selected in List2 into the MySQL
// database: for each, a CREATE TABLE, one INSERT per row with every value quoted, then the
// statements that give the copy its source's shape.

#include "app/ErrorReport.h"
#include "app/MessageBox.h"
#include "app/OperationGuard.h"
#include "app/SqlText.h"
#include "app/Windows.h"
#include "app/Yield.h"
#include "app/db/Connection.h"
#include "tables/Form2.h"
#include "tables/TableList.h"
#include "transfer/CopyProgress.h"
#include "transfer/Datatype.h"
#include "transfer/IntegerColumns.h"
#include "transfer/MySQLShapeReader.h"
#include "transfer/MySQLShapeWriter.h"
#include "transfer/PostgreSQLShapeReader.h"
#include "transfer/TableCopy.h"
#include "transfer/ValueText.h"

namespace {
// The numbered steps of PushButton4_Click, as its error reports name them, in the order
// they stand in the handler.
namespace ToMySQLLine {
constexpr int kTargetObject = 100;
constexpr int kSourceObject = 102;
constexpr int kRowsObject = 104;
constexpr int kNothingSelected = 108; // the test, and its message
constexpr int kBusyPointer = 110;
constexpr ConnectionLines kOpenSource{112, 114, 116, 118};
constexpr ConnectionLines kOpenTarget{120, 122, 124, 126};
// 128 to 148, and from 210 on: the table loop and the rows (kCopy); 130 to 148 are the
// steps of one table that both send handlers number alike (kTableLines, TableCopy.h).
constexpr int kCreateHead = 150;
constexpr int kFieldCount = 152;
constexpr int kFieldYield = 154;
constexpr int kColumnName = 156;
constexpr int kColumnType = 158;
constexpr int kColumnText = 160;
constexpr int kLastComma = 204;
constexpr int kCreateEnd = 206;
constexpr CopyLines kCopy{
    .tableLoop = 128,
    .tableYield = 0,
    .table = kTableLines,
    .names = 0,
    .create = 210,
    .recordCount = 218,
    .rowLoop = 220,
    .rowYield = 222,
    .progress = 224,
    .buildRow = 226,
    .sendRow = 256,
    .moveNext = 258,
    .pointer = 260,
    .resetBar = 262,
    .closeRows = 264,
    .list = 266,
    .finishRows = 268,
    .readShape = 270,
    .shapeStatement = 272,
};
constexpr int kDefaultPointer = 276;
constexpr int kCloseTarget = 278;
constexpr int kCloseSource = 280;
} // namespace ToMySQLLine

class ToMySQL : public CopyDirection
{
public:
    explicit ToMySQL(Form2& form) : m_form(form) {}

    const CopyLines& lines() const override { return ToMySQLLine::kCopy; }
    TableList* sourceList() const override { return m_form.List2; }
    TableList* targetList() const override { return m_form.List1; }
    QString sourceName(const ListedTable& table) const override { return postgreSQLName(table); }
    QString targetName(const QString& table) const override { return mySQLName(table); }

    // CREATE TABLE `t`(`c` TYPE,...) DEFAULT CHARSET=utf8mb4;
    void buildCreate(Handler& h, QString& statement, const QString& table, const Fields& fields) override
    {
        using namespace ToMySQLLine;
        m_types.clear();
        m_scales.clear();
        m_columns.clear();
        m_insertHead =
            (QStringLiteral("INSERT INTO ") + mySQLName(table) + QStringLiteral(" VALUES")).toUtf8();
        h.step(kCreateHead,
               [&] { statement = QStringLiteral("CREATE TABLE ") + mySQLName(table) + QStringLiteral("("); });
        int fieldCount = 0;
        h.step(kFieldCount, [&] { fieldCount = fields.Count(); });
        for (int j = 0; j < fieldCount; ++j) {
            h.step(kFieldYield, [] { YieldToEvents(); });
            QString column;
            h.step(kColumnName, [&] { column = fields[j].Name(); });
            QString type;
            h.step(kColumnType, [&] {
                const Field& field = fields[j];
                type = m_integerTypes.value(field.Name());
                // A value with a fraction that came since the shape was read is refused, not
                // rounded into the integer column.
                const bool whole = !type.isEmpty();
                if (!whole)
                    type = mySQLTypeFor(field.Type(), field.Precision(), field.NumericScale());
                m_types.append(field.Type());
                m_scales.append(whole ? 0 : mySQLDecimalScale(field.Precision(), field.NumericScale()));
                m_columns.append({field.Name(), type});
            });
            h.step(kColumnText,
                   [&] { statement += mySQLName(column) + QLatin1Char(' ') + type + QLatin1Char(','); });
        }
        h.step(kLastComma, [&] { statement.chop(1); });
        // Every character the client sends fits, whatever the database's default set.
        h.step(kCreateEnd, [&] { statement += QStringLiteral(") DEFAULT CHARSET=utf8mb4;"); });
    }

    // The row's values between parentheses: ('5', NULL, 'O''Brien'). Alone it goes as
    // INSERT INTO `t` VALUES('5', NULL, 'O''Brien').
    int buildRow(QByteArray& row, const QString&, const Fields& fields) override
    {
        row += "('";
        for (int c = 0; c < fields.Count(); ++c) {
            YieldToEvents();
            appendMySQLValue(row, fields[c].Value(), m_types.value(c), m_scales.value(c));
        }
        row.chop(3);
        row += ')';
        return 0;
    }

    RowFormat rowFormat(const QString& table) const override
    {
        return {mySQLName(table).toUtf8(),
                [head = m_insertHead](QByteArrayView row) { return QByteArray(head).append(row); }};
    }

    // An auto-increment column of whole numbers is made an integer column, which can take
    // AUTO_INCREMENT.
    TableShape readShape(Connection& source, const ListedTable& table, QString& statement) override
    {
        m_integerTypes.clear();
        const QString relation = postgreSQLName(table);
        TableShape shape = readPostgreSQLShape(source, relation, statement);
        m_integerTypes = mySQLIntegerTypes(source, relation, shape, statement);
        return shape;
    }

    void addShape(Connection&, const QString& table, const TableShape& shape,
                  const ShapeRunner& run) const override
    {
        shapeMySQLTable(table, shape, m_columns, run);
    }

    QList<ShapeForeignKey> readForeignKeys(Connection& source, const ListedTable& table,
                                           QString& statement) const override
    {
        return readPostgreSQLForeignKeys(source, postgreSQLName(table), false, statement);
    }

    QList<ShapeForeignKey> referringKeys(Connection& target, const QString& table,
                                         QString& statement) const override
    {
        return readMySQLForeignKeys(target, table, true, statement);
    }

    ShapeStatement addForeignKey(Connection& target, const ShapeForeignKey& key) const override
    {
        return mySQLForeignKey(target, key);
    }

    ShapeStatement dropForeignKey(const ShapeForeignKey& key) const override
    {
        return dropMySQLForeignKey(key);
    }

    QString findTable(const QString& table) const override
    {
        return QStringLiteral("SELECT 1 FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() AND "
                              "TABLE_NAME = BINARY ") +
               quotedText(table);
    }

private:
    Form2& m_form;
    QByteArray m_insertHead;
    QList<int> m_types;
    QList<int> m_scales;
    QList<TargetColumn> m_columns;
    QHash<QString, QString> m_integerTypes; // the column types read with the shape
};
} // namespace

void Form2::PushButton4_Click()
{
    OperationGuard guard;
    if (!guard.entered())
        return;
    using namespace ToMySQLLine;
    Handler handler(QStringLiteral("Form2"), QStringLiteral("PushButton4_Click"));
    QString statement;
    handler.showStatementText(&statement);
    TransferObjects objects;

    handler.step(kTargetObject, [&] { objects.target = std::make_unique<Connection>(); });
    handler.step(kSourceObject, [&] { objects.source = std::make_unique<Connection>(); });
    handler.step(kRowsObject, [&] { objects.rows = std::make_unique<Recordset>(); });
    if (handler.test(kNothingSelected, [&] { return List2->currentRow() == -1; })) {
        handler.step(kNothingSelected,
                     [] { MessageBox::show(QStringLiteral("Please select a table to send.")); });
        return;
    }
    StoppableWork work(*this);
    CopyProgress progress(ProgressBar1, *List2);
    handler.step(kBusyPointer, [&] { m_pointer->set(WindowPointer::Busy); });

    // Without both connections there is nothing to do: the failure is reported once and
    // the click ends.
    if (openConnection(handler, kOpenSource, objects.source, adUseClient,
                       Windows::postgreSQLConnectionString()) &&
        openConnection(handler, kOpenTarget, objects.target, adUseServer, Windows::mySQLConnectionString())) {
        ToMySQL direction(*this);
        TableCopy(handler, statement, objects, direction, progress, *m_pointer, copiesForeignKeys())
            .copySelected();
    }
    if (objects.rows && objects.rows->isOpen())
        resetProgress(ProgressBar1);
    handler.step(kDefaultPointer, [&] { m_pointer->set(WindowPointer::Default); });
    handler.step(kCloseTarget, [&] { objects.closeTarget(); });
    handler.step(kCloseSource, [&] { objects.closeSource(); });
    work.tell(progress.summary(StoppableWork::stopped(), work.elapsed()));
}
