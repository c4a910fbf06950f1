#include "tools/fontgen/pcf_font.h"

#include <zlib.h>

#include <memory>
#include <utility>

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

// The table of contents after the file's magic number.
bool ReadToc(const std::vector<uint8_t>& data, std::vector<TocEntry>* toc, std::string* error) {
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
  toc->assign(tableCount, TocEntry());
  for (TocEntry& e : *toc) {
    e.type = header.Lsb32();
    e.format = header.Lsb32();
    e.size = header.Lsb32();
    e.offset = header.Lsb32();
  }
  if (!header.ok()) {
    *error = "truncated table of contents";
    return false;
  }
  return true;
}

// Font ascent and descent: from the BDF accelerators if present, else the plain ones.
bool ReadAccelerators(const std::vector<uint8_t>& data, const std::vector<TocEntry>& toc,
                      int* ascent, int* descent, std::string* error) {
  const TocEntry* accel = FindTable(toc, kPcfBdfAccelerators);
  if (!accel)
    accel = FindTable(toc, kPcfAccelerators);
  if (!accel) {
    *error = "no accelerator table";
    return false;
  }
  uint32_t format = 0;
  TableReader r = OpenTable(data, *accel, &format);
  const uint32_t kind = format & kFormatMask;
  if (kind != kDefaultFormat && kind != kAccelWithInkBounds) {
    *error = "unknown accelerator format";
    return false;
  }
  r.Skip(8);  // flags: overlap, constant metrics, terminal font, ... padding
  *ascent = r.I32();
  *descent = r.I32();
  if (!r.ok()) {
    *error = "truncated accelerator table";
    return false;
  }
  return true;
}

// Metrics of every glyph, in the compressed (one byte each) or the full form.
bool ReadGlyphMetrics(TableReader& r, uint32_t kind, std::vector<PcfGlyph>* glyphs,
                      std::string* error) {
  if (kind == kCompressedMetrics) {
    const int count = uint16_t(r.I16());
    glyphs->resize(size_t(count));
    for (PcfGlyph& g : *glyphs) {
      g.left = int(r.U8()) - 0x80;
      g.right = int(r.U8()) - 0x80;
      g.advance = int(r.U8()) - 0x80;
      g.ascent = int(r.U8()) - 0x80;
      g.descent = int(r.U8()) - 0x80;
    }
    return true;
  }
  if (kind == kDefaultFormat) {
    const int32_t count = r.I32();
    if (count < 0 || count > 0x10000) {
      *error = "implausible glyph count";
      return false;
    }
    glyphs->resize(size_t(count));
    for (PcfGlyph& g : *glyphs) {
      g.left = r.I16();
      g.right = r.I16();
      g.advance = r.I16();
      g.ascent = r.I16();
      g.descent = r.I16();
      r.I16();  // attributes
    }
    return true;
  }
  *error = "unknown metrics format";
  return false;
}

bool ReadMetrics(const std::vector<uint8_t>& data, const std::vector<TocEntry>& toc,
                 std::vector<PcfGlyph>* glyphs, std::string* error) {
  const TocEntry* metrics = FindTable(toc, kPcfMetrics);
  if (!metrics) {
    *error = "no metrics table";
    return false;
  }
  uint32_t format = 0;
  TableReader r = OpenTable(data, *metrics, &format);
  if (!ReadGlyphMetrics(r, format & kFormatMask, glyphs, error))
    return false;
  if (!r.ok()) {
    *error = "truncated metrics table";
    return false;
  }
  for (const PcfGlyph& g : *glyphs) {
    if (g.InkWidth() < 0 || g.InkHeight() < 0 || g.InkWidth() > 256 || g.InkHeight() > 256) {
      *error = "implausible glyph metrics";
      return false;
    }
  }
  return true;
}

// How the bitmap table's rows are stored.
struct BitmapLayout {
  uint32_t pad;   // row padding in bytes
  uint32_t unit;  // scan unit in bytes
  bool msbBits;
  bool msbBytes;
};

