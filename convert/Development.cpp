#include "Development.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>
#include <vector>

#include "AfxException.h"
#include "GrayTiff.h"
#include "GrayTiffRows.h"
#include "LayoutChoice.h"
#include "MemoryBlock.h"

namespace {

constexpr std::array<const char*, 2> kToneNames = {"linear", "srgb"};
constexpr std::array<const char*, 2> kEdgeNames = {"keep", "fill"};
constexpr std::array<const char*, 2> kDemosaicNames = {"standard", "quality"};
constexpr std::array<const char*, 2> kWhiteBalanceWords = {"camera", "auto"};

template <class Choice, std::size_t kCount>
std::optional<Choice> ChoiceNamed(const std::array<const char*, kCount>& names,
                                  std::string_view text) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (text == names[i]) {
      return static_cast<Choice>(i);
    }
  }
  return std::nullopt;
}

[[noreturn]] void Refuse(const CString& path, const std::string& reason) {
  AfxThrowFileException(CFileException::generic, -1, path, reason.c_str());
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// The colour of each site of a 2 x 2 cell, row by row: 0 red, 1 green,
// 2 blue.
std::array<int, 4> SiteColours(BayerLayout layout) {
  std::array<int, 4> colours{};
  const char* name = BayerLayoutName(layout);
  for (int i = 0; i < 4; ++i) {
    colours[i] = name[i] == 'r' ? 0 : name[i] == 'g' ? 1 : 2;
  }
  return colours;
}

// The gains of the grey world: each colour's mean of the samples above the
// black level and below the white point, brought to green's.
std::array<double, 3> GreyWorldGains(const std::uint16_t* samples, int width, int height,
                                     const std::array<int, 4>& sites, double black, double white) {
  std::array<double, 3> sums{};
  std::array<double, 3> counts{};
  for (int y = 0; y < height; ++y) {
    const std::uint16_t* row = samples + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      if (row[x] > black && row[x] < white) {
        const int colour = sites[(y & 1) * 2 + (x & 1)];
        sums[colour] += row[x] - black;
        counts[colour] += 1;
      }
    }
  }
  std::array<double, 3> means{};
  for (int c = 0; c < 3; ++c) {
    means[c] = counts[c] > 0 ? sums[c] / counts[c] : 0;
  }
  if (means[0] <= 0 || means[1] <= 0 || means[2] <= 0) {
    return {1, 1, 1};
  }
  return {means[1] / means[0], 1, means[1] / means[2]};
}

// The sRGB curve of a linear value 0 .. 1.
double SrgbCurve(double linear) {
  return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

// The developed value (0 .. outputLargest) of every sample 0 .. largest, for
// one colour's gain.
std::vector<std::uint16_t> DevelopingTable(std::uint32_t largest, double black, double white,
                                           double gain, ToneCurve tone, int outputLargest) {
  // Samples at or above the white point are clipped: full scale, without
  // the curve's cost for each of them (most of a 16-bit table for 12-bit
  // data).
  std::vector<std::uint16_t> table(largest + std::size_t{1},
                                   static_cast<std::uint16_t>(outputLargest));
  for (std::uint32_t v = 0; v <= largest && v < white; ++v) {
    const double x = std::clamp((v - black) / (white - black), 0.0, 1.0);
    double y = std::min(1.0, x * gain);
    if (tone == ToneCurve::kSrgb) {
      y = SrgbCurve(y);
    }
    table[v] = static_cast<std::uint16_t>(std::lround(outputLargest * y));
  }
  return table;
}

// The factor k where every table maps each sample v to k v, as a mosaic
// that is only scaled to 16 bits has them.
std::optional<std::uint16_t> ScaleOfTables(
    const std::array<std::vector<std::uint16_t>, 3>& tables) {
  if (tables[0] != tables[1] || tables[0] != tables[2] || tables[0].size() < 2) {
    return std::nullopt;
  }
  const std::uint16_t factor = tables[0][1];
  for (std::size_t v = 0; v < tables[0].size(); ++v) {
    if (tables[0][v] != v * factor) {
      return std::nullopt;
    }
  }
  return factor;
}

// Each sample through the table of its site's colour, into the rows that
// rowOf gives.
template <class Sample, class RowOf>
void ApplyTables(const std::uint16_t* values, int width, int height,
                 const std::array<int, 4>& sites,
                 const std::array<std::vector<std::uint16_t>, 3>& tables, RowOf rowOf) {
  for (int y = 0; y < height; ++y) {
    const std::uint16_t* in = values + static_cast<std::size_t>(y) * width;
    Sample* out = rowOf(y);
    const std::uint16_t* even = tables[sites[(y & 1) * 2]].data();
    const std::uint16_t* odd = tables[sites[(y & 1) * 2 + 1]].data();
    for (int x = 0; x + 1 < width; x += 2) {
      out[x] = static_cast<Sample>(even[in[x]]);
      out[x + 1] = static_cast<Sample>(odd[in[x + 1]]);
    }
    if (width % 2 == 1) {
      out[width - 1] = static_cast<Sample>(even[in[width - 1]]);
    }
  }
}

}  // namespace

