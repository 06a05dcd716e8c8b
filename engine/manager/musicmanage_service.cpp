// CMusicManage: starting the online information service and its proxy.
#include "manager/musicmanage.h"
#include "manager/servicerecords.h"

#include "core/mmlog.h"

int CMusicManage::InitAWS(const tagInitParam* param)
{
    if (!param)
        return MM_ERR_BAD_ARGS;
    tagAWSStartRecord start;
    const QByteArray logFolder = m_strLogFolder.toUtf8();
    if (FillStartRecord(start, param->pArtworkFolder, logFolder.constData()) != 0) {
        WriteLog(QStringLiteral("[MM AWS Create Factory: folder too long]"));
        return MM_ERR_BAD_ARGS;
    }
    tagAWSProxyRecord proxy;
    // The proxy fields are read only when the caller says they hold one.
    if (param->iUseProxy && FillProxyRecord(proxy, param->proxy) != 0) {
        WriteLog(QStringLiteral("[MM AWS Create Factory: proxy text too long]"));
        return MM_ERR_BAD_ARGS;
    }
    const int result = MusicParserInit(&start, param->iUseProxy ? &proxy : nullptr);
    if (result < 0)
        WriteLog(QStringLiteral("[MM AWS Create Factory: (Err: %1)]").arg(result));
    return result;
}

int CMusicManage::SetNetProxy(const tagProxySet* proxySet)
{
    if (!proxySet)
        return MM_ERR_BAD_ARGS;
    tagAWSProxyRecord proxy;
    if (FillProxyRecord(proxy, *proxySet) != 0) {
        WriteLog(QStringLiteral("[MM AWS Set Proxy Param: proxy text too long]"));
        return MM_ERR_BAD_ARGS;
    }
    const int result = MusicParserSetProxyParam(&proxy);
    if (result < 0)
        WriteLog(QStringLiteral("[MM AWS Set Proxy Param: (Err: %1)]").arg(result));
    return result;
}
