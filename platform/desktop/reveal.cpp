#include "desktop.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>

namespace desktop {

namespace {

// A file manager that is not running yet is started by the bus; give it
// a few seconds, but never hang the GUI on a broken session.
constexpr int kShowItemsTimeoutMs = 5000;

bool dbusShowItems(const QStringList& uris)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << uris << QString();
    const QDBusMessage reply = bus.call(call, QDBus::Block, kShowItemsTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
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

} // namespace

void setRevealBackend(const RevealBackend& replacement)
{
    backend() = replacement;
}

int revealFile(const QString& path)
{
    if (path.isEmpty())
        return -1;
    const QFileInfo info(path);
    const QUrl file = QUrl::fromLocalFile(info.absoluteFilePath());
    const std::function<bool(const QStringList&)> showItems =
        backend().showItems ? backend().showItems : dbusShowItems;
    if (showItems({file.toString(QUrl::FullyEncoded)}))
        return 0;
    const QUrl folder = QUrl::fromLocalFile(info.absolutePath());
    const std::function<bool(const QUrl&)> openFolder =
        backend().openFolder ? backend().openFolder : openWithDesktop;
    return openFolder(folder) ? 0 : -1;
}

} // namespace desktop
