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

QString pathOf(int fd)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX];
    const ssize_t length = ::readlink(link, target, sizeof target);
    return length > 0 ? QFile::decodeName(QByteArray(target, int(length))) : QString();
}

} // namespace

void syncfaults::setHook(Hook hook)
{
    std::lock_guard<std::mutex> guard(hookLock());
    currentHook() = std::move(hook);
}

// The hook is called without the lock held: it may wait for the test.
extern "C" int fsync(int fd)
{
    syncfaults::Hook hook;
    {
        std::lock_guard<std::mutex> guard(hookLock());
        hook = currentHook();
    }
    if (hook && !hook(pathOf(fd))) {
        errno = EIO;
        return -1;
    }
    return int(::syscall(SYS_fsync, fd));
}
