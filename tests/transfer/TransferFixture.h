#pragma once

// What the transfer tests share: the table window pointed at the sandbox, list
// selection, and reading back what a server holds.

#include "tests/support/TestSupport.h"

#include <QList>
#include <QStringList>

class TableList;

// No message box was shown; else the test fails showing their texts.
#define QS_VERIFY_NO_BOXES()                                                                                 \
    QVERIFY2(MessageBox::history().isEmpty(), qPrintable(shownTexts().join(QStringLiteral("\n----\n"))))

namespace Transfer {
// Fills the connection fields with the sandbox's details and runs "Next >", so both
// lists come from the servers' catalogues.
void openTableWindow();
// Selects exactly the named items; the first of them becomes the current item.
void select(TableList* list, const QStringList& names);
// The list's items, without PostgreSQL's own catalogue tables that its list also shows.
QStringList items(const TableList* list);
// A name between the quote characters of each server, for the tests' own statements.
QString mySQLQuoted(const QString& name);
QString postgreSQLQuoted(const QString& name);
// Every row of a query, every column as text ("NULL" for NULL).
QList<QStringList> rows(Connection& connection, const QString& sql);
// Rewrites the given columns, floating-point texts of either server, as the double they
// denote, so that two spellings of one value compare equal.
void asDoubles(QList<QStringList>& rows, const QList<int>& columns);
// Every byte value 0..255 once, as hex digits.
QString everyByteHex();
// The texts of the error reports shown so far.
QStringList reports();
// What an error report of a transfer shows after the error description.
QString reportTail(const QString& procedure, int line, const QString& statement);
} // namespace Transfer
