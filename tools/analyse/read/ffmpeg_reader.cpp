#include "tools/analyse/read/ffmpeg_reader.h"

#include <cstring>

#include "tools/analyse/read/y4m_reader.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace zdanalyse {
namespace {

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

FieldOrder FieldOrderOf(AVFieldOrder order) {
  switch (order) {
    case AV_FIELD_PROGRESSIVE:
      return FieldOrder::kProgressive;
    case AV_FIELD_TT:
    case AV_FIELD_TB:
      return FieldOrder::kTopFirst;
    case AV_FIELD_BB:
    case AV_FIELD_BT:
      return FieldOrder::kBottomFirst;
    default:
      return FieldOrder::kUnknown;
  }
}

// The luma component of an 8-bit YUV or grey format, read straight from the
// frame: plane, bytes between pixels, offset of the first. False for any other.
bool DirectLuma(const AVPixFmtDescriptor* d, int* plane, int* step, int* offset) {
  if (!d || (d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                         AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_BAYER)))
    return false;
  const AVComponentDescriptor& c = d->comp[0];
  if (c.depth != 8 || c.shift != 0)
    return false;
  *plane = c.plane;
  *step = c.step;
  *offset = c.offset;
  return true;
}

// Copies one 8-bit component of a frame into a packed plane of w x h.
void CopyComponent(const AVFrame* f, const AVComponentDescriptor& c, int32_t w, int32_t h,
                   std::vector<uint8_t>* out) {
  out->resize(size_t(w) * size_t(h));
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* src = f->data[c.plane] + ptrdiff_t(y) * f->linesize[c.plane] + c.offset;
    uint8_t* dst = out->data() + size_t(y) * size_t(w);
    if (c.step == 1) {
      std::memcpy(dst, src, size_t(w));
      continue;
    }
    for (int32_t x = 0; x < w; ++x)
      dst[x] = src[ptrdiff_t(x) * c.step];
  }
}

// The chroma of an 8-bit YUV frame, as it is stored (any subsampling).
// The range the decoder reports; the JPEG pixel formats (yuvj...) are full
// range whatever the frame says.
DeclaredRange DeclaredRangeOf(const AVFrame* f, const AVPixFmtDescriptor* d) {
  if (f->color_range == AVCOL_RANGE_JPEG || (d && std::strncmp(d->name, "yuvj", 4) == 0))
    return DeclaredRange::kFull;
  return f->color_range == AVCOL_RANGE_MPEG ? DeclaredRange::kLimited : DeclaredRange::kUnstated;
}

DeclaredMatrix DeclaredMatrixOf(AVColorSpace space) {
  switch (space) {
    case AVCOL_SPC_BT709:
      return DeclaredMatrix::kBt709;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
      return DeclaredMatrix::kBt601;
    default:
      return DeclaredMatrix::kUnstated;
  }
}

void KeepYuvColour(const AVFrame* f, const AVPixFmtDescriptor* d, LumaFrame* out) {
  out->colour = ColourLayout::kNone;
  if (d->nb_components < 3 || d->comp[1].depth != 8 || d->comp[2].depth != 8 ||
      d->comp[1].shift != 0 || d->comp[2].shift != 0)
    return;
  const int32_t cw = -((-f->width) >> d->log2_chroma_w);
  const int32_t ch = -((-f->height) >> d->log2_chroma_h);
  CopyComponent(f, d->comp[1], cw, ch, &out->cb);
  CopyComponent(f, d->comp[2], cw, ch, &out->cr);
  out->chromaWidth = cw;
  out->chromaHeight = ch;
  out->colour = ColourLayout::kYuv;
}

