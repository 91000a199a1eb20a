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

QString clickSummary(bool stopped, const QString& what, const FailedTables& failed, qint64 milliseconds,
                     const QStringList& more)
{
    QString text = (stopped ? QStringLiteral("Stopped: ") : QStringLiteral("Done: ")) + what;
    if (failed.count) {
        text += QStringLiteral("; %1 failed")
                    .arg(counted(failed.count, QStringLiteral("table"), QStringLiteral("tables")));
        if (failed.inPart == failed.count)
            text += QStringLiteral(" in part");
        else if (failed.inPart > 0)
            text += QStringLiteral(", %1 in part").arg(thousands(failed.inPart));
    }
    for (const QString& part : more)
        text += QStringLiteral("; ") + part;
    return text + QStringLiteral("; in ") + duration(milliseconds) + QLatin1Char('.');
}
