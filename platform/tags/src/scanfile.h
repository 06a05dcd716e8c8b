// A music file opened for the artwork scan: read at any offset through one
// small block, so that walking headers costs a read or two and skipping a
// picture costs nothing. Internal to the tags module.
#pragma once

#include "platformbase.h"

#include <QString>

#include <cstdint>

class CScanFile
{
public:
    explicit CScanFile(const QString& path);
    CScanFile(const CScanFile&) = delete;
    CScanFile& operator=(const CScanFile&) = delete;

    // False when the path names no readable regular file.
    bool isOpen() const { return m_size >= 0; }
    int64_t size() const { return m_size; }
    // Copies up to length bytes at offset into out: the count copied, fewer
    // at the end of the file, 0 past it or after a read error.
    int read(int64_t offset, unsigned char* out, int length);
    // Whether all length bytes at offset could be read.
    bool readAll(int64_t offset, unsigned char* out, int length) { return read(offset, out, length) == length; }
    // Whether the file holds these bytes at offset.
    bool holds(int64_t offset, const char* bytes, int length);
    // Bytes taken from the file so far, for the tests of what a scan reads.
    int64_t bytesRead() const { return m_bytesRead; }

private:
    static constexpr int kBlockSize = 8192;

    bool fill(int64_t offset);

    CFileDescriptor m_fd;
    int64_t m_size = -1;
    int64_t m_blockStart = 0;
    int m_blockLength = 0;
    int64_t m_bytesRead = 0;
    unsigned char m_block[kBlockSize];
};

// Numbers as the containers store them.
inline uint32_t BigEndian32(const unsigned char* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
inline uint32_t BigEndian24(const unsigned char* p)
{
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}
inline uint64_t BigEndian64(const unsigned char* p)
{
    return uint64_t(BigEndian32(p)) << 32 | BigEndian32(p + 4);
}
inline uint32_t LittleEndian16(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}
inline uint32_t LittleEndian32(const unsigned char* p)
{
    return LittleEndian16(p) | LittleEndian16(p + 2) << 16;
}
inline uint64_t LittleEndian64(const unsigned char* p)
{
    return uint64_t(LittleEndian32(p)) | uint64_t(LittleEndian32(p + 4)) << 32;
}
