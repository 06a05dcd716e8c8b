#include "quorra.h"

#include "src/decoder.h"
#include "src/task.h"
#include "src/wavwriter.h"

#include <cstring>

using namespace quorra;

namespace {

// Hands the decoded audio to the caller's two callbacks.
class CallbackSink : public PcmSink
{
public:
    CallbackSink(ConverInfoProc info, ConverDataProc data, void* user) : m_info(info), m_data(data), m_user(user) {}

    int format(int sampleRate, int channels) override
    {
        m_channels = channels;
        return m_info(m_user, sampleRate, channels, 16) == 0 ? CR_OK : CR_CALLBACK;
    }

    int write(const int16_t* samples, int frames) override
    {
        const int bytes = frames * m_channels * 2;
        return m_data(m_user, samples, bytes) == 0 ? CR_OK : CR_CALLBACK;
    }

private:
    ConverInfoProc m_info;
    ConverDataProc m_data;
    void* m_user;
    int m_channels = 0;
};

// A path from a caller's fixed buffer; false when the buffer holds no
// terminated, non-empty text.
bool takePath(const char* buffer, std::string& path)
{
    if (!buffer)
        return false;
    const size_t length = strnlen(buffer, QUORRA_PATH_SIZE);
    if (length == 0 || length == QUORRA_PATH_SIZE)
        return false;
    path.assign(buffer, length);
    return true;
}

Task* taskOf(void** task, int kind, int& result)
{
    Task* live = task ? liveTask(*task) : nullptr;
    result = !live ? CR_BAD_ARGS : live->kind != kind ? CR_WRONG_KIND : CR_OK;
    return result == CR_OK ? live : nullptr;
}

} // namespace

void* CreateConverTask(int kind, void* record)
{
    auto task = std::make_unique<Task>();
    task->kind = kind;
    if (kind == CK_WAV) {
        const auto* paths = static_cast<const tagConverRecord*>(record);
        if (!paths || !takePath(paths->pszSource, task->source) || !takePath(paths->pszDest, task->dest))
            return nullptr;
    } else if (kind != CK_DECODE) {
        return nullptr;
    }
    return adoptTask(std::move(task));
}

int DecoderAudio(void** task, const char* path, ConverInfoProc info, ConverDataProc data, void* user)
{
    int result = CR_OK;
    Task* live = taskOf(task, CK_DECODE, result);
    if (!live)
        return result;
    if (!path || !*path || !info || !data)
        return CR_BAD_ARGS;
    CallbackSink sink(info, data, user);
    return decodeFile(path, live->control(), sink);
}

int StartConvertTask(void** task)
{
    int result = CR_OK;
    Task* live = taskOf(task, CK_WAV, result);
    if (!live)
        return result;
    const ConvertControl control = live->control();
    if (control.killedAt(STEP_WAV_OPEN))
        return CR_KILLED;
    WavWriter wav(live->dest);
    result = wav.open();
    if (result == CR_OK)
        result = decodeFile(live->source, control, wav);
    // The writer's failures after a kill are the kill's too; the hidden
    // file goes with the writer.
    if (control.killedAt(STEP_COMMIT))
        return CR_KILLED;
    return result == CR_OK ? wav.commit() : result;
}

int KillConverTask(void* task)
{
    return killTask(task) ? CR_OK : CR_BAD_ARGS;
}

void DestroyConvertTask(void** task)
{
    if (!task)
        return;
    releaseTask(*task);
    *task = nullptr;
}
