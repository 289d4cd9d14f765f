#include "LayoutChoice.h"

LayoutChoice ChooseLayout(const GrayTiffFacts& facts, std::optional<BayerLayout> asked) {
  if (facts.layoutRefusal[0] != '\0') {
    return {std::nullopt, "file", facts.layoutRefusal, std::nullopt};
  }
  const std::optional<BayerLayout> declared = ParseBayerLayout(facts.layout);
  if (asked) {
    return {asked, "option", {}, declared && *declared != *asked ? declared : std::nullopt};
  }
  if (declared) {
    return {declared, "file", {}, std::nullopt};
  }
  return {BayerLayout::kRggb, "default", {}, std::nullopt};
}

std::string LayoutOverrideNotice(BayerLayout declared, BayerLayout asked) {
  return std::string("the file declares the layout ") + BayerLayoutName(declared) +
         "; it was demosaiced as " + BayerLayoutName(asked) + ", as asked";
}
