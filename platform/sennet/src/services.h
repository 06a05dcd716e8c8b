// Where the web services are and how this client presents itself to them.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace sennet {

class RateLimiter;

enum class Service { AcoustId, MusicBrainz, CoverArt };

// The largest JSON answer of a service that is read; real ones are far smaller.
constexpr qint64 kMaxJsonBytes = 4 * 1024 * 1024;

// Base addresses and client key, read from the environment at each call.
struct Endpoints {
    QUrl acoustId;
    QUrl musicBrainz;
    QUrl coverArt;
    QString acoustIdKey;
};

Endpoints currentEndpoints();
// base with path appended to its own path.
QUrl serviceUrl(const QUrl& base, const QString& path);
QByteArray userAgent();
// The one limiter of a service; null for a service without a limit.
RateLimiter* limiterFor(Service service);
// Whole-request time limit, redirects included.
int requestTimeoutMs();
void setRequestTimeoutMs(int ms);

} // namespace sennet