// The lengths a whole raw frame of the decoder's format has: its rows packed,
// or each row padded to 4 bytes as DIB rows are; FFmpeg's raw video decoder
// takes both. False for the layouts it measures otherwise: palettes, fewer
// than 8 bits a pixel, bits packed across bytes, a header before the picture.
bool RawFrameLengths(const AVCodecContext* c, int* packed, int* aligned) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(c->pix_fmt);
  if (!d ||
      (d->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL)))
    return false;
  const unsigned tag = c->codec_tag;
  if ((tag & 0xFFFFFF) == MKTAG('B', 'I', 'T', 0) || tag == MKTAG('A', 'V', '1', 'x') ||
      tag == MKTAG('A', 'V', 'u', 'p'))
    return false;
  *packed = av_image_get_buffer_size(c->pix_fmt, c->width, c->height, 1);
  *aligned = av_image_get_buffer_size(c->pix_fmt, c->width, c->height, 4);
  return *packed > 0 && *aligned >= *packed;
}

}  // namespace

bool FfmpegReader::Open(const std::string& path, std::string* error) {
  AVFormatContext* raw = nullptr;
  int rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
  if (rc < 0) {
    *error = "cannot open " + path + ": " + AvError(rc);
    return false;
  }
  m_format.reset(raw);
  rc = avformat_find_stream_info(m_format.get(), nullptr);
  if (rc < 0) {
    *error = path + ": cannot read the stream information: " + AvError(rc);
    return false;
  }
  const AVCodec* decoder = nullptr;
  m_stream = av_find_best_stream(m_format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
  if (m_stream < 0 || !decoder) {
    *error = path + ": no decodable video stream";
    return false;
  }
  const AVStream* stream = m_format->streams[m_stream];
  const AVCodecParameters* par = stream->codecpar;
  if (par->width <= 0 || par->height <= 0 || par->width > kMaxPictureSide ||
      par->height > kMaxPictureSide) {
    *error = path + ": unusable picture size " + std::to_string(par->width) + "x" +
             std::to_string(par->height);
    return false;
  }
  m_codec.reset(avcodec_alloc_context3(decoder));
  m_frame.reset(av_frame_alloc());
  m_packet.reset(av_packet_alloc());
  if (!m_codec || !m_frame || !m_packet) {
    *error = "out of memory";
    return false;
  }
  rc = avcodec_parameters_to_context(m_codec.get(), par);
  if (rc >= 0) {
    // As many decoding threads as FFmpeg chooses by default, as the ffmpeg
    // program does; frames still come out in order.
    m_codec->thread_count = 0;
    m_codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    // MJPG and raw frames are decoded one packet at a time, so that each
    // picture is known to come from the packet just inspected.
    m_inspectJpeg = decoder->id == AV_CODEC_ID_MJPEG;
    if (m_inspectJpeg || decoder->id == AV_CODEC_ID_RAWVIDEO) {
      m_codec->thread_count = 1;
      m_codec->thread_type = 0;
    }
    rc = avcodec_open2(m_codec.get(), decoder, nullptr);
  }
  // The raw decoder knows its format once open (from the codec tag, say).
  if (rc >= 0 && decoder->id == AV_CODEC_ID_RAWVIDEO)
    m_inspectRaw = RawFrameLengths(m_codec.get(), &m_rawPacked, &m_rawAligned);
  if (rc >= 0 && m_inspectJpeg) {
    m_strict.reset(avcodec_alloc_context3(decoder));
    m_strictFrame.reset(av_frame_alloc());
    rc = m_strict && m_strictFrame ? avcodec_parameters_to_context(m_strict.get(), par)
                                   : AVERROR(ENOMEM);
    if (rc >= 0) {
      m_strict->thread_count = 1;
      m_strict->err_recognition = AV_EF_EXPLODE;
      rc = avcodec_open2(m_strict.get(), decoder, nullptr);
    }
  }
  if (rc < 0) {
    *error = path + ": cannot open the " + decoder->name + " decoder: " + AvError(rc);
    return false;
  }
  m_info.container = m_format->iformat ? m_format->iformat->name : "";
  m_info.codec = decoder->name;
  const char* pixName = av_get_pix_fmt_name(AVPixelFormat(par->format));
  m_info.pixelFormat = pixName ? pixName : "unknown";
  m_info.width = par->width;
  m_info.height = par->height;
  m_info.hasFrameTimes = true;
  const AVRational rate =
      av_guess_frame_rate(m_format.get(), const_cast<AVStream*>(stream), nullptr);
  m_info.nominalRate = rate.den > 0 ? av_q2d(rate) : 0.0;
  m_info.fieldOrder = FieldOrderOf(par->field_order);
  m_info.expectedFrames = stream->nb_frames > 0 ? stream->nb_frames : 0;
  if (stream->duration > 0 && stream->duration != AV_NOPTS_VALUE)
    m_info.durationSeconds = double(stream->duration) * av_q2d(stream->time_base);
  else if (m_format->duration > 0)
    m_info.durationSeconds = double(m_format->duration) / AV_TIME_BASE;
  return true;
}

ReadStatus FfmpegReader::DecodeInspected(std::string* error) {
  for (;;) {
    int rc = av_read_frame(m_format.get(), m_packet.get());
    if (rc == AVERROR_EOF)
      return ReadStatus::kEnd;
    if (rc < 0) {
      *error = "after frame " + std::to_string(m_frameIndex) +
               ": the recording is damaged or truncated: " + AvError(rc);
      return ReadStatus::kError;
    }
    if (m_packet->stream_index != m_stream) {
      av_packet_unref(m_packet.get());
      continue;
    }
    // A raw packet the demuxer found cut short (by the end of the file) is
    // the file's damage, not the frame's: the recording is truncated.
    if (m_inspectRaw && (m_packet->flags & AV_PKT_FLAG_CORRUPT) && m_packet->size < m_rawPacked) {
      av_packet_unref(m_packet.get());
      *error = "after frame " + std::to_string(m_frameIndex) +
               ": the recording is damaged or truncated: the next frame is cut short";
      return ReadStatus::kError;
    }
    m_placeholderPts = m_packet->pts;
    m_damage = m_inspectJpeg ? InspectJpegPacket() : FitRawPacket();
    // An empty packet would end the decoder's input: it gives no picture.
    rc = m_packet->size > 0 ? avcodec_send_packet(m_codec.get(), m_packet.get())
                            : AVERROR_INVALIDDATA;
    av_packet_unref(m_packet.get());
    if (rc >= 0)
      rc = avcodec_receive_frame(m_codec.get(), m_frame.get());
    m_placeholder = rc < 0;
    // The decoder's refusal is damage too, when the structure showed none.
    if (m_placeholder && m_damage == FrameDamage::kNone)
      m_damage = FrameDamage::kCorruptData;
    return ReadStatus::kFrame;
  }
}

FrameDamage FfmpegReader::InspectJpegPacket() {
  const FrameDamage damage = InspectJpeg(m_packet->data, size_t(m_packet->size));
  return damage == FrameDamage::kNone && !StrictlyDecodes() ? FrameDamage::kCorruptData : damage;
}

// An over-long packet is cut to the frame's length; a short one is filled up
// to it with zero bytes after its own (black in RGB, luma 0 in YUV), so that
// the decoder reads nothing past the packet and the rows it holds show. The
// packet is made its own first: the demuxer's buffer may be shared.
FrameDamage FfmpegReader::FitRawPacket() {
  const int size = m_packet->size;
  if (size == 0)
    return FrameDamage::kEmpty;
  if (size == m_rawPacked || size == m_rawAligned)
    return FrameDamage::kNone;
  // Should the packet not be fitted, the decoder takes the first frame's
  // bytes of a long one and refuses a short one (a placeholder frame).
  const bool own = av_packet_make_writable(m_packet.get()) == 0;
  if (size > m_rawPacked) {
    if (own)
      av_shrink_packet(m_packet.get(), size > m_rawAligned ? m_rawAligned : m_rawPacked);
    return FrameDamage::kExtraData;
  }
  if (own && av_grow_packet(m_packet.get(), m_rawPacked - size) == 0)
    std::memset(m_packet->data + size, 0, size_t(m_rawPacked - size));
  return FrameDamage::kShortData;
}

bool FfmpegReader::StrictlyDecodes() {
  int rc = avcodec_send_packet(m_strict.get(), m_packet.get());
  if (rc >= 0)
    rc = avcodec_receive_frame(m_strict.get(), m_strictFrame.get());
  av_frame_unref(m_strictFrame.get());
  return rc >= 0;
}

void FfmpegReader::Placeholder(LumaFrame* frame) const {
  frame->Release();
  frame->width = m_info.width;
  frame->height = m_info.height;
  frame->luma.assign(size_t(m_info.width) * size_t(m_info.height), 0);
  frame->colour = ColourLayout::kNone;
  frame->hasTime = m_placeholderPts != AV_NOPTS_VALUE;
  frame->time = frame->hasTime ? av_rescale_q(m_placeholderPts,
                                              m_format->streams[m_stream]->time_base, {1, 10000000})
                               : 0;
  frame->fieldOrder = FieldOrder::kProgressive;
}

ReadStatus FfmpegReader::Decode(std::string* error) {
  if (m_inspectJpeg || m_inspectRaw)
    return DecodeInspected(error);
  for (;;) {
    int rc = avcodec_receive_frame(m_codec.get(), m_frame.get());
    if (rc == 0)
      return ReadStatus::kFrame;
    if (rc == AVERROR_EOF)
      return ReadStatus::kEnd;
    if (rc != AVERROR(EAGAIN)) {
      *error = "frame " + std::to_string(m_frameIndex) + ": cannot decode: " + AvError(rc);
      return ReadStatus::kError;
    }
    if (m_flushing) {
      return ReadStatus::kEnd;
    }
    // A packet the decoder could not take yet goes again, now that its
    // frames have been taken: dropping it would lose a frame (and with it the
    // reference of the frames after it).
    if (m_pending) {
      rc = avcodec_send_packet(m_codec.get(), m_packet.get());
      if (rc == AVERROR(EAGAIN))
        continue;
      m_pending = false;
      av_packet_unref(m_packet.get());
      if (rc < 0) {
        *error = "after frame " + std::to_string(m_frameIndex) +
                 ": the recording is damaged: " + AvError(rc);
        return ReadStatus::kError;
      }
      continue;
    }
    rc = av_read_frame(m_format.get(), m_packet.get());
    if (rc == AVERROR_EOF) {
      m_flushing = true;
      avcodec_send_packet(m_codec.get(), nullptr);
      continue;
    }
    if (rc < 0) {
      *error = "after frame " + std::to_string(m_frameIndex) +
               ": the recording is damaged or truncated: " + AvError(rc);
      return ReadStatus::kError;
    }
    if (m_packet->stream_index == m_stream)
      rc = avcodec_send_packet(m_codec.get(), m_packet.get());
    if (rc == AVERROR(EAGAIN)) {
      m_pending = true;
      continue;
    }
    av_packet_unref(m_packet.get());
    if (rc < 0 && rc != AVERROR(EAGAIN)) {
      *error = "after frame " + std::to_string(m_frameIndex) +
               ": the recording is damaged: " + AvError(rc);
      return ReadStatus::kError;
    }
  }
}

bool FfmpegReader::ToLuma(LumaFrame* out, std::string* error) {
  const AVFrame* f = m_frame.get();
  if (f->width <= 0 || f->height <= 0 || f->width > kMaxPictureSide ||
      f->height > kMaxPictureSide) {
    *error = "frame " + std::to_string(m_frameIndex) + " has an unusable size";
    return false;
  }
  out->Release();
  out->width = f->width;
  out->height = f->height;
  const AVPixelFormat format = AVPixelFormat(f->format);
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  int plane = 0, step = 0, offset = 0;
  out->colour = ColourLayout::kNone;
  out->range = DeclaredRangeOf(f, desc);
  out->matrix = DeclaredMatrixOf(f->colorspace);
  if (DirectLuma(desc, &plane, &step, &offset) && step == 1 && Lend(plane, offset, out))
    return true;
  out->luma.resize(size_t(f->width) * size_t(f->height));
  if (DirectLuma(desc, &plane, &step, &offset)) {
    for (int y = 0; y < f->height; ++y) {
      const uint8_t* src = f->data[plane] + ptrdiff_t(y) * f->linesize[plane] + offset;
      uint8_t* dst = out->luma.data() + size_t(y) * size_t(f->width);
      if (step == 1) {
        std::memcpy(dst, src, size_t(f->width));
        continue;
      }
      for (int x = 0; x < f->width; ++x)
        dst[x] = src[ptrdiff_t(x) * step];
    }
    return true;
  }
  // Everything else through libswscale: RGB kinds to B, G, R (then our luma),
  // the rest (deeper YUV) straight to grey.
  const bool rgb = desc && (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL));
  const AVPixelFormat target = rgb ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_GRAY8;
  m_sws.reset(sws_getCachedContext(m_sws.release(), f->width, f->height, format, f->width,
                                   f->height, target, SWS_POINT, nullptr, nullptr, nullptr));
  if (!m_sws) {
    *error = std::string("pixel format ") + (desc ? desc->name : "?") + " cannot be converted";
    return false;
  }
  const int bpp = rgb ? 3 : 1;
  m_converted.resize(size_t(f->width) * size_t(f->height) * size_t(bpp));
  uint8_t* dst[4] = {m_converted.data(), nullptr, nullptr, nullptr};
  int dstStride[4] = {f->width * bpp, 0, 0, 0};
  sws_scale(m_sws.get(), f->data, f->linesize, 0, f->height, dst, dstStride);
  if (!rgb) {
    out->luma = m_converted;
    return true;
  }
  const uint8_t* p = m_converted.data();
  for (uint8_t& y : out->luma) {
    y = LumaOfBgr(p[0], p[1], p[2], false);
    p += 3;
  }
  return true;
}

