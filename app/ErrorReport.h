#pragma once

#include "app/db/Error.h"

#include <QList>
#include <QString>
#include <exception>
#include <optional>
#include <source_location>
#include <utility>

// Clang before 15 (the analyser's compiler on this platform) cannot make a
// std::source_location from GCC's library; it gets a stand-in that names no place. The
// program itself is built by GCC.
#if defined(__clang__) && !__has_builtin(__builtin_source_location)
namespace std {
struct source_location
{
    static constexpr source_location current() noexcept { return {}; }
    constexpr const char* file_name() const noexcept { return ""; }
    constexpr unsigned line() const noexcept { return 0; }
};
} // namespace std
#endif

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
//
// A failure of the same kind at the same line as one already shown in this run (the next
// refused row, the next table the account may not drop) is counted instead of shown, per
// table; when the handler ends, one box lists what was counted. Behind its "Show Details..."
// button the box lists every refused row of the run, each with its table, its failure and
// its statement, up to a bound.
class Handler
{
public:
    Handler(const QString& window, const QString& procedure);
    ~Handler();
    Handler(const Handler&) = delete;
    Handler& operator=(const Handler&) = delete;

    // The table the following steps work on, for the list of repeated failures.
    void setContext(const QString& context) { m_context = context; }

    // The two transfer handlers show their current statement text after "sql: ".
    void showStatementText(const QString* statementText) { m_statementText = statementText; }

    // The lines at which a copy reports a row: each failure there whose values were refused
    // is a refused row, kept for the details of the box of repeated failures.
    void keepRefusedRowsAt(QList<int> lines) { m_rowLines = std::move(lines); }

    template <typename Step>
    bool step(int line, Step&& body, const std::source_location& where = std::source_location::current())
    {
        noteStep(line, where);
        m_line = line;
        try {
            body();
            return true;
        } catch (const Error& error) {
            failed(error);
        } catch (const std::exception& error) {
            failed(Error(QString::fromUtf8(error.what())));
        } catch (...) {
            failed(Error(QStringLiteral("Unknown error")));
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
    // The boxes shown so far, and the failures counted without a box.
    int reports() const { return m_reports; }
    int repeats() const { return m_repeatCount; }
    // Shows the box of the repeated failures, if any were counted; the destructor does it
    // too.
    void showRepeats();
    const QString& tag() const { return m_tag; }

    // Tests watch where in the code each numbered step stands, so that a report's line
    // always names one place.
    using StepObserver = void (*)(const QString& tag, int line, const std::source_location& where);
    static void setStepObserver(StepObserver observer);

private:
    // Failures of one kind, at one line, while working on one table.
    struct Repeats
    {
        QString context;
        int line = 0;
        QString kind;
        int count = 0;
        QString firstDescription;
        QString firstStatement;
    };

    void failed(const Error& error);
    void keepRefusedRow(const Error& error);
    // The refused rows kept, and a line for those past the bound.
    QString refusedRowsText() const;
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
    QString m_context;
    QList<Repeats> m_repeats;
    int m_repeatCount = 0;
    QList<int> m_rowLines;
    QString m_refusedRows; // one entry a refused row: its table and failure, then "sql: "
    qint64 m_refusedRowsKept = 0;
    qint64 m_refusedRowsLeftOut = 0;
};
