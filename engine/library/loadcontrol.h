// The pause pair of the load loop, shared by the process's one loaded library.
#pragma once

#include <QMutex>
#include <QWaitCondition>

// Guards the loop's paused flag, control state and file list.
extern QMutex g_mutexMLoad;
// Wakes a paused loop; wait on it with g_mutexMLoad held.
extern QWaitCondition g_mycondMLoad;
