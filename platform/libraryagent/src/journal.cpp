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

// The whole records of bytes, oldest first; the count of bytes they take.
qint64 wholeRecords(const QByteArray& bytes, QList<JournalRecord>* records)
{
    qint64 whole = 0;
    JournalRecord fields;
    for (qint64 end; (end = bytes.indexOf('\n', whole)) >= 0; whole = end + 1) {
        if (!parseLine(bytes.mid(whole, end - whole), &fields))
            break;
        records->append(fields);
    }
    return whole;
}

} // namespace

CJournal::CJournal(const QString& path, const QString& library, int mode)
    : m_path(path), m_library(library), m_mode(mode)
{
}

namespace {

// The journal is written only as this program's own plain file: never
// through a link or a second name of a file, which would change the file
// the link names or a snapshot that shares it.
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

QString foreignKind(const struct stat& st)
{
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("a symbolic link");
    return S_ISREG(st.st_mode) ? QStringLiteral("a file with a second name (a hard link)")
                               : QStringLiteral("no plain file");
}

} // namespace

// Whatever sits in the journal's place is read: a backup tool's hard-link
// snapshot gives the journal a second name, a sync tool may put a link in
// its place, and what either holds is still every change acknowledged.
// Only writing it is kept to this program's own plain file.
bool CJournal::read(QList<JournalRecord>* records, QString* error)
{
    records->clear();
    m_size = 0;
    m_carried.clear();
    m_foreign = false;
    const QByteArray path = QFile::encodeName(m_path);
    struct stat place;
    if (::lstat(path.constData(), &place) != 0) {
        if (errno == ENOENT)
            return true;
        *error = SystemError(QStringLiteral("cannot read %1").arg(m_path));
        return false;
    }
    m_foreign = !S_ISREG(place.st_mode) || place.st_nlink != 1;
    const CFileDescriptor fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    // A link to nothing, or links that go round, hold no change.
    if (fd.get() < 0 && m_foreign && (errno == ENOENT || errno == ELOOP))
        return true;
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
        *error = SystemError(QStringLiteral("cannot read %1").arg(m_path));
        return false;
    }
    if (!S_ISREG(st.st_mode))
        return true;
    m_foreign = m_foreign || st.st_ino != place.st_ino || st.st_dev != place.st_dev;
    QByteArray bytes(qsizetype(st.st_size), Qt::Uninitialized);
    const ssize_t got = ReadAll(fd.get(), bytes.data(), size_t(bytes.size()), 0);
    if (got < 0) {
        *error = SystemError(QStringLiteral("cannot read %1").arg(m_path));
        return false;
    }
    bytes.truncate(got);
    const qint64 whole = wholeRecords(bytes, records);
    m_size = whole;
    if (m_foreign) {
        // Not cut, not written: the first append puts a plain file holding
        // these records in its place.
        m_carried = bytes.left(whole);
        PlatformLog(QStringLiteral("Library agent: %1 is %2: its %3 change(s) are read, and before the next "
                                   "change it is replaced by a journal of this program's own holding them")
                        .arg(m_path, foreignKind(place))
                        .arg(records->size()));
        return true;
    }
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

// Written beside the journal and renamed over its name: the link's target
// or the snapshot's other name keeps what it held, and the records are on
// the disk in the new file before the old name goes.
bool CJournal::replaceForeign(QString* error)
{
    if (!WriteOwnFileAtomically(m_path, m_carried, m_mode, m_library, error))
        return false;
    PlatformLog(QStringLiteral("Library agent: %1 replaced by a journal of this program's own holding its %2 "
                               "byte(s) of changes")
                    .arg(m_path)
                    .arg(m_carried.size()));
    m_foreign = false;
    m_carried.clear();
    return true;
}

bool CJournal::openForAppend(QString* error)
{
    if (m_file)
        return true;
    if (m_foreign && !replaceForeign(error))
        return false;
    const QByteArray path = QFile::encodeName(m_path);
    int fd = openName(path, O_WRONLY | O_APPEND);
    const bool foreign = (fd < 0 && (errno == ELOOP || errno == EISDIR || errno == ENXIO))
        || (fd >= 0 && !isOwnPlainFile(fd));
    const bool missing = fd < 0 && errno == ENOENT;
    if (foreign) {
        if (fd >= 0)
            ::close(fd);
        // Put there since the journal was read: the records read from the
        // journal it took the place of would be lost with it.
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
    if (::fchmod(fd.get(), mode_t(m_mode)) != 0) {
        *error = SystemError(QStringLiteral("cannot create %1").arg(m_path));
        ::unlink(path.constData());
        return false;
    }
    // Whom the library's ACL lets open the library reads its changes too;
    // a journal without it only keeps them out until it goes.
    QString refused;
    if (!TakeAcl(m_library, fd.get(), &refused))
        PlatformLog(QStringLiteral("Library agent: %1 goes without the ACL of %2: %3").arg(m_path, m_library, refused));
    if (!SyncFolderOf(m_path)) {
        *error = SystemError(QStringLiteral("cannot create %1").arg(m_path));
        ::unlink(path.constData());
        return false;
    }
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
    m_foreign = false;
    m_carried.clear();
    SyncFolderOf(m_path);
    return true;
}
