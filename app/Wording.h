#pragma once

#include <QString>

// Numbers and times in the words the windows show: "1,000 rows", "2 min 5 s".

// The number with thousands separators: 1234567 is "1,234,567".
QString thousands(qint64 number);
// The number and its noun, which is plural unless the number is one: "1 table", "3 tables".
QString counted(qint64 number, const QString& singular, const QString& plural);
// A time taken: "0.4 s", "12 s", "2 min 5 s", "1 h 3 min".
QString duration(qint64 milliseconds);
