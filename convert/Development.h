#pragma once

#include <array>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "AfxString.h"
#include "BayerLayout.h"
#include "DeclaredLevels.h"
#include "DeepDemosaic.h"
#include "LoadGrayTiff.h"
#include "VisImage.h"

// A raw frame developed before it is demosaiced, at its samples' full
// precision, in this order:
//  1. the black level is subtracted (floor 0) and the white point becomes
//     full scale: x = (v - black) / (white - black);
//  2. each sample is multiplied by the white balance gain of its site's
//     colour; a sample at or above the white point (clipped by the sensor)
//     stays at full scale in every colour, so highlights stay white;
//  3. the tone curve (linear, or the sRGB curve);
//  4. 8 bits: round(255 y) (or 16 bits: round(65535 y)).
// Then the mosaic is demosaiced (or written gray) as any other.

enum class WhiteBalanceKind {
  kNone,    // no gains
  kGains,   // the gains given
  kCamera,  // from the file's AsShotNeutral: gain = 1 / neutral, green 1
  kAuto,    // from the frame: the grey world of its unclipped samples
};

struct WhiteBalance {
  WhiteBalanceKind kind = WhiteBalanceKind::kNone;
  std::array<double, 3> gains{1, 1, 1};  // red, green, blue (kGains)
};

enum class ToneCurve { kLinear, kSrgb };

// How the picture's edges are demosaiced: as the method defines them (a
// dark frame), or filled from the mosaic mirrored at each edge.
enum class EdgeHandling { kKeep, kFill };

// How a mosaic is demosaiced: by the standard method (Demosaic.h), or by
// the quality one (QualityDemosaic.h), from the samples at full precision.
enum class DemosaicMethod { kStandard, kQuality };

struct Development {
  std::optional<double> black;  // else the file's BlackLevel, else 0
  WhiteBalance whiteBalance;
  ToneCurve tone = ToneCurve::kLinear;
  // Whether the file's own levels (BlackLevel, WhiteLevel, MaxSampleValue)
  // are honoured where it declares them.
  bool declaredLevels = false;

  // Whether a developing step is asked for at all.
  bool Asked() const {
    return black || whiteBalance.kind != WhiteBalanceKind::kNone || tone != ToneCurve::kLinear;
  }
};

// The names of the choices, in the order of their enumerations, and the
// choice a name gives (nullopt for any other text).
std::span<const char* const> ToneCurveNames();
std::optional<ToneCurve> ParseToneCurve(std::string_view text);
std::span<const char* const> EdgeHandlingNames();
std::optional<EdgeHandling> ParseEdgeHandling(std::string_view text);
std::span<const char* const> DemosaicMethodNames();
std::optional<DemosaicMethod> ParseDemosaicMethod(std::string_view text);
// "R,G,B" (three gains above 0), "camera" or "auto"; the two words.
std::span<const char* const> WhiteBalanceWords();
std::optional<WhiteBalance> ParseWhiteBalance(std::string_view text);

// The levels the TIFF at path declares on its first page; failures throw
// the file exception naming path.
DeclaredLevels DeclaredLevelsOf(const CString& path);

// Reads the first page of the TIFF at path at its full depth and develops it
// into gray, 8-bit samples; returns what the file says, as the loader
// library does. The white point is 2^significantBits - 1 where fewer
// significant bits are asked for, else the one the file declares, else the
// stored depth's largest value. The gains go by the sites of the layout
// asked for, else the one the file declares, else rggb. What a person should
// know (an option that overrides what the file declares, the gains found)
// goes to notice. Failures throw the file exception naming path.
GrayTiffFacts DevelopTiff(const CString& path, const Development& development, int significantBits,
                          std::optional<BayerLayout> layoutAsked, CVisImage<unsigned char>& gray,
                          const std::function<void(const std::string&)>& notice);

// The same, developed to 16 bits (round(65535 y)) for a picture that keeps
// its precision: with no step asked, each sample v of largest value m (the
// significant bits', else the declared white point, else the stored depth's)
// becomes round(65535 v / m), an 8-bit one v * 257.
GrayTiffFacts DevelopTiff(const CString& path, const Development& development, int significantBits,
                          std::optional<BayerLayout> layoutAsked, DeepMosaic& deep,
                          const std::function<void(const std::string&)>& notice);
