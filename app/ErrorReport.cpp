#include "app/ErrorReport.h"

#include "app/MessageBox.h"

namespace {
// A statement can carry values of many megabytes; the report shows its beginning, which
// names the table and the first values, and how much was left out.
constexpr qsizetype kLongestStatementShown = 2000;
// The list of repeated failures shows several statements, each shorter.
constexpr qsizetype kRepeatedStatementShown = 300;

QString shortened(const QString& statement, qsizetype longest = kLongestStatementShown)
{
    if (statement.size() <= longest)
        return statement;
    qsizetype shown = longest;
    // Half a surrogate pair would show as a broken character.
    if (statement.at(shown - 1).isHighSurrogate())
        --shown;
    return statement.left(shown) + QStringLiteral("… (%1 more characters)").arg(statement.size() - shown);
}
} // namespace

QString handlerTag(const QString& window, const QString& procedure)
{
    return QStringLiteral("in Tablewright2021/08/31.") + window + QLatin1Char('.') + procedure +
           QLatin1Char(' ');
}

QString errorReportText(const QString& description, const QString& tag, int line,
                        const QString* statementText)
{
    QString text = description + QStringLiteral("\r\n") + tag + QStringLiteral("at line ") +
                   QString::number(line) + QStringLiteral("\r\r") +
                   QStringLiteral("Please email screenshot of this message to ") + kSupportAddress;
    if (statementText)
        text += QStringLiteral("\r\r") + QStringLiteral("sql: ") + shortened(*statementText);
    return text;
}

Handler::Handler(const QString& window, const QString& procedure) : m_tag(handlerTag(window, procedure)) {}

Handler::~Handler()
{
    try {
        showRepeats();
    } catch (...) {
        // A box that cannot be shown has nothing to say to anyone.
    }
}

void Handler::failed(const Error& error)
{
    m_lastError = error;
    // A stop the user asked for is no failure to tell of.
    if (error.stopped())
        return;
    const QString kind = error.kind();
    bool seen = false;
    Repeats* mine = nullptr;
    for (Repeats& repeats : m_repeats) {
        if (repeats.line != m_line || repeats.kind != kind)
            continue;
        seen = true;
        if (repeats.context == m_context)
            mine = &repeats;
    }
    if (!mine) {
        m_repeats.append({m_context, m_line, kind, 0, error.description(),
                          m_statementText ? *m_statementText : QString()});
        mine = &m_repeats.last();
    }
    ++mine->count;
    if (!seen) {
        report(error.description());
        return;
    }
    ++m_repeatCount;
}

void Handler::showRepeats()
{
    if (m_repeatCount == 0)
        return;
    m_repeatCount = 0;
    QString text = QStringLiteral("These failures happened more than once; each kind was shown only the "
                                  "first time:\r\n");
    auto kindTotal = [&](const Repeats& repeats) {
        int total = 0;
        for (const Repeats& other : std::as_const(m_repeats)) {
            if (other.line == repeats.line && other.kind == repeats.kind)
                total += other.count;
        }
        return total;
    };
    for (const Repeats& repeats : std::as_const(m_repeats)) {
        if (kindTotal(repeats) < 2)
            continue;
        text += QStringLiteral("\r\n");
        if (!repeats.context.isEmpty())
            text += repeats.context + QStringLiteral(": ");
        text += QStringLiteral("%1 at line %2, the first: ").arg(repeats.count).arg(repeats.line) +
                repeats.firstDescription + QStringLiteral("\r\n");
        if (m_statementText)
            text += QStringLiteral("sql: ") + shortened(repeats.firstStatement, kRepeatedStatementShown) +
                    QStringLiteral("\r\n");
    }
    m_repeats.clear();
    text += QStringLiteral("\r\n") + m_tag +
            QStringLiteral("\r\rPlease email screenshot of this message to ") + kSupportAddress;
    MessageBox::show(text, QStringLiteral("Application Error"), MessageBox::OkOnly, MessageBox::Warning);
}

void Handler::report(const QString& description)
{
    ++m_reports;
    MessageBox::show(errorReportText(description, m_tag, m_line, m_statementText),
                     QStringLiteral("Application Error"), MessageBox::OkOnly, MessageBox::Warning);
}

void Handler::setStepObserver(StepObserver observer)
{
    s_stepObserver = observer;
}
