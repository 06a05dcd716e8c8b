#include "scanfile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int OpenForScan(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK: a FIFO given a music name must not block the open; it is
    // refused as no regular file.
    return name.isEmpty() ? -1 : ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
}

} // namespace

CScanFile::CScanFile(const QString& path) : m_fd(OpenForScan(path))
{
    struct stat st;
    if (m_fd.get() < 0 || ::fstat(m_fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    m_size = int64_t(st.st_size);
}

bool CScanFile::fill(int64_t offset)
{
    const ssize_t got = ReadAll(m_fd.get(), reinterpret_cast<char*>(m_block), kBlockSize, off_t(offset));
    m_blockStart = offset;
    m_blockLength = got < 0 ? 0 : int(got);
    m_bytesRead += m_blockLength;
    return got >= 0;
}

int CScanFile::read(int64_t offset, unsigned char* out, int length)
{
    if (!isOpen() || offset < 0 || length <= 0 || offset >= m_size)
        return 0;
    length = int(std::min<int64_t>(length, m_size - offset));
    const bool cached = offset >= m_blockStart && offset + length <= m_blockStart + m_blockLength;
    if (!cached) {
        if (length > kBlockSize) {
            const ssize_t got = ReadAll(m_fd.get(), reinterpret_cast<char*>(out), size_t(length), off_t(offset));
            m_bytesRead += got > 0 ? got : 0;
            return got < 0 ? 0 : int(got);
        }
        if (!fill(offset))
            return 0;
    }
    const int64_t start = offset - m_blockStart;
    const int count = int(std::min<int64_t>(length, m_blockLength - start));
    if (count <= 0)
        return 0;
    std::memcpy(out, m_block + start, size_t(count));
    return count;
}

bool CScanFile::holds(int64_t offset, const char* bytes, int length)
{
    unsigned char found[16];
    return length <= int(sizeof(found)) && readAll(offset, found, length)
        && std::memcmp(found, bytes, size_t(length)) == 0;
}
