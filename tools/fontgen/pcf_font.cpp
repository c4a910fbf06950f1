#include "tools/fontgen/pcf_font.h"

#include <zlib.h>

#include <memory>

namespace zdtools {
namespace {

// Table types of the file's table of contents.
constexpr uint32_t kPcfAccelerators = 1u << 1;
constexpr uint32_t kPcfMetrics = 1u << 2;
constexpr uint32_t kPcfBitmaps = 1u << 3;
constexpr uint32_t kPcfBdfEncodings = 1u << 5;
constexpr uint32_t kPcfBdfAccelerators = 1u << 8;

// Format word of each table.
constexpr uint32_t kFormatMask = 0xFFFFFF00u;
constexpr uint32_t kDefaultFormat = 0x00000000u;
constexpr uint32_t kAccelWithInkBounds = 0x00000100u;
constexpr uint32_t kCompressedMetrics = 0x00000100u;
constexpr uint32_t kByteOrderMsb = 1u << 2;
constexpr uint32_t kBitOrderMsb = 1u << 3;

// A bounds-checked reader of one table; integers follow the table's byte order.
class TableReader {
 public:
  TableReader(const std::vector<uint8_t>& data, size_t offset, size_t size)
      : m_data(data), m_pos(offset), m_end(offset) {
    // Table sizes in the table of contents may run past the end of the file
    // (the last table is often declared padded); the file's end limits them.
    if (offset > data.size()) {
      m_pos = m_end = 0;
      m_ok = false;
    } else {
      m_end = offset + (size < data.size() - offset ? size : data.size() - offset);
    }
  }

  bool ok() const { return m_ok; }
  void SetBigEndian(bool big) { m_big = big; }

  uint32_t Lsb32() {
    if (!Need(4))
      return 0;
    uint32_t v = uint32_t(m_data[m_pos]) | uint32_t(m_data[m_pos + 1]) << 8 |
                 uint32_t(m_data[m_pos + 2]) << 16 | uint32_t(m_data[m_pos + 3]) << 24;
    m_pos += 4;
    return v;
  }
  int32_t I32() {
    if (!Need(4))
      return 0;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      const uint32_t b = m_data[m_pos + size_t(i)];
      v |= m_big ? b << (8 * (3 - i)) : b << (8 * i);
    }
    m_pos += 4;
    return int32_t(v);
  }
  int16_t I16() {
    if (!Need(2))
      return 0;
    const uint32_t a = m_data[m_pos], b = m_data[m_pos + 1];
    m_pos += 2;
    return int16_t(m_big ? (a << 8 | b) : (b << 8 | a));
  }
  uint8_t U8() {
    if (!Need(1))
      return 0;
    return m_data[m_pos++];
  }
  void Skip(size_t n) {
    if (Need(n))
      m_pos += n;
  }
  const uint8_t* Bytes(size_t n) {
    if (!Need(n))
      return nullptr;
    const uint8_t* p = m_data.data() + m_pos;
    m_pos += n;
    return p;
  }

