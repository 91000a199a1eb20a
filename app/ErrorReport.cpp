#include "app/ErrorReport.h"

#include "app/MessageBox.h"

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
        text += QStringLiteral("\r\r") + QStringLiteral("sql: ") + *statementText;
    return text;
}

Handler::Handler(const QString& window, const QString& procedure) : m_tag(handlerTag(window, procedure)) {}

void Handler::report(const QString& description)
{
    ++m_reports;
    MessageBox::show(errorReportText(description, m_tag, m_line, m_statementText),
                     QStringLiteral("Application Error"), MessageBox::OkOnly, MessageBox::Warning);
}
