#pragma once

// What the plain loop sends, and where: the very INSERT texts of the transfer, into a twin
// of the transfer's table.

#include "bench/Options.h"

#include <QProcessEnvironment>
#include <QString>

class Connection;

// The plain loop's table has the very columns of the transfer's: the program creates it,
// copying an empty twin of the source table through the servers of the environment. The
// twin has no keys, as the transfer's table has none while its rows arrive.
void makePlainTable(const Direction& direction, Connection& source, Connection& target,
                    const QProcessEnvironment& environment);
// Writes the INSERT texts the transfer sends, built by the same value functions and aimed
// at the plain loop's table, into the file at path; returns the rows.
qint64 writeStatements(const Direction& direction, Connection& source, const QString& path);
