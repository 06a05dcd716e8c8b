#include "vessolin/startup.h"

#include "appInfo.h"
#include "common.h"
#include "config.h"
#include "instancelock.h"
#include "vessolin/mainui.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QMessageBox>

#include <memory>

namespace {

constexpr int kPrefixLength = 10;  // "com.zorva."

enum ESchedule { SCHEDULE_DAYS = 1, SCHEDULE_DAILY = 2, SCHEDULE_WEEKLY = 3, SCHEDULE_MONTHLY = 4 };

QString ReadBundleIdentifier()
{
    char buffer[kBundleIdSize] = {};
    if (GetBundleIdentifier_s(buffer, sizeof buffer) == 0 && buffer[0] != '\0')
        return QString::fromUtf8(buffer);
    return AppBundleIdentifier();
}

} // namespace

bool SetApplicationIdentity(QApplication& app)
{
    app.setOrganizationName(QStringLiteral("zorva"));
    app.setOrganizationDomain(QStringLiteral("zorva.example.com"));
    // Ties the windows to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("vessolin"));
    const QString identifier = ReadBundleIdentifier();
    if (identifier.isEmpty())
        return false;
    g_strBundleId = identifier;
    app.setApplicationName(identifier.mid(kPrefixLength));

    char version[kBundleIdSize] = {};
    if (GetInfoAttribute_s(version, sizeof version, "CFBundleVersion") == 0)
        g_strVersion = QString::fromUtf8(version);
    return true;
}

void ApplyApplicationStyle(QApplication& app)
{
    app.setStyle(QStringLiteral("Fusion"));
    QFile sheet(QStringLiteral(":/res/res/mac/vessolin_mac.qss"));
    if (!sheet.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    app.setStyleSheet(QString::fromUtf8(sheet.readAll()));
}

bool IsUpdateDue(int schedule, int days, const QDate& last, const QDate& today)
{
    if (schedule < SCHEDULE_DAYS || schedule > SCHEDULE_MONTHLY)
        return false;
    if (last.isValid() && today <= last)
        return false;
    switch (schedule) {
    case SCHEDULE_DAYS:
        return !last.isValid() || today >= last.addDays(days);
    case SCHEDULE_DAILY:
        return true;
    case SCHEDULE_WEEKLY:
        return today.dayOfWeek() == Qt::Monday;
    default:
        return !last.isValid() || today.year() > last.year()
            || (today.year() == last.year() && today.month() > last.month());
    }
}

bool RunScheduledUpdate(CMainUI& window, const QDate& today)
{
    CConfig* config = CConfig::instance();
    int year = 0;
    int month = 0;
    int day = 0;
    config->GetUpdateData(year, month, day);
    if (!IsUpdateDue(config->GetAutoUpdate(), config->GetAutoDays(), QDate(year, month, day), today))
        return false;
    window.UpdataSoft();
    config->SetUpdateData(today.year(), today.month(), today.day());
    config->Save();
    return true;
}

int RunVessolin(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (!SetApplicationIdentity(app)) {
        QMessageBox::critical(nullptr, QStringLiteral("Vessolin"),
                              QCoreApplication::translate("main", "Vessolin has no bundle identifier and cannot start."));
        return 1;
    }
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    ApplyApplicationStyle(app);

    // A second Vessolin would recreate the working database and clear the
    // caches under the first one's run.
    std::unique_ptr<QLockFile> lock;
    if (!EnsureSingleInstance(lock))
        return 1;

    int result = 0;
    {
        CMainUI window(nullptr);
        window.show();
        RunScheduledUpdate(window);
        result = app.exec();
    }
    return result;
}
