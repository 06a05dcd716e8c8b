// What MusicParserInit and MusicParserSetProxyParam leave for later calls:
// the download folder and the proxy. Read and written from any thread.
#pragma once

#include <QNetworkProxy>
#include <QString>

struct tagParserProxyParam;

namespace sennet {

// The proxy a record describes: NoProxy for kind -1, an HTTP proxy for kind
// 0 with a host and a port in 1..65535. False for any other record.
bool proxyFromRecord(const tagParserProxyParam& record, QNetworkProxy* proxy);

void setDownloadFolder(const QString& folder);
QString downloadFolder();
void setProxy(const QNetworkProxy& proxy);
QNetworkProxy currentProxy();
// Back to no folder and no proxy.
void resetLayerState();

} // namespace sennet
