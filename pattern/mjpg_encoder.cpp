// MJPG encoding with libjpeg-turbo's libjpeg API (see mjpg_encoder.h). The
// library reports errors through its error manager: ours keeps the message
// instead of printing it and jumps back to the call that started the work
// (setjmp/longjmp, as the library intends), whose frame holds no object with
// a destructor.
#include "pattern/mjpg_encoder.h"

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <jerror.h>
#include <jpeglib.h>

namespace {

constexpr int kStripRows = 8;  // one row of 4:2:2 MCUs: DCTSIZE rows of every component

static_assert(JMSG_LENGTH_MAX <= 200, "the message buffer holds the library's longest message");

// Studio range (Y 16..235, Cb and Cr 16..240 around 128) to the full range
// JFIF means (0..255), rounded half away from zero and held to the byte range.
struct RangeTables {
  uint8_t luma[256];
  uint8_t chroma[256];
  RangeTables() {
    for (int v = 0; v < 256; ++v) {
      const long y = std::lround((v - 16) * 255.0 / 219.0);
      const long c = 128 + std::lround((v - 128) * 255.0 / 224.0);
      luma[v] = uint8_t(y < 0 ? 0 : y > 255 ? 255 : y);
      chroma[v] = uint8_t(c < 0 ? 0 : c > 255 ? 255 : c);
    }
  }
};

const RangeTables& Tables() {
  static const RangeTables tables;
  return tables;
}

// The library's error manager with the way back and the message.
struct ErrorManager {
  jpeg_error_mgr pub;  // first: the library hands it back as jpeg_error_mgr*
  std::jmp_buf jump;
  char* message;  // 200 bytes
};

void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

void IgnoreMessage(j_common_ptr /*cinfo*/) {}
void IgnoreWarning(j_common_ptr /*cinfo*/, int /*level*/) {}

// The destination: the caller's buffer, never more.
struct Destination {
  jpeg_destination_mgr pub;  // first, as above
  uint8_t* out;
  size_t capacity;
};

void InitDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
  dest->pub.next_output_byte = dest->out;
  dest->pub.free_in_buffer = dest->capacity;
}

// The buffer is full: the JPEG does not fit, which ends the work (the
// library never gets more room, so nothing is written beyond the buffer).
boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  ERREXIT(cinfo, JERR_BUFFER_SIZE);
  return FALSE;
}

void TermDestination(j_compress_ptr /*cinfo*/) {}

// Pixel pairs of one YUY2 row into the three planes, unchanged: SSE2 where
// the build has it (every x86-64 build), else byte by byte; the same bytes
// either way.
void DeinterleaveRow(const uint8_t* s, size_t pairs, uint8_t* y, uint8_t* cb, uint8_t* cr) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i low = _mm_set1_epi16(0x00FF);
  for (; i + 16 <= pairs; i += 16) {  // 32 pixels: 64 bytes in
    const uint8_t* p = s + 4 * i;
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48));
    // Luma: the even bytes; chroma: the odd ones, U V U V ...
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y + 2 * i),
                     _mm_packus_epi16(_mm_and_si128(a, low), _mm_and_si128(b, low)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y + 2 * i + 16),
                     _mm_packus_epi16(_mm_and_si128(c, low), _mm_and_si128(d, low)));
    const __m128i uv0 = _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8));
    const __m128i uv1 = _mm_packus_epi16(_mm_srli_epi16(c, 8), _mm_srli_epi16(d, 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cb + i),
                     _mm_packus_epi16(_mm_and_si128(uv0, low), _mm_and_si128(uv1, low)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cr + i),
                     _mm_packus_epi16(_mm_srli_epi16(uv0, 8), _mm_srli_epi16(uv1, 8)));
  }
#endif
  for (; i < pairs; ++i) {
    const uint8_t* p = s + 4 * i;
    y[2 * i] = p[0];
    cb[i] = p[1];
    y[2 * i + 1] = p[2];
    cr[i] = p[3];
  }
}

}  // namespace