std::span<const char* const> ToneCurveNames() {
  return kToneNames;
}

std::optional<ToneCurve> ParseToneCurve(std::string_view text) {
  return ChoiceNamed<ToneCurve>(kToneNames, text);
}

std::span<const char* const> EdgeHandlingNames() {
  return kEdgeNames;
}

std::optional<EdgeHandling> ParseEdgeHandling(std::string_view text) {
  return ChoiceNamed<EdgeHandling>(kEdgeNames, text);
}

std::span<const char* const> DemosaicMethodNames() {
  return kDemosaicNames;
}

std::optional<DemosaicMethod> ParseDemosaicMethod(std::string_view text) {
  return ChoiceNamed<DemosaicMethod>(kDemosaicNames, text);
}

std::span<const char* const> WhiteBalanceWords() {
  return kWhiteBalanceWords;
}

std::optional<WhiteBalance> ParseWhiteBalance(std::string_view text) {
  if (text == kWhiteBalanceWords[0]) {
    return WhiteBalance{WhiteBalanceKind::kCamera, {1, 1, 1}};
  }
  if (text == kWhiteBalanceWords[1]) {
    return WhiteBalance{WhiteBalanceKind::kAuto, {1, 1, 1}};
  }
  WhiteBalance balance{WhiteBalanceKind::kGains, {}};
  const char* at = text.data();
  const char* end = text.data() + text.size();
  for (int c = 0; c < 3; ++c) {
    const auto [rest, failure] = std::from_chars(at, end, balance.gains[c]);
    if (failure != std::errc() || !(balance.gains[c] > 0) || !std::isfinite(balance.gains[c]) ||
        (c < 2 && (rest == end || *rest != ',')) || (c == 2 && rest != end)) {
      return std::nullopt;
    }
    at = rest + 1;
  }
  return balance;
}

DeclaredLevels DeclaredLevelsOf(const CString& path) {
  try {
    return GrayTiffRows(path, 0).Levels();
  } catch (const TiffError& error) {
    Refuse(path, error.what());
  }
}

