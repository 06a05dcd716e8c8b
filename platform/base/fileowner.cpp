#include "platformbase.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString octal(uint mode)
{
    return QStringLiteral("%1").arg(mode, 4, 8, QLatin1Char('0'));
}

QString ownerText(uid_t uid, gid_t gid)
{
    return QStringLiteral("%1:%2").arg(uid).arg(gid);
}

QString withSystemError(const QString& what)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

bool TakeOwnerAndMode(int fd, uid_t uid, gid_t gid, mode_t mode, const QString& path, const QString& who,
                      QString* error)
{
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        *error = withSystemError(QStringLiteral("cannot examine the new file for %1").arg(path));
        return false;
    }
    uid = uid == uid_t(-1) ? st.st_uid : uid;
    gid = gid == gid_t(-1) ? st.st_gid : gid;
    // Asked only for a change: a file system that refuses every change of
    // owner would otherwise refuse the writer's own files too. Refused the
    // owner, a member of the group still gives the file that group.
    if ((uid != st.st_uid || gid != st.st_gid) && ::fchown(fd, uid, gid) != 0 && uid != st.st_uid
        && gid != st.st_gid)
        ::fchown(fd, uid_t(-1), gid);
    if (::fchmod(fd, mode) != 0 || ::fstat(fd, &st) != 0) {
        *error = withSystemError(
            QStringLiteral("the new file for %1 cannot be given the mode %2").arg(path, octal(uint(mode))));
        return false;
    }
    if ((st.st_mode & 07777) != mode) {
        *error = QStringLiteral("the new file for %1 has the mode %2 instead of %3")
                     .arg(path, octal(st.st_mode & 07777), octal(uint(mode)));
        return false;
    }
    if (st.st_uid != uid || st.st_gid != gid)
        PlatformLog(QStringLiteral("%1: %2 is now owned by %3 instead of %4 (user:group): this user "
                                   "may not give a file that owner or group")
                        .arg(who, path, ownerText(st.st_uid, st.st_gid), ownerText(uid, gid)));
    return true;
}