// One glyph's rows unpacked to one byte per pixel.
void UnpackGlyph(const uint8_t* packed, uint32_t rowBytes, const BitmapLayout& layout,
                 PcfGlyph* g) {
  const int w = g->InkWidth(), h = g->InkHeight();
  // Bring the rows into most-significant-bit-first byte order first.
  std::vector<uint8_t> rows(packed, packed + size_t(rowBytes) * size_t(h));
  if (!layout.msbBits)
    for (uint8_t& b : rows)
      b = ReverseBits(b);
  if (layout.msbBits != layout.msbBytes && layout.unit > 1) {
    for (size_t at = 0; at + layout.unit <= rows.size(); at += layout.unit)
      for (uint32_t k = 0; k < layout.unit / 2; ++k)
        std::swap(rows[at + k], rows[at + layout.unit - 1 - k]);
  }
  g->ink.assign(size_t(w) * size_t(h), 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      g->ink[size_t(y) * size_t(w) + size_t(x)] =
          (rows[size_t(y) * rowBytes + size_t(x) / 8] >> (7 - x % 8)) & 1;
}

// Glyph bitmaps, unpacked to one byte per pixel.
bool ReadBitmaps(const std::vector<uint8_t>& data, const std::vector<TocEntry>& toc,
                 std::vector<PcfGlyph>* glyphs, std::string* error) {
  const TocEntry* bitmaps = FindTable(toc, kPcfBitmaps);
  if (!bitmaps) {
    *error = "no bitmap table";
    return false;
  }
  uint32_t format = 0;
  TableReader r = OpenTable(data, *bitmaps, &format);
  if ((format & kFormatMask) != kDefaultFormat) {
    *error = "unknown bitmap format";
    return false;
  }
  const int32_t count = r.I32();
  if (count != int32_t(glyphs->size())) {
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
  const BitmapLayout layout{1u << padIndex, 1u << ((format >> 4) & 3), (format & kBitOrderMsb) != 0,
                            (format & kByteOrderMsb) != 0};
  const uint8_t* all = r.Bytes(sizes[padIndex]);
  if (!r.ok() || !all) {
    *error = "truncated bitmap table";
    return false;
  }
  for (size_t i = 0; i < glyphs->size(); ++i) {
    PcfGlyph& g = (*glyphs)[i];
    const uint32_t rowBytes =
        ((uint32_t(g.InkWidth()) + 7) / 8 + layout.pad - 1) / layout.pad * layout.pad;
    if (offsets[i] > sizes[padIndex] ||
        uint64_t(rowBytes) * uint32_t(g.InkHeight()) > sizes[padIndex] - offsets[i]) {
      *error = "glyph bitmap outside its table";
      return false;
    }
    UnpackGlyph(all + offsets[i], rowBytes, layout, &g);
  }
  return true;
}

// The code-to-glyph map: a range of encoding rows and columns, and a glyph
// (or 0xFFFF for none) for each cell.
struct EncodingTable {
  int firstCol = 0, lastCol = -1, firstRow = 0, lastRow = -1;
  std::vector<uint16_t> glyphIndex;
};

// Character codes to glyphs.
bool ReadEncodings(const std::vector<uint8_t>& data, const std::vector<TocEntry>& toc,
                   size_t glyphCount, EncodingTable* table, std::string* error) {
  const TocEntry* encodings = FindTable(toc, kPcfBdfEncodings);
  if (!encodings) {
    *error = "no encoding table";
    return false;
  }
  uint32_t format = 0;
  TableReader r = OpenTable(data, *encodings, &format);
  if ((format & kFormatMask) != kDefaultFormat) {
    *error = "unknown encoding format";
    return false;
  }
  table->firstCol = r.I16();
  table->lastCol = r.I16();
  table->firstRow = r.I16();
  table->lastRow = r.I16();
  r.I16();  // default character
  if (table->firstCol < 0 || table->lastCol > 255 || table->firstRow < 0 || table->lastRow > 255 ||
      table->lastCol < table->firstCol || table->lastRow < table->firstRow) {
    *error = "implausible encoding range";
    return false;
  }
  const size_t cells =
      size_t(table->lastCol - table->firstCol + 1) * size_t(table->lastRow - table->firstRow + 1);
  table->glyphIndex.resize(cells);
  for (uint16_t& index : table->glyphIndex) {
    index = uint16_t(r.I16());
    if (index != 0xFFFF && index >= glyphCount)
      index = 0xFFFF;
  }
  if (!r.ok()) {
    *error = "truncated encoding table";
    return false;
  }
  return true;
}

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
  std::vector<TocEntry> toc;
  EncodingTable encoding;
  if (!ReadToc(data, &toc, error) ||
      !ReadAccelerators(data, toc, &m_fontAscent, &m_fontDescent, error) ||
      !ReadMetrics(data, toc, &m_glyphs, error) || !ReadBitmaps(data, toc, &m_glyphs, error) ||
      !ReadEncodings(data, toc, m_glyphs.size(), &encoding, error))
    return false;
  m_firstCol = encoding.firstCol;
  m_lastCol = encoding.lastCol;
  m_firstRow = encoding.firstRow;
  m_lastRow = encoding.lastRow;
  m_glyphIndex = std::move(encoding.glyphIndex);
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