void Yuy2ToFullRange(uint8_t* yuy2, size_t bytes) {
  const RangeTables& t = Tables();
  for (size_t i = 0; i + 3 < bytes; i += 4) {
    yuy2[i] = t.luma[yuy2[i]];
    yuy2[i + 1] = t.chroma[yuy2[i + 1]];
    yuy2[i + 2] = t.luma[yuy2[i + 2]];
    yuy2[i + 3] = t.chroma[yuy2[i + 3]];
  }
}

struct MjpgEncoder::State {
  ErrorManager err;
  Destination dest;
  jpeg_compress_struct cinfo;
  bool created = false;
  bool ready = false;
  int32_t width = 0;
  int32_t height = 0;
  size_t lumaStride = 0;             // a row of the luma strip: the width padded to 16
  size_t chromaStride = 0;           // half of that
  std::unique_ptr<uint8_t[]> strip;  // the three planes of one strip
  JSAMPROW rows[3][kStripRows] = {};
  JSAMPARRAY planes[3] = {};

  State() {
    std::memset(&err, 0, sizeof err);
    std::memset(&dest, 0, sizeof dest);
    std::memset(&cinfo, 0, sizeof cinfo);
  }
  // Rows y0 ... y0 + 7 of the frame into the strip, in full range; rows past
  // the picture repeat its last one, columns past it its last pixel.
  void FillStrip(const uint8_t* yuy2, size_t pitch, uint32_t y0, MjpgInputRange range);
};

void MjpgEncoder::State::FillStrip(const uint8_t* yuy2, size_t pitch, uint32_t y0,
                                   MjpgInputRange range) {
  const RangeTables& t = Tables();
  const size_t pairs = size_t(width) / 2;
  for (int r = 0; r < kStripRows; ++r) {
    uint8_t* y = rows[0][r];
    uint8_t* cb = rows[1][r];
    uint8_t* cr = rows[2][r];
    const uint32_t line = y0 + uint32_t(r);
    if (line >= uint32_t(height)) {
      // Past the picture (so r > 0): the row above again.
      std::memcpy(y, rows[0][r - 1], lumaStride);
      std::memcpy(cb, rows[1][r - 1], chromaStride);
      std::memcpy(cr, rows[2][r - 1], chromaStride);
      continue;
    }
    const uint8_t* s = yuy2 + size_t(line) * pitch;
    if (range == MjpgInputRange::kFull) {
      DeinterleaveRow(s, pairs, y, cb, cr);
    } else {
      for (size_t i = 0; i < pairs; ++i, s += 4) {
        y[2 * i] = t.luma[s[0]];
        cb[i] = t.chroma[s[1]];
        y[2 * i + 1] = t.luma[s[2]];
        cr[i] = t.chroma[s[3]];
      }
    }
    std::memset(y + 2 * pairs, y[2 * pairs - 1], lumaStride - 2 * pairs);
    std::memset(cb + pairs, cb[pairs - 1], chromaStride - pairs);
    std::memset(cr + pairs, cr[pairs - 1], chromaStride - pairs);
  }
}

MjpgEncoder::MjpgEncoder() = default;

MjpgEncoder::~MjpgEncoder() {
  Release();
}

bool MjpgEncoder::ready() const {
  return m_state && m_state->ready;
}

const char* MjpgEncoder::LastError() const {
  return m_error;
}

void MjpgEncoder::Release() {
  if (m_state && m_state->created)
    jpeg_destroy_compress(&m_state->cinfo);
  m_state.reset();
}

