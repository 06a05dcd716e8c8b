#include "services.h"

#include "platformbase.h"
#include "ratelimiter.h"

#include <atomic>

#ifndef VESSOLIN_VERSION
#error "VESSOLIN_VERSION must come from the build"
#endif
#ifndef VESSOLIN_CONTACT
#error "VESSOLIN_CONTACT must come from the build"
#endif

namespace sennet {

namespace {

constexpr int kDefaultTimeoutMs = kWebRequestDeadlineMs;
std::atomic<int> g_timeoutMs{kDefaultTimeoutMs};

QUrl baseFromEnvironment(const char* name, const char* fallback)
{
    const QString value = qEnvironmentVariable(name).trimmed();
    return QUrl(value.isEmpty() ? QString::fromLatin1(fallback) : value);
}

} // namespace

Endpoints currentEndpoints()
{
    Endpoints e;
    e.acoustId = baseFromEnvironment("VESSOLIN_ACOUSTID_URL", "https://api.acoustid.org");
    e.musicBrainz = baseFromEnvironment("VESSOLIN_MUSICBRAINZ_URL", "https://musicbrainz.org");
    e.coverArt = baseFromEnvironment("VESSOLIN_COVERART_URL", "https://coverartarchive.org");
    e.acoustIdKey = qEnvironmentVariable("VESSOLIN_ACOUSTID_KEY").trimmed();
    return e;
}

QUrl serviceUrl(const QUrl& base, const QString& path)
{
    QUrl url = base;
    QString prefix = url.path();
    while (prefix.endsWith(QLatin1Char('/')))
        prefix.chop(1);
    url.setPath(prefix + path);
    return url;
}

QByteArray userAgent()
{
    // MusicBrainz blocks anonymous clients; name, version and a contact are
    // what its usage rules ask for.
    return QByteArrayLiteral("Vessolin/" VESSOLIN_VERSION " ( " VESSOLIN_CONTACT " )");
}

RateLimiter* limiterFor(Service service)
{
    // The published limits: one request a second to MusicBrainz, three to
    // AcoustID. The cover archive asks for none. The services count the
    // requests as they arrive: a request that leaves on its turn can still
    // reach them later than the next one (a new connection, a busy
    // machine), so each turn keeps a margin for that way.
    constexpr qint64 kArrivalMarginMs = 50;
    static RateLimiter musicBrainz(1000 + kArrivalMarginMs);
    static RateLimiter acoustId(334 + kArrivalMarginMs);
    switch (service) {
    case Service::MusicBrainz:
        return &musicBrainz;
    case Service::AcoustId:
        return &acoustId;
    case Service::CoverArt:
        break;
    }
    return nullptr;
}

int requestTimeoutMs()
{
    return g_timeoutMs.load();
}

void setRequestTimeoutMs(int ms)
{
    g_timeoutMs.store(ms > 0 ? ms : kDefaultTimeoutMs);
}

} // namespace sennet
