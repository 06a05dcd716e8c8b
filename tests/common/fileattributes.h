// A file's extended attributes and POSIX ACL, read and set with the
// test's own system calls: what desktops keep in user.* (ratings, tags, the
// address a file came from) and whom a share lets in. The ACL is the
// kernel's "system.posix_acl_access" attribute, written here as getfacl
// writes it in short: "user::rw-,user:4321:rw-,group::r--,mask::rw-,other::r--".
#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <sys/xattr.h>

namespace fileattributes {

const char kAcl[] = "system.posix_acl_access";

// The attributes a desktop puts on a music file.
inline QMap<QByteArray, QByteArray> desktopAttributes()
{
    return {{"user.xdg.tags", "road trip,summer"},
            {"user.baloo.rating", "8"},
            {"user.xdg.origin.url", "https://music.example.org/album/42"}};
}

// Every attribute of path but the ACL, by name; the ACL is aclOf's.
inline QMap<QByteArray, QByteArray> of(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    QMap<QByteArray, QByteArray> attributes;
    QByteArray list(65536, '\0');
    const ssize_t size = ::listxattr(name.constData(), list.data(), size_t(list.size()));
    for (const QByteArray& key : list.left(size < 0 ? 0 : size).split('\0')) {
        if (key.isEmpty() || key == kAcl)
            continue;
        QByteArray value(65536, '\0');
        const ssize_t got = ::getxattr(name.constData(), key.constData(), value.data(), size_t(value.size()));
        attributes.insert(key, value.left(got < 0 ? 0 : got));
    }
    return attributes;
}

// Sets every attribute given; false at the first refusal.
inline bool set(const QString& path, const QMap<QByteArray, QByteArray>& attributes)
{
    const QByteArray name = QFile::encodeName(path);
    for (auto it = attributes.cbegin(); it != attributes.cend(); ++it)
        if (::setxattr(name.constData(), it.key().constData(), it.value().constData(), size_t(it.value().size()), 0)
            != 0)
            return false;
    return true;
}

// The kernel's tags of ACL entries.
enum { ACL_USER_OBJ = 0x01, ACL_USER = 0x02, ACL_GROUP_OBJ = 0x04, ACL_GROUP = 0x08, ACL_MASK = 0x10, ACL_OTHER = 0x20 };
constexpr quint32 kNoId = 0xFFFFFFFFu;

struct Entry
{
    quint16 tag = 0;
    quint16 perm = 0;
    quint32 id = kNoId;
};

inline QString permText(quint16 perm)
{
    return QStringLiteral("%1%2%3")
        .arg(perm & 4 ? 'r' : '-')
        .arg(perm & 2 ? 'w' : '-')
        .arg(perm & 1 ? 'x' : '-');
}

// The attribute's bytes for the short text: version 2, then each entry as
// tag, permissions (16 bits each) and id (32 bits), little-endian, in the
// kernel's order (by tag, then id).
inline QByteArray aclBytes(const QString& text)
{
    QList<Entry> entries;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList f = part.split(QLatin1Char(':'));
        Entry e;
        const bool named = !f.value(1).isEmpty();
        const QString kind = f.value(0);
        e.tag = kind == QLatin1String("user")    ? (named ? ACL_USER : ACL_USER_OBJ)
              : kind == QLatin1String("group") ? (named ? ACL_GROUP : ACL_GROUP_OBJ)
              : kind == QLatin1String("mask")  ? ACL_MASK
                                               : ACL_OTHER;
        e.id = named ? f.value(1).toUInt() : kNoId;
        const QString perm = f.value(2);
        e.perm = quint16((perm.contains(QLatin1Char('r')) ? 4 : 0) | (perm.contains(QLatin1Char('w')) ? 2 : 0)
                         | (perm.contains(QLatin1Char('x')) ? 1 : 0));
        entries << e;
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.tag != b.tag ? a.tag < b.tag : a.id < b.id; });
    QByteArray bytes(4, '\0');
    qToLittleEndian<quint32>(2, bytes.data());
    for (const Entry& e : entries) {
        char entry[8];
        qToLittleEndian<quint16>(e.tag, entry);
        qToLittleEndian<quint16>(e.perm, entry + 2);
        qToLittleEndian<quint32>(e.id, entry + 4);
        bytes.append(entry, 8);
    }
    return bytes;
}

// The short text of the attribute's bytes; empty for none or bytes that
// are no ACL.
inline QString aclText(const QByteArray& bytes)
{
    if (bytes.size() < 4 || (bytes.size() - 4) % 8 != 0 || qFromLittleEndian<quint32>(bytes.constData()) != 2)
        return QString();
    QStringList parts;
    for (qsizetype at = 4; at < bytes.size(); at += 8) {
        const quint16 tag = qFromLittleEndian<quint16>(bytes.constData() + at);
        const quint16 perm = qFromLittleEndian<quint16>(bytes.constData() + at + 2);
        const quint32 id = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        const QString kind = tag & (ACL_USER_OBJ | ACL_USER) ? QStringLiteral("user")
                           : tag & (ACL_GROUP_OBJ | ACL_GROUP) ? QStringLiteral("group")
                           : tag == ACL_MASK ? QStringLiteral("mask")
                                             : QStringLiteral("other");
        const QString who = tag == ACL_USER || tag == ACL_GROUP ? QString::number(id) : QString();
        parts << QStringLiteral("%1:%2:%3").arg(kind, who, permText(perm));
    }
    return parts.join(QLatin1Char(','));
}

// path's ACL in short; empty for none.
inline QString aclOf(const QString& path)
{
    QByteArray value(65536, '\0');
    const ssize_t got = ::getxattr(QFile::encodeName(path).constData(), kAcl, value.data(), size_t(value.size()));
    return got < 0 ? QString() : aclText(value.left(got));
}

// Gives path the ACL; its mask becomes the mode's group bits.
inline bool setAcl(const QString& path, const QString& text)
{
    const QByteArray bytes = aclBytes(text);
    return ::setxattr(QFile::encodeName(path).constData(), kAcl, bytes.constData(), size_t(bytes.size()), 0) == 0;
}

// Whether the file system at path keeps user attributes and ACLs (not
// every /tmp does).
inline bool supported(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::setxattr(name.constData(), "user.vessolin.probe", "1", 1, 0) != 0)
        return false;
    ::removexattr(name.constData(), "user.vessolin.probe");
    // No ACL there yet says ENODATA; a file system without ACLs, ENOTSUP.
    return ::getxattr(name.constData(), kAcl, nullptr, 0) >= 0 || errno == ENODATA;
}

} // namespace fileattributes
