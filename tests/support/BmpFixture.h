#pragma once

// Builds BMP files of every variant in memory, from a picture given as rows of
// colours, so that tests need no fixture files from elsewhere.

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

struct Color {
  unsigned char r = 0, g = 0, b = 0;
  friend bool operator==(const Color&, const Color&) = default;
};

using Picture = std::vector<std::vector<Color>>;  // [y][x], top row first

struct BmpLayout {
  std::uint32_t headerSize = 40;  // 12 (OS/2 1.x), 16..64 (OS/2 2.x), 40, 52, 56, 108, 124
  std::uint16_t bitCount = 24;
  std::uint32_t compression = 0;  // 0 plain, 1 RLE8, 2 RLE4, 3 bit fields
  bool topDown = false;
  std::vector<Color> palette;              // for 1, 4 and 8 bits
  std::uint32_t masks[3] = {0, 0, 0};      // red, green, blue; 0 = the default layout
  std::vector<unsigned char> rleOverride;  // replaces the encoded pixel data when set
};

class BmpFixture {
 public:
  static std::vector<unsigned char> Make(const Picture& picture, const BmpLayout& layout) {
    const int height = static_cast<int>(picture.size());
    const int width = height == 0 ? 0 : static_cast<int>(picture[0].size());
    std::vector<unsigned char> pixels;
    if (!layout.rleOverride.empty()) {
      pixels = layout.rleOverride;
    } else if (layout.compression == 1 || layout.compression == 2) {
      pixels = EncodeRle(picture, layout);
    } else {
      pixels = EncodePlain(picture, layout);
    }

    std::vector<unsigned char> header;
    const bool core = layout.headerSize == 12;
    Put32(header, layout.headerSize);
    if (core) {
      Put16(header, static_cast<std::uint32_t>(width));
      Put16(header, static_cast<std::uint32_t>(height));
      Put16(header, 1);
      Put16(header, layout.bitCount);
    } else {
      Put32(header, static_cast<std::uint32_t>(width));
      Put32(header, static_cast<std::uint32_t>(layout.topDown ? -height : height));
      Put16(header, 1);
      Put16(header, layout.bitCount);
      Put32(header, layout.compression);
      Put32(header, static_cast<std::uint32_t>(pixels.size()));
      Put32(header, 2835);
      Put32(header, 2835);
      Put32(header, static_cast<std::uint32_t>(layout.palette.size()));
      Put32(header, 0);
      if (layout.headerSize > 40 || (layout.headerSize == 40 && layout.compression == 3)) {
        Put32(header, layout.masks[0]);
        Put32(header, layout.masks[1]);
        Put32(header, layout.masks[2]);
      }
      const std::size_t total =
          layout.headerSize + (layout.headerSize == 40 && layout.compression == 3 ? 12 : 0);
      header.resize(total, 0);
    }
    for (const Color& c : layout.palette) {
      header.insert(header.end(), {c.b, c.g, c.r});
      if (!core) {
        header.push_back(0);
      }
    }

    std::vector<unsigned char> file;
    const std::uint32_t offset = static_cast<std::uint32_t>(14 + header.size());
    file.push_back('B');
    file.push_back('M');
    Put32(file, static_cast<std::uint32_t>(offset + pixels.size()));
    Put32(file, 0);
    Put32(file, offset);
    file.insert(file.end(), header.begin(), header.end());
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
  }

  static void Put16(std::vector<unsigned char>& out, std::uint32_t v) {
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
  }
  static void Put32(std::vector<unsigned char>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
  }

 private:
  static unsigned IndexOf(const BmpLayout& layout, const Color& c) {
    const auto it = std::find(layout.palette.begin(), layout.palette.end(), c);
    if (it == layout.palette.end()) {
      throw std::logic_error("colour missing from the fixture's palette");
    }
    return static_cast<unsigned>(it - layout.palette.begin());
  }

  // A channel value scaled to a mask's width, rounded.
  static std::uint32_t Field(unsigned value, std::uint32_t mask) {
    if (mask == 0) {
      return 0;
    }
    const int shift = __builtin_ctz(mask);
    const std::uint32_t max = mask >> shift;
    return ((value * max + 127) / 255) << shift;
  }

