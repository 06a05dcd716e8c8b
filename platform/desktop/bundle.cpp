#include "desktop.h"

#include "plist.h"

#include <QFile>

namespace desktop {

int bundleValue(const QString& key, QString& value)
{
    QFile file(QStringLiteral(":/Info.plist"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    QVariant root;
    if (PlistRead(&file, &root) != PLIST_OK || root.typeId() != QMetaType::QVariantMap)
        return -1;
    const QVariantMap info = root.toMap();
    const auto it = info.constFind(key);
    if (it == info.cend())
        return -1;
    value = it->toString();
    return 0;
}

} // namespace desktop
