#pragma once

// How a row of the MySQL to PostgreSQL copy is spelled in COPY's text format, and the
// INSERT statement of the same row, made from that spelling when the row must go alone.
// Both spell each value as appendPostgreSQLValue (transfer/ValueText) does, so a value
// arrives the same by either road.

#include "app/db/Value.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// Appends the value and the tab after it; the caller ends the line. True when a type rule
// wrote it otherwise than it was (a zero date is NULL).
bool appendCopyValue(QByteArray& line, const Value& value, int typeCode, bool numeric);

// The INSERT of the row whose COPY line is given (its last tab or line feed included):
// head is `INSERT INTO "t" VALUES(`; numeric says which columns' numbers go bare.
QByteArray insertOfCopyLine(QByteArrayView head, QByteArrayView line, const QList<bool>& numeric);
