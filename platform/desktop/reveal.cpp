#include "desktop.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>

#include <memory>

namespace desktop {

namespace {

// A file manager that is not running yet is started by the bus; give it
// a few seconds before its folder is opened instead.
constexpr int kShowItemsTimeoutMs = 5000;

// Told once whether the file manager accepted, maybe later.
using Answer = std::function<void(bool accepted)>;
using ShowItems = std::function<void(const QStringList& uris, const Answer& answered)>;

// Asks without waiting: the GUI thread goes on while the file manager
// starts or hangs; the answer, an error or the timeout comes back through
// the calling thread's event loop.
void dbusShowItems(const QStringList& uris, const Answer& answered)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        answered(false);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << uris << QString();
    // Owned by the application, so a call still open at exit goes with it.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kShowItemsTimeoutMs),
                                                QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, answered] {
        watcher->deleteLater();
        answered(!watcher->isError());
    });
}

bool openWithDesktop(const QUrl& folder)
{
    return QDesktopServices::openUrl(folder);
}

RevealBackend& backend()
{
    static RevealBackend current;
    return current;
}

ShowItems showItemsNow()
{
    if (!backend().showItems)
        return dbusShowItems;
    return [replacement = backend().showItems](const QStringList& uris, const Answer& answered) {
        answered(replacement(uris));
    };
}

} // namespace

void setRevealBackend(const RevealBackend& replacement)
{
    backend() = replacement;
}

int revealFile(const QString& path, const std::function<void(int)>& done)
{
    if (path.isEmpty())
        return -1;
    const QFileInfo info(path);
    const QUrl file = QUrl::fromLocalFile(info.absoluteFilePath());
    const QUrl folder = QUrl::fromLocalFile(info.absolutePath());
    // The fall-back is the one in place when the reveal was asked for.
    const std::function<bool(const QUrl&)> openFolder =
        backend().openFolder ? backend().openFolder : openWithDesktop;
    // Known before the return when the file manager answered at once.
    auto outcome = std::make_shared<int>(1);
    showItemsNow()({file.toString(QUrl::FullyEncoded)}, [=](bool accepted) {
        *outcome = accepted || openFolder(folder) ? 0 : -1;
        if (done)
            done(*outcome);
    });
    return *outcome < 0 ? -1 : 0;
}

} // namespace desktop
