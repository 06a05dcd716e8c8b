// Where the application's folders lie in the private home CTest gives
// every test, and a reader for the settings file.
#pragma once

#include "plist.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QVariant>

namespace appenv {

inline const QString kBundleId = QStringLiteral("com.zorva.Vessolin");

inline QString env(const char* name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

inline QString dataFolder()
{
    return env("XDG_DATA_HOME") + QLatin1Char('/') + kBundleId;
}

inline QString musicFolder()
{
    return env("HOME") + QStringLiteral("/Music/") + kBundleId;
}

inline QString artworkFolder()
{
    return env("HOME") + QStringLiteral("/Pictures/") + kBundleId;
}

inline QString settingsFile()
{
    return dataFolder() + QStringLiteral("/vessolin.plist");
}

// The settings file's dictionary with its keys in file order; empty when
// the file is missing or unreadable.
inline PlistOrderedDict readSettingsFile()
{
    QFile file(settingsFile());
    QVariant root;
    if (!file.open(QIODevice::ReadOnly) || PlistRead(&file, &root, nullptr, PLIST_DICT_ORDERED) != PLIST_OK)
        return {};
    return root.value<PlistOrderedDict>();
}

inline QVariant settingInFile(const QString& key)
{
    for (const auto& entry : readSettingsFile()) {
        if (entry.first == key)
            return entry.second;
    }
    return QVariant();
}

// A settings file written by hand: body is the inside of the top <dict>.
inline QByteArray plistWith(const QByteArray& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n"
        + body + "\n</dict>\n</plist>\n";
}

} // namespace appenv
