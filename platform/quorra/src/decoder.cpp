#include "decoder.h"

#include "../quorra.h"
#include "declaredsize.h"
#include "ffptr.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

namespace quorra {

namespace {

// Only the containers the library's tag reader knows; anything else (a
// playlist that points elsewhere, an image, a stream URL) is refused
// before a demuxer can act on it.
const char kFormats[] = "mp3,mov,mp4,m4a,3gp,3g2,mj2,asf,flac,tta,aiff,wav";

int interrupted(void* opaque)
{
    return static_cast<const ConvertControl*>(opaque)->killedAt(STEP_IO) ? 1 : 0;
}

// The size of a plain file; -1 for anything else; a directory opens fine
// and a FIFO blocks in open(), so neither may reach FFmpeg.
int64_t regularFileSize(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path file(path);
    if (!std::filesystem::is_regular_file(file, error))
        return -1;
    const auto size = std::filesystem::file_size(file, error);
    return error ? -1 : int64_t(size);
}

// The layout FFmpeg reports, or the usual one for that many channels when
// the file names none.
AVChannelLayout layoutOf(const AVFrame* frame)
{
    AVChannelLayout layout{};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&layout, frame->ch_layout.nb_channels);
    else
        av_channel_layout_copy(&layout, &frame->ch_layout);
    return layout;
}

class Decoder
{
public:
    Decoder(const ConvertControl& control, PcmSink& sink) : m_control(control), m_sink(sink) {}
    ~Decoder() { av_channel_layout_uninit(&m_inLayout); }

    int run(const std::string& path);

private:
    int open(const std::string& path);
    int openCodec();
    int pump();
    int decodePacket(const AVPacket* packet);
    int receiveFrames();
    int deliver(const AVFrame* frame);
    bool resamplerFits(const AVFrame* frame) const;
    int setupResampler(const AVFrame* frame);
    int convert(const uint8_t** data, int frames);
    int drain();
    int verdict() const;
    int64_t declaredFrames() const;

    const ConvertControl& m_control;
    PcmSink& m_sink;
    std::string m_path;
    InputPtr m_input;
    CodecPtr m_codec;
    ResamplerPtr m_resampler;
    PacketPtr m_packet;
    FramePtr m_frame;
    int m_stream = -1;

    // What the resampler was built for.
    int m_inRate = 0;
    int m_inFormat = AV_SAMPLE_FMT_NONE;
    AVChannelLayout m_inLayout{};

    // Fixed by the first frame and promised to the sink.
    int m_outRate = 0;
    int m_outChannels = 0;
    std::vector<int16_t> m_out;

