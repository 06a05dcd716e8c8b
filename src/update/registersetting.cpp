#include "update/updater.h"

CRegisterSetting::CRegisterSetting(QObject* parent)
    : QObject(parent)
{
}

void CRegisterSetting::init(const QString& product, const QString& version, const QString& language)
{
    m_strProduct = product;
    m_strUpdateName = product;
    m_strVersion = version;
    m_strLanguage = language;
}

void CRegisterSetting::setUpdateName(const QString& name) { m_strUpdateName = name; }
void CRegisterSetting::setProxy(const QNetworkProxy& proxy) { m_proxy = proxy; }
QString CRegisterSetting::product() const { return m_strProduct; }
QString CRegisterSetting::updateName() const { return m_strUpdateName; }
QString CRegisterSetting::version() const { return m_strVersion; }
QString CRegisterSetting::language() const { return m_strLanguage; }
QNetworkProxy CRegisterSetting::proxy() const { return m_proxy; }
