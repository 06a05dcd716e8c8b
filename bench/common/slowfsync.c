// A slow disk for the benches: preloaded into a bench's own process
// (LD_PRELOAD), every fsync and fdatasync first sleeps the milliseconds
// of VESSOLIN_BENCH_FSYNC_MS, then syncs as the C library does.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define EXPORTED __attribute__((visibility("default")))

// Set once when the library is loaded, before any thread of the bench.
EXPORTED long vessolin_slow_fsync_ms = 0;
typedef int (*SyncCall)(int);
static SyncCall realFsync = 0;
static SyncCall realFdatasync = 0;

// dlsym answers with an object pointer; POSIX guarantees the copy.
static SyncCall next(const char* name)
{
    void* found = dlsym(RTLD_NEXT, name);
    SyncCall call = 0;
    memcpy(&call, &found, sizeof call);
    return call;
}

__attribute__((constructor)) static void setUp(void)
{
    const char* value = getenv("VESSOLIN_BENCH_FSYNC_MS");
    vessolin_slow_fsync_ms = value ? atol(value) : 0;
    realFsync = next("fsync");
    realFdatasync = next("fdatasync");
}

static void delay(void)
{
    struct timespec left = {vessolin_slow_fsync_ms / 1000, (vessolin_slow_fsync_ms % 1000) * 1000000L};
    const int saved = errno;
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
    errno = saved;
}

EXPORTED int fsync(int fd)
{
    delay();
    return realFsync(fd);
}

EXPORTED int fdatasync(int fd)
{
    delay();
    return realFdatasync(fd);
}
