#pragma once

#include "app/Error.h"

#include <QString>
#include <exception>
#include <optional>
#include <source_location>

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

    template <typename Step>
    bool step(int line, Step&& body, const std::source_location& where = std::source_location::current())
    {
        noteStep(line, where);
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

    template <typename Condition>
    bool test(int line, Condition&& condition,
              const std::source_location& where = std::source_location::current())
    {
        bool result = true;
        step(
            line, [&] { result = condition(); }, where);
        return result;
    }

    int line() const { return m_line; }
    // The failure of the last step that failed.
    const std::optional<Error>& lastError() const { return m_lastError; }
    int reports() const { return m_reports; }
    const QString& tag() const { return m_tag; }

    // Tests watch where in the code each numbered step stands, so that a report's line
    // always names one place.
    using StepObserver = void (*)(const QString& tag, int line, const std::source_location& where);
    static void setStepObserver(StepObserver observer);

private:
    void report(const QString& description);
    void noteStep(int line, const std::source_location& where) const
    {
        if (s_stepObserver)
            s_stepObserver(m_tag, line, where);
    }

    static inline StepObserver s_stepObserver = nullptr;

    QString m_tag;
    int m_line = 0;
    int m_reports = 0;
    const QString* m_statementText = nullptr;
    std::optional<Error> m_lastError;
};
