#include "bench/PlaceLinks.h"

#include "bench/Measure.h"
#include "tests/support/TestSupport.h"

PlaceLinks::PlaceLinks(const Options& options)
{
    const QStringList narrow{QStringLiteral("--rate"), QLatin1String(kNarrowRate), QStringLiteral("--window"),
                             QLatin1String(kNarrowWindow)};
    QStringList pids;
    for (const Place place : options.places) {
        const size_t i = size_t(place);
        m_environments[i] = QProcessEnvironment::systemEnvironment();
        if (place == Place::Near)
            continue;
        const QStringList link = place == Place::Narrow ? narrow : QStringList();
        auto& [pg, my] = m_proxies[i];
        pg = std::make_unique<DelayProxy>(Sandbox::env("QS_PG_HOST"), Sandbox::env("QS_PG_PORT"),
                                          options.delayOf(place), link);
        my = std::make_unique<DelayProxy>(Sandbox::env("QS_MY_HOST"), Sandbox::env("QS_MY_PORT"),
                                          options.delayOf(place), link);
        pids << QString::number(pg->processId()) << QString::number(my->processId());
        m_environments[i].insert(QStringLiteral("QS_PG_PORT"), pg->port());
        m_environments[i].insert(QStringLiteral("QS_MY_PORT"), my->port());
    }
    qputenv(kProxyPidsVariable, pids.join(QLatin1Char(' ')).toLatin1());
}
