#include "journal.h"

#include "safefile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// FNV-1a: enough to tell a whole line from a torn or scribbled one.
QByteArray checksumOf(const QByteArray& payload)
{
    quint64 hash = 14695981039346656037ULL;
    for (const char c : payload) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    return QByteArray::number(hash, 16).rightJustified(16, '0');
}

QByteArray lineOf(const JournalRecord& fields)
{
    QByteArray payload;
    for (const QByteArray& field : fields) {
        if (!payload.isEmpty())
            payload.append(' ');
        // Percent-encoding keeps spaces and line ends out of the fields.
        payload.append(field.isEmpty() ? QByteArray("%") : field.toPercentEncoding());
    }
    return checksumOf(payload) + ' ' + payload + '\n';
}

bool parseLine(const QByteArray& line, JournalRecord* fields)
{
    const qsizetype space = line.indexOf(' ');
    if (space != 16 || line.left(16) != checksumOf(line.mid(17)))
        return false;
    fields->clear();
    for (const QByteArray& field : line.mid(17).split(' '))
        fields->append(field == "%" ? QByteArray() : QByteArray::fromPercentEncoding(field));
    return true;
}

} // namespace

CJournal::CJournal(const QString& path, int mode) : m_path(path), m_mode(mode) {}

namespace {

// The journal is this program's own plain file: a link, a second name of
// another file, or anything but a regular file in its place is none, and
// is never read or written through.
bool isOwnPlainFile(int fd)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1;
}

bool sameFile(int a, int b)
{
    struct stat sa, sb;
    return ::fstat(a, &sa) == 0 && ::fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Opens the journal's own name, never following a link; -1 with errno set.
int openName(const QByteArray& path, int flags, mode_t mode = 0)
{
    return ::open(path.constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
}

} // namespace

bool CJournal::read(QList<JournalRecord>* records, QString* error)
{
    records->clear();
    m_size = 0;
    const QByteArray path = QFile::encodeName(m_path);
    const CFileDescriptor fd(openName(path, O_RDONLY));
    if (fd.get() < 0 && errno == ENOENT)
        return true;
    if ((fd.get() < 0 && errno == ELOOP) || (fd.get() >= 0 && !isOwnPlainFile(fd.get()))) {
        m_foreign = true;
        PlatformLog(QStringLiteral("Library agent: %1 is a link or another file, not a journal of this program: "
                                   "not read, and replaced by the next change")
                        .arg(m_path));
        return true;
    }
    struct stat st;
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
        *error = SystemError(QStringLiteral("cannot read %1").arg(m_path));
        return false;
    }
    QByteArray bytes(qsizetype(st.st_size), Qt::Uninitialized);
    const ssize_t got = ReadAll(fd.get(), bytes.data(), size_t(bytes.size()), 0);
    if (got < 0) {
        *error = SystemError(QStringLiteral("cannot read %1").arg(m_path));
        return false;
    }
    bytes.truncate(got);
    qint64 whole = 0;
    JournalRecord fields;
    for (qint64 end; (end = bytes.indexOf('\n', whole)) >= 0; whole = end + 1) {
        if (!parseLine(bytes.mid(whole, end - whole), &fields))
            break;
        records->append(fields);
    }
    m_size = whole;
    if (whole < bytes.size()) {
        // Cut through a descriptor of the very file read, not through the
        // name, which someone may have pointed elsewhere meanwhile.
        const CFileDescriptor cut(openName(path, O_WRONLY));
        if (cut.get() < 0 || !sameFile(cut.get(), fd.get()) || ::ftruncate(cut.get(), whole) != 0) {
            *error = SystemError(QStringLiteral("cannot cut the torn end off %1").arg(m_path));
            return false;
        }
    }
    return true;
}

bool CJournal::openForAppend(QString* error)
{
    if (m_file)
        return true;
    const QByteArray path = QFile::encodeName(m_path);
    int fd = openName(path, O_WRONLY | O_APPEND);
    const bool foreign = m_foreign || (fd < 0 && (errno == ELOOP || errno == EISDIR || errno == ENXIO))
        || (fd >= 0 && !isOwnPlainFile(fd));
    const bool missing = fd < 0 && errno == ENOENT;
    if (foreign) {
        if (fd >= 0)
            ::close(fd);
        // Records read from a journal that something else took the place
        // of since would be lost with it.
        if (m_size > 0 || (::unlink(path.constData()) != 0 && errno != ENOENT)) {
            *error = QStringLiteral("%1 is a link or another file, not a journal of this program").arg(m_path);
            return false;
        }
        PlatformLog(QStringLiteral("Library agent: %1 was a link or another file: replaced by a new journal").arg(m_path));
    }
    if (foreign || missing)
        return createFile(error);
    if (fd < 0) {
        *error = SystemError(QStringLiteral("cannot open %1").arg(m_path));
        return false;
    }
    m_file.emplace(fd);
    return true;
}

// Made only where nothing is: O_EXCL with O_NOFOLLOW refuses a link or a
// file put there meanwhile.
bool CJournal::createFile(QString* error)
{
    const QByteArray path = QFile::encodeName(m_path);
    CFileDescriptor fd(openName(path, O_WRONLY | O_APPEND | O_CREAT | O_EXCL, mode_t(m_mode)));
    if (fd.get() < 0) {
        *error = SystemError(QStringLiteral("cannot create %1").arg(m_path));
        return false;
    }
    // The umask must not make the journal of a shared library closer than
    // the library itself; and the journal's own name must survive a crash
    // as well as its lines, or it goes again, to be made anew next time.
    if (::fchmod(fd.get(), mode_t(m_mode)) != 0 || !SyncFolderOf(m_path)) {
        *error = SystemError(QStringLiteral("cannot create %1").arg(m_path));
        ::unlink(path.constData());
        return false;
    }
    m_foreign = false;
    m_file.emplace(fd.release());
    return true;
}

bool CJournal::append(const JournalRecord& fields, QString* error)
{
    if (m_broken) {
        *error = QStringLiteral("%1 could not be repaired after a failed write").arg(m_path);
        return false;
    }
    if (!openForAppend(error))
        return false;
    const QByteArray line = lineOf(fields);
    if (WriteAll(m_file->get(), line.constData(), size_t(line.size())) && ::fdatasync(m_file->get()) == 0) {
        m_size += line.size();
        return true;
    }
    *error = SystemError(QStringLiteral("cannot write %1").arg(m_path));
    // A torn line would hide every line after it: take it back.
    if (::ftruncate(m_file->get(), m_size) != 0)
        m_broken = true;
    return false;
}

bool CJournal::remove(QString* error)
{
    m_file.reset();
    if (::unlink(QFile::encodeName(m_path).constData()) != 0 && errno != ENOENT) {
        *error = SystemError(QStringLiteral("cannot remove %1").arg(m_path));
        return false;
    }
    m_size = 0;
    m_broken = false;
    SyncFolderOf(m_path);
    return true;
}
