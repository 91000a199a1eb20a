#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <functional>

// How the rows of a row stream are written. Each row comes as its bulk spelling: for
// PostgreSQL one line of COPY's text format, its line feed included; for MySQL the list of
// its values between parentheses, "('5', NULL, 'x')". The stream makes a row's single INSERT
// from that spelling only when the row goes alone, or when its answer reports it.
struct RowFormat
{
    // The target table as its server's statements name it: "t" or `t`.
    QByteArray table;
    // The INSERT statement of one row, from its bulk spelling.
    std::function<QByteArray(QByteArrayView row)> singleStatement;
};
