#pragma once

#include <optional>
#include <span>
#include <string_view>

// The colours of a Bayer mosaic's top-left 2 x 2 cell, read row by row:
// rggb has red at (0, 0), green at (1, 0) and (0, 1), blue at (1, 1).
enum class BayerLayout { kRggb, kBggr, kGrbg, kGbrg };

// Every layout's name in lower case, in the order of the enumeration.
std::span<const char* const> BayerLayoutNames();

// The layout's name in lower case ("rggb").
const char* BayerLayoutName(BayerLayout layout);

// The layout named by text, in either letter case; nullopt for any other
// text.
std::optional<BayerLayout> ParseBayerLayout(std::string_view text);

// Where the first red sample of the layout lies: (1, 0) for grbg, (0, 1)
// for gbrg, (1, 1) for bggr. The picture from there on is an rggb mosaic.
int RedColumn(BayerLayout layout);
int RedRow(BayerLayout layout);
