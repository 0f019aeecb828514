// Draws the program's pictures into a directory:
//   logo.bmp (101), wait.bmp (103), ok.bmp (104), ng.bmp (105), no_device.bmp (106),
//   unconfirmed.bmp (107), open_folder.bmp (109), incomplete.bmp (110), qtr5-download.ico (108, 16
//   and 32 px) and qtr5-download-<N>.png (the desktop icon in 16, 32, 48 and 64 px).
// The state pictures fit the 116 x 40 dialog-unit picture button (174 x 65 px
// with the Windows dialog font); the folder fits the 15 x 15 browse button.
// Usage: make-pictures OUTPUT_DIRECTORY
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "tools/make-pictures/canvas.h"
#include "tools/make-pictures/pixel_font.h"

namespace pictures {
namespace {

constexpr int kPictureWidth = 174;
constexpr int kPictureHeight = 65;
constexpr int kSamples = 4;  // 4 x 4 samples per pixel for smooth edges

const Rgb kBlack{0, 0, 0};
const Rgb kGreen{64, 255, 96};
const Rgb kRed{255, 48, 32};
const Rgb kAmber{255, 176, 0};
const Rgb kButtonFace{240, 240, 240};

Rgb Scale(Rgb c, int num, int den) {
  return Rgb{static_cast<std::uint8_t>(c.r * num / den), static_cast<std::uint8_t>(c.g * num / den),
             static_cast<std::uint8_t>(c.b * num / den)};
}

Rgb Mix(Rgb a, Rgb b, double t) {
  auto m = [t](int x, int y) {
    double v = x + (y - x) * t;
    if (v < 0) v = 0;
    if (v > 255) v = 255;
    return static_cast<std::uint8_t>(std::lround(v));
  };
  return Rgb{m(a.r, b.r), m(a.g, b.g), m(a.b, b.b)};
}

// Paints the shape `inside` (tested at sample points, pixel coordinates) with
// the colour `colourAt` gives for each covered pixel's centre.
void PaintShape(Canvas& canvas, const std::function<bool(double, double)>& inside,
                const std::function<Rgb(double, double)>& colourAt) {
  for (int y = 0; y < canvas.Height(); ++y) {
    for (int x = 0; x < canvas.Width(); ++x) {
      int hits = 0;
      for (int sy = 0; sy < kSamples; ++sy)
        for (int sx = 0; sx < kSamples; ++sx)
          if (inside(x + (sx + 0.5) / kSamples, y + (sy + 0.5) / kSamples)) ++hits;
      if (hits > 0)
        canvas.Blend(x, y, colourAt(x + 0.5, y + 0.5), hits * 255 / (kSamples * kSamples));
    }
  }
}

void PaintSolid(Canvas& canvas, const std::function<bool(double, double)>& inside, Rgb colour) {
  PaintShape(canvas, inside, [colour](double, double) { return colour; });
}

// A dot-matrix display: every cell of the grid is a round dot, dimly lit
// where the text has no pixel, bright where it has one. A '\n' in `text`
// starts a second line, each line centred.
Canvas DotMatrix(std::string_view text, Rgb lit, int pitch) {
  const std::size_t newline = text.find('\n');
  const std::string_view lines[2] = {text.substr(0, newline), newline == std::string_view::npos
                                                                  ? std::string_view()
                                                                  : text.substr(newline + 1)};
  const int lineCount = lines[1].empty() ? 1 : 2;
  constexpr int kLineGap = 2;
  Canvas canvas(kPictureWidth, kPictureHeight, kBlack);
  const int columns = kPictureWidth / pitch;
  const int rows = kPictureHeight / pitch;
  const int originX = (kPictureWidth - columns * pitch) / 2;
  const int originY = (kPictureHeight - rows * pitch) / 2;
  const int textY = (rows - (lineCount * kGlyphHeight + (lineCount - 1) * kLineGap)) / 2;
  const double radius = pitch * 0.45;
  const Rgb unlit = Scale(lit, 1, 7);

  auto isLit = [&](int column, int row) {
    const int line = (row - textY) / (kGlyphHeight + kLineGap);
    if (row < textY || line >= lineCount) return false;
    const std::string_view shown = lines[line];
    const int gx = column - (columns - TextWidth(shown)) / 2;
    const int gy = row - textY - line * (kGlyphHeight + kLineGap);
    if (gx < 0 || gy >= kGlyphHeight || gx >= TextWidth(shown)) return false;
    const int index = gx / (kGlyphWidth + 1);
    const int inGlyph = gx % (kGlyphWidth + 1);
    if (inGlyph == kGlyphWidth) return false;
    const auto* glyph = Glyph(shown[static_cast<std::size_t>(index)]);
    return glyph != nullptr && (*glyph)[static_cast<std::size_t>(gy)][inGlyph] == '#';
  };
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      const double cx = originX + column * pitch + pitch / 2.0;
      const double cy = originY + row * pitch + pitch / 2.0;
      const bool on = isLit(column, row);
      for (int y = originY + row * pitch; y < originY + (row + 1) * pitch; ++y) {
        for (int x = originX + column * pitch; x < originX + (column + 1) * pitch; ++x) {
          int hits = 0;
          for (int sy = 0; sy < kSamples; ++sy) {
            for (int sx = 0; sx < kSamples; ++sx) {
              const double dx = x + (sx + 0.5) / kSamples - cx;
              const double dy = y + (sy + 0.5) / kSamples - cy;
              if (dx * dx + dy * dy <= radius * radius) ++hits;
            }
          }
          if (hits == 0) continue;
          // A lit dot is brightest at its centre.
          const double d =
              std::sqrt((x + 0.5 - cx) * (x + 0.5 - cx) + (y + 0.5 - cy) * (y + 0.5 - cy));
          const Rgb colour = on ? Mix(lit, Rgb{255, 255, 255}, d < radius / 3 ? 0.35 : 0.0) : unlit;
          canvas.Blend(x, y, colour, hits * 255 / (kSamples * kSamples));
        }
      }
    }
  }
  return canvas;
}

