#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The colour filter pattern a TIFF declares, as both back ends read it:
// TIFF/EP's CFARepeatPatternDim (33421) with CFAPattern (33422), or EXIF's
// CFAPattern (41730). Colours are 0 red, 1 green, 2 blue (and 3 to 6 cyan,
// magenta, yellow, white, which no Bayer layout has).
struct DeclaredPattern {
  bool declared = false;
  std::string layout;   // "rggb", "bggr", "grbg" or "gbrg" when usable
  std::string refusal;  // why the pattern cannot be demosaiced, when declared and not usable
};

// A pattern of rows x columns cells, their colours row by row.
DeclaredPattern PatternFromCells(unsigned rows, unsigned columns,
                                 const std::vector<std::uint8_t>& colours);

// EXIF's value: the number of columns and of rows as two 16-bit counts
// (writers disagree on their byte order: either is taken where only one
// gives a plausible count), then the colours row by row.
DeclaredPattern PatternFromExif(const std::vector<std::uint8_t>& value, bool bigEndian);

// A pattern whose tag (named as people know it, "EXIF's CFAPattern") is in
// the file but whose value cannot be read (it lies outside the file, say):
// declared, and refused.
DeclaredPattern UnreadablePattern(const std::string& tagName);

// One declaration from the two forms: either where only one is present,
// the same where both agree; a refusal where they disagree.
DeclaredPattern CombinedPattern(const DeclaredPattern& tiffEp, const DeclaredPattern& exif);