 private:
  bool Need(size_t n) {
    if (!m_ok || m_end - m_pos < n) {
      m_ok = false;
      return false;
    }
    return true;
  }
  const std::vector<uint8_t>& m_data;
  size_t m_pos;
  size_t m_end;
  bool m_big = false;
  bool m_ok = true;
};

struct TocEntry {
  uint32_t type = 0;
  uint32_t format = 0;
  uint32_t size = 0;
  uint32_t offset = 0;
};

const TocEntry* FindTable(const std::vector<TocEntry>& toc, uint32_t type) {
  for (const TocEntry& e : toc)
    if (e.type == type)
      return &e;
  return nullptr;
}

// Opens a table: reads its own format word and sets the byte order from it.
TableReader OpenTable(const std::vector<uint8_t>& data, const TocEntry& entry, uint32_t* format) {
  TableReader r(data, entry.offset, entry.size);
  *format = r.Lsb32();
  r.SetBigEndian((*format & kByteOrderMsb) != 0);
  return r;
}

uint8_t ReverseBits(uint8_t b) {
  b = uint8_t((b & 0xF0) >> 4 | (b & 0x0F) << 4);
  b = uint8_t((b & 0xCC) >> 2 | (b & 0x33) << 2);
  return uint8_t((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

struct GzCloser {
  void operator()(gzFile f) const { gzclose(f); }
};

}  // namespace

bool PcfFont::Load(const std::string& path, std::string* error) {
  // gzread passes uncompressed files through unchanged.
  std::unique_ptr<gzFile_s, GzCloser> file(gzopen(path.c_str(), "rb"));
  if (!file) {
    *error = "cannot open " + path;
    return false;
  }
  std::vector<uint8_t> data;
  uint8_t chunk[65536];
  for (;;) {
    const int n = gzread(file.get(), chunk, sizeof chunk);
    if (n < 0) {
      *error = "cannot read " + path;
      return false;
    }
    if (n == 0)
      break;
    data.insert(data.end(), chunk, chunk + n);
    if (data.size() > (64u << 20)) {
      *error = path + " is too large for a bitmap font";
      return false;
    }
  }
  return Parse(data, error);
}

bool PcfFont::Parse(const std::vector<uint8_t>& data, std::string* error) {
  m_glyphs.clear();
  m_glyphIndex.clear();
  if (data.size() < 8 || data[0] != 1 || data[1] != 'f' || data[2] != 'c' || data[3] != 'p') {
    *error = "not a PCF font";
    return false;
  }
  TableReader header(data, 0, data.size());
  header.Lsb32();
  const uint32_t tableCount = header.Lsb32();
  if (tableCount > 64) {
    *error = "implausible table count";
    return false;
  }
  std::vector<TocEntry> toc(tableCount);
  for (TocEntry& e : toc) {
    e.type = header.Lsb32();
    e.format = header.Lsb32();
    e.size = header.Lsb32();
    e.offset = header.Lsb32();
  }
  if (!header.ok()) {
    *error = "truncated table of contents";
    return false;
  }

  // Font ascent and descent: from the BDF accelerators if present, else the plain ones.
  const TocEntry* accel = FindTable(toc, kPcfBdfAccelerators);
  if (!accel)
    accel = FindTable(toc, kPcfAccelerators);
  if (!accel) {
    *error = "no accelerator table";
    return false;
  }
  {
    uint32_t format = 0;
    TableReader r = OpenTable(data, *accel, &format);
    const uint32_t kind = format & kFormatMask;
    if (kind != kDefaultFormat && kind != kAccelWithInkBounds) {
      *error = "unknown accelerator format";
      return false;
    }
    r.Skip(8);  // flags: overlap, constant metrics, terminal font, ... padding
    m_fontAscent = r.I32();
    m_fontDescent = r.I32();
    if (!r.ok()) {
      *error = "truncated accelerator table";
      return false;
    }
  }

  // Metrics of every glyph.
  const TocEntry* metrics = FindTable(toc, kPcfMetrics);
  if (!metrics) {
    *error = "no metrics table";
    return false;
  }
  {
    uint32_t format = 0;
    TableReader r = OpenTable(data, *metrics, &format);
    const uint32_t kind = format & kFormatMask;
    if (kind == kCompressedMetrics) {
      const int count = uint16_t(r.I16());
      m_glyphs.resize(size_t(count));
      for (PcfGlyph& g : m_glyphs) {
        g.left = int(r.U8()) - 0x80;
        g.right = int(r.U8()) - 0x80;
        g.advance = int(r.U8()) - 0x80;
        g.ascent = int(r.U8()) - 0x80;
        g.descent = int(r.U8()) - 0x80;
      }
    } else if (kind == kDefaultFormat) {
      const int32_t count = r.I32();
      if (count < 0 || count > 0x10000) {
        *error = "implausible glyph count";
        return false;
      }
      m_glyphs.resize(size_t(count));
      for (PcfGlyph& g : m_glyphs) {
        g.left = r.I16();
        g.right = r.I16();
        g.advance = r.I16();
        g.ascent = r.I16();
        g.descent = r.I16();
        r.I16();  // attributes
      }
    } else {
      *error = "unknown metrics format";
      return false;
    }
    if (!r.ok()) {
      *error = "truncated metrics table";
      return false;
    }
    for (const PcfGlyph& g : m_glyphs) {
      if (g.InkWidth() < 0 || g.InkHeight() < 0 || g.InkWidth() > 256 || g.InkHeight() > 256) {
        *error = "implausible glyph metrics";
        return false;
      }
    }
  }

  // Glyph bitmaps, unpacked to one byte per pixel.
  const TocEntry* bitmaps = FindTable(toc, kPcfBitmaps);
  if (!bitmaps) {
    *error = "no bitmap table";
    return false;
  }
  {
    uint32_t format = 0;
    TableReader r = OpenTable(data, *bitmaps, &format);
    if ((format & kFormatMask) != kDefaultFormat) {
      *error = "unknown bitmap format";
      return false;
    }
    const int32_t count = r.I32();
    if (count != int32_t(m_glyphs.size())) {
      *error = "bitmap and metrics tables disagree";
      return false;
    }
    std::vector<uint32_t> offsets(static_cast<size_t>(count));
    for (uint32_t& o : offsets)
      o = uint32_t(r.I32());
    uint32_t sizes[4];
    for (uint32_t& s : sizes)
      s = uint32_t(r.I32());
    const uint32_t padIndex = format & 3;
    const uint32_t pad = 1u << padIndex;              // row padding in bytes
    const uint32_t unit = 1u << ((format >> 4) & 3);  // scan unit in bytes
    const bool msbBits = (format & kBitOrderMsb) != 0;
    const bool msbBytes = (format & kByteOrderMsb) != 0;
    const uint8_t* all = r.Bytes(sizes[padIndex]);
    if (!r.ok() || !all) {
      *error = "truncated bitmap table";
      return false;
    }
    for (size_t i = 0; i < m_glyphs.size(); ++i) {
      PcfGlyph& g = m_glyphs[i];
      const int w = g.InkWidth(), h = g.InkHeight();
      const uint32_t rowBytes = ((uint32_t(w) + 7) / 8 + pad - 1) / pad * pad;
      if (offsets[i] > sizes[padIndex] ||
          uint64_t(rowBytes) * uint32_t(h) > sizes[padIndex] - offsets[i]) {
        *error = "glyph bitmap outside its table";
        return false;
      }
      // Bring the rows into most-significant-bit-first byte order first.
      std::vector<uint8_t> rows(all + offsets[i], all + offsets[i] + size_t(rowBytes) * size_t(h));
      if (!msbBits)
        for (uint8_t& b : rows)
          b = ReverseBits(b);
      if (msbBits != msbBytes && unit > 1) {
        for (size_t at = 0; at + unit <= rows.size(); at += unit)
          for (uint32_t k = 0; k < unit / 2; ++k)
            std::swap(rows[at + k], rows[at + unit - 1 - k]);
      }
      g.ink.assign(size_t(w) * size_t(h), 0);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          g.ink[size_t(y) * size_t(w) + size_t(x)] =
              (rows[size_t(y) * rowBytes + size_t(x) / 8] >> (7 - x % 8)) & 1;
    }
  }

  // Character codes to glyphs.
  const TocEntry* encodings = FindTable(toc, kPcfBdfEncodings);
  if (!encodings) {
    *error = "no encoding table";
    return false;
  }
  {
    uint32_t format = 0;
    TableReader r = OpenTable(data, *encodings, &format);
    if ((format & kFormatMask) != kDefaultFormat) {
      *error = "unknown encoding format";
      return false;
    }
    m_firstCol = r.I16();
    m_lastCol = r.I16();
    m_firstRow = r.I16();
    m_lastRow = r.I16();
    r.I16();  // default character
    if (m_firstCol < 0 || m_lastCol > 255 || m_firstRow < 0 || m_lastRow > 255 ||
        m_lastCol < m_firstCol || m_lastRow < m_firstRow) {
      *error = "implausible encoding range";
      return false;
    }
    const size_t cells = size_t(m_lastCol - m_firstCol + 1) * size_t(m_lastRow - m_firstRow + 1);
    m_glyphIndex.resize(cells);
    for (uint16_t& index : m_glyphIndex) {
      index = uint16_t(r.I16());
      if (index != 0xFFFF && index >= m_glyphs.size())
        index = 0xFFFF;
    }
    if (!r.ok()) {
      *error = "truncated encoding table";
      return false;
    }
  }
  return true;
}

const PcfGlyph* PcfFont::Find(uint32_t code) const {
  const int row = int(code >> 8), col = int(code & 0xFF);
  if (code > 0xFFFF || row < m_firstRow || row > m_lastRow || col < m_firstCol || col > m_lastCol)
    return nullptr;
  const size_t cell =
      size_t(row - m_firstRow) * size_t(m_lastCol - m_firstCol + 1) + size_t(col - m_firstCol);
  if (cell >= m_glyphIndex.size() || m_glyphIndex[cell] == 0xFFFF)
    return nullptr;
  return &m_glyphs[m_glyphIndex[cell]];
}

}  // namespace zdtools
