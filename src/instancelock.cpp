#include "instancelock.h"

#include "common.h"

#include <QCoreApplication>
#include <QDir>
#include <QMessageBox>

int TakeInstanceLock(const QString& folder, std::unique_ptr<QLockFile>& lock)
{
    if (!QDir().mkpath(folder))
        return INSTANCE_NO_LOCK;
    auto candidate = std::make_unique<QLockFile>(folder + QStringLiteral("/vessolin.lock"));
    // The lock lasts as long as the process, however long it runs; a lock
    // left by a process that died is still taken over.
    candidate->setStaleLockTime(0);
    if (candidate->tryLock(0)) {
        lock = std::move(candidate);
        return INSTANCE_LOCKED;
    }
    return candidate->error() == QLockFile::LockFailedError ? INSTANCE_RUNNING : INSTANCE_NO_LOCK;
}

bool EnsureSingleInstance(std::unique_ptr<QLockFile>& lock)
{
    if (TakeInstanceLock(AppDataFolder(), lock) != INSTANCE_RUNNING)
        return true;
    QMessageBox::information(nullptr, QCoreApplication::translate("EnsureSingleInstance", "Vessolin"),
                             QCoreApplication::translate("EnsureSingleInstance", "Vessolin is already running."));
    return false;
}