// Blocky text: each font pixel becomes a `scale` x `scale` square.
void DrawText(Canvas& canvas, std::string_view text, int left, int top, int scale, Rgb colour) {
  int x = left;
  for (char c : text) {
    if (const auto* glyph = Glyph(c)) {
      for (int gy = 0; gy < kGlyphHeight; ++gy)
        for (int gx = 0; gx < kGlyphWidth; ++gx)
          if ((*glyph)[static_cast<std::size_t>(gy)][gx] == '#')
            canvas.FillRect(x + gx * scale, top + gy * scale, scale, scale, colour);
    }
    x += (kGlyphWidth + 1) * scale;
  }
}

// The colours of a pressed disc: silver with two rainbow sheens opposite each
// other, from the "diamond angle" (no trigonometry, so the result is exact).
Rgb DiscColour(double dx, double dy, double radius) {
  const double ax = dx < 0 ? -dx : dx;
  const double ay = dy < 0 ? -dy : dy;
  double t = (ax + ay) == 0 ? 0 : dy / (ax + ay);  // -1 .. 1
  if (dx < 0) t = 2 - t;                           // -1 .. 3 around the disc
  double phase = (t + 1) / 2;                      // 0 .. 2: two turns of colour
  while (phase >= 1) phase -= 1;
  const Rgb rainbow[] = {{255, 96, 96},  {255, 224, 96},  {96, 255, 128},
                         {96, 192, 255}, {176, 112, 255}, {255, 96, 96}};
  const double h = phase * 5;
  const int i = static_cast<int>(h);
  const Rgb hue = Mix(rainbow[i], rainbow[i + 1], h - i);
  const double r = std::sqrt(dx * dx + dy * dy) / radius;
  // Strongest sheen in a band across the middle of the data area.
  double sheen = 1 - (t < 1 ? (t < 0 ? -t : t) : (2 - t < 0 ? t - 2 : 2 - t));
  sheen = sheen * (0.25 + 0.45 * r);
  return Mix(Rgb{200, 204, 214}, hue, sheen);
}

void DrawDisc(Canvas& canvas, double cx, double cy, double radius) {
  const double hub = radius * 0.36;
  const double hole = radius * 0.14;
  auto dist2 = [=](double x, double y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy); };
  // Rim shadow, data area, clear hub ring, hole.
  PaintSolid(
      canvas,
      [&](double x, double y) {
        const double d = dist2(x, y);
        return d <= radius * radius && d >= hole * hole;
      },
      Rgb{110, 114, 124});
  PaintShape(
      canvas,
      [&](double x, double y) {
        const double d = dist2(x, y);
        return d <= (radius - 1) * (radius - 1) && d >= hub * hub;
      },
      [&](double x, double y) { return DiscColour(x - cx, y - cy, radius); });
  PaintSolid(
      canvas,
      [&](double x, double y) {
        const double d = dist2(x, y);
        return d < hub * hub && d >= (hub - 1) * (hub - 1);
      },
      Rgb{150, 154, 164});
  PaintSolid(
      canvas,
      [&](double x, double y) {
        const double d = dist2(x, y);
        return d < (hub - 1) * (hub - 1) && d >= hole * hole;
      },
      Rgb{228, 232, 240});
}

