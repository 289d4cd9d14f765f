#include "DeclaredPattern.h"

#include <algorithm>
#include <array>

namespace {

struct KnownLayout {
  std::array<std::uint8_t, 4> colours;
  const char* name;
};

constexpr std::array<KnownLayout, 4> kLayouts = {{
    {{0, 1, 1, 2}, "rggb"},
    {{2, 1, 1, 0}, "bggr"},
    {{1, 0, 2, 1}, "grbg"},
    {{1, 2, 0, 1}, "gbrg"},
}};

const char* ColourName(std::uint8_t colour) {
  static constexpr std::array<const char*, 7> kNames = {"red",     "green",  "blue", "cyan",
                                                        "magenta", "yellow", "white"};
  return colour < kNames.size() ? kNames[colour] : "an unknown colour";
}

DeclaredPattern Refused(std::string reason) {
  return {true, "",
          "the TIFF declares " + reason + "; only the four 2 x 2 Bayer layouts of red, " +
              "green and blue (rggb, bggr, grbg, gbrg) are demosaiced"};
}

}  // namespace

DeclaredPattern UnreadablePattern(const std::string& tagName) {
  return Refused("a colour filter pattern (" + tagName + ") whose value cannot be read");
}

DeclaredPattern PatternFromCells(unsigned rows, unsigned columns,
                                 const std::vector<std::uint8_t>& colours) {
  if (rows != 2 || columns != 2) {
    return Refused("a colour filter pattern of " + std::to_string(rows) + " x " +
                   std::to_string(columns) + " cells");
  }
  if (colours.size() < 4) {
    return Refused("a 2 x 2 colour filter pattern with " + std::to_string(colours.size()) +
                   " colours");
  }
  for (const KnownLayout& known : kLayouts) {
    if (std::equal(known.colours.begin(), known.colours.end(), colours.begin())) {
      return {true, known.name, ""};
    }
  }
  std::string named;
  for (std::size_t i = 0; i < 4; ++i) {
    named += std::string(i == 0 ? "" : ", ") + ColourName(colours[i]);
  }
  return Refused("the colour filter pattern " + named);
}

DeclaredPattern PatternFromExif(const std::vector<std::uint8_t>& value, bool bigEndian) {
  if (value.size() < 4) {
    return Refused("an EXIF colour filter pattern without its size");
  }
  const auto count = [&](std::size_t at, bool big) {
    return big ? unsigned{value[at]} << 8 | value[at + 1]
               : unsigned{value[at + 1]} << 8 | value[at];
  };
  unsigned columns = count(0, bigEndian);
  unsigned rows = count(2, bigEndian);
  const auto plausible = [](unsigned n) { return n >= 1 && n <= 16; };
  if (!plausible(columns) || !plausible(rows)) {
    columns = count(0, !bigEndian);
    rows = count(2, !bigEndian);
  }
  if (std::size_t{columns} * rows + 4 > value.size()) {
    return Refused("an EXIF colour filter pattern of " + std::to_string(rows) + " x " +
                   std::to_string(columns) + " cells in fewer bytes");
  }
  return PatternFromCells(rows, columns, {value.begin() + 4, value.end()});
}

DeclaredPattern CombinedPattern(const DeclaredPattern& tiffEp, const DeclaredPattern& exif) {
  if (!tiffEp.declared) {
    return exif;
  }
  if (!exif.declared || (tiffEp.layout == exif.layout && tiffEp.refusal == exif.refusal)) {
    return tiffEp;
  }
  return {true, "",
          "the TIFF declares two different colour filter patterns (TIFF/EP and EXIF); it is not "
          "demosaiced"};
}
