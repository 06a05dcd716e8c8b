// CMusicManage: starting the online information service and its proxy.
#include "manager/musicmanage.h"
#include "manager/servicerecords.h"

#include "core/mmlog.h"

namespace {

// No information service is linked into the engine yet: every start and
// proxy change fails with this code, which the callers log and keep.
constexpr int kServiceMissing = MM_ERR_FAIL;

} // namespace

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
    if (param->iUseProxy && FillProxyRecord(proxy, param->proxy) != 0) {
        WriteLog(QStringLiteral("[MM AWS Create Factory: proxy text too long]"));
        return MM_ERR_BAD_ARGS;
    }
    WriteLog(QStringLiteral("[MM AWS Create Factory: (Err: %1)]").arg(kServiceMissing));
    return kServiceMissing;
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
    WriteLog(QStringLiteral("[MM AWS Set Proxy Param: (Err: %1)]").arg(kServiceMissing));
    return kServiceMissing;
}
