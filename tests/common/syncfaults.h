// The disk's answer to fsync, fdatasync, flock and fsetxattr, in this process: the
// test program's own functions stand in front of the C library's for
// everything linked into it (the engine's and the platform layers' static
// libraries among them, and the engine's shared library), so a test may fail the sync of a chosen file or
// folder, as a failing disk does, or hold a writer there, refuse a lock as
// a file system without locks does, and refuse an extended attribute as a
// file system does whose room for them is full.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace syncfaults {

// Called with the path of what is about to be synced, on the syncing
// thread; false makes the sync fail with EIO. Null: every sync goes through.
using Hook = std::function<bool(const QString& path)>;
void setHook(Hook hook);

// Called with the path of what is about to be locked or unlocked with
// flock; 0 lets the call through, else it fails with that errno (ENOLCK,
// EOPNOTSUPP: a share without a lock service). Null: every call goes through.
using LockHook = std::function<int(const QString& path)>;
void setLockHook(LockHook hook);

// Called with the path of the file and the name of the extended attribute
// about to be set with fsetxattr; 0 lets the call through, else it fails
// with that errno (ENOSPC: no room left for attributes). Null: every call
// goes through.
using AttributeHook = std::function<int(const QString& path, const QByteArray& name)>;
void setAttributeHook(AttributeHook hook);

} // namespace syncfaults
