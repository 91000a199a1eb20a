#include "connect/ConnectionStrings.h"

#include "app/ErrorReport.h"
#include "app/Windows.h"
#include "app/db/Connection.h"
#include "app/db/ConnectionString.h"
#include "connect/Form1.h"

#include <QLineEdit>

QString MySQLConnectionString(const MySQLDetails& details)
{
    return QStringLiteral("DRIVER={MySQL ODBC 5.1 Driver};") + QStringLiteral("SERVER=") +
           ConnectionString::quoteValue(details.server) + QStringLiteral(";") + QStringLiteral("USER=") +
           ConnectionString::quoteValue(details.user) + QStringLiteral(";") + QStringLiteral("DATABASE=") +
           ConnectionString::quoteValue(details.database) + QStringLiteral(";") +
           QStringLiteral("PASSWORD=") + ConnectionString::quoteValue(details.password) +
           QStringLiteral(";") + QStringLiteral("PORT=") + ConnectionString::quoteValue(details.port) +
           QStringLiteral(";");
}

QString PostgreSQLConnectionString(const PostgreSQLDetails& details)
{
    return QStringLiteral("Driver={PostgreSQL Unicode};Server=") +
           ConnectionString::quoteValue(details.server) + QStringLiteral(";Port=") +
           ConnectionString::quoteValue(details.port) + QStringLiteral(";Uid=") +
           ConnectionString::quoteValue(details.user) + QStringLiteral(";Pwd=") +
           ConnectionString::quoteValue(details.password) + QStringLiteral(";Database=") +
           ConnectionString::quoteValue(details.database);
}

QString MySQLConnectionString()
{
    const Form1& form = Windows::form1();
    return MySQLConnectionString({form.Text6->text(), form.Text7->text(), form.Text9->text(),
                                  form.Text8->text(), form.Text10->text()});
}

QString PostgreSQLConnectionString()
{
    const Form1& form = Windows::form1();
    return PostgreSQLConnectionString(
        {form.Text1->text(), form.Text2->text(), form.Text3->text(), form.Text4->text(), form.Text5->text()});
}

namespace {
// Creating the object is outside the check's own trap; only opening is judged.
bool canOpen(const QString& connectionString)
{
    auto connection = std::make_unique<Connection>();
    return Attempt([&] { connection->Open(connectionString); });
}
} // namespace

bool CanConnectPostgreSQL()
{
    return canOpen(PostgreSQLConnectionString());
}

bool CanConnectMySQL()
{
    return canOpen(MySQLConnectionString());
}

bool CanConnectPostgreSQL(const QString& connectionString)
{
    return canOpen(connectionString);
}

bool CanConnectMySQL(const QString& connectionString)
{
    return canOpen(connectionString);
}
