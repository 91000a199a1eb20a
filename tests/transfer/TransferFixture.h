#pragma once

// What the transfer tests share: the table window pointed at the sandbox, list
// selection, and reading back what a server holds.

#include "tests/support/TestSupport.h"

#include <QList>
#include <QStringList>
#include <memory>
#include <optional>

class TableList;

// No message box was shown; else the test fails showing their texts.
#define QS_VERIFY_NO_BOXES()                                                                                 \
    QVERIFY2(MessageBox::history().isEmpty(), qPrintable(shownTexts().join(QStringLiteral("\n----\n"))))

namespace Transfer {
// The ground of a test whose cases run in both directions of copy: a fresh program and
// empty databases per case (begin, end), a connection to each server, and the case's
// direction from its "copyToPostgreSQL" column (added by directions()).
class TwoWayCase
{
protected:
    static void directions();
    void begin();
    void end();
    bool toPostgreSQL() const;
    Connection& source() { return toPostgreSQL() ? *m_my : *m_pg; }
    Connection& target() { return toPostgreSQL() ? *m_pg : *m_my; }
    TableList* targetList() const;
    // The send button's handler, as the error report names it.
    QString procedure() const;
    // Selects the tables in the source list and presses the direction's send button.
    void send(const QStringList& tables);

    std::optional<ProgramUnderTest> m_program;
    std::unique_ptr<Connection> m_my;
    std::unique_ptr<Connection> m_pg;
};

// Fills the connection fields with the sandbox's details and runs "Next >", so both
// lists come from the servers' catalogues.
void openTableWindow();
// Selects exactly the named items; the first of them becomes the current item.
void select(TableList* list, const QStringList& names);
// Selects the named tables in the source list and presses that direction's send button.
void sendToPostgreSQL(const QStringList& tables);
void sendToMySQL(const QStringList& tables);
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
