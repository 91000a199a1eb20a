#pragma once

// The limit for one statement per row: INSERT texts sent one by one straight through the
// client library, with nothing else done per row.

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
    qint64 rows = 0;
    double seconds = 0;
    QString error; // empty when every statement succeeded
};

// Each opens a session set up as the program sets up its own and sends every statement of
// the file; only the sending is timed.
PlainResult sendToPostgreSQL(const SandboxDetails& details, const QString& statementFile);
PlainResult sendToMySQL(const SandboxDetails& details, const QString& statementFile);
