#include "update/updater.h"

#include "common.h"
#include "config.h"
#include "whatsnew/whatsnew.h"

CRegisterSetting* CreateUpdateSetting(QObject* owner)
{
    auto* setting = new CRegisterSetting(owner);
    setting->init(g_strAppUpdateName, g_strVersion, QStringLiteral("en"));
    setting->setUpdateName(g_strAppUpdateName);
    return setting;
}

QNetworkProxy UpdateProxyFromSettings()
{
    const CConfig* config = CConfig::instance();
    if (config->GetUseProxy() != 1)
        return QNetworkProxy(QNetworkProxy::NoProxy);
    QNetworkProxy::ProxyType type = QNetworkProxy::NoProxy;
    switch (config->GetProxyType()) {
    case 0:
    case 1:
        type = QNetworkProxy::HttpProxy;
        break;
    case 2:
        type = QNetworkProxy::HttpCachingProxy;
        break;
    case 3:
        type = QNetworkProxy::FtpCachingProxy;
        break;
    default:
        break;
    }
    const int port = config->GetProxyPort();
    const quint16 usable = port >= 1 && port <= 65535 ? quint16(port) : 0;
    return QNetworkProxy(type, config->GetProxyHost(), usable, config->GetProxyUserName(),
                         config->GetProxyPassword());
}

void StartUpdateCheck(CRegisterSetting* setting, CUpdater* updater)
{
    setting->setProxy(UpdateProxyFromSettings());
    updater->getVersionInfo();
}

void FillUpdateOutcome(WhatsNew* window, const CUpdater* updater, int state)
{
    window->setWindowTitle(g_strUpdateTitle);
    switch (state) {
    case UPDATE_NEWER: {
        const QString found = WhatsNew::tr("A new version of %1 found! \nCurrent version: %2\nNew version: %3")
                                  .arg(g_strAppUpdateName, g_strVersion, updater->newVersion());
        // Without a link there is nothing to answer the question with.
        window->setVersionInfo(updater->newDownloadUrl().isEmpty()
                                   ? found
                                   : found + QStringLiteral("\n\n") + WhatsNew::tr("Would you like to update the product?"));
        window->setWhatsNew(updater->newDescription());
        window->setDownloadUrl(updater->newDownloadUrl().toString());
        break;
    }
    case UPDATE_NEWEST:
        window->setVersionInfo(WhatsNew::tr("You are using the newest version."));
        break;
    case UPDATE_FAILED:
        window->setVersionInfo(WhatsNew::tr("Failed to connect the server. \nPlease check the validity of the proxy."));
        break;
    case UPDATE_NOT_FOUND:
        window->setVersionInfo(WhatsNew::tr("Failed to find product record."));
        break;
    default:
        window->setVersionInfo(WhatsNew::tr("Unknown error."));
        break;
    }
    window->setInformation(state);
}

void ShowUpdateOutcome(QWidget* parent, const CUpdater* updater, int state)
{
    WhatsNew window(parent);
    WriteUILog(QStringLiteral("Update check result: %1").arg(state));
    FillUpdateOutcome(&window, updater, state);
    window.exec();
}