  static std::vector<unsigned char> EncodePlain(const Picture& picture, const BmpLayout& layout) {
    const std::size_t height = picture.size();
    const std::size_t width = height == 0 ? 0 : picture[0].size();
    const std::size_t stride = (width * layout.bitCount + 31) / 32 * 4;
    std::vector<unsigned char> out(stride * height, 0);
    std::uint32_t masks[3] = {layout.masks[0], layout.masks[1], layout.masks[2]};
    if (layout.compression == 0 && layout.bitCount == 16) {
      masks[0] = 0x7C00;
      masks[1] = 0x03E0;
      masks[2] = 0x001F;
    }
    for (std::size_t i = 0; i < height; ++i) {
      const std::vector<Color>& row = picture[layout.topDown ? i : height - 1 - i];
      unsigned char* dst = &out[i * stride];
      for (std::size_t x = 0; x < width; ++x) {
        const Color& c = row[x];
        switch (layout.bitCount) {
          case 1:
          case 4:
          case 8: {
            const unsigned perByte = 8 / layout.bitCount;
            const unsigned shift = 8 - layout.bitCount * (x % perByte + 1);
            dst[x / perByte] |= static_cast<unsigned char>(IndexOf(layout, c) << shift);
            break;
          }
          case 16: {
            const std::uint32_t v =
                Field(c.r, masks[0]) | Field(c.g, masks[1]) | Field(c.b, masks[2]);
            dst[2 * x] = static_cast<unsigned char>(v);
            dst[2 * x + 1] = static_cast<unsigned char>(v >> 8);
            break;
          }
          case 24:
            dst[3 * x] = c.b;
            dst[3 * x + 1] = c.g;
            dst[3 * x + 2] = c.r;
            break;
          case 32: {
            std::uint32_t v = 0xFF000000u | c.r << 16 | c.g << 8 | c.b;
            if (layout.compression == 3) {
              v = Field(c.r, masks[0]) | Field(c.g, masks[1]) | Field(c.b, masks[2]);
            }
            for (int k = 0; k < 4; ++k) {
              dst[4 * x + k] = static_cast<unsigned char>(v >> (8 * k));
            }
            break;
          }
        }
      }
    }
    return out;
  }

  // Runs of equal pixels become encoded runs, other stretches of three or more
  // pixels absolute runs.
  static std::vector<unsigned char> EncodeRle(const Picture& picture, const BmpLayout& layout) {
    const bool four = layout.compression == 2;
    std::vector<unsigned char> out;
    for (std::size_t i = 0; i < picture.size(); ++i) {
      const std::vector<Color>& row = picture[picture.size() - 1 - i];
      std::vector<unsigned> indices;
      for (const Color& c : row) {
        indices.push_back(IndexOf(layout, c));
      }
      std::size_t x = 0;
      while (x < indices.size()) {
        std::size_t run = 1;
        while (x + run < indices.size() && run < 255 && indices[x + run] == indices[x]) {
          ++run;
        }
        if (run >= 2 || indices.size() - x < 3) {
          out.push_back(static_cast<unsigned char>(run));
          out.push_back(
              static_cast<unsigned char>(four ? indices[x] << 4 | indices[x] : indices[x]));
          x += run;
          continue;
        }
        std::size_t literal = 0;
        while (x + literal < indices.size() && literal < 255 &&
               (x + literal + 1 == indices.size() ||
                indices[x + literal] != indices[x + literal + 1])) {
          ++literal;
        }
        if (literal < 3) {
          out.push_back(1);
          out.push_back(static_cast<unsigned char>(four ? indices[x] << 4 : indices[x]));
          x += 1;
          continue;
        }
        out.push_back(0);
        out.push_back(static_cast<unsigned char>(literal));
        std::vector<unsigned char> data;
        for (std::size_t k = 0; k < literal; ++k) {
          if (!four) {
            data.push_back(static_cast<unsigned char>(indices[x + k]));
          } else if (k % 2 == 0) {
            data.push_back(static_cast<unsigned char>(indices[x + k] << 4));
          } else {
            data.back() |= static_cast<unsigned char>(indices[x + k]);
          }
        }
        if (data.size() % 2) {
          data.push_back(0);
        }
        out.insert(out.end(), data.begin(), data.end());
        x += literal;
      }
      out.push_back(0);
      out.push_back(i + 1 == picture.size() ? 1 : 0);
    }
    return out;
  }
};
