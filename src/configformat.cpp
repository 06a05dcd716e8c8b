#include "configformat.h"

#include "configkeys.h"
#include "plist.h"

#include <QIODevice>
#include <QSet>

namespace {

bool readSettings(QIODevice& device, QSettings::SettingsMap& map)
{
    QVariant root;
    if (PlistRead(&device, &root) != PLIST_OK || root.typeId() != QMetaType::QVariantMap)
        return false;
    map = root.toMap();
    return true;
}

// QSettings hands over its keys sorted; people who open the file by hand
// expect the settings' own order, so known keys come first in it.
bool writeSettings(QIODevice& device, const QSettings::SettingsMap& map)
{
    PlistOrderedDict ordered;
    QSet<QString> placed;
    for (const QLatin1String& key : configkeys::kSaveOrder) {
        const auto it = map.constFind(key);
        if (it == map.cend())
            continue;
        ordered.append({it.key(), it.value()});
        placed.insert(it.key());
    }
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (!placed.contains(it.key()))
            ordered.append({it.key(), it.value()});
    }
    return PlistWrite(&device, QVariant::fromValue(ordered)) == PLIST_OK;
}

} // namespace

QSettings::Format PlistSettingsFormat()
{
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("plist"), readSettings, writeSettings, Qt::CaseSensitive);
    return format;
}
