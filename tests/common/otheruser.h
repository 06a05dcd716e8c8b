// Files set up for another user by the super-user, and a child process
// that becomes that user: users run the program as themselves, and the
// faults they meet do not show for the super-user.
#pragma once

#include <QDir>
#include <QFile>
#include <QList>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QString>
#include <QTemporaryDir>

#include <grp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace otheruser {

// "uid:gid" or "uid:gid,more groups" as ids, the owner (or user) and group first.
inline QList<uint> idsOf(const QString& owner)
{
    QList<uint> ids;
    for (const QString& id : owner.split(QRegularExpression(QStringLiteral("[:,]"))))
        ids << id.toUInt();
    return ids;
}

// "uid:gid" of the user "uid:gid,more groups": what a file the user makes gets.
inline QString ownerOf(const QString& user)
{
    const QList<uint> ids = idsOf(user);
    return QStringLiteral("%1:%2").arg(ids.at(0)).arg(ids.at(1));
}

// Gives path the owner "uid:gid" and the mode; false when either fails.
inline bool give(const QString& path, const QString& owner, int mode)
{
    const QByteArray name = QFile::encodeName(path);
    const QList<uint> ids = idsOf(owner);
    return ::chown(name.constData(), ids.at(0), ids.at(1)) == 0 && ::chmod(name.constData(), mode_t(mode)) == 0;
}

// Becomes the user "uid:gid,more groups" for good, the first group the
// primary one; false when this process may not.
inline bool become(const QString& user)
{
    const QList<uint> ids = idsOf(user);
    if (ids.size() < 2)
        return false;
    const uid_t uid = ids.at(0);
    const gid_t primary = ids.at(1);
    const std::vector<gid_t> groups(ids.begin() + 1, ids.end());
    // A process that changed its ids may no longer read its own
    // /proc/self/fd, through which the stand-ins of syncfaults.h name the
    // files they are called for: it is made readable to itself again.
    return ::setgroups(groups.size(), groups.data()) == 0 && ::setresgid(primary, primary, primary) == 0
        && ::setresuid(uid, uid, uid) == 0 && ::geteuid() == uid && ::prctl(PR_SET_DUMPABLE, 1) == 0;
}

// A folder every user reaches, holding "shared music" for the files under
// test and "home", the user's own (the super-user's for "root"), for the
// child's settings, working database and log.
class Place
{
public:
    explicit Place(const QString& user)
    {
        const QString top = m_top.path();
        m_valid = m_top.isValid() && ::chmod(QFile::encodeName(top).constData(), 0755) == 0
            && QDir().mkpath(folder()) && QDir().mkpath(home())
            && (user == QLatin1String("root") || give(home(), ownerOf(user), 0700));
    }
    bool isValid() const { return m_valid; }
    QString folder() const { return m_top.filePath(QStringLiteral("shared music")); }
    QString home() const { return m_top.filePath(QStringLiteral("home")); }
    // This process's environment with the home and data folders in home.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_MUSIC_DIR",
                                 "XDG_PICTURES_DIR"})
            env.insert(QLatin1String(name), home());
        return env;
    }

private:
    QTemporaryDir m_top;
    bool m_valid = false;
};

} // namespace otheruser
