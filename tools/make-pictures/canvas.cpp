#include "tools/make-pictures/canvas.h"

#include <cstdio>

namespace pictures {
namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
  out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

void Put32Be(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// BITMAPINFOHEADER; `heightField` is doubled for icon images (XOR + AND mask).
void PutInfoHeader(std::vector<std::uint8_t>& out, int width, int heightField, int bits,
                   std::uint32_t imageSize) {
  Put32(out, 40);
  Put32(out, static_cast<std::uint32_t>(width));
  Put32(out, static_cast<std::uint32_t>(heightField));
  Put16(out, 1);  // planes
  Put16(out, static_cast<std::uint32_t>(bits));
  Put32(out, 0);  // BI_RGB
  Put32(out, imageSize);
  Put32(out, 3780);  // 96 dpi in pixels per metre
  Put32(out, 3780);
  Put32(out, 0);
  Put32(out, 0);
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutChunk(std::vector<std::uint8_t>& out, const char* type,
              const std::vector<std::uint8_t>& data) {
  Put32Be(out, static_cast<std::uint32_t>(data.size()));
  std::vector<std::uint8_t> typed(type, type + 4);
  typed.insert(typed.end(), data.begin(), data.end());
  out.insert(out.end(), typed.begin(), typed.end());
  Put32Be(out, Crc32(typed.data(), typed.size()));
}

}  // namespace

Canvas::Canvas(int width, int height, Rgb fill)
    : width_(width),
      height_(height),
      pixels_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill),
      alpha_(pixels_.size(), 255) {}

void Canvas::Blend(int x, int y, Rgb colour, int coverage) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_ || coverage <= 0) return;
  if (coverage > 255) coverage = 255;
  const std::size_t i = Index(x, y);
  Rgb& p = pixels_[i];
  const int a = alpha_[i];
  // "Over" compositing with straight colours; integer rounding throughout.
  const int outA = coverage + a * (255 - coverage) / 255;
  if (outA == 0) return;
  auto mix = [&](int src, int dst) {
    const int num = src * coverage * 255 + dst * a * (255 - coverage);
    return static_cast<std::uint8_t>((num + outA * 255 / 2) / (outA * 255));
  };
  p = Rgb{mix(colour.r, p.r), mix(colour.g, p.g), mix(colour.b, p.b)};
  alpha_[i] = static_cast<std::uint8_t>(outA);
}

void Canvas::FillRect(int x, int y, int w, int h, Rgb colour) {
  for (int yy = y; yy < y + h; ++yy)
    for (int xx = x; xx < x + w; ++xx) Set(xx, yy, colour);
}

void Canvas::ClearToTransparent() {
  for (auto& a : alpha_) a = 0;
  for (auto& p : pixels_) p = Rgb{};
}

std::vector<std::uint8_t> EncodeBmp(const Canvas& c) {
  const std::uint32_t stride = static_cast<std::uint32_t>((c.Width() * 3 + 3) / 4 * 4);
  const std::uint32_t imageSize = stride * static_cast<std::uint32_t>(c.Height());
  std::vector<std::uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, 14 + 40 + imageSize);
  Put32(out, 0);
  Put32(out, 14 + 40);
  PutInfoHeader(out, c.Width(), c.Height(), 24, imageSize);
  for (int y = c.Height() - 1; y >= 0; --y) {
    std::size_t rowStart = out.size();
    for (int x = 0; x < c.Width(); ++x) {
      const Rgb p = c.At(x, y);
      out.push_back(p.b);
      out.push_back(p.g);
      out.push_back(p.r);
    }
    while (out.size() - rowStart < stride) out.push_back(0);
  }
  return out;
}

std::vector<std::uint8_t> EncodeIco(const std::vector<const Canvas*>& images) {
  std::vector<std::vector<std::uint8_t>> bodies;
  for (const Canvas* c : images) {
    const int w = c->Width();
    const int h = c->Height();
    const std::uint32_t maskStride = static_cast<std::uint32_t>((w + 31) / 32 * 4);
    const std::uint32_t size =
        static_cast<std::uint32_t>(w * h * 4) + maskStride * static_cast<std::uint32_t>(h);
    std::vector<std::uint8_t> body;
    PutInfoHeader(body, w, h * 2, 32, size);
    for (int y = h - 1; y >= 0; --y) {
      for (int x = 0; x < w; ++x) {
        const Rgb p = c->At(x, y);
        body.push_back(p.b);
        body.push_back(p.g);
        body.push_back(p.r);
        body.push_back(c->AlphaAt(x, y));
      }
    }
    for (int y = h - 1; y >= 0; --y) {
      std::vector<std::uint8_t> row(maskStride, 0);
      for (int x = 0; x < w; ++x)
        if (c->AlphaAt(x, y) < 128) row[static_cast<std::size_t>(x / 8)] |= 0x80 >> (x % 8);
      body.insert(body.end(), row.begin(), row.end());
    }
    bodies.push_back(std::move(body));
  }
  std::vector<std::uint8_t> out;
  Put16(out, 0);
  Put16(out, 1);  // icon
  Put16(out, static_cast<std::uint32_t>(images.size()));
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    out.push_back(static_cast<std::uint8_t>(images[i]->Width() & 0xFF));  // 256 is stored as 0
    out.push_back(static_cast<std::uint8_t>(images[i]->Height() & 0xFF));
    out.push_back(0);  // no palette
    out.push_back(0);
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, static_cast<std::uint32_t>(bodies[i].size()));
    Put32(out, offset);
    offset += static_cast<std::uint32_t>(bodies[i].size());
  }
  for (const auto& body : bodies) out.insert(out.end(), body.begin(), body.end());
  return out;
}

std::vector<std::uint8_t> EncodePng(const Canvas& c) {
  std::vector<std::uint8_t> raw;
  for (int y = 0; y < c.Height(); ++y) {
    raw.push_back(0);  // filter: none
    for (int x = 0; x < c.Width(); ++x) {
      const Rgb p = c.At(x, y);
      raw.insert(raw.end(), {p.r, p.g, p.b, c.AlphaAt(x, y)});
    }
  }
  // zlib stream of stored blocks, at most 65535 bytes each.
  std::vector<std::uint8_t> z{0x78, 0x01};
  std::size_t pos = 0;
  do {
    const std::size_t n = raw.size() - pos < 65535 ? raw.size() - pos : 65535;
    z.push_back(pos + n == raw.size() ? 1 : 0);
    Put16(z, static_cast<std::uint32_t>(n));
    Put16(z, static_cast<std::uint32_t>(~n & 0xFFFF));
    z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(pos),
             raw.begin() + static_cast<std::ptrdiff_t>(pos + n));
    pos += n;
  } while (pos < raw.size());
  std::uint32_t s1 = 1, s2 = 0;
  for (std::uint8_t b : raw) {
    s1 = (s1 + b) % 65521;
    s2 = (s2 + s1) % 65521;
  }
  Put32Be(z, (s2 << 16) | s1);

  std::vector<std::uint8_t> out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> header;
  Put32Be(header, static_cast<std::uint32_t>(c.Width()));
  Put32Be(header, static_cast<std::uint32_t>(c.Height()));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, no interlace
  PutChunk(out, "IHDR", header);
  PutChunk(out, "IDAT", z);
  PutChunk(out, "IEND", {});
  return out;
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace pictures
