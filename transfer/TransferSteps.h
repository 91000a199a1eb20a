#pragma once

// What the two transfer commands share: their three database objects, and opening a
// connection with the transfers' settings.

#include "app/ConnectionUse.h"
#include "app/ErrorReport.h"
#include "app/db/Connection.h"

#include <QProgressBar>
#include <memory>

struct TransferObjects
{
    std::unique_ptr<Connection> source;
    std::unique_ptr<Connection> target;
    std::unique_ptr<Recordset> rows;

    Connection& sourceConnection() const { return required(source); }
    Connection& targetConnection() const { return required(target); }
    Recordset& recordset() const { return required(rows); }

    // A server went away: nothing more can be copied in this click.
    bool lost() const { return (source && source->isBroken()) || (target && target->isBroken()); }

    void closeSource()
    {
        if (rows && rows->isOpen())
            rows->Close();
        if (source && source->isOpen())
            source->Close();
    }
    void closeTarget()
    {
        if (target && target->isOpen())
            target->Close();
    }
};

// The four numbered steps that open a connection: its cursor location, its two time-outs
// and the Open.
struct ConnectionLines
{
    int cursorLocation;
    int commandTimeout;
    int connectionTimeout;
    int open;
};

// Sets the cursor location and the 5000-second time-outs, and opens the connection. False
// when it did not open.
inline bool openConnection(Handler& handler, const ConnectionLines& lines,
                           const std::unique_ptr<Connection>& connection, int cursorLocation,
                           const QString& connectionString)
{
    handler.step(lines.cursorLocation, [&] { required(connection).CursorLocation = cursorLocation; });
    handler.step(lines.commandTimeout, [&] { required(connection).CommandTimeout = 5000; });
    handler.step(lines.connectionTimeout, [&] { required(connection).ConnectionTimeout = 5000; });
    return handler.step(lines.open, [&] { required(connection).Open(connectionString); });
}

// The bar back as it is between clicks: empty, saying "Progress Bar".
inline void resetProgress(QProgressBar* bar)
{
    bar->setValue(0);
    bar->setFormat(QStringLiteral("Progress Bar"));
}
