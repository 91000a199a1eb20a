#pragma once

// The program's windows as the tests drive them: started on the sandbox servers, the table
// window's lists read and selected as a user's clicks leave them.

#include "app/Windows.h"
#include "connect/Form1.h"
#include "tables/Form2.h"
#include "tables/TableList.h"
#include "tests/support/TestSupport.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>

// A loopback port nobody listens on: connecting to it is refused at once.
inline const QString kDeadPort = QStringLiteral("1");

// Starts the program with the sandbox's details remembered: the connection window goes on
// to the table window by itself, both lists read from the servers' catalogues.
Form2& openTableWindow();
// The same, but PostgreSQL's port is one nobody listens on, so that the connection window
// stays.
Form1& openConnectionWindow();
// As the user's clicks leave it: exactly the named items selected, the last one current.
void select(TableList* list, const QStringList& names);
QStringList names(const QListWidget* list);
QStringList selectedNames(const QListWidget* list);
// The PostgreSQL catalogue's own tables, which its list shows too; the list's items without them.
bool isCatalogue(const ListedTable& table);
QStringList items(const TableList* list);

// Does what the user does, once, as soon as the condition holds: from the event loop that
// the running click lets in, between two rows or tables or inside a wait for a server.
class WhenThen
{
public:
    WhenThen(std::function<bool()> when, std::function<void()> then);
    bool done() const { return m_done; }
    // Since the action.
    qint64 elapsed() const { return m_clock.elapsed(); }

private:
    std::function<bool()> m_when;
    std::function<void()> m_then;
    QTimer m_timer;
    QElapsedTimer m_clock;
    bool m_done = false;
};