namespace {

// DevelopTiff into the 8-bit gray picture or the 16-bit mosaic, whichever is
// given.
GrayTiffFacts DevelopTiffInto(const CString& path, const Development& development,
                              int significantBits, std::optional<BayerLayout> layoutAsked,
                              CVisImage<unsigned char>* gray, DeepMosaic* deep,
                              const std::function<void(const std::string&)>& notice) {
  std::optional<GrayTiffRows> rows;
  try {
    rows.emplace(path, 0);
  } catch (const TiffError& error) {
    Refuse(path, error.what());
  }
  const int width = rows->Width();
  const int height = rows->Height();
  const auto largest = static_cast<std::uint32_t>((1u << rows->StoredBits()) - 1);
  const DeclaredLevels& declared = rows->Levels();

  GrayTiffFacts facts{};
  facts.pages = rows->Pages();
  facts.storedBits = rows->StoredBits();
  facts.declaresLevels = declared.black || declared.white || declared.colourFilterArray;
  std::snprintf(facts.layout, sizeof facts.layout, "%s", rows->Pattern().layout.c_str());
  std::snprintf(facts.layoutRefusal, sizeof facts.layoutRefusal, "%s",
                rows->Pattern().refusal.c_str());

  double black = declared.black.value_or(0);
  if (development.black) {
    if (declared.black && *declared.black != *development.black) {
      notice("the file declares the black level " + Number(*declared.black) + "; " +
             Number(*development.black) + " was used, as asked");
    }
    black = *development.black;
  }
  double white = declared.white.value_or(largest);
  if (significantBits > 0 && significantBits < rows->StoredBits()) {
    const double asked = (1u << significantBits) - 1;
    if (declared.white && *declared.white != asked) {
      notice("the file declares the white point " + Number(*declared.white) + "; " + Number(asked) +
             " (" + std::to_string(significantBits) + " bits) was used, as asked");
    }
    white = asked;
  }
  white = std::min<double>(white, largest);
  if (!(white > black)) {
    Refuse(path,
           "the black level " + Number(black) + " is not below the white point " + Number(white));
  }

  // A 16-bit mosaic is developed where its samples are read.
  const std::size_t count = static_cast<std::size_t>(width) * height;
  MemoryBlock samples;
  std::uint16_t* values = nullptr;
  if (deep) {
    deep->samples.resize(count);
    values = deep->samples.data();
  } else {
    samples = AllocateBlockForOverwrite(count * sizeof(std::uint16_t));
    if (!samples) {
      throw std::bad_alloc();
    }
    values = reinterpret_cast<std::uint16_t*>(samples.get());
  }
  try {
    rows->ReadRows(0, height, static_cast<std::uint16_t>(largest), values);
  } catch (const TiffError& error) {
    Refuse(path, error.what());
  }
  const auto whiteSample = static_cast<std::uint16_t>(white);  // samples are whole
  std::uint16_t brightest = 0;
  unsigned long long aboveRange = 0;
  for (std::size_t i = 0; i < count; ++i) {
    brightest = std::max(brightest, values[i]);
    aboveRange += values[i] > whiteSample;
  }
  facts.brightestSample = brightest;
  facts.samplesAboveRange = aboveRange;

  const LayoutChoice layout = ChooseLayout(facts, layoutAsked);
  const std::array<int, 4> sites = SiteColours(layout.layout.value_or(BayerLayout::kRggb));
  std::array<double, 3> gains{1, 1, 1};
  switch (development.whiteBalance.kind) {
    case WhiteBalanceKind::kNone:
      break;
    case WhiteBalanceKind::kGains:
      gains = development.whiteBalance.gains;
      break;
    case WhiteBalanceKind::kCamera:
      if (!declared.neutral) {
        Refuse(path, "it declares no white balance (AsShotNeutral) for --white-balance camera");
      }
      gains = {(*declared.neutral)[1] / (*declared.neutral)[0], 1,
               (*declared.neutral)[1] / (*declared.neutral)[2]};
      break;
    case WhiteBalanceKind::kAuto:
      gains = GreyWorldGains(values, width, height, sites, black, white);
      notice("white balance from the picture: red x" + Number(gains[0]) + ", blue x" +
             Number(gains[2]));
      break;
  }
  if (development.whiteBalance.kind != WhiteBalanceKind::kNone && !layout.layout) {
    Refuse(path, layout.refusal);
  }

  std::array<std::vector<std::uint16_t>, 3> tables;
  for (int c = 0; c < 3; ++c) {
    tables[c] =
        DevelopingTable(largest, black, white, gains[c], development.tone, gray ? 255 : 65535);
  }
  if (gray) {
    gray->AllocateForOverwrite(CVisShape(0, 0, width, height, 1));
    ApplyTables<unsigned char>(values, width, height, sites, tables,
                               [&](int y) { return gray->RowPointer(y); });
  } else {
    deep->width = width;
    deep->height = height;
    if (const std::optional<std::uint16_t> factor = ScaleOfTables(tables)) {
      // The samples only scaled (8-bit ones x 257, 16-bit ones as they
      // are): multiplied, without a lookup each.
      for (std::size_t i = 0; i < count; ++i) {
        values[i] = static_cast<std::uint16_t>(values[i] * *factor);
      }
    } else {
      ApplyTables<std::uint16_t>(values, width, height, sites, tables, [&](int y) {
        return deep->samples.data() + static_cast<std::size_t>(y) * width;
      });
    }
  }
  return facts;
}

}  // namespace

GrayTiffFacts DevelopTiff(const CString& path, const Development& development, int significantBits,
                          std::optional<BayerLayout> layoutAsked, CVisImage<unsigned char>& gray,
                          const std::function<void(const std::string&)>& notice) {
  return DevelopTiffInto(path, development, significantBits, layoutAsked, &gray, nullptr, notice);
}

GrayTiffFacts DevelopTiff(const CString& path, const Development& development, int significantBits,
                          std::optional<BayerLayout> layoutAsked, DeepMosaic& deep,
                          const std::function<void(const std::string&)>& notice) {
  return DevelopTiffInto(path, development, significantBits, layoutAsked, nullptr, &deep, notice);
}
