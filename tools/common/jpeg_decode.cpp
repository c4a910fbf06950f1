#include "tools/common/jpeg_decode.h"

#include <turbojpeg.h>

namespace zdtools {
namespace {

constexpr int kMaxSide = 16384;

// One decompressor per call: owned, and destroyed on every way out.
class Decompressor {
 public:
  Decompressor() : m_handle(tjInitDecompress()) {}
  ~Decompressor() {
    if (m_handle)
      tjDestroy(m_handle);
  }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;
  tjhandle get() const { return m_handle; }

 private:
  tjhandle m_handle;
};

// A decode that finished: cleanly, or with a warning about damaged data
// (cut short, wrong codes), whose picture is whole in size, damaged in part.
bool Finished(tjhandle tj, int result, JpegPicture* picture) {
  if (result == 0)
    return true;
  if (tjGetErrorCode(tj) != TJERR_WARNING)
    return false;
  picture->warned = true;
  return true;
}

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, bool bgr, JpegPicture* picture,
                std::string* error) {
  *picture = JpegPicture();
  if (!data || size < 4 || size > 0x7FFFFFFFu) {
    *error = "no JPEG data";
    return false;
  }
  Decompressor tj;
  if (!tj.get()) {
    *error = "cannot start the JPEG decoder";
    return false;
  }
  int w = 0, h = 0, subsamp = 0, colorspace = 0;
  if (tjDecompressHeader3(tj.get(), data, static_cast<unsigned long>(size), &w, &h, &subsamp,
                          &colorspace) != 0) {
    *error = std::string("not a JPEG: ") + tjGetErrorStr2(tj.get());
    return false;
  }
  if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide) {
    *error = "JPEG of unusable size " + std::to_string(w) + "x" + std::to_string(h);
    return false;
  }
  picture->width = w;
  picture->height = h;
  picture->luma.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
  // The luma as it is stored: decoded to one grey plane (no colour conversion).
  if (!Finished(tj.get(),
                tjDecompress2(tj.get(), data, static_cast<unsigned long>(size),
                              picture->luma.data(), w, w, h, TJPF_GRAY, TJFLAG_ACCURATEDCT),
                picture)) {
    *error = std::string("the JPEG does not decode: ") + tjGetErrorStr2(tj.get());
    return false;
  }
  if (bgr) {
    picture->bgr.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
    if (!Finished(tj.get(),
                  tjDecompress2(tj.get(), data, static_cast<unsigned long>(size),
                                picture->bgr.data(), w, w * 3, h, TJPF_BGR, TJFLAG_ACCURATEDCT),
                  picture)) {
      *error = std::string("the JPEG does not decode: ") + tjGetErrorStr2(tj.get());
      return false;
    }
  }
  return true;
}

}  // namespace zdtools
