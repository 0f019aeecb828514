// A small RGB canvas with the few drawing operations the program's pictures
// need, and writers for the file formats the builds consume: 24-bit Windows
// bitmaps (Qt and the Windows resource compiler), icons and PNG files.
// Everything is integer or correctly rounded floating-point arithmetic
// (+ - * / and sqrt only), so the output is the same byte for byte on every run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pictures {

struct Rgb {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  bool operator==(const Rgb&) const = default;
};

// Straight (not premultiplied) colour with coverage, for icons.
struct Rgba {
  Rgb rgb;
  std::uint8_t a = 0;
};

class Canvas {
 public:
  Canvas(int width, int height, Rgb fill = {});

  int Width() const { return width_; }
  int Height() const { return height_; }
  Rgb At(int x, int y) const { return pixels_[Index(x, y)]; }
  std::uint8_t AlphaAt(int x, int y) const { return alpha_[Index(x, y)]; }

  // Paints `colour` over the pixel with the given coverage (0..255).
  void Blend(int x, int y, Rgb colour, int coverage);
  void Set(int x, int y, Rgb colour) { Blend(x, y, colour, 255); }
  void FillRect(int x, int y, int w, int h, Rgb colour);
  // Makes every pixel transparent (alpha 0); later painting raises the alpha.
  void ClearToTransparent();

 private:
  std::size_t Index(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
           static_cast<std::size_t>(x);
  }
  int width_;
  int height_;
  std::vector<Rgb> pixels_;
  std::vector<std::uint8_t> alpha_;
};

// 24-bit bottom-up BITMAPINFOHEADER bitmap, rows padded to four bytes.
std::vector<std::uint8_t> EncodeBmp(const Canvas& canvas);
// An icon directory holding one 32-bit image per canvas (with its AND mask).
std::vector<std::uint8_t> EncodeIco(const std::vector<const Canvas*>& images);
// An RGBA PNG with stored (uncompressed) deflate blocks: no compressor needed.
std::vector<std::uint8_t> EncodePng(const Canvas& canvas);

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace pictures