Canvas Logo() {
  Canvas canvas(kPictureWidth, kPictureHeight);
  for (int y = 0; y < kPictureHeight; ++y)  // night-blue to black
    canvas.FillRect(0, y, kPictureWidth, 1, Mix(Rgb{16, 32, 72}, kBlack, y / 64.0));
  DrawDisc(canvas, 30, 32.5, 26.5);

  const int areaLeft = 60;
  const int areaWidth = kPictureWidth - areaLeft - 2;
  const int bigLeft = areaLeft + (areaWidth - TextWidth("QTR5") * 4) / 2;
  DrawText(canvas, "QTR5", bigLeft + 2, 9 + 2, 4, Rgb{0, 0, 0});  // shadow
  DrawText(canvas, "QTR5", bigLeft, 9, 4, Rgb{236, 240, 248});
  canvas.FillRect(areaLeft + 4, 41, areaWidth - 8, 1, Rgb{64, 160, 96});
  const int smallLeft = areaLeft + (areaWidth - TextWidth("XPM-3177K") * 2) / 2;
  DrawText(canvas, "XPM-3177K", smallLeft, 45, 2, kGreen);
  return canvas;
}

// The browse button's open folder, on the button face colour.
Canvas OpenFolder() {
  // clang-format off
  const char* art[16] = {
      "................",
      "................",
      "................",
      ".####...........",
      "#bbbb#..........",
      "#bbbbb#######...",
      "#bbbbbbbbbbbb#..",
      "#bbbbbbbbbbbb#..",
      "#bbb###########.",
      "#bb#ffffffffff#.",
      "#b#ffffffffff#..",
      "#b#ffffffffff#..",
      "##ffffffffff#...",
      "##ffffffffff#...",
      "############....",
      "................",
  };
  // clang-format on
  Canvas canvas(16, 16, kButtonFace);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      switch (art[y][x]) {
        case '#':
          canvas.Set(x, y, Rgb{120, 80, 8});
          break;
        case 'b':
          canvas.Set(x, y, Rgb{216, 164, 40});
          break;
        case 'f':
          canvas.Set(x, y, y == 9 ? Rgb{255, 244, 176} : Rgb{255, 220, 96});
          break;
        default:
          break;
      }
    }
  }
  return canvas;
}

// The program icon: the disc with a green arrow pointing down into it.
Canvas Icon(int size) {
  Canvas canvas(size, size);
  canvas.ClearToTransparent();
  const double s = size / 32.0;
  DrawDisc(canvas, 16 * s, 16 * s, 15.5 * s);
  auto arrow = [s](double x, double y, double grow) {
    x /= s;
    y /= s;
    const bool shaft = x >= 19.5 - grow && x <= 25.5 + grow && y >= 12 - grow && y <= 21;
    const double half = 7.5 + grow - (y - 20) * 0.83;  // head from y 20 to its tip near 29
    const bool head = y >= 20 - grow && x >= 22.5 - half && x <= 22.5 + half;
    return shaft || head;
  };
  PaintSolid(
      canvas, [&](double x, double y) { return arrow(x, y, 1.2); }, Rgb{0, 64, 16});
  PaintSolid(
      canvas, [&](double x, double y) { return arrow(x, y, 0); }, Rgb{48, 224, 88});
  return canvas;
}

bool Write(const std::string& dir, const char* name, const std::vector<std::uint8_t>& bytes) {
  const std::string path = dir + "/" + name;
  if (WriteFile(path, bytes)) return true;
  std::fprintf(stderr, "make-pictures: cannot write %s\n", path.c_str());
  return false;
}

}  // namespace
}  // namespace pictures

int main(int argc, char** argv) {
  using namespace pictures;
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-pictures OUTPUT_DIRECTORY\n");
    return 2;
  }
  const std::string dir = argv[1];
  bool ok = Write(dir, "logo.bmp", EncodeBmp(Logo()));
  ok = Write(dir, "wait.bmp", EncodeBmp(DotMatrix("Wait !", kGreen, 4))) && ok;
  ok = Write(dir, "ok.bmp", EncodeBmp(DotMatrix("OK!", kGreen, 6))) && ok;
  ok = Write(dir, "ng.bmp", EncodeBmp(DotMatrix("NG!", kGreen, 6))) && ok;
  ok = Write(dir, "no_device.bmp", EncodeBmp(DotMatrix("No Device", kRed, 3))) && ok;
  // Amber: not a failure to retry, the drive may still be at work.
  ok = Write(dir, "unconfirmed.bmp", EncodeBmp(DotMatrix("Not\nConfirmed", kAmber, 3))) && ok;
  ok = Write(dir, "incomplete.bmp", EncodeBmp(DotMatrix("Flash\nAgain!", kRed, 3))) && ok;
  ok = Write(dir, "open_folder.bmp", EncodeBmp(OpenFolder())) && ok;
  const Canvas icon16 = Icon(16);
  const Canvas icon32 = Icon(32);
  ok = Write(dir, "qtr5-download.ico", EncodeIco({&icon16, &icon32})) && ok;
  for (int size : {16, 32, 48, 64}) {
    const std::string name = "qtr5-download-" + std::to_string(size) + ".png";
    ok = Write(dir, name.c_str(),
               EncodePng(size == 16   ? icon16
                         : size == 32 ? icon32
                                      : Icon(size))) &&
         ok;
  }
  return ok ? 0 : 1;
}
