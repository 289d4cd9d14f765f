#pragma once

#include <optional>
#include <string>

#include "BayerLayout.h"
#include "LoadGrayTiff.h"

// The Bayer layout a mosaic is demosaiced in: the one asked for, else the
// one the file declares, else rggb. A file that declares a pattern that is
// no Bayer layout has none, even where one was asked for.
struct LayoutChoice {
  std::optional<BayerLayout> layout;  // nullopt: refused (refusal says why)
  const char* from;                   // "option", "file" or "default"
  std::string refusal;
  // The layout the file declares, where the one asked for is another.
  std::optional<BayerLayout> overridden;
};

LayoutChoice ChooseLayout(const GrayTiffFacts& facts, std::optional<BayerLayout> asked);

// What a person is told when the layout asked for is not the one declared.
std::string LayoutOverrideNotice(BayerLayout declared, BayerLayout asked);
