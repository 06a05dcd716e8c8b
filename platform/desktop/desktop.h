// What Vessolin needs from a freedesktop desktop: the user's standard
// folders, the bundle information compiled into the program, the system
// version, file dialogs and showing a file in the file manager.
// Dialogs and reveal belong to the GUI thread; the rest may run anywhere.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

namespace desktop {

enum class Folder {
    Applications,
    Users,      // the folder that holds the users' homes
    Documents,
    Desktop,
    Caches,
    DataHome,   // XDG data home, where applications keep their support files
    Downloads,
    Movies,
    Music,
    Pictures,
};

// The current user's folder of that kind, without a trailing slash; empty
// when the desktop has none. The folder is not created.
QString standardFolder(Folder kind);

// The text of key in the bundle information (the property list compiled in
// as ":/Info.plist"). 0, or -1 when the resource or the key is missing;
// value is left alone then.
int bundleValue(const QString& key, QString& value);

struct SystemVersion {
    unsigned major = 0;
    unsigned minor = 0;
    unsigned patch = 0;
};
// The distribution's version from VERSION_ID of an os-release file, else
// the one Qt reports. 0, or -1 when neither holds a number.
int systemVersion(SystemVersion& out, const QString& osRelease = QStringLiteral("/etc/os-release"));

// Application-modal dialogs that return once the user closed them. An empty
// result means cancelled; an empty start folder means the Music folder.
// extensions are bare ("mp3"); an empty extension allows every file.
QStringList pickFilesAndFolders(const QString& start, const QStringList& extensions);
QString pickFile(const QString& start, const QString& extension);
QString pickFolder(const QString& start);
QString pickSaveFile(const QString& start, const QString& extension);

// How a file is shown in the file manager. Tests replace it; a member left
// empty falls back to the desktop's own.
struct RevealBackend {
    // Asks the file manager to select the items; true when it accepted.
    // Answers at once; left empty, the desktop's file manager answers later.
    std::function<bool(const QStringList& uris)> showItems;
    // Opens a folder in the default file manager; true when launched.
    std::function<bool(const QUrl& folder)> openFolder;
};
void setRevealBackend(const RevealBackend& backend);

// Selects the file in a file-manager window, else opens its folder; GUI
// thread. Never waits for the file manager: when it refuses, or has not
// answered within a few seconds, the folder opens then. -1 when the path
// is empty or neither way worked before the return, else 0. done, when
// given, is told the end: 0 shown or folder opened, -1 neither.
int revealFile(const QString& path, const std::function<void(int)>& done = {});

} // namespace desktop
