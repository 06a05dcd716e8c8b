// Owning pointers for the FFmpeg objects the decoder holds.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

#include <memory>

namespace quorra {

struct InputCloser
{
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecFreer
{
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct ResamplerFreer
{
    void operator()(SwrContext* c) const { swr_free(&c); }
};
struct PacketFreer
{
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFreer
{
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
// avformat_open_input rewrites the dictionary, so it cannot sit in a
// unique_ptr; this frees whatever the call left in it.
struct Options
{
    AVDictionary* dict = nullptr;
    Options() = default;
    Options(const Options&) = delete;
    Options& operator=(const Options&) = delete;
    ~Options() { av_dict_free(&dict); }
};

using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;

} // namespace quorra
