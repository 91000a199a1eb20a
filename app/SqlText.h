#pragma once

#include <QString>

// PostgreSQL shortens a longer name without a word; the program refuses such names.
inline constexpr qsizetype kLongestPostgreSQLName = 63; // bytes

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
