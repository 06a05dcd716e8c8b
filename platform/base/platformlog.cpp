#include "platformbase.h"

#include <atomic>

namespace {

std::atomic<PlatformLogHook> g_logHook{nullptr};

} // namespace

void SetPlatformLog(PlatformLogHook hook)
{
    g_logHook = hook;
}

void PlatformLog(const QString& line)
{
    if (const PlatformLogHook hook = g_logHook.load())
        hook(line);
}
