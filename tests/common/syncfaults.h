// The disk's answer to fsync, fdatasync and flock, in this process: the
// test program's own functions stand in front of the C library's for
// everything linked into it (the engine's and the platform layers' static
// libraries among them, and the engine's shared library), so a test may fail the sync of a chosen file or
// folder, as a failing disk does, or hold a writer there, and refuse a
// lock as a file system without locks does.
#pragma once

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

} // namespace syncfaults
