#pragma once

// The table window as the tests drive it: opened on the sandbox servers, its lists read
// and selected as a user's clicks leave them.

#include "app/Windows.h"
#include "connect/Form1.h"
#include "tables/Form2.h"
#include "tables/TableList.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QString>
#include <QStringList>

// A loopback port nobody listens on: connecting to it is refused at once.
inline const QString kDeadPort = QStringLiteral("1");

// Fills the connection fields with the sandbox's details and runs "Next >", so both lists
// come from the servers' catalogues.
Form2& openTableWindow();
// As the user's clicks leave it: exactly the named items selected, the last one current.
void select(TableList* list, const QStringList& names);
QStringList names(const QListWidget* list);
QStringList selectedNames(const QListWidget* list);
// The PostgreSQL catalogue's own tables, which its list shows too; the list's items without them.
bool isCatalogue(const ListedTable& table);
QStringList items(const TableList* list);
