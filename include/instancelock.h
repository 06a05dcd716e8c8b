// One Vessolin at a time: a lock file in the data folder, held for the
// life of the process.
#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

enum EInstanceLock {
    INSTANCE_LOCKED = 0,    // the lock is ours
    INSTANCE_RUNNING = -1,  // a live process holds it
    INSTANCE_NO_LOCK = -2,  // the lock file cannot be made
};

// Takes "vessolin.lock" in folder; on INSTANCE_LOCKED lock holds it.
int TakeInstanceLock(const QString& folder, std::unique_ptr<QLockFile>& lock);

// For main, before anything reads or writes a file of the application.
// False after telling the user that Vessolin is already running: main then
// exits. True otherwise, also when no lock can be made (Vessolin then runs
// unguarded rather than not at all).
bool EnsureSingleInstance(std::unique_ptr<QLockFile>& lock);
