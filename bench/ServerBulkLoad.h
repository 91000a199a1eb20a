#pragma once

// The servers' own bulk paths on the benchmark's rows, for a copy to be set beside: to
// PostgreSQL psql's \copy of a file in COPY's text format, to MySQL the mariadb client
// loading what mariadb-dump wrote (its multi-row INSERTs); either then adds the primary
// key. The file is made beforehand, off the clock, from the plain loop's table, which holds
// the copy's rows.

#include "bench/Options.h"

#include <QProcessEnvironment>
#include <QString>

class Connection;

class ServerBulkLoad
{
public:
    // target is the benchmark's own connection to the direction's target; the files go
    // into folder.
    ServerBulkLoad(const Direction& direction, Connection& target, const QString& folder);
    // Loads the rows through the servers of the environment into a table of its own: the
    // seconds from the client's start to its primary key in place. Throws when the table
    // then holds other rows than content says (contentOf of the copy).
    double load(const QProcessEnvironment& environment, const QString& content);
    void dropTable();

private:
    const Direction& m_direction;
    Connection& m_target;
    QString m_table;
    QString m_file; // what the client reads: psql's script, or the dump
};
