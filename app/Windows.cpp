#include "app/Windows.h"

#include "connect/ConnectionStrings.h"
#include "connect/Form1.h"
#include "tables/Catalogue.h"
#include "tables/Form2.h"

namespace {
Form1* g_form1 = nullptr;
Form2* g_form2 = nullptr;
} // namespace

Form1& Windows::form1()
{
    if (!g_form1)
        g_form1 = new Form1();
    return *g_form1;
}

Form2& Windows::form2()
{
    if (!g_form2) {
        g_form2 = new Form2();
        g_form2->Form_Load();
    }
    return *g_form2;
}

void Windows::start()
{
    Form1& connectionWindow = form1();
    connectionWindow.Form_Load();
    // The start-up sequence may already have moved on to the table window.
    if (!form2Exists() || !form2().isVisible())
        connectionWindow.show();
}

void Windows::showConnectionWindow()
{
    form1().show();
}

void Windows::listMySQLTables(const QString& connectionString)
{
    ListMySQLTables(form2().List1, connectionString);
}

void Windows::listPostgreSQLTables(const QString& connectionString)
{
    ListPostgreSQLTables(form2().List2, connectionString);
}

void Windows::showTableWindow()
{
    form2().show();
}

QString Windows::mySQLConnectionString()
{
    return MySQLConnectionString();
}

QString Windows::postgreSQLConnectionString()
{
    return PostgreSQLConnectionString();
}

bool Windows::form2Exists()
{
    return g_form2 != nullptr;
}

void Windows::destroyForTests()
{
    delete g_form2;
    g_form2 = nullptr;
    delete g_form1;
    g_form1 = nullptr;
}
