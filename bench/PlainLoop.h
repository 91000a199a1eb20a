#pragma once

// The plain way to send one statement per row: INSERT texts sent one at a time straight
// through the client library, each waited for, with nothing else done per row.

#include "bench/Measure.h"

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <functional>

// A file of statements, each stored after its length.
class StatementWriter
{
public:
    explicit StatementWriter(const QString& path);
    ~StatementWriter();
    StatementWriter(const StatementWriter&) = delete;
    StatementWriter& operator=(const StatementWriter&) = delete;
    void write(const QByteArray& statement);

private:
    std::FILE* m_file;
};

struct PlainResult
{
    qint64 rows = 0;        // sent while the loop ran on the clock
    double cpuSeconds = 0;  // of this process meanwhile
    qint64 endedAt = 0;     // monotonicNanoseconds() when that loop ended
    bool wholeFile = false; // it ended because the file did
    QString error;          // empty when every statement succeeded
};

// Each opens a session set up as the program sets up its own, on the server that the
// sandbox's QS_* variables name, calls ready(), and sends the statements of the file one
// by one, each waited for, until the file ends or requestPlainStop() is called (from a
// signal handler too). Far from the server one
// statement per row is slow, and a part of the table tells its rate. The rest of the file
// is sent afterwards, off the clock and in large batches, so that the table ends up whole.
PlainResult sendToPostgreSQL(const QString& statementFile, const std::function<void()>& ready);
PlainResult sendToMySQL(const QString& statementFile, const std::function<void()>& ready);
void requestPlainStop();
