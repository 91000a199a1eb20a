#include "transfer/CopyProgress.h"

#include "app/Wording.h"
#include "tables/TableList.h"

#include <QProgressBar>
#include <QStringList>

namespace {
// The words change no more often than this: formatting them for every row would cost more
// than the row.
constexpr qint64 kWordsMilliseconds = 100;
// A line names a few tables, then counts the rest.
constexpr qsizetype kNamesShown = 5;

QString namesList(const QStringList& names)
{
    QString text = names.mid(0, kNamesShown).join(QStringLiteral(", "));
    if (names.size() > kNamesShown)
        text += QStringLiteral(" and %1 more").arg(thousands(names.size() - kNamesShown));
    return text;
}
} // namespace

CopyProgress::CopyProgress(QProgressBar* bar, const TableList& source) : m_bar(bar)
{
    m_tally.selected = source.selectedCount();
}

void CopyProgress::startTable(const QString& table)
{
    // The user may select more while the copy runs; the place never passes the total.
    ++m_place;
    m_tally.selected = qMax(m_tally.selected, m_place);
    m_head = QStringLiteral("%1 (%2 of %3)").arg(table, thousands(m_place), thousands(m_tally.selected));
    m_bar->setValue(0);
    m_bar->setFormat(m_head);
    m_rowsTold = false;
    m_sinceWords.start();
}

void CopyProgress::showRows(qint64 known, qint64 lastRow, bool now)
{
    // The count was taken before the rows were read: a source that grew since keeps the
    // bar full.
    const double done = known > lastRow ? 1.0 : static_cast<double>(known) / static_cast<double>(lastRow + 1);
    m_bar->setValue(static_cast<int>(done * 100));
    // The first rows known are told at once; then the words change a few times a second.
    if (now || !m_rowsTold || !m_sinceWords.isValid() || m_sinceWords.elapsed() >= kWordsMilliseconds) {
        m_rowsTold = true;
        m_bar->setFormat(rowWords(known, lastRow));
        m_sinceWords.start();
    }
}

void CopyProgress::tableDone()
{
    m_bar->setValue(0);
}

QString CopyProgress::rowWords(qint64 known, qint64 lastRow) const
{
    const qint64 count = lastRow + 1;
    QString rows;
    if (count <= 0 && known == 0)
        rows = QStringLiteral("no rows");
    else if (known <= count)
        rows = QStringLiteral("%1 of %2")
                   .arg(thousands(known), counted(count, QStringLiteral("row"), QStringLiteral("rows")));
    else
        // The source held more rows than its count said by the time they were read.
        rows = counted(known, QStringLiteral("row"), QStringLiteral("rows")) +
               QStringLiteral(" (%1 counted)").arg(thousands(qMax<qint64>(count, 0)));
    return m_head + QStringLiteral(": ") + rows;
}

QString CopyProgress::summary(bool stopped, qint64 milliseconds) const
{
    const CopyTally& t = m_tally;
    QString text =
        QStringLiteral("%1 of %2 copied")
            .arg(thousands(t.copied), counted(t.selected, QStringLiteral("table"), QStringLiteral("tables")));
    if (t.inPart)
        text += QStringLiteral(", %1 in part").arg(thousands(t.inPart));
    QStringList rows{counted(t.rowsWritten, QStringLiteral("row"), QStringLiteral("rows")) +
                     QStringLiteral(" written")};
    if (t.rowsRefused)
        rows.append(thousands(t.rowsRefused) + QStringLiteral(" refused"));
    if (t.valuesByRule)
        rows.append(counted(t.valuesByRule, QStringLiteral("zero date"), QStringLiteral("zero dates")) +
                    QStringLiteral(" written as NULL"));
    text += QStringLiteral(": ") + rows.join(QStringLiteral(", "));
    QStringList more;
    if (t.notOverwritten)
        more.append(QStringLiteral("%1 not overwritten").arg(thousands(t.notOverwritten)));
    if (t.foreignKeysAdded || t.foreignKeysRefused || t.foreignKeysLeftOut) {
        QString keys =
            counted(t.foreignKeysAdded, QStringLiteral("foreign key"), QStringLiteral("foreign keys")) +
            QStringLiteral(" added");
        if (t.foreignKeysRefused)
            keys += QStringLiteral(", %1 refused").arg(thousands(t.foreignKeysRefused));
        if (t.foreignKeysLeftOut)
            keys += QStringLiteral(", %1 to tables not there").arg(thousands(t.foreignKeysLeftOut));
        more.append(keys);
    }
    if (t.foreignKeysRemoved)
        more.append(
            counted(t.foreignKeysRemoved, QStringLiteral("foreign key"), QStringLiteral("foreign keys")) +
            QStringLiteral(" of other tables removed to overwrite, %1 added back")
                .arg(thousands(t.foreignKeysRestored)));
    if (!t.shapeMissing.isEmpty())
        more.append(QStringLiteral("shape missing: ") + namesList(t.shapeMissing));
    if (!t.shapePartial.isEmpty())
        more.append(QStringLiteral("shape incomplete: ") + namesList(t.shapePartial));
    return clickSummary(stopped, text, {t.failed, t.failedInPart}, milliseconds, more);
}
