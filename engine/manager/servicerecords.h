// The byte records through which the engine starts the online information
// service and hands it proxy settings: the service's own records, filled
// from the engine's start and proxy records. Texts keep their terminator.
#pragma once

#include "cadenzo.h"

#include "sennet.h"

// Start record, 1028 bytes: 0, the artwork download folder, the log folder.
using tagAWSStartRecord = tagParserInitParam;
// Proxy record, 120 bytes: kind, port, host, user name, password.
using tagAWSProxyRecord = tagParserProxyParam;

// Fill a zeroed record. 0, or MM_ERR_BAD_ARGS when a text does not fit its
// field: a cut folder or password would be wrong without anyone knowing.
int FillStartRecord(tagAWSStartRecord& record, const char* artworkFolder, const char* logFolder);
int FillProxyRecord(tagAWSProxyRecord& record, const tagProxySet& proxy);
