#pragma once

#include "app/db/Error.h"

#include <QString>

// PostgreSQL shortens a longer name without a word: the table made or renamed would not
// have the name the list shows, and rows could land in another table whose name starts
// the same way. The program refuses such names; consequence says what is not done.
inline constexpr qsizetype kLongestPostgreSQLName = 63; // bytes
inline void requireFittingPostgreSQLName(const QString& name, const QString& consequence)
{
    if (name.toUtf8().size() > kLongestPostgreSQLName)
        throw Error(QStringLiteral("The name \"%1\" is longer than the %2 bytes PostgreSQL allows; %3")
                        .arg(name)
                        .arg(kLongestPostgreSQLName)
                        .arg(consequence));
}

// Identifiers between the servers' quote characters. A quote character inside a name is
// doubled, so every name, however odd, makes a well-formed statement; other names come
// out exactly as plain concatenation would write them.
inline QString mySQLName(const QString& name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('`'), QLatin1String("``"));
    return QLatin1Char('`') + quoted + QLatin1Char('`');
}

inline QString postgreSQLName(const QString& name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// A text between apostrophes, each apostrophe doubled: a literal for either server, as
// both sessions take backslashes as they are.
inline QString quotedText(const QString& text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}
