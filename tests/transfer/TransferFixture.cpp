#include "tests/transfer/TransferFixture.h"

#include "app/ErrorReport.h"
#include "app/Windows.h"
#include "connect/Form1.h"
#include "tables/Form2.h"
#include "tables/TableList.h"

#include <QLineEdit>
#include <QTest>

void Transfer::openTableWindow()
{
    Form1& form = Windows::form1();
    form.Text1->setText(Sandbox::env("QS_PG_HOST"));
    form.Text2->setText(Sandbox::env("QS_PG_PORT"));
    form.Text3->setText(Sandbox::env("QS_PG_USER"));
    form.Text4->setText(Sandbox::env("QS_PG_PASSWORD"));
    form.Text5->setText(Sandbox::env("QS_PG_DATABASE"));
    form.Text6->setText(Sandbox::env("QS_MY_HOST"));
    form.Text10->setText(Sandbox::env("QS_MY_PORT"));
    form.Text7->setText(Sandbox::env("QS_MY_USER"));
    form.Text8->setText(Sandbox::env("QS_MY_PASSWORD"));
    form.Text9->setText(Sandbox::env("QS_MY_DATABASE"));
    form.PushButton2_Click();
    if (!MessageBox::history().isEmpty())
        qFatal("\"Next >\" failed: %s", qPrintable(MessageBox::history().constFirst().text));
}

void Transfer::select(TableList* list, const QStringList& names)
{
    list->clearSelection();
    for (const QString& name : names) {
        const QList<QListWidgetItem*> found = list->findItems(name, Qt::MatchExactly);
        if (found.size() != 1)
            qFatal("the list holds %d items named \"%s\"", int(found.size()), qPrintable(name));
        found.constFirst()->setSelected(true);
    }
    if (!names.isEmpty())
        list->setCurrentItem(list->findItems(names.constFirst(), Qt::MatchExactly).constFirst(),
                             QItemSelectionModel::NoUpdate);
}

void Transfer::sendToPostgreSQL(const QStringList& tables)
{
    select(Windows::form2().List1, tables);
    Windows::form2().PushButton3_Click();
}

void Transfer::sendToMySQL(const QStringList& tables)
{
    select(Windows::form2().List2, tables);
    Windows::form2().PushButton4_Click();
}

QStringList Transfer::items(const TableList* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) {
        const QString schema = TableList::tableOf(*list->item(i)).schema;
        if (schema != QLatin1String("pg_catalog") && schema != QLatin1String("information_schema"))
            texts.append(list->item(i)->text());
    }
    return texts;
}

QString Transfer::mySQLQuoted(const QString& name)
{
    return QLatin1Char('`') + QString(name).replace(QLatin1Char('`'), QLatin1String("``")) + QLatin1Char('`');
}

QString Transfer::postgreSQLQuoted(const QString& name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

QList<QStringList> Transfer::rows(Connection& connection, const QString& sql)
{
    QList<QStringList> result;
    Recordset rows = connection.Execute(sql);
    while (!rows.Eof()) {
        QStringList row;
        for (int c = 0; c < rows.Fields().Count(); ++c) {
            const Value& value = rows.Fields()[c].Value();
            row.append(value.isNull() ? QStringLiteral("NULL") : value.toString());
        }
        result.append(row);
        rows.MoveNext();
    }
    return result;
}

void Transfer::asDoubles(QList<QStringList>& rows, const QList<int>& columns)
{
    for (QStringList& row : rows) {
        for (int c : columns) {
            if (row[c] == QLatin1String("NULL"))
                continue;
            bool ok = false;
            const double value = row[c].toDouble(&ok);
            row[c] = ok ? QString::number(value, 'g', 17) : QStringLiteral("not a number: ") + row[c];
        }
    }
}

QString Transfer::everyByteHex()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(static_cast<char>(i));
    return QString::fromLatin1(bytes.toHex());
}

QStringList Transfer::reports()
{
    QStringList texts;
    for (const MessageBox::Shown& shown : MessageBox::history()) {
        if (shown.title == QLatin1String("Application Error"))
            texts.append(shown.text);
    }
    return texts;
}

QString Transfer::reportTail(const QString& procedure, int line, const QString& statement)
{
    return QStringLiteral("\r\nin Tablewright2021/08/31.Form2.") + procedure + QStringLiteral(" at line ") +
           QString::number(line) + QStringLiteral("\r\rPlease email screenshot of this message to ") +
           kSupportAddress + QStringLiteral("\r\rsql: ") + statement;
}

void Transfer::TwoWayCase::directions()
{
    QTest::addColumn<bool>("copyToPostgreSQL");
    QTest::newRow("to PostgreSQL") << true;
    QTest::newRow("to MySQL") << false;
}

void Transfer::TwoWayCase::begin()
{
    m_program.emplace();
    Sandbox::dropAllTables();
    m_my = Sandbox::mySQL();
    m_pg = Sandbox::postgreSQL();
}

void Transfer::TwoWayCase::end()
{
    m_my.reset();
    m_pg.reset();
    m_program.reset();
}

bool Transfer::TwoWayCase::toPostgreSQL() const
{
    QFETCH(bool, copyToPostgreSQL);
    return copyToPostgreSQL;
}

TableList* Transfer::TwoWayCase::targetList() const
{
    return toPostgreSQL() ? Windows::form2().List2 : Windows::form2().List1;
}

QString Transfer::TwoWayCase::procedure() const
{
    return toPostgreSQL() ? QStringLiteral("PushButton3_Click") : QStringLiteral("PushButton4_Click");
}

void Transfer::TwoWayCase::send(const QStringList& tables)
{
    Form2& form = Windows::form2();
    select(toPostgreSQL() ? form.List1 : form.List2, tables);
    toPostgreSQL() ? form.PushButton3_Click() : form.PushButton4_Click();
}
