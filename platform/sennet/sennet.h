// sennet.h - the music-information service client.
//
// Identifies a track from a WAV file by its audio fingerprint, fetches the
// cover of the identified album, and searches artwork by title, artist and
// album. Every call blocks, may be made from any thread, and delivers its
// result through the request's callback on the calling thread before it
// returns. A service that answers busy (HTTP 503 or 429) is asked once more
// after the pause it names, or one second. All texts are UTF-8; records are
// plain and zero-filled by the caller before use.
#ifndef SENNET_H
#define SENNET_H

#include <stddef.h>
#include <stdint.h>

// Results of the calls (the callback's status is separate, below).
enum { MP_OK = 0, MP_ERR_BAD_ARGS = -1, MP_ERR_WRONG_REQUEST = -2 };

// Status handed to the callback.
enum {
    MP_STATUS_DONE = 3,     // the record holds the result
    MP_STATUS_FAILED = -1,  // nothing usable came back (logged); no record
    MP_STATUS_STOPPED = -2  // MusicParserStopPerform ended the call; no record
};

// Result kind (offset 1736) and, for kind 1, sub-kind (offset 1740).
enum { MI_KIND_INFO = 1, MI_KIND_ARTWORK = 2 };
enum { MI_SUB_INFO = 1, MI_SUB_ARTWORK = 2 };

#define MI_MAX_ARTWORK 10
#define MI_PATH_SIZE 512

// Start record of MusicParserInit, 1028 bytes.
typedef struct tagParserInitParam {
    int32_t iReserved;                 // 0
    char szDownloadPath[MI_PATH_SIZE]; // folder that receives downloaded images
    char szLogPath[MI_PATH_SIZE];      // folder of "MusicParser.log"
} tagParserInitParam;

// Proxy record, 120 bytes.
typedef struct tagParserProxyParam {
    int32_t iKind;       // 0: HTTP proxy below, -1: none
    int32_t iPort;       // 1..65535 with a host
    char szHost[64];
    char szUser[32];
    char szPassword[16];
} tagParserProxyParam;

typedef struct tagArtworkEntry {
    char szPath[MI_PATH_SIZE]; // a downloaded image file in the download folder
    char reserved[656];
} tagArtworkEntry;

// Result record; texts are zero-terminated, an empty text means absent.
typedef struct tagMusicInfo {
    char reserved0[36];
    char szAlbumID[128];  // release-group ID
    char szTitle[128];
    char szArtist[128];
    char szAlbum[128];
    char szYear[32];
    char szGenre[128];
    char reserved1[1024];
    int32_t iArtworkCount;
    int32_t iKind;        // MI_KIND_*
    int32_t iSubKind;     // MI_SUB_* for kind 1, else 0
    char reserved2[136];
    tagArtworkEntry artwork[MI_MAX_ARTWORK];
} tagMusicInfo;

// Receives each call's one result. The record is the layer's and valid only
// during the call; it is null unless status is MP_STATUS_DONE.
typedef int (*MusicInfoCallBack)(void* slot, void* track, int status, tagMusicInfo* record);

// Identification request; the texts are copied at creation.
typedef struct tagInfoRequest {
    void* pMusic;               // handed back as the callback's track
    const char* pPersistentID;  // names the downloaded files
    const char* pAudioPath;     // 16-bit PCM WAV file
    void* pSlot;                // handed back as the callback's slot
    MusicInfoCallBack pCallBack;
} tagInfoRequest;

// Image-search request; the texts are copied at creation.
typedef struct tagImageSearchRequest {
    void* pMusic;
    const char* pPersistentID;
    const char* pName;
    const char* pArtist;  // may be null
    const char* pAlbum;   // may be null
    void* pSlot;
    MusicInfoCallBack pCallBack;
} tagImageSearchRequest;

typedef struct tagMusicRequest* MusicRequestHandle;

