#include "app/ErrorReport.h"

#include "app/MessageBox.h"
#include "app/OperationGuard.h"
#include "app/Wording.h"

#include <utility>

namespace {
// A statement can carry values of many megabytes; the report shows its beginning, which
// names the table and the first values, and how much was left out.
constexpr qsizetype kLongestStatementShown = 2000;
// The list of repeated failures shows several statements, each shorter.
constexpr qsizetype kRepeatedStatementShown = 300;
// Of the tables where one kind of failure happened, the first few are shown with their first
// failure; the others by name (a delete of every catalogue table fails in seventy).
constexpr qsizetype kTablesInFull = 5;
// The details of a click that refused a million rows still open at once: past this many rows,
// or this many characters of their text, the rest are counted.
constexpr qint64 kMostRefusedRowsListed = 10000;
constexpr qsizetype kLongestRefusedRowsText = 4 << 20;

// A NUL in a value would end the text where a message box shows it: it shows as a mark of
// its own, so the statement reads whole.
QString visible(QString text)
{
    return text.replace(QChar(0), QChar(0x2400));
}

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
    return visible(text);
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
    if (error.refusedValues() && m_rowLines.contains(m_line))
        keepRefusedRow(error);
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

void Handler::keepRefusedRow(const Error& error)
{
    // The rows listed are the first ones: past the bound, every further row is only counted.
    if (m_refusedRowsLeftOut == 0 && m_refusedRowsKept < kMostRefusedRowsListed) {
        QString entry = m_context.isEmpty() ? QString() : m_context + QStringLiteral(": ");
        entry += error.description() + QStringLiteral("\r\n");
        if (m_statementText)
            entry += QStringLiteral("sql: ") + shortened(*m_statementText) + QStringLiteral("\r\n");
        if (m_refusedRows.size() + entry.size() <= kLongestRefusedRowsText) {
            m_refusedRows += entry;
            ++m_refusedRowsKept;
            return;
        }
    }
    ++m_refusedRowsLeftOut;
}

QString Handler::refusedRowsText() const
{
    if (m_refusedRowsKept == 0)
        return {};
    QString text = QStringLiteral("%1, each with its table, its failure and its statement:\r\n")
                       .arg(counted(m_refusedRowsKept + m_refusedRowsLeftOut, QStringLiteral("refused row"),
                                    QStringLiteral("refused rows")));
    text += m_refusedRows;
    if (m_refusedRowsLeftOut > 0)
        text += QStringLiteral("... and %1")
                    .arg(counted(m_refusedRowsLeftOut, QStringLiteral("more refused row"),
                                 QStringLiteral("more refused rows")));
    return visible(text);
}

void Handler::showRepeats()
{
    if (m_repeatCount == 0)
        return;
    m_repeatCount = 0;
    const QList<Repeats> repeats = std::exchange(m_repeats, {});
    const QString details = refusedRowsText();
    m_refusedRows.clear();
    m_refusedRowsKept = 0;
    m_refusedRowsLeftOut = 0;
    // Nothing more is shown once the user closed the window.
    if (OperationGuard::ending())
        return;
    QString text = QStringLiteral("These failures happened more than once; each kind was shown only the "
                                  "first time.\r\n");
    // One paragraph per kind: its total, then each table's count with its first failure;
    // past the first few tables, their names and counts alone.
    QList<bool> done(repeats.size(), false);
    for (qsizetype k = 0; k < repeats.size(); ++k) {
        if (done[k])
            continue;
        QList<const Repeats*> kind;
        int total = 0;
        for (qsizetype r = k; r < repeats.size(); ++r) {
            if (repeats[r].line == repeats[k].line && repeats[r].kind == repeats[k].kind) {
                done[r] = true;
                kind.append(&repeats[r]);
                total += repeats[r].count;
            }
        }
        if (total < 2)
            continue;
        text += QStringLiteral("\r\nAt line %1, %2 times:\r\n").arg(repeats[k].line).arg(total);
        QStringList rest;
        for (qsizetype t = 0; t < kind.size(); ++t) {
            const Repeats& table = *kind[t];
            const QString where = table.context.isEmpty() ? QString() : table.context + QStringLiteral(": ");
            if (t >= kTablesInFull) {
                rest.append(table.count > 1 ? QStringLiteral("%1 (%2)").arg(table.context).arg(table.count)
                                            : table.context);
                continue;
            }
            text += where;
            if (table.count > 1)
                text += QStringLiteral("%1 times, the first: ").arg(table.count);
            text += table.firstDescription + QStringLiteral("\r\n");
            if (m_statementText)
                text += QStringLiteral("sql: ") + shortened(table.firstStatement, kRepeatedStatementShown) +
                        QStringLiteral("\r\n");
        }
        if (!rest.isEmpty())
            text += QStringLiteral("And %1 more: ").arg(rest.size()) + rest.join(QStringLiteral(", ")) +
                    QStringLiteral("\r\n");
    }
    text += QStringLiteral("\r\n") + m_tag +
            QStringLiteral("\r\rPlease email screenshot of this message to ") + kSupportAddress;
    MessageBox::show(visible(text), QStringLiteral("Application Error"), MessageBox::OkOnly,
                     MessageBox::Warning, details);
}

void Handler::report(const QString& description)
{
    if (OperationGuard::ending())
        return;
    ++m_reports;
    MessageBox::show(errorReportText(description, m_tag, m_line, m_statementText),
                     QStringLiteral("Application Error"), MessageBox::OkOnly, MessageBox::Warning);
}

void Handler::setStepObserver(StepObserver observer)
{
    s_stepObserver = observer;
}
