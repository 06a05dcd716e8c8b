// The byte records through which the engine starts the online information
// service and hands it proxy settings. Texts keep their terminator.
#pragma once

#include "cadenzo.h"

#include <cstdint>

struct tagAWSStartRecord
{
    int32_t iReserved;          // always 0
    char szArtworkFolder[512];  // where downloaded artwork goes
    char szLogFolder[512];      // the manager's log folder
};
static_assert(sizeof(tagAWSStartRecord) == 1028, "start record layout");

struct tagAWSProxyRecord
{
    int32_t iKind;              // 0 proxy, -1 none
    int32_t iPort;              // only with a host
    char szHost[64];
    char szUser[32];
    char szPassword[16];
};
static_assert(sizeof(tagAWSProxyRecord) == 120, "proxy record layout");

// Fill a zeroed record. 0, or MM_ERR_BAD_ARGS when a text does not fit its
// field: a cut folder or password would be wrong without anyone knowing.
int FillStartRecord(tagAWSStartRecord& record, const char* artworkFolder, const char* logFolder);
int FillProxyRecord(tagAWSProxyRecord& record, const tagProxySet& proxy);