#ifdef __cplusplus
static_assert(sizeof(tagParserInitParam) == 1028, "start record size");
static_assert(offsetof(tagParserInitParam, szDownloadPath) == 4, "start record download folder");
static_assert(offsetof(tagParserInitParam, szLogPath) == 516, "start record log folder");
static_assert(sizeof(tagParserProxyParam) == 120, "proxy record size");
static_assert(offsetof(tagParserProxyParam, iPort) == 4, "proxy record port");
static_assert(offsetof(tagParserProxyParam, szHost) == 8, "proxy record host");
static_assert(offsetof(tagParserProxyParam, szUser) == 72, "proxy record user");
static_assert(offsetof(tagParserProxyParam, szPassword) == 104, "proxy record password");
static_assert(sizeof(tagArtworkEntry) == 1168, "artwork entry size");
static_assert(offsetof(tagMusicInfo, szAlbumID) == 36, "record album ID");
static_assert(offsetof(tagMusicInfo, szTitle) == 164, "record title");
static_assert(offsetof(tagMusicInfo, szArtist) == 292, "record artist");
static_assert(offsetof(tagMusicInfo, szAlbum) == 420, "record album");
static_assert(offsetof(tagMusicInfo, szYear) == 548, "record year");
static_assert(offsetof(tagMusicInfo, szGenre) == 580, "record genre");
static_assert(offsetof(tagMusicInfo, iArtworkCount) == 1732, "record artwork count");
static_assert(offsetof(tagMusicInfo, iKind) == 1736, "record kind");
static_assert(offsetof(tagMusicInfo, iSubKind) == 1740, "record sub-kind");
static_assert(offsetof(tagMusicInfo, artwork) == 1880, "record first artwork entry");

extern "C" {
#endif

// Keeps the folders and opens the log; proxy may be null (no proxy).
// MP_ERR_BAD_ARGS for a null start record or an unusable proxy record (then
// no proxy is used).
int MusicParserInit(const tagParserInitParam* param, const tagParserProxyParam* proxy);
// Replaces the proxy for every later call. MP_ERR_BAD_ARGS for a null or
// unusable record (kind 0 without host or with a bad port, unknown kind).
int MusicParserSetProxyParam(const tagParserProxyParam* proxy);
// Forgets the folders and the proxy and closes the log. Requests must be
// destroyed first.
void MusicParserCleanup(void);

// A new identification request, or null for a null record or callback.
MusicRequestHandle MusicParserCreateGnRequest(const tagInfoRequest* request);
// Identifies the request's WAV file: title, artist, album, album ID, year,
// genre (kind 1, sub-kind 1). A match scoring below 0.5 is none, and a
// metadata service that could not answer for the year and genre fails the
// identification. MP_OK after exactly one callback; a negative result (null
// handle, image-search handle) means no callback.
int MusicParserGetTrackData(MusicRequestHandle request);
// A new image-search request, or null for a null record, name or callback.
MusicRequestHandle MusicParserCreateGoogleRequest(const tagImageSearchRequest* request);
// On an identification request: the identified album's cover (kind 1,
// sub-kind 2, one entry). On an image-search request: the front images of
// the best matching albums (kind 2), searched by album and artist, or
// without an album by name and artist; without an artist nothing is asked
// and the call fails. MP_OK after exactly one callback; MP_ERR_BAD_ARGS
// (null handle) means no callback.
int MusicParserGetAlbumCoverData(MusicRequestHandle request);
// Makes a running call on the request return promptly with
// MP_STATUS_STOPPED, and every later call too. Any thread.
int MusicParserStopPerform(MusicRequestHandle request);
// Frees the request. A call still running on it on another thread is
// stopped and the request freed when that call returns. The handle must not
// be used again. MP_ERR_BAD_ARGS for null.
int MusicParserDestroyRequest(MusicRequestHandle request);

#ifdef __cplusplus
}
#endif

#endif // SENNET_H
