#pragma once

// Small checks the window operations make on the connection object they created.

#include "app/db/Connection.h"
#include "app/db/Error.h"

#include <memory>

// The object, or the error a statement on a missing object raises.
template <typename T> T& required(const std::unique_ptr<T>& object)
{
    if (!object)
        throw Error(QStringLiteral("Object required"));
    return *object;
}

// A server that cannot be reached, or that went away during a statement: there is no
// point in going on, and one report of it is enough.
inline bool unusable(const std::unique_ptr<Connection>& connection)
{
    return !connection || !connection->isOpen() || connection->isBroken();
}
