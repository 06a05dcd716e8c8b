#include "task.h"

#include <mutex>
#include <unordered_set>

namespace quorra {

namespace {

// KillConverTask comes from another thread and may race with the owner's
// destroy; looking handles up under one lock turns a late kill into a no-op
// instead of a write into freed memory.
std::mutex& registryLock()
{
    static std::mutex lock;
    return lock;
}

std::unordered_set<Task*>& registry()
{
    static std::unordered_set<Task*> tasks;
    return tasks;
}

} // namespace

void* adoptTask(std::unique_ptr<Task> task)
{
    std::lock_guard<std::mutex> guard(registryLock());
    Task* raw = task.release();
    registry().insert(raw);
    return raw;
}

Task* liveTask(void* handle)
{
    std::lock_guard<std::mutex> guard(registryLock());
    const auto it = registry().find(static_cast<Task*>(handle));
    return it == registry().end() ? nullptr : *it;
}

bool killTask(void* handle)
{
    std::lock_guard<std::mutex> guard(registryLock());
    const auto it = registry().find(static_cast<Task*>(handle));
    if (it == registry().end())
        return false;
    (*it)->killed = true;
    return true;
}

std::unique_ptr<Task> releaseTask(void* handle)
{
    std::lock_guard<std::mutex> guard(registryLock());
    if (registry().erase(static_cast<Task*>(handle)) == 0)
        return nullptr;
    return std::unique_ptr<Task>(static_cast<Task*>(handle));
}

} // namespace quorra