namespace {

// The compressor's settings: set once per stream; every frame keeps them.
// May leave through the error manager's jump.
void Configure(jpeg_compress_struct* cinfo, int32_t width, int32_t height, int32_t quality) {
  cinfo->image_width = JDIMENSION(width);
  cinfo->image_height = JDIMENSION(height);
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_YCbCr;
  jpeg_set_defaults(cinfo);  // JFIF, baseline, standard Huffman tables
  jpeg_set_colorspace(cinfo, JCS_YCbCr);
  cinfo->raw_data_in = TRUE;  // the planes as they are: no colour conversion, no downsampling
  cinfo->dct_method = JDCT_ISLOW;
  cinfo->optimize_coding = FALSE;
  cinfo->arith_code = FALSE;
  cinfo->restart_interval = 0;
  cinfo->restart_in_rows = 0;
  cinfo->comp_info[0].h_samp_factor = 2;
  cinfo->comp_info[0].v_samp_factor = 1;
  for (int c = 1; c < 3; ++c) {
    cinfo->comp_info[c].h_samp_factor = 1;
    cinfo->comp_info[c].v_samp_factor = 1;
  }
  jpeg_set_quality(cinfo, quality, TRUE);  // 8-bit tables: baseline
}

}  // namespace

bool MjpgEncoder::Prepare(int32_t width, int32_t height, int32_t quality) {
  Release();
  m_error[0] = '\0';
  // JPEG sizes end at 65535; the frame's sizes are even.
  if (width < 2 || height < 2 || width % 2 != 0 || height % 2 != 0 || width > 65535 ||
      height > 65535) {
    std::snprintf(m_error, sizeof m_error, "no MJPG frames of %dx%d", int(width), int(height));
    return false;
  }
  m_state.reset(new (std::nothrow) State);
  if (m_state) {
    m_state->lumaStride = (size_t(width) + 15u) / 16u * 16u;
    m_state->chromaStride = m_state->lumaStride / 2;
    m_state->strip.reset(
        new (std::nothrow) uint8_t[(m_state->lumaStride + 2 * m_state->chromaStride) * kStripRows]);
  }
  if (!m_state || !m_state->strip) {
    std::snprintf(m_error, sizeof m_error, "out of memory");
    Release();
    return false;
  }
  State& s = *m_state;
  s.width = width;
  s.height = height;
  uint8_t* at = s.strip.get();
  for (int c = 0; c < 3; ++c) {
    const size_t stride = c == 0 ? s.lumaStride : s.chromaStride;
    for (int r = 0; r < kStripRows; ++r, at += stride)
      s.rows[c][r] = at;
    s.planes[c] = s.rows[c];
  }

  s.cinfo.err = jpeg_std_error(&s.err.pub);
  s.err.pub.error_exit = ErrorExit;
  s.err.pub.output_message = IgnoreMessage;
  s.err.pub.emit_message = IgnoreWarning;
  s.err.message = m_error;
  if (setjmp(s.err.jump)) {
    Release();
    return false;
  }
  jpeg_create_compress(&s.cinfo);
  s.created = true;
  s.dest.pub.init_destination = InitDestination;
  s.dest.pub.empty_output_buffer = EmptyOutputBuffer;
  s.dest.pub.term_destination = TermDestination;
  s.cinfo.dest = &s.dest.pub;
  Configure(&s.cinfo, width, height, ClampJpegQuality(quality));
  s.ready = true;
  return true;
}

uint32_t MjpgEncoder::Encode(const uint8_t* yuy2, size_t pitch, uint8_t* out, size_t capacity,
                             MjpgInputRange range) {
  m_error[0] = '\0';
  if (!ready()) {
    std::snprintf(m_error, sizeof m_error, "the encoder is not prepared");
    return 0;
  }
  State& s = *m_state;
  if (!yuy2 || !out || pitch < size_t(s.width) * 2 || capacity == 0) {
    std::snprintf(m_error, sizeof m_error, "no frame or no buffer to encode into");
    return 0;
  }
  s.dest.out = out;
  s.dest.capacity = capacity;
  if (setjmp(s.err.jump)) {
    jpeg_abort_compress(&m_state->cinfo);  // idle again, settings kept
    return 0;
  }
  jpeg_start_compress(&s.cinfo, TRUE);
  while (s.cinfo.next_scanline < s.cinfo.image_height) {
    s.FillStrip(yuy2, pitch, s.cinfo.next_scanline, range);
    jpeg_write_raw_data(&s.cinfo, s.planes, kStripRows);
  }
  jpeg_finish_compress(&s.cinfo);
  return uint32_t(s.dest.capacity - s.dest.pub.free_in_buffer);
}
