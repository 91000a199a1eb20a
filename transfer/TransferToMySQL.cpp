// "Send Table/s To MySQL": copies the PostgreSQL tables selected in List2 into the MySQL
// database, one CREATE TABLE and one INSERT per row each, every value quoted.

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
#include "transfer/TableCopy.h"
#include "transfer/ValueText.h"

namespace {
class ToMySQL : public CopyDirection
{
public:
    explicit ToMySQL(Form2& form) : m_form(form)
    {
        m_lines.create = 210;
        m_lines.recordCount = 218;
        m_lines.rowLoop = 220;
        m_lines.rowYield = 222;
        m_lines.progress = 224;
        m_lines.buildRow = 226;
        m_lines.sendRow = 256;
        m_lines.moveNext = 258;
        m_lines.finishRows = 268;
        m_lines.pointer = 260;
        m_lines.resetBar = 262;
        m_lines.closeRows = 264;
        m_lines.list = 266;
        m_lines.readShape = 270;
        m_lines.shapeStatement = 272;
    }

    const CopyLines& lines() const override { return m_lines; }
    TableList* sourceList() const override { return m_form.List2; }
    TableList* targetList() const override { return m_form.List1; }
    QString sourceName(const ListedTable& table) const override { return postgreSQLName(table); }
    QString targetName(const QString& table) const override { return mySQLName(table); }

    // CREATE TABLE `t`(`c` TYPE,...) DEFAULT CHARSET=utf8mb4;
    void buildCreate(Handler& h, QString& statement, const QString& table, const Fields& fields) override
    {
        m_types.clear();
        m_scales.clear();
        m_columns.clear();
        m_insertHead =
            (QStringLiteral("INSERT INTO ") + mySQLName(table) + QStringLiteral(" VALUES('")).toUtf8();
        h.step(150,
               [&] { statement = QStringLiteral("CREATE TABLE ") + mySQLName(table) + QStringLiteral("("); });
        int fieldCount = 0;
        h.step(152, [&] { fieldCount = fields.Count(); });
        for (int j = 0; j < fieldCount; ++j) {
            h.step(154, [] { YieldToEvents(); });
            QString column;
            h.step(156, [&] { column = fields[j].Name(); });
            QString type;
            h.step(158, [&] {
                const Field& field = fields[j];
                type = mySQLTypeFor(field.Type(), field.Precision(), field.NumericScale());
                m_types.append(field.Type());
                m_scales.append(mySQLDecimalScale(field.Precision(), field.NumericScale()));
                m_columns.append({field.Name(), type});
            });
            h.step(160, [&] { statement += mySQLName(column) + QLatin1Char(' ') + type + QLatin1Char(','); });
        }
        h.step(204, [&] { statement.chop(1); });
        // Every character the client sends fits, whatever the database's default set.
        h.step(206, [&] { statement += QStringLiteral(") DEFAULT CHARSET=utf8mb4;"); });
    }

    // INSERT INTO `t` VALUES('5', NULL, 'O''Brien')
    int buildRow(QByteArray& row, const QString&, const Fields& fields) override
    {
        row += m_insertHead;
        for (int c = 0; c < fields.Count(); ++c) {
            YieldToEvents();
            appendMySQLValue(row, fields[c].Value(), m_types.value(c), m_scales.value(c));
        }
        row.chop(3);
        row += ')';
        return 0;
    }

    TableShape readShape(Connection& source, const ListedTable& table, QString& statement) const override
    {
        return readPostgreSQLShape(source, postgreSQLName(table), statement);
    }

    void addShape(Connection&, const QString& table, const TableShape& shape,
                  const ShapeRunner& run) const override
    {
        shapeMySQLTable(table, shape, m_columns, run);
    }

    QString findTable(const QString& table) const override
    {
        return QStringLiteral("SELECT 1 FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() AND "
                              "TABLE_NAME = BINARY ") +
               quotedText(table);
    }

private:
    Form2& m_form;
    CopyLines m_lines;
    QByteArray m_insertHead;
    QList<int> m_types;
    QList<int> m_scales;
    QList<TargetColumn> m_columns;
};
} // namespace

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
    StoppableWork work(*this);
    CopyProgress progress(ProgressBar1, *List2);
    handler.step(110, [&] { m_pointer->set(WindowPointer::Busy); });

    // Without both connections there is nothing to do: the failure is reported once and
    // the click ends.
    if (openConnection(handler, 112, objects.source, adUseClient, Windows::postgreSQLConnectionString()) &&
        openConnection(handler, 120, objects.target, adUseServer, Windows::mySQLConnectionString())) {
        ToMySQL direction(*this);
        TableCopy(handler, statement, objects, direction, progress, *m_pointer).copySelected(128);
    }
    if (objects.rows && objects.rows->isOpen())
        resetProgress(ProgressBar1);
    handler.step(276, [&] { m_pointer->set(WindowPointer::Default); });
    handler.step(278, [&] { objects.closeTarget(); });
    handler.step(280, [&] { objects.closeSource(); });
    work.tell(progress.summary(StoppableWork::stopped(), work.elapsed()));
}
