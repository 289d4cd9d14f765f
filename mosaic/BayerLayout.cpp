#include "BayerLayout.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace {

constexpr std::array<const char*, 4> kNames = {"rggb", "bggr", "grbg", "gbrg"};

}  // namespace

std::span<const char* const> BayerLayoutNames() {
  return kNames;
}

const char* BayerLayoutName(BayerLayout layout) {
  return kNames[static_cast<std::size_t>(layout)];
}

std::optional<BayerLayout> ParseBayerLayout(std::string_view text) {
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    const std::string_view name = kNames[i];
    if (text.size() == name.size() &&
        std::equal(text.begin(), text.end(), name.begin(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) == b;
        })) {
      return static_cast<BayerLayout>(i);
    }
  }
  return std::nullopt;
}

int RedColumn(BayerLayout layout) {
  return layout == BayerLayout::kGrbg || layout == BayerLayout::kBggr ? 1 : 0;
}

int RedRow(BayerLayout layout) {
  return layout == BayerLayout::kGbrg || layout == BayerLayout::kBggr ? 1 : 0;
}
