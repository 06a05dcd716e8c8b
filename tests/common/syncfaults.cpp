#include "syncfaults.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <mutex>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::mutex& hookLock()
{
    static std::mutex lock;
    return lock;
}

syncfaults::Hook& currentHook()
{
    static syncfaults::Hook hook;
    return hook;
}

syncfaults::LockHook& currentLockHook()
{
    static syncfaults::LockHook hook;
    return hook;
}

syncfaults::AttributeHook& currentAttributeHook()
{
    static syncfaults::AttributeHook hook;
    return hook;
}

QString pathOf(int fd)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX];
    const ssize_t length = ::readlink(link, target, sizeof target);
    return length > 0 ? QFile::decodeName(QByteArray(target, int(length))) : QString();
}

// A copy taken under the lock, called without it: a hook may wait for the test.
template <typename T>
T hookOf(const T& current)
{
    std::lock_guard<std::mutex> guard(hookLock());
    return current;
}

bool syncAllowed(int fd)
{
    const syncfaults::Hook hook = hookOf(currentHook());
    if (hook && !hook(pathOf(fd))) {
        errno = EIO;
        return false;
    }
    return true;
}

} // namespace

void syncfaults::setHook(Hook hook)
{
    std::lock_guard<std::mutex> guard(hookLock());
    currentHook() = std::move(hook);
}

void syncfaults::setLockHook(LockHook hook)
{
    std::lock_guard<std::mutex> guard(hookLock());
    currentLockHook() = std::move(hook);
}

void syncfaults::setAttributeHook(AttributeHook hook)
{
    std::lock_guard<std::mutex> guard(hookLock());
    currentAttributeHook() = std::move(hook);
}

// Seen from the dynamic symbol table too, so that the stand-ins also come
// before the C library's for a shared library the program links (the
// project builds with hidden symbols).
#define SYNCFAULTS_STAND_IN extern "C" __attribute__((visibility("default")))

SYNCFAULTS_STAND_IN int fsync(int fd)
{
    return syncAllowed(fd) ? int(::syscall(SYS_fsync, fd)) : -1;
}

SYNCFAULTS_STAND_IN int fdatasync(int fd)
{
    return syncAllowed(fd) ? int(::syscall(SYS_fdatasync, fd)) : -1;
}

SYNCFAULTS_STAND_IN int flock(int fd, int operation)
{
    const syncfaults::LockHook hook = hookOf(currentLockHook());
    if (const int refused = hook ? hook(pathOf(fd)) : 0) {
        errno = refused;
        return -1;
    }
    return int(::syscall(SYS_flock, fd, operation));
}

SYNCFAULTS_STAND_IN int fsetxattr(int fd, const char* name, const void* value, size_t size, int flags)
{
    const syncfaults::AttributeHook hook = hookOf(currentAttributeHook());
    if (const int refused = hook ? hook(pathOf(fd), QByteArray(name)) : 0) {
        errno = refused;
        return -1;
    }
    return int(::syscall(SYS_fsetxattr, fd, name, value, size, flags));
}
