#pragma once
// Owners of FFmpeg's contexts, frames and packets: one generic deleter over the
// library's own free functions, one short name per kind.
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace zdanalyse {

// Calls a free function of the form void f(T**), which also nulls the pointer.
template <typename T, void (*Free)(T**)>
struct AvPointerFreer {
  void operator()(T* p) const { Free(&p); }
};

using FormatContextPtr =
    std::unique_ptr<AVFormatContext, AvPointerFreer<AVFormatContext, avformat_close_input>>;
using CodecContextPtr =
    std::unique_ptr<AVCodecContext, AvPointerFreer<AVCodecContext, avcodec_free_context>>;
using FramePtr = std::unique_ptr<AVFrame, AvPointerFreer<AVFrame, av_frame_free>>;
using PacketPtr = std::unique_ptr<AVPacket, AvPointerFreer<AVPacket, av_packet_free>>;

struct SwsFreer {
  void operator()(SwsContext* p) const { sws_freeContext(p); }
};
using SwsContextPtr = std::unique_ptr<SwsContext, SwsFreer>;

}  // namespace zdanalyse