// The decoded picture's luma plane lent to the frame, without a copy: a new
// reference to the picture keeps it alive as long as the frame wants it.
bool FfmpegReader::Lend(int plane, int offset, LumaFrame* out) {
  AVFrame* ref = av_frame_clone(m_frame.get());
  if (!ref)
    return false;  // no memory for the reference: the luma is copied instead
  out->holder = std::shared_ptr<const void>(ref, [](const void* p) {
    AVFrame* f = static_cast<AVFrame*>(const_cast<void*>(p));
    av_frame_free(&f);
  });
  out->lent = ref->data[plane] + offset;
  out->lentStride = ref->linesize[plane];
  return true;
}

void FfmpegReader::Colour(LumaFrame* out) {
  const AVFrame* f = m_frame.get();
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(f->format));
  int plane = 0, step = 0, offset = 0;
  if (DirectLuma(desc, &plane, &step, &offset)) {
    KeepYuvColour(f, desc, out);
  } else if (desc && (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL))) {
    out->bgr = m_converted;
    out->colour = ColourLayout::kBgr;
  }
}

bool FfmpegReader::AddColour(LumaFrame* frame) {
  if (!m_held || frame->width != m_frame->width || frame->height != m_frame->height)
    return false;
  Colour(frame);
  return frame->colour != ColourLayout::kNone;
}

