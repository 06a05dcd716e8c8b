// Mounts a process makes for itself alone: a mount namespace of its own,
// in which a folder can be shown read-only, as a read-only snapshot or a
// read-only remount of a share shows it, or given a small file system.
// Both need the super-user; a test skips without them.
#pragma once

#include <QFile>
#include <QString>

#include <sched.h>
#include <sys/mount.h>

namespace privatemount {

// This process's mounts from here on are its own: nothing it mounts
// reaches the rest of the machine, and nothing is left when it ends.
inline bool enter()
{
    return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// After enter(): folder and what it holds are read-only for this process.
inline bool makeReadOnly(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    return ::mount(path.constData(), path.constData(), nullptr, MS_BIND, nullptr) == 0
        && ::mount(nullptr, path.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

} // namespace privatemount
