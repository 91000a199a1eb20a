#pragma once

#include "app/Error.h"

#include <QString>
#include <exception>
#include <optional>

// The support address that every error report asks the user to write to.
inline const QString kSupportAddress = QStringLiteral("support@vantrel.example");

// The text of the error report box: the description, the handler's tag and line, the
// request for a screenshot and, in the two transfer handlers, the statement text.
QString errorReportText(const QString& description, const QString& tag, int line,
                        const QString* statementText = nullptr);

// "in Tablewright2021/08/31.<window>.<procedure> "
QString handlerTag(const QString& window, const QString& procedure);

// Runs the body under a trap of its own that shows nothing: true when it completed,
// false when it threw. For the operations that answer a failure themselves.
template <typename Body> bool Attempt(Body&& body)
{
    try {
        body();
        return true;
    } catch (...) {
        return false;
    }
}

// The numbered-step error trap of one run of an event handler.
//
// Each step of a handler runs under a line number. When a step throws, the report box
// is shown with the handler's tag and that line, and the handler goes on with its next
// step: step() tells the caller whether the step completed. A failed conditional test
// counts as true, so the first step inside the conditional runs next, as after a failed
// step anywhere else.
class Handler
{
public:
    Handler(const QString& window, const QString& procedure);

    // The two transfer handlers show their current statement text after "sql: ".
    void showStatementText(const QString* statementText) { m_statementText = statementText; }

    template <typename Step> bool step(int line, Step&& body)
    {
        m_line = line;
        try {
            body();
            return true;
        } catch (const Error& error) {
            m_lastError = error;
            report(error.description());
        } catch (const std::exception& error) {
            m_lastError = Error(QString::fromUtf8(error.what()));
            report(QString::fromUtf8(error.what()));
        } catch (...) {
            m_lastError = Error(QStringLiteral("Unknown error"));
            report(m_lastError->description());
        }
        return false;
    }

    template <typename Condition> bool test(int line, Condition&& condition)
    {
        bool result = true;
        step(line, [&] { result = condition(); });
        return result;
    }

    // Reports a failure found outside a step (the answer to a statement sent earlier) as
    // a failure of the step with that line.
    void fail(int line, const Error& error)
    {
        m_line = line;
        report(error.description());
    }

    int line() const { return m_line; }
    // The failure of the last step that failed.
    const std::optional<Error>& lastError() const { return m_lastError; }
    int reports() const { return m_reports; }
    const QString& tag() const { return m_tag; }

private:
    void report(const QString& description);

    QString m_tag;
    int m_line = 0;
    int m_reports = 0;
    const QString* m_statementText = nullptr;
    std::optional<Error> m_lastError;
};
