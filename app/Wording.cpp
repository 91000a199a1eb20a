#include "app/Wording.h"

#include <QLocale>

QString thousands(qint64 number)
{
    // The windows speak English, and so do their numbers, whatever the desktop's language.
    static const QLocale english(QLocale::English, QLocale::UnitedStates);
    return english.toString(number);
}

QString counted(qint64 number, const QString& singular, const QString& plural)
{
    return thousands(number) + QLatin1Char(' ') + (number == 1 ? singular : plural);
}

QString duration(qint64 milliseconds)
{
    if (milliseconds < 10'000)
        return QStringLiteral("%1 s").arg(static_cast<double>(milliseconds) / 1000.0, 0, 'f', 1);
    const qint64 seconds = (milliseconds + 500) / 1000;
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
    return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(seconds % 3600 / 60);
}

QString clickSummary(bool stopped, const QString& what, qint64 failedTables, qint64 milliseconds,
                     const QString& more)
{
    QString text = (stopped ? QStringLiteral("Stopped: ") : QStringLiteral("Done: ")) + what;
    if (failedTables)
        text += QStringLiteral("; %1 failed")
                    .arg(counted(failedTables, QStringLiteral("table"), QStringLiteral("tables")));
    if (!more.isEmpty())
        text += QStringLiteral("; ") + more;
    return text + QStringLiteral("; in ") + duration(milliseconds) + QLatin1Char('.');
}
