#include "platformbase.h"

#include <QFile>
#include <QList>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace {

// The kernel keeps a file's POSIX ACL as this attribute; its mask is the
// group bits of the file's mode.
const char kAccessAcl[] = "system.posix_acl_access";

enum tagAttributeKind {
    ATTRIBUTE_KEPT,       // the user's own (user.*): ratings, tags, comments of desktop tools
    ATTRIBUTE_PRIVILEGED, // security.* and trusted.*: only a privileged process sets them
    ATTRIBUTE_SYSTEM      // the ACL, kept on its own, and the file system's own system.* names
};

tagAttributeKind kindOf(const QByteArray& name)
{
    if (name.startsWith("user."))
        return ATTRIBUTE_KEPT;
    if (name.startsWith("security.") || name.startsWith("trusted."))
        return ATTRIBUTE_PRIVILEGED;
    return ATTRIBUTE_SYSTEM;
}

bool isUnsupported(int error)
{
    return error == ENOTSUP || error == EOPNOTSUPP;
}

QString withSystemError(const QString& what)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

// The names of source's attributes. A file system without them has none;
// false with errno set when they cannot be listed.
bool listNames(const QByteArray& source, QList<QByteArray>* names)
{
    names->clear();
    for (;;) {
        const ssize_t size = ::listxattr(source.constData(), nullptr, 0);
        if (size <= 0)
            return size == 0 || isUnsupported(errno);
        QByteArray list(qsizetype(size), Qt::Uninitialized);
        const ssize_t got = ::listxattr(source.constData(), list.data(), size_t(list.size()));
        // Another name came between the two calls.
        if (got < 0 && errno == ERANGE)
            continue;
        if (got < 0)
            return false;
        list.truncate(got);
        for (const QByteArray& name : list.split('\0'))
            if (!name.isEmpty())
                names->append(name);
        return true;
    }
}

// 1 with the value read; 0 when source has no such attribute (also on a
// file system without attributes); -1 with errno set.
int readValue(const QByteArray& source, const char* name, QByteArray* value)
{
    for (;;) {
        const ssize_t size = ::getxattr(source.constData(), name, nullptr, 0);
        if (size < 0)
            return errno == ENODATA || isUnsupported(errno) ? 0 : -1;
        value->resize(qsizetype(size));
        const ssize_t got = ::getxattr(source.constData(), name, value->data(), size_t(value->size()));
        if (got < 0 && errno == ERANGE)
            continue;
        if (got < 0)
            return errno == ENODATA ? 0 : -1;
        value->truncate(got);
        return 1;
    }
}

// The ACL source has, or none: then also none that a default ACL of the
// new file's folder gave it, which would let others in whom source keeps out.
bool copyAcl(const QByteArray& source, int fd, const QString& path, QString* error)
{
    QByteArray acl;
    const int read = readValue(source, kAccessAcl, &acl);
    if (read < 0) {
        *error = withSystemError(QStringLiteral("cannot read the ACL of %1").arg(path));
        return false;
    }
    if (read > 0 ? ::fsetxattr(fd, kAccessAcl, acl.constData(), size_t(acl.size()), 0) == 0
                 : ::fremovexattr(fd, kAccessAcl) == 0 || errno == ENODATA || isUnsupported(errno))
        return true;
    *error = withSystemError(QStringLiteral("the new file for %1 cannot be given its ACL").arg(path));
    return false;
}

// Every attribute of source but the system's own, as far as this process
// may set the privileged ones; false at the first one it must keep and
// cannot.
bool copyNamedAttributes(const QByteArray& source, int fd, const QString& path, const QString& who,
                         QString* error)
{
    QList<QByteArray> names;
    if (!listNames(source, &names)) {
        *error = withSystemError(QStringLiteral("cannot list the extended attributes of %1").arg(path));
        return false;
    }
    for (const QByteArray& name : names) {
        const tagAttributeKind kind = kindOf(name);
        if (kind == ATTRIBUTE_SYSTEM)
            continue;
        QByteArray value;
        const int read = readValue(source, name.constData(), &value);
        if (read < 0) {
            *error = withSystemError(QStringLiteral("cannot read the attribute %1 of %2")
                                         .arg(QString::fromUtf8(name), path));
            return false;
        }
        if (read == 0 || ::fsetxattr(fd, name.constData(), value.constData(), size_t(value.size()), 0) == 0)
            continue;
        if (kind == ATTRIBUTE_PRIVILEGED && (errno == EPERM || errno == EACCES || isUnsupported(errno))) {
            PlatformLog(QStringLiteral("%1: the new file for %2 goes without the attribute %3: this user may "
                                       "not set it")
                            .arg(who, path, QString::fromUtf8(name)));
            continue;
        }
        *error = withSystemError(QStringLiteral("the new file for %1 cannot be given the attribute %2")
                                     .arg(path, QString::fromUtf8(name)));
        return false;
    }
    return true;
}

// An ACL write sets the mode's group bits to its mask: a file that is to
// keep its mode must still have it afterwards.
bool keptMode(int fd, mode_t mode, const QString& path, QString* error)
{
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        *error = withSystemError(QStringLiteral("cannot examine the new file for %1").arg(path));
        return false;
    }
    if ((st.st_mode & 07777) == mode)
        return true;
    *error = QStringLiteral("the new file for %1 has the mode %2 instead of %3 once it has the ACL")
                 .arg(path)
                 .arg(st.st_mode & 07777, 4, 8, QLatin1Char('0'))
                 .arg(uint(mode), 4, 8, QLatin1Char('0'));
    return false;
}

} // namespace

bool TakeAttributes(const QString& source, int fd, const QString& who, QString* error)
{
    const QByteArray name = QFile::encodeName(source);
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        *error = withSystemError(QStringLiteral("cannot examine the new file for %1").arg(source));
        return false;
    }
    return copyNamedAttributes(name, fd, source, who, error) && copyAcl(name, fd, source, error)
        && keptMode(fd, st.st_mode & 07777, source, error);
}

bool TakeAcl(const QString& source, int fd, QString* error)
{
    return copyAcl(QFile::encodeName(source), fd, source, error);
}
