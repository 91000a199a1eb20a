#pragma once

// The plain way to send one statement per row: INSERT texts sent one at a time straight
// through the client library, each waited for, with nothing else done per row.

#include "bench/Measure.h"

#include <QByteArray>
#include <QString>
#include <cstdio>

// The servers of scripts/sandbox, from its QS_* variables.
struct SandboxDetails
{
    QByteArray pgHost, pgPort, pgUser, pgPassword, pgDatabase;
    QByteArray myHost, myPort, myUser, myPassword, myDatabase;
    static SandboxDetails fromEnvironment();
};

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
    qint64 rows = 0; // sent while the clock ran
    double seconds = 0;
    double cpuSeconds = 0; // of this process while the clock ran
    ServerCpu servers;     // spent while the clock ran
    QString error;         // empty when every statement succeeded
};

// Which statements of the file to send on the clock, and whether to send the rest after.
struct PlainPart
{
    QString statementFile;
    qint64 skip = 0;      // statements an earlier part has sent
    double timeLimit = 0; // seconds
    bool finish = false;
};

// Each opens a session set up as the program sets up its own and sends the statements of
// the file one by one, on the clock, until the file ends or the time limit is reached:
// far from the server one statement per row is slow, and a part of the table tells its
// rate. When the part finishes the file, the rest is sent afterwards, off the clock and in
// large batches, so that the table ends up whole.
PlainResult sendToPostgreSQL(const SandboxDetails& details, const PlainPart& part);
PlainResult sendToMySQL(const SandboxDetails& details, const PlainPart& part);
