// The lock that keeps a library one process's at a time: whoever holds it
// may read, replay, rewrite and remove the library's journal, and nobody
// else does meanwhile. It is an advisory lock (flock) on "<library>.lock",
// a file of this program's beside the library: the library file itself is
// replaced by a rename at every rewrite, which would take a lock on it away.
// Not thread-safe: the agent serialises calls.
#pragma once

#include <QString>

#include <memory>

class CLibraryLock
{
public:
    // Takes the lock of the library file path (links resolved), or shares
    // the one this process holds already. mode: the library's permission
    // bits, which a new lock file gets too, with the library's group and
    // ACL. AGENT_OK with *lock set, also where the file system gives no
    // lock, and where this user may not write the library's folder and
    // finds a lock file that cannot be made, opened or used there (held()
    // is false then, logged); AGENT_ERR_IN_USE when another process holds
    // it; else AGENT_ERR_LOCK_DENIED, AGENT_ERR_LOCK_NOT_FILE or
    // AGENT_ERR_LOCK; error names the lock file and says why.
    static int take(const QString& path, int mode, std::shared_ptr<CLibraryLock>* lock, QString* error);
    // Lets go of the lock, its file removed first.
    ~CLibraryLock();
    CLibraryLock(const CLibraryLock&) = delete;
    CLibraryLock& operator=(const CLibraryLock&) = delete;

    // False where no lock could be had: another process may have the
    // library open all the same.
    bool held() const { return m_fd >= 0; }

private:
    explicit CLibraryLock(const QString& path) : m_path(path) {}
    int acquire(const QString& library, int mode, qint64 group, QString* error);
    int unlockable(int result, const QString& reason, QString* error) const;

    QString m_path; // of the lock file
    int m_fd = -1;  // holds the lock while open
};
