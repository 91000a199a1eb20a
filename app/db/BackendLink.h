#pragma once

// What a cursor or a stream knows of the backend that made it, and the one failure of
// work asked of an object that is closed: a connection, a recordset, or a cursor or stream
// whose connection closed.

#include "app/db/Error.h"

class Backend;

inline Error closedError()
{
    return Error(QStringLiteral("Operation is not allowed when the object is closed."));
}

// The object, while it is open; throws the closed error once it is not.
template <typename Object> Object& requireOpen(Object* object)
{
    if (!object)
        throw closedError();
    return *object;
}

// The backend clears the link in its destructor, so that an object that outlives its
// connection lets go of its own memory without touching a closed client handle.
class BackendLink
{
public:
    explicit BackendLink(Backend* backend) : m_backend(backend) {}
    // The backend, as the derived class that made the link; nullptr once it closed.
    template <typename Derived> Derived* backend() const { return static_cast<Derived*>(m_backend); }
    // The backend, for work that needs it; throws the closed error once it closed.
    template <typename Derived> Derived& live() const { return requireOpen(backend<Derived>()); }

private:
    friend class Backend;
    Backend* m_backend;
};