    int64_t m_framesOut = 0;
    int64_t m_packets = 0;
    int64_t m_badPackets = 0;
};

int Decoder::run(const std::string& path)
{
    m_path = path;
    int result = open(path);
    if (result == CR_OK)
        result = openCodec();
    if (result == CR_OK)
        result = pump();
    if (result == CR_OK)
        result = drain();
    if (result == CR_OK)
        result = verdict();
    // A kill makes FFmpeg give up wherever it is, and what it gives up on
    // then looks like a broken file or one without audio: the kill is the
    // cause and is what the caller hears.
    return m_control.killed ? CR_KILLED : result;
}

int Decoder::open(const std::string& path)
{
    if (m_control.killedAt(STEP_OPEN))
        return CR_KILLED;
    const int64_t size = regularFileSize(path);
    if (size < 0)
        return CR_OPEN;
    if (isCutShort(path, size))
        return CR_BROKEN;
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        return CR_NO_MEMORY;
    raw->interrupt_callback.callback = interrupted;
    raw->interrupt_callback.opaque = const_cast<ConvertControl*>(&m_control);
    Options options;
    av_dict_set(&options.dict, "protocol_whitelist", "file", 0);
    av_dict_set(&options.dict, "format_whitelist", kFormats, 0);
    // The explicit scheme keeps a name such as "a:b.mp3" from being read as
    // a protocol.
    const std::string url = "file:" + path;
    if (avformat_open_input(&raw, url.c_str(), nullptr, &options.dict) < 0)
        return CR_OPEN; // FFmpeg has freed raw
    m_input.reset(raw);
    if (m_control.killedAt(STEP_STREAM_INFO))
        return CR_KILLED;
    if (avformat_find_stream_info(m_input.get(), nullptr) < 0)
        return CR_BROKEN;
    return CR_OK;
}

int Decoder::openCodec()
{
    if (m_control.killedAt(STEP_CODEC))
        return CR_KILLED;
    const AVCodec* decoder = nullptr;
    m_stream = av_find_best_stream(m_input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (m_stream < 0 || !decoder)
        return CR_NO_AUDIO;
    for (unsigned i = 0; i < m_input->nb_streams; ++i) {
        if (int(i) != m_stream)
            m_input->streams[i]->discard = AVDISCARD_ALL;
    }
    const AVStream* stream = m_input->streams[m_stream];
    m_codec.reset(avcodec_alloc_context3(decoder));
    m_packet.reset(av_packet_alloc());
    m_frame.reset(av_frame_alloc());
    if (!m_codec || !m_packet || !m_frame)
        return CR_NO_MEMORY;
    if (avcodec_parameters_to_context(m_codec.get(), stream->codecpar) < 0)
        return CR_NO_AUDIO;
    m_codec->pkt_timebase = stream->time_base;
    if (avcodec_open2(m_codec.get(), decoder, nullptr) < 0)
        return CR_NO_AUDIO;
    return CR_OK;
}

int Decoder::pump()
{
    for (;;) {
        if (m_control.killedAt(STEP_PACKET))
            return CR_KILLED;
        const int read = av_read_frame(m_input.get(), m_packet.get());
        if (read == AVERROR_EOF)
            return CR_OK;
        if (read < 0)
            return CR_BROKEN;
        int result = CR_OK;
        if (m_packet->stream_index == m_stream) {
            ++m_packets;
            result = decodePacket(m_packet.get());
        }
        av_packet_unref(m_packet.get());
        if (result != CR_OK)
            return result;
    }
}

// A damaged packet here and there is common in real collections and costs
// a few milliseconds of sound; it is counted and judged at the end.
int Decoder::decodePacket(const AVPacket* packet)
{
    if (avcodec_send_packet(m_codec.get(), packet) < 0) {
        ++m_badPackets;
        return CR_OK;
    }
    return receiveFrames();
}

int Decoder::receiveFrames()
{
    for (;;) {
        const int received = avcodec_receive_frame(m_codec.get(), m_frame.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
            return CR_OK;
        if (received < 0) {
            ++m_badPackets;
            return CR_OK;
        }
        const int result = deliver(m_frame.get());
        av_frame_unref(m_frame.get());
        if (result != CR_OK)
            return result;
    }
}

int Decoder::deliver(const AVFrame* frame)
{
    if (m_control.killedAt(STEP_BLOCK))
        return CR_KILLED;
    if (frame->nb_samples <= 0)
        return CR_OK;
    if (!resamplerFits(frame)) {
        const int result = setupResampler(frame);
        if (result != CR_OK)
            return result;
    }
    return convert(const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
}

bool Decoder::resamplerFits(const AVFrame* frame) const
{
    AVChannelLayout layout = layoutOf(frame);
    const bool same = m_resampler && frame->sample_rate == m_inRate && frame->format == m_inFormat
        && av_channel_layout_compare(&layout, &m_inLayout) == 0;
    av_channel_layout_uninit(&layout);
    return same;
}

// The first frame fixes the output format. A stream that changes format
// midway (rare, e.g. a chained file) is converted to that first format, so
// the sink never sees a second one.
int Decoder::setupResampler(const AVFrame* frame)
{
    if (frame->sample_rate <= 0 || frame->ch_layout.nb_channels <= 0)
        return CR_BROKEN;
    if (m_resampler) {
        const int flushed = convert(nullptr, 0);
        if (flushed != CR_OK)
            return flushed;
    } else {
        m_outRate = frame->sample_rate;
        m_outChannels = std::min(frame->ch_layout.nb_channels, 2);
        const int accepted = m_sink.format(m_outRate, m_outChannels);
        if (accepted != CR_OK)
            return accepted;
    }
    av_channel_layout_uninit(&m_inLayout);
    m_inLayout = layoutOf(frame);
    m_inRate = frame->sample_rate;
    m_inFormat = frame->format;

    AVChannelLayout outLayout{};
    av_channel_layout_default(&outLayout, m_outChannels);
    SwrContext* raw = nullptr;
    const int made = swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_S16, m_outRate, &m_inLayout,
                                         AVSampleFormat(m_inFormat), m_inRate, 0, nullptr);
    m_resampler.reset(raw);
    if (made < 0 || swr_init(m_resampler.get()) < 0) {
        m_resampler.reset();
        return CR_BROKEN;
    }
    return CR_OK;
}

// frames 0 with null data drains what the resampler holds back.
int Decoder::convert(const uint8_t** data, int frames)
{
    const int capacity = swr_get_out_samples(m_resampler.get(), frames);
    if (capacity < 0)
        return CR_BROKEN;
    if (capacity == 0)
        return CR_OK;
    m_out.resize(size_t(capacity) * size_t(m_outChannels));
    uint8_t* out = reinterpret_cast<uint8_t*>(m_out.data());
    const int converted = swr_convert(m_resampler.get(), &out, capacity, data, frames);
    if (converted < 0)
        return CR_BROKEN;
    if (converted == 0)
        return CR_OK;
    m_framesOut += converted;
    return m_sink.write(m_out.data(), converted);
}

int Decoder::drain()
{
    if (m_control.killedAt(STEP_DRAIN))
        return CR_KILLED;
    if (avcodec_send_packet(m_codec.get(), nullptr) == 0) {
        const int result = receiveFrames();
        if (result != CR_OK)
            return result;
    }
    return m_resampler ? convert(nullptr, 0) : CR_OK;
}

int64_t Decoder::declaredFrames() const
{
    const AVStream* stream = m_input->streams[m_stream];
    const AVRational perFrame{1, m_outRate};
    // A duration guessed from the bit rate says nothing about missing data.
    if (m_input->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) {
        const int64_t samples = strcmp(m_input->iformat->name, "mp3") == 0 ? declaredMp3Samples(m_path) : -1;
        const int rate = stream->codecpar->sample_rate;
        return samples > 0 && rate > 0 ? av_rescale_q(samples, AVRational{1, rate}, perFrame) : -1;
    }
    if (stream->duration > 0 && stream->duration != AV_NOPTS_VALUE)
        return av_rescale_q(stream->duration, stream->time_base, perFrame);
    if (m_input->duration > 0 && m_input->duration != AV_NOPTS_VALUE)
        return av_rescale_q(m_input->duration, AV_TIME_BASE_Q, perFrame);
    return -1;
}

// A truncated file decodes without a single error up to where it was cut;
// only the length its header promised gives it away.
int Decoder::verdict() const
{
    if (m_control.killedAt(STEP_VERDICT))
        return CR_KILLED;
    if (m_framesOut == 0)
        return CR_NO_AUDIO;
    if (m_badPackets * 10 > m_packets)
        return CR_BROKEN;
    const int64_t declared = declaredFrames();
    // Encoders count their delay and padding into the stated length.
    const int64_t codecFrames =
        m_codec->sample_rate > 0 ? av_rescale(m_codec->frame_size, m_outRate, m_codec->sample_rate) : 0;
    const int64_t slack = declared / 100 + 2 * codecFrames + m_outRate / 100;
    if (declared > 0 && m_framesOut < declared - slack)
        return CR_BROKEN;
    return CR_OK;
}

} // namespace

int decodeFile(const std::string& path, const ConvertControl& control, PcmSink& sink)
{
    Decoder decoder(control, sink);
    return decoder.run(path);
}

} // namespace quorra
