#include "app/ErrorReport.h"

#include "app/MessageBox.h"

namespace {
// A statement can carry values of many megabytes; the report shows its beginning, which
// names the table and the first values, and how much was left out.
constexpr qsizetype kLongestStatementShown = 2000;

QString shortened(const QString& statement)
{
    if (statement.size() <= kLongestStatementShown)
        return statement;
    qsizetype shown = kLongestStatementShown;
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
