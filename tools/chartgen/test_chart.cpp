#include "tools/chartgen/test_chart.h"

#include <cstdint>

namespace zdtools {
namespace {

constexpr int kColumns = 16;  // grid cells across
constexpr int kRows = 12;     // grid cells down

struct Rgb {
  uint8_t r, g, b;
};

// Colour bars in the usual order: white, yellow, cyan, green, magenta, red, blue, black.
constexpr Rgb kBarColours[8] = {{1, 1, 1}, {1, 1, 0}, {0, 1, 1}, {0, 1, 0},
                                {1, 0, 1}, {1, 0, 0}, {0, 0, 1}, {0, 0, 0}};

// 5 x 7 label glyphs, one string of five columns per row: digits, then A to P.
constexpr const char* kLabelGlyphs[26][7] = {
    {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."},  // 0
    {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."},  // 1
    {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"},  // 2
    {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."},  // 3
    {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."},  // 4
    {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."},  // 5
    {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."},  // 6
    {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."},  // 7
    {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."},  // 8
    {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."},  // 9
    {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"},  // A
    {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."},  // B
    {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."},  // C
    {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."},  // D
    {"#####", "#....", "#....", "####.", "#....", "#....", "#####"},  // E
    {"#####", "#....", "#....", "####.", "#....", "#....", "#...."},  // F
    {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"},  // G
    {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"},  // H
    {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."},  // I
    {"..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##.."},  // J
    {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"},  // K
    {"#....", "#....", "#....", "#....", "#....", "#....", "#####"},  // L
    {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"},  // M
    {"#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#"},  // N
    {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."},  // O
    {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."},  // P
};

class Painter {
 public:
  Painter(RgbImage* image, int cellW, int cellH) : m_image(image), m_cellW(cellW), m_cellH(cellH) {}

  int CellW() const { return m_cellW; }
  int CellH() const { return m_cellH; }
  int Width() const { return m_image->width; }
  int Height() const { return m_image->height; }

  void Pixel(int x, int y, Rgb c) { m_image->Set(x, y, c.r, c.g, c.b); }

  void Fill(int x0, int y0, int w, int h, Rgb c) {
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x)
        Pixel(x, y, c);
  }

  // The rectangle of cells [col, col + cols) x [row, row + rows) in pixels.
  void CellRect(int col, int row, int cols, int rows, int* x, int* y, int* w, int* h) const {
    *x = col * m_cellW;
    *y = row * m_cellH;
    *w = cols * m_cellW;
    *h = rows * m_cellH;
  }

  // Draws a label of digits and the letters A-P at (x, y), each glyph pixel scale x scale.
  void Label(int x, int y, const char* text, int scale, Rgb c) {
    for (; *text; ++text, x += 6 * scale) {
      int index = -1;
      if (*text >= '0' && *text <= '9')
        index = *text - '0';
      if (*text >= 'A' && *text <= 'P')
        index = 10 + (*text - 'A');
      if (index < 0)
        continue;
      for (int gy = 0; gy < 7; ++gy)
        for (int gx = 0; gx < 5; ++gx)
          if (kLabelGlyphs[index][gy][gx] == '#')
            Fill(x + gx * scale, y + gy * scale, scale, scale, c);
    }
  }

 private:
  RgbImage* m_image;
  int m_cellW;
  int m_cellH;
};

uint8_t Ramp(int i, int n) {
  return uint8_t(n > 1 ? (i * 255 + (n - 1) / 2) / (n - 1) : 0);
}

// Background: a two-tone checkerboard of grid cells with a one-pixel grid line
// on the top and left edge of every cell, so the grid continues seamlessly
// from one tile to the next. Every cell carries its name (column letter A-P,
// row number 1-12), which makes the scrolling direction and speed readable.
void DrawGrid(Painter& p) {
  const int scale = p.CellW() >= 40 && p.CellH() >= 40 ? 2 : 1;
  for (int row = 0; row < kRows; ++row) {
    for (int col = 0; col < kColumns; ++col) {
      int x, y, w, h;
      p.CellRect(col, row, 1, 1, &x, &y, &w, &h);
      const uint8_t shade = (row + col) % 2 ? 64 : 40;
      p.Fill(x, y, w, h, {shade, shade, shade});
      p.Fill(x, y, w, 1, {150, 150, 150});
      p.Fill(x, y, 1, h, {150, 150, 150});
      char name[4] = {char('A' + col), 0, 0, 0};
      if (row + 1 >= 10) {
        name[1] = '1';
        name[2] = char('0' + (row + 1) % 10);
      } else {
        name[1] = char('0' + row + 1);
      }
      p.Label(x + 3, y + 3, name, scale, {200, 200, 200});
    }
  }
}

// Corner brackets in four colours (top left red, top right green, bottom left
// blue, bottom right yellow) show a mirrored or flipped picture, and the
// tile's seams.
void DrawCorners(Painter& p) {
  const int len = p.CellW() * 3 / 4, thick = 3;
  const int w = p.Width(), h = p.Height();
  const Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, yellow{255, 255, 0};
  p.Fill(0, 0, len, thick, red);
  p.Fill(0, 0, thick, len, red);
  p.Fill(w - len, 0, len, thick, green);
  p.Fill(w - thick, 0, thick, len, green);
  p.Fill(0, h - thick, len, thick, blue);
  p.Fill(0, h - len, thick, len, blue);
  p.Fill(w - len, h - thick, len, thick, yellow);
  p.Fill(w - thick, h - len, thick, len, yellow);
}

// White arrows in the middle of each edge, pointing outwards: up at the top,
// left at the left edge, and so on.
void DrawEdgeArrows(Painter& p) {
  const int size = p.CellH() / 2;  // arrow length
  const int w = p.Width(), h = p.Height();
  const Rgb white{255, 255, 255};
  for (int i = 0; i < size; ++i) {
    const int half = i;  // half-width of the arrow at distance i from its tip
    p.Fill(w / 2 - half, 4 + i, 2 * half + 1, 1, white);      // top, pointing up
    p.Fill(w / 2 - half, h - 5 - i, 2 * half + 1, 1, white);  // bottom, pointing down
    p.Fill(4 + i, h / 2 - half, 1, 2 * half + 1, white);      // left, pointing left
    p.Fill(w - 5 - i, h / 2 - half, 1, 2 * half + 1, white);  // right, pointing right
  }
}

// Rows 1 and 2, columns 2-13: 100% and 75% colour bars.
void DrawColourBars(Painter& p) {
  int x, y, w, h;
  p.CellRect(2, 1, 12, 1, &x, &y, &w, &h);
  for (int level = 0; level < 2; ++level) {
    const uint8_t on = level == 0 ? 255 : 191;
    for (int i = 0; i < 8; ++i) {
      const int x0 = x + w * i / 8, x1 = x + w * (i + 1) / 8;
      const Rgb c = {uint8_t(kBarColours[i].r * on), uint8_t(kBarColours[i].g * on),
                     uint8_t(kBarColours[i].b * on)};
      p.Fill(x0, y + level * h, x1 - x0, h, c);
    }
  }
}

// Row 3: a grey ramp from black to white, left to right. Row 9: red, green
// and blue ramps, one above the other.
void DrawHorizontalRamps(Painter& p) {
  int x, y, w, h;
  p.CellRect(2, 3, 12, 1, &x, &y, &w, &h);
  for (int i = 0; i < w; ++i) {
    const uint8_t v = Ramp(i, w);
    p.Fill(x + i, y, 1, h, {v, v, v});
  }
  p.CellRect(2, 9, 12, 1, &x, &y, &w, &h);
  const int third = h / 3;
  for (int i = 0; i < w; ++i) {
    const uint8_t v = Ramp(i, w);
    p.Fill(x + i, y, 1, third, {v, 0, 0});
    p.Fill(x + i, y + third, 1, third, {0, v, 0});
    p.Fill(x + i, y + 2 * third, 1, h - 2 * third, {0, 0, v});
  }
}

// Rows 4-7, columns 10-13: vertical ramps, top black to bottom full, in red,
// green, blue and grey.
void DrawVerticalRamps(Painter& p) {
  int x, y, w, h;
  p.CellRect(10, 4, 4, 4, &x, &y, &w, &h);
  for (int i = 0; i < h; ++i) {
    const uint8_t v = Ramp(i, h);
    const Rgb colours[4] = {{v, 0, 0}, {0, v, 0}, {0, 0, v}, {v, v, v}};
    for (int k = 0; k < 4; ++k) {
      const int x0 = x + w * k / 4, x1 = x + w * (k + 1) / 4;
      p.Fill(x0, y + i, x1 - x0, 1, colours[k]);
    }
  }
}

// Rows 4-7, columns 2-5: fine detail that any scaling, chroma subsampling or
// field mix-up smears: a one-pixel checkerboard, one-pixel vertical lines,
// one-pixel horizontal lines (every other line: one field white, the other
// black) and a two-pixel checkerboard.
void DrawFineDetail(Painter& p) {
  int x, y, w, h;
  p.CellRect(2, 4, 4, 4, &x, &y, &w, &h);
  const int hw = w / 2, hh = h / 2;
  for (int j = 0; j < h; ++j) {
    for (int i = 0; i < w; ++i) {
      const bool right = i >= hw, bottom = j >= hh;
      bool on;
      if (!right && !bottom)
        on = (i + j) % 2 == 0;
      else if (right && !bottom)
        on = i % 2 == 0;
      else if (!right && bottom)
        on = j % 2 == 0;
      else
        on = (i / 2 + j / 2) % 2 == 0;
      const uint8_t v = on ? 255 : 0;
      p.Pixel(x + i, y + j, {v, v, v});
    }
  }
}

// Row 8, columns 2-13: six near-black steps (0 to 25) and six near-white
// steps (230 to 255), which show crushed or clipped levels.
void DrawLevelSteps(Painter& p) {
  int x, y, w, h;
  p.CellRect(2, 8, 12, 1, &x, &y, &w, &h);
  for (int i = 0; i < 12; ++i) {
    const uint8_t v = uint8_t(i < 6 ? i * 5 : 230 + (i - 6) * 5);
    const int x0 = x + w * i / 12, x1 = x + w * (i + 1) / 12;
    p.Fill(x0, y, x1 - x0, h, {v, v, v});
  }
}

// Row 10, columns 2-13: black and white stripes of 8, 4, 2 and 1 pixels,
// three cells each: a frequency sweep for scaling faults.
void DrawStripes(Painter& p) {
  int x, y, w, h;
  p.CellRect(2, 10, 12, 1, &x, &y, &w, &h);
  const int widths[4] = {8, 4, 2, 1};
  for (int k = 0; k < 4; ++k) {
    const int x0 = x + w * k / 4, x1 = x + w * (k + 1) / 4;
    for (int i = x0; i < x1; ++i) {
      const uint8_t v = ((i - x0) / widths[k]) % 2 ? 0 : 255;
      p.Fill(i, y, 1, h, {v, v, v});
    }
  }
}

// A circle through the grid, centred on the picture: an ellipse means the
// picture is stretched. A cross marks the centre. Integer arithmetic keeps the
// output identical on every machine: with doubled coordinates of pixel
// centres, a pixel lies at distance d from the centre when dx2^2 + dy2^2 = 4 d^2.
void DrawCircle(Painter& p) {
  const int64_t radius = 5 * (p.CellW() < p.CellH() ? p.CellW() : p.CellH());
  const auto within = [](int64_t d2, int64_t from, int64_t to) {
    return d2 >= 4 * from * from && d2 <= 4 * to * to;
  };
  for (int y = 0; y < p.Height(); ++y) {
    for (int x = 0; x < p.Width(); ++x) {
      const int64_t dx2 = 2 * int64_t(x) + 1 - p.Width(), dy2 = 2 * int64_t(y) + 1 - p.Height();
      const int64_t d2 = dx2 * dx2 + dy2 * dy2;
      if (within(d2, radius - 1, radius + 1)) {
        p.Pixel(x, y, {255, 255, 255});  // a white ring two pixels wide...
      } else if (within(d2, radius - 2, radius + 2)) {
        p.Pixel(x, y, {0, 0, 0});  // ...edged in black, visible on white too
      }
    }
  }
  const int arm = p.CellW() / 2;
  const int mx = p.Width() / 2, my = p.Height() / 2;
  p.Fill(mx - arm, my - 1, 2 * arm, 2, {255, 255, 255});
  p.Fill(mx - 1, my - arm, 2, 2 * arm, {255, 255, 255});
}

}  // namespace

bool RenderTestChart(int width, int height, RgbImage* chart, std::string* error) {
  if (width < 160 || height < 120 || width % kColumns != 0 || height % kRows != 0 ||
      width % 2 != 0 || height % 2 != 0 || width > 8192 || height > 8192) {
    *error = "the chart size must be even, a multiple of 16 x 12 and from 160 x 120 to 8192 x 8192";
    return false;
  }
  *chart = RgbImage(width, height);
  Painter p(chart, width / kColumns, height / kRows);
  DrawGrid(p);
  DrawColourBars(p);
  DrawHorizontalRamps(p);
  DrawVerticalRamps(p);
  DrawFineDetail(p);
  DrawLevelSteps(p);
  DrawStripes(p);
  DrawCircle(p);
  DrawCorners(p);
  DrawEdgeArrows(p);
  return true;
}

}  // namespace zdtools
