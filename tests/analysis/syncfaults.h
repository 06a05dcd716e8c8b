// The disk's answer to fsync, in this process: the test program's own fsync
// stands in front of the C library's for everything linked into it (the
// engine's static libraries among them), so a test may fail the sync of a
// chosen file or folder, as a failing disk does, or hold a writer there.
#pragma once

#include <QString>

#include <functional>

namespace syncfaults {

// Called with the path of what is about to be synced, on the syncing
// thread; false makes the sync fail with EIO. Null: every sync goes through.
using Hook = std::function<bool(const QString& path)>;
void setHook(Hook hook);

} // namespace syncfaults
