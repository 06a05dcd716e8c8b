// A disk without more room for this process: writes past a file size
// limit fail with EFBIG (SIGXFSZ ignored) until the limit is lifted again.
// It holds for every file the process writes, so the limit is set just
// around the write under test.
#pragma once

#include <QtGlobal>

#include <csignal>
#include <sys/resource.h>

namespace filesizelimit {

// limit bytes per file from here on; negative lifts the limit.
inline void set(qint64 limit)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit size{};
    getrlimit(RLIMIT_FSIZE, &size);
    size.rlim_cur = limit < 0 ? size.rlim_max : rlim_t(limit);
    setrlimit(RLIMIT_FSIZE, &size);
}

} // namespace filesizelimit
