#pragma once

// Helpers shared by the table window tests.

#include "app/Windows.h"
#include "connect/Form1.h"
#include "tables/Form2.h"
#include "tables/TableList.h"
#include "tests/support/TestSupport.h"

#include <QLineEdit>
#include <QTest>

// A loopback port nobody listens on: connecting to it is refused at once.
inline const QString kDeadPort = QStringLiteral("1");

inline QStringList names(const QListWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts.append(list->item(i)->text());
    return texts;
}

inline QStringList selectedNames(const QListWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->isSelected())
            texts.append(list->item(i)->text());
    return texts;
}

// As the user's clicks leave it: exactly these items selected, the last one current.
inline void select(TableList* list, const QStringList& wanted)
{
    list->clearSelection();
    for (const QString& name : wanted) {
        const QList<QListWidgetItem*> found = list->findItems(name, Qt::MatchExactly);
        QVERIFY2(found.size() == 1, qPrintable(name));
        list->setCurrentItem(found.first(), QItemSelectionModel::Select);
    }
}

// Tables of the sandbox databases (the PostgreSQL public schema), sorted.
inline QStringList mySQLTables()
{
    QStringList tables = Sandbox::column(*Sandbox::mySQL(), QStringLiteral("SHOW TABLES"));
    tables.sort();
    return tables;
}

inline QStringList postgreSQLTables()
{
    QStringList tables =
        Sandbox::column(*Sandbox::postgreSQL(),
                        QStringLiteral("select tablename from pg_tables where schemaname = 'public'"));
    tables.sort();
    return tables;
}

// Connections the MySQL server has seen, the one that asks included.
inline int mySQLConnectionAttempts()
{
    return Sandbox::scalar(*Sandbox::mySQL(),
                           QStringLiteral("select VARIABLE_VALUE from information_schema.GLOBAL_STATUS "
                                          "where VARIABLE_NAME = 'CONNECTIONS'"))
        .toInt();
}

// Simple tables, names quoted the servers' way with the quote character doubled.
inline void createMySQLTables(const QStringList& tables)
{
    auto my = Sandbox::mySQL();
    for (QString table : tables)
        Sandbox::exec(
            *my, QStringLiteral("CREATE TABLE `%1` (id int)").arg(table.replace('`', QStringLiteral("``"))));
}

inline void createPostgreSQLTables(const QStringList& tables)
{
    auto pg = Sandbox::postgreSQL();
    for (QString table : tables)
        Sandbox::exec(
            *pg,
            QStringLiteral("CREATE TABLE \"%1\" (id int)").arg(table.replace('"', QStringLiteral("\"\""))));
}

// Starts the program with the sandbox remembered, so that the connection window's load
// runs "Next >" itself and the table window comes up with both catalogues read.
inline Form2& openTables(ProgramUnderTest& program)
{
    program.rememberSandbox();
    Windows::form1().Form_Load();
    return Windows::form2();
}
