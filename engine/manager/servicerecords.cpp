#include "manager/servicerecords.h"

#include <cstring>

namespace {

// Copies text with its terminator; null leaves the field zero.
template <size_t N>
bool copyText(char (&field)[N], const char* text)
{
    if (!text)
        return true;
    const size_t length = std::strlen(text);
    if (length + 1 > N)
        return false;
    std::memcpy(field, text, length + 1);
    return true;
}

} // namespace

int FillStartRecord(tagAWSStartRecord& record, const char* artworkFolder, const char* logFolder)
{
    std::memset(&record, 0, sizeof(record));
    if (!copyText(record.szDownloadPath, artworkFolder) || !copyText(record.szLogPath, logFolder))
        return MM_ERR_BAD_ARGS;
    return 0;
}

int FillProxyRecord(tagAWSProxyRecord& record, const tagProxySet& proxy)
{
    std::memset(&record, 0, sizeof(record));
    record.iKind = proxy.iKind;
    if (proxy.pHost) {
        if (!copyText(record.szHost, proxy.pHost))
            return MM_ERR_BAD_ARGS;
        record.iPort = proxy.iPort;
    }
    if (!copyText(record.szUser, proxy.pUser) || !copyText(record.szPassword, proxy.pPassword))
        return MM_ERR_BAD_ARGS;
    return 0;
}