ReadStatus FfmpegReader::Next(LumaFrame* frame, std::string* error) {
  m_held = false;
  if (m_ended)
    return ReadStatus::kEnd;
  const ReadStatus status = Decode(error);
  if (status != ReadStatus::kFrame) {
    m_ended = status == ReadStatus::kEnd;
    return status;
  }
  frame->damage = m_damage;
  if (m_placeholder) {
    Placeholder(frame);
    ++m_frameIndex;
    return ReadStatus::kFrame;
  }
  if (!ToLuma(frame, error))
    return ReadStatus::kError;
  if (m_keepColour)
    Colour(frame);
  const int64_t stamp = m_frame->best_effort_timestamp;
  frame->hasTime = stamp != AV_NOPTS_VALUE;
  frame->time = frame->hasTime
                    ? av_rescale_q(stamp, m_format->streams[m_stream]->time_base, {1, 10000000})
                    : 0;
  frame->fieldOrder = !m_frame->interlaced_frame ? FieldOrder::kProgressive
                      : m_frame->top_field_first ? FieldOrder::kTopFirst
                                                 : FieldOrder::kBottomFirst;
  // The decoded frame stays until the next one, for AddColour.
  m_held = true;
  ++m_frameIndex;
  return ReadStatus::kFrame;
}

}  // namespace zdanalyse
