// The conversion layer: decodes a music file (MP3, M4A/AAC, WMA, FLAC,
// TrueAudio, AIFF, WAV) to interleaved signed 16-bit PCM, either handed to
// two callbacks (kind CK_DECODE) or written as a RIFF WAV file (CK_WAV).
// Output keeps the source's sample rate; mono stays mono, everything with
// two or more channels becomes stereo. Tasks are independent and may run on
// several threads at once; one task runs one call at a time.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Kinds of CreateConverTask.
enum tagConverKind {
    CK_DECODE = 1, // DecoderAudio; the record is ignored (callers pass 0)
    CK_WAV = 3     // StartConvertTask; the record is a tagConverRecord
};

// Record of a CK_WAV task: three caller-owned buffers of QUORRA_PATH_SIZE
// bytes, each zero-terminated UTF-8. The paths are copied when the task is
// created, so the buffers may go as soon as CreateConverTask returns.
enum { QUORRA_PATH_SIZE = 512 };
struct tagConverRecord {
    char* pszReserved; // not read
    char* pszSource;   // the music file
    char* pszDest;     // the WAV file to write; its folder must exist
};

// Results: 0 success, negative failure.
enum tagConverResult {
    CR_OK = 0,
    CR_BAD_ARGS = -1,   // null or unknown task, null path or callback
    CR_WRONG_KIND = -2, // the call does not belong to the task's kind
    CR_OPEN = -3,       // missing, not a regular file, or not a known audio container
    CR_NO_AUDIO = -4,   // no decodable audio stream, or no audio in it
    CR_BROKEN = -5,     // read or decode errors, or less audio than the file declares
    CR_CALLBACK = -6,   // a callback returned non-zero
    CR_KILLED = -7,     // KillConverTask
    CR_WRITE = -8,      // the WAV file could not be written
    CR_TOO_LONG = -9,   // the audio does not fit a WAV file (4 GiB)
    CR_NO_MEMORY = -10
};

// Format callback of DecoderAudio, called once before any data: sample rate
// in Hz, channel count (1 or 2) and bits per sample (always 16).
typedef int (*ConverInfoProc)(void* user, int sampleRate, int channels, int bitsPerSample);
// Data callback: byteCount bytes of interleaved samples, always whole frames.
// The block belongs to the layer and is valid only during the call.
typedef int (*ConverDataProc)(void* user, const short* samples, int byteCount);

// A new task of kind CK_DECODE or CK_WAV; null for another kind, or for a
// CK_WAV record that is null, has an empty path or a path of 512 bytes or more.
void* CreateConverTask(int kind, void* record);

// Decodes path (UTF-8) through a CK_DECODE task on the calling thread; the
// callbacks run on it too. A non-zero callback result stops decoding. 0 only
// when the whole file was decoded and every callback returned 0; else a
// tagConverResult. *task is not changed.
int DecoderAudio(void** task, const char* path, ConverInfoProc info, ConverDataProc data, void* user);

// Runs a CK_WAV task on the calling thread until the WAV file is written
// or the conversion failed. 0 only when the complete WAV file lies at the
// destination; on failure nothing is left there (an older file of that
// name stays untouched). *task is not changed.
int StartConvertTask(void** task);

// Makes the running (or the next) DecoderAudio / StartConvertTask of the
// task end soon with CR_KILLED. Any thread; a handle that was already
// destroyed is ignored. 0 when a live task was marked, else CR_BAD_ARGS.
int KillConverTask(void* task);

// Frees the task and sets *task to null; null-safe. Not while a call on the
// task still runs (kill it and let the call return first).
void DestroyConvertTask(void** task);

#ifdef __cplusplus
}
#endif
