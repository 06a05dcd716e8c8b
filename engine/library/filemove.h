// Moving a music file into the trash and back without ever overwriting one.
#pragma once

#include <QString>

enum FileMoveResult {
    MOVE_OK = 0,
    MOVE_NO_SOURCE = -1,     // nothing (or no regular file) at from
    MOVE_TARGET_EXISTS = -2, // something lies at to already; nothing changed
    MOVE_FAILED = -3         // the file system refused; nothing changed
};

// Moves the regular file from -> to. A rename where the file system allows
// one; across file systems a copy (permissions, extended attributes, ACL
// and modification time kept; one that cannot keep them fails the move)
// that is read back and compared, and synced with every folder its name
// rests on, before the original goes. Never replaces an existing target,
// and on any failure leaves from as it was. The first move of a run into a
// folder sweeps the copies killed moves and tag writes left there.
int MoveFileNoReplace(const QString& from, const QString& to);
