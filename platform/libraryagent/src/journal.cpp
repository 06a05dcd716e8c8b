#include "journal.h"

#include "safefile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
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

bool CJournal::read(QList<JournalRecord>* records, QString* error)
{
    records->clear();
    QFile file(m_path);
    if (!file.exists()) {
        m_size = 0;
        return true;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(m_path, file.errorString());
        return false;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    qint64 whole = 0;
    JournalRecord fields;
    for (qint64 end; (end = bytes.indexOf('\n', whole)) >= 0; whole = end + 1) {
        if (!parseLine(bytes.mid(whole, end - whole), &fields))
            break;
        records->append(fields);
    }
    m_size = whole;
    if (whole < bytes.size()) {
        if (::truncate(QFile::encodeName(m_path).constData(), whole) != 0) {
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
    const bool existed = ::access(path.constData(), F_OK) == 0;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, mode_t(m_mode));
    if (fd < 0) {
        *error = SystemError(QStringLiteral("cannot open %1").arg(m_path));
        return false;
    }
    m_file.emplace(fd);
    // The journal's own name must survive a crash as well as its lines.
    if (!existed && !SyncFolderOf(m_path)) {
        *error = SystemError(QStringLiteral("cannot sync the folder of %1").arg(m_path));
        m_file.reset();
        return false;
    }
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
