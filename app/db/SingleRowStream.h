#pragma once

#include "app/db/RowFormat.h"
#include "app/db/StatementStream.h"

#include <memory>

// Rows sent one INSERT each through a stream of statements: the row's single statement is
// made from its bulk spelling as it goes.
class SingleRowStream : public StatementStream
{
public:
    SingleRowStream(std::unique_ptr<StatementStream> statements, RowFormat format)
        : m_statements(std::move(statements)), m_format(std::move(format))
    {}

    void send(const QByteArray& row, qint64 tag) override
    {
        m_statements->send(m_format.singleStatement(row), tag);
    }
    bool next(Answer& answer, bool wait) override { return m_statements->next(answer, wait); }
    void forgetUnsent() override { m_statements->forgetUnsent(); }
    void discard() override { m_statements->discard(); }
    void finish() override { m_statements->finish(); }

private:
    std::unique_ptr<StatementStream> m_statements;
    RowFormat m_format;
};
