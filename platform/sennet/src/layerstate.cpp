#include "layerstate.h"

#include "sennet.h"
#include "textfield.h"

#include <QMutex>
#include <QMutexLocker>

namespace sennet {

namespace {

struct LayerState {
    QMutex mutex;
    QString downloadFolder;
    QNetworkProxy proxy{QNetworkProxy::NoProxy};
};

LayerState& state()
{
    static LayerState s;
    return s;
}

} // namespace

bool proxyFromRecord(const tagParserProxyParam& record, QNetworkProxy* proxy)
{
    if (record.iKind == -1) {
        *proxy = QNetworkProxy(QNetworkProxy::NoProxy);
        return true;
    }
    const QString host = fieldText(record.szHost);
    if (record.iKind != 0 || host.isEmpty() || record.iPort < 1 || record.iPort > 65535)
        return false;
    *proxy = QNetworkProxy(QNetworkProxy::HttpProxy, host, static_cast<quint16>(record.iPort),
                           fieldText(record.szUser), fieldText(record.szPassword));
    return true;
}

void setDownloadFolder(const QString& folder)
{
    QMutexLocker lock(&state().mutex);
    state().downloadFolder = folder;
}

QString downloadFolder()
{
    QMutexLocker lock(&state().mutex);
    return state().downloadFolder;
}

void setProxy(const QNetworkProxy& proxy)
{
    QMutexLocker lock(&state().mutex);
    state().proxy = proxy;
}

QNetworkProxy currentProxy()
{
    QMutexLocker lock(&state().mutex);
    return state().proxy;
}

void resetLayerState()
{
    QMutexLocker lock(&state().mutex);
    state().downloadFolder.clear();
    state().proxy = QNetworkProxy(QNetworkProxy::NoProxy);
}

} // namespace sennet
