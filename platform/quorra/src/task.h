// A conversion task and the set of live tasks.
#pragma once

#include "decoder.h"

#include <atomic>
#include <memory>
#include <string>

namespace quorra {

struct Task
{
    int kind = 0;
    std::string source; // CK_WAV only
    std::string dest;   // CK_WAV only
    std::atomic<bool> killed{false};
    StepHook stepHook; // set by tests only, before the task runs
    ConvertControl control() const { return ConvertControl{killed, stepHook}; }
};

// Takes the task into the live set and returns its handle.
void* adoptTask(std::unique_ptr<Task> task);
// The task of a live handle, or null.
Task* liveTask(void* handle);
// Marks a live task killed; false for an unknown handle.
bool killTask(void* handle);
// Removes the handle from the live set; null when it was not there.
std::unique_ptr<Task> releaseTask(void* handle);

} // namespace quorra
