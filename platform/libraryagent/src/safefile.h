// File operations that leave either the old or the new file behind, and
// the message they and the journal give when a system call fails.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// What tells one version of a file from another.
struct tagFileStamp
{
    qint64 size = -1;
    qint64 mtimeNs = -1;
    quint64 inode = 0;
    bool operator==(const tagFileStamp& o) const
    {
        return size == o.size && mtimeNs == o.mtimeNs && inode == o.inode;
    }
};

// False when path cannot be examined.
bool StampOfFile(const QString& path, tagFileStamp* stamp);

// Replaces path with bytes: a temporary file beside it is written and
// synced, renamed over path, then the folder is synced. The permission bits
// of the file replaced are kept (0644 for a new one, or mode when given).
// On failure path is untouched and error says why.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error, int mode = -1);
// The same with the new content given as pieces, written one after another;
// written, when given, receives the stamp of the file this call put in place.
bool WriteFileAtomically(const QString& path, const QList<QByteArrayView>& pieces, QString* error,
                         int mode = -1, tagFileStamp* written = nullptr);

// The permission bits of path, or fallback when it cannot be examined.
int ModeOfFile(const QString& path, int fallback);

// "what: " and the system's text for errno, for the error of a failed call.
QString SystemError(const QString& what);

