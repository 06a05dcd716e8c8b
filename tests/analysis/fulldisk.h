// A nearly full disk under SQLite, in this process: a file system layer
// (VFS) put in front of the default one, for every connection opened after
// install(). A database or journal write that would make its file larger
// than the room given fails with SQLITE_FULL, as SQLite reports ENOSPC;
// writes inside a file's present size still succeed, as on a real disk.
// The same layer stands for the other ways storage fails under SQLite: a
// write past the room may fail with another code (a disk remounted
// read-only, a lost lock, no memory), the journal may not be made at all
// (a folder the user cannot write), and a connection may take values no
// longer than a limit set here.
#pragma once

#include <sqlite3.h>

#include <QtGlobal>

#include <atomic>

namespace fulldisk {

// Bytes a database file and a journal file may grow to; negative: any.
inline std::atomic<qint64> g_databaseRoom{-1};
inline std::atomic<qint64> g_journalRoom{-1};
// A copy-on-write file system (btrfs, ZFS) needs free blocks to overwrite
// a file too: while set, a write inside a file's present size needs room
// as well, so a room of 0 refuses every write.
inline std::atomic<bool> g_copyOnWrite{false};
inline sqlite3_vfs* g_real = nullptr;
// The code a write past the room fails with.
inline std::atomic<int> g_failure{SQLITE_FULL};
// Not SQLITE_OK: opening a journal fails with this code.
inline std::atomic<int> g_journalOpenFailure{SQLITE_OK};
// The length limit of a text or blob in the connections opened from here
// on; negative: SQLite's own.
inline std::atomic<int> g_lengthLimit{-1};

struct File
{
    sqlite3_file base;
    sqlite3_file* real; // allocated right behind this record
    const std::atomic<qint64>* room;
};

inline sqlite3_file* real(sqlite3_file* file)
{
    return reinterpret_cast<File*>(file)->real;
}

inline int write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset)
{
    const std::atomic<qint64>* room = reinterpret_cast<File*>(file)->room;
    sqlite3_int64 size = 0;
    real(file)->pMethods->xFileSize(real(file), &size);
    const qint64 given = room ? qint64(*room) : -1;
    const sqlite3_int64 limit = g_copyOnWrite ? given : qMax<sqlite3_int64>(size, given);
    if (given >= 0 && offset + amount > limit)
        return g_failure;
    return real(file)->pMethods->xWrite(real(file), data, amount, offset);
}

// Version 1 of the methods: no shared memory and no memory mapping.
inline const sqlite3_io_methods kMethods = {
    1,
    [](sqlite3_file* f) { return real(f)->pMethods->xClose(real(f)); },
    [](sqlite3_file* f, void* d, int n, sqlite3_int64 o) { return real(f)->pMethods->xRead(real(f), d, n, o); },
    write,
    [](sqlite3_file* f, sqlite3_int64 n) { return real(f)->pMethods->xTruncate(real(f), n); },
    [](sqlite3_file* f, int flags) { return real(f)->pMethods->xSync(real(f), flags); },
    [](sqlite3_file* f, sqlite3_int64* n) { return real(f)->pMethods->xFileSize(real(f), n); },
    [](sqlite3_file* f, int lock) { return real(f)->pMethods->xLock(real(f), lock); },
    [](sqlite3_file* f, int lock) { return real(f)->pMethods->xUnlock(real(f), lock); },
    [](sqlite3_file* f, int* out) { return real(f)->pMethods->xCheckReservedLock(real(f), out); },
    [](sqlite3_file* f, int op, void* arg) { return real(f)->pMethods->xFileControl(real(f), op, arg); },
    [](sqlite3_file* f) { return real(f)->pMethods->xSectorSize(real(f)); },
    [](sqlite3_file* f) { return real(f)->pMethods->xDeviceCharacteristics(real(f)); },
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};

inline int open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags)
{
    auto* wrapped = reinterpret_cast<File*>(file);
    wrapped->real = reinterpret_cast<sqlite3_file*>(wrapped + 1);
    if ((flags & SQLITE_OPEN_MAIN_JOURNAL) && g_journalOpenFailure != SQLITE_OK) {
        wrapped->base.pMethods = nullptr;
        return g_journalOpenFailure;
    }
    wrapped->room = (flags & SQLITE_OPEN_MAIN_DB) ? &g_databaseRoom
        : (flags & SQLITE_OPEN_MAIN_JOURNAL)       ? &g_journalRoom
                                                   : nullptr;
    const int result = g_real->xOpen(g_real, name, wrapped->real, flags, outFlags);
    wrapped->base.pMethods = result == SQLITE_OK ? &kMethods : nullptr;
    return result;
}

inline int limitLength(sqlite3* db, const char**, const sqlite3_api_routines*)
{
    if (g_lengthLimit >= 0)
        sqlite3_limit(db, SQLITE_LIMIT_LENGTH, g_lengthLimit);
    return SQLITE_OK;
}

// Puts the layer in front, once per process.
inline void install()
{
    sqlite3_auto_extension(reinterpret_cast<void (*)()>(limitLength));
    static sqlite3_vfs vfs = [] {
        g_real = sqlite3_vfs_find(nullptr);
        sqlite3_vfs copy = *g_real;
        copy.szOsFile = int(sizeof(File)) + g_real->szOsFile;
        copy.zName = "fulldisk";
        copy.xOpen = open;
        return copy;
    }();
    sqlite3_vfs_register(&vfs, 1);
}

// negative: no limit.
inline void setRoom(qint64 databaseBytes, qint64 journalBytes, bool copyOnWrite = false)
{
    g_databaseRoom = databaseBytes;
    g_journalRoom = journalBytes;
    g_copyOnWrite = copyOnWrite;
}

// A write past the room fails with code, a journal cannot be opened when
// journalOpen is not SQLITE_OK.
inline void failWith(int code, int journalOpen = SQLITE_OK)
{
    g_failure = code;
    g_journalOpenFailure = journalOpen;
}

// Every limit and failure off, for the connections opened from here on.
inline void reset()
{
    setRoom(-1, -1);
    failWith(SQLITE_FULL);
    g_lengthLimit = -1;
}

} // namespace fulldisk
