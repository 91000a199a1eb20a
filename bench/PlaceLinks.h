#pragma once

// The places of a run: the environment that points a child process at the servers of a
// place, through delay proxies far away.

#include "bench/Options.h"
#include "bench/ProxyProcess.h"

#include <QProcessEnvironment>
#include <iterator>
#include <memory>

// The children's environments, one per place of the run: the servers' own ports near,
// else those of the place's proxies, which live as long as this. The proxies' process ids
// are named in kProxyPidsVariable, for ServerCpu.
class PlaceLinks
{
public:
    explicit PlaceLinks(const Options& options);
    const QProcessEnvironment& environment(Place place) const { return m_environments[size_t(place)]; }

private:
    std::unique_ptr<DelayProxy> m_proxies[std::size(kPlaces)][2];
    QProcessEnvironment m_environments[std::size(kPlaces)];
};
