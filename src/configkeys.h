// The keys of "vessolin.plist", in the order they are written.
#pragma once

#include <QLatin1String>

namespace configkeys {

constexpr QLatin1String kUseProxy("b_proxy");
constexpr QLatin1String kProxyType("Proxy_type");
constexpr QLatin1String kProxyHost("Proxy_host");
constexpr QLatin1String kProxyPort("Proxy_prot");
constexpr QLatin1String kProxyName("Proxy_name");
constexpr QLatin1String kProxyPass("Proxy_pass");
constexpr QLatin1String kMsgInfo("Msg_Dshow");
constexpr QLatin1String kAutoUpdate("Auto_update");
constexpr QLatin1String kUpdateDays("Update_Days");
constexpr QLatin1String kUpdateYear("Update_year");
constexpr QLatin1String kUpdateMonth("Update_month");
constexpr QLatin1String kUpdateDay("Update_day");
constexpr QLatin1String kOpenUrl("Open_url");
constexpr QLatin1String kGenernal("Genernal");
constexpr QLatin1String kDuplicate("Duplicate");
constexpr QLatin1String kReplace("Replace");
constexpr QLatin1String kHistoryOpt("HistoryOpt");
constexpr QLatin1String kClearDays("ClearDays");
constexpr QLatin1String kClearDate("ClearDate");

constexpr QLatin1String kSaveOrder[] = {
    kUseProxy, kProxyType, kProxyHost, kProxyPort, kProxyName, kProxyPass, kMsgInfo,
    kAutoUpdate, kUpdateDays, kUpdateYear, kUpdateMonth, kUpdateDay, kOpenUrl,
    kGenernal, kDuplicate, kReplace, kHistoryOpt, kClearDays, kClearDate,
};

} // namespace configkeys
