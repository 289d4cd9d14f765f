#include "CliOptions.h"

#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <span>

#include "BayerLayout.h"
#include "CombineRules.h"
#include "ConvertTiffFile.h"
#include "Development.h"

namespace {

// Options that only set a flag.
template <bool CliRequest::*kFlag>
bool Set(const std::string&, CliRequest& request, std::string&) {
  request.*kFlag = true;
  return true;
}

// The name of a file (or with kFolder of a folder), which must not be
// empty, into a field of the request.
template <std::string CliRequest::*kField, bool kFolder = false>
bool SetName(const std::string& value, CliRequest& request, std::string& error) {
  if (value.empty()) {
    error = kFolder ? "needs a folder's name" : "needs a file's name";
    return false;
  }
  request.*kField = value;
  return true;
}

int WholeNumber(const std::string& value) {
  int number = 0;
  std::from_chars(value.data(), value.data() + value.size(), number);
  return number;
}

constexpr std::array<const char*, 2> kDepthNames = {"8", "16"};

std::span<const char* const> DepthNames() {
  return kDepthNames;
}

bool ParseKappa(const std::string& value, CliRequest& request, std::string& error) {
  const char* end = value.data() + value.size();
  double kappa = 0;
  const auto [rest, failure] = std::from_chars(value.data(), end, kappa);
  if (failure != std::errc() || rest != end || !(kappa > 0) || !std::isfinite(kappa)) {
    error = "--kappa takes a number above 0, not \"" + value + "\"";
    return false;
  }
  request.kappa = kappa;
  request.kappaGiven = true;
  return true;
}

const std::array kOptions = {
    CliOption{
        .longName = "--mode",
        .value = CliValue::kChoice,
        .choices = ConversionModeNames,
        .places = kAfterConvert,
        .help = "convert: auto (the default) lets the mosaic test decide whether to\n"
                "demosaic; color always demosaics; gray never does.\n",
        .manual =
            R"roff(auto (the default) lets the mosaic test decide; color always demosaics; gray never does.
)roff",
        .apply =
            [](const std::string& value, CliRequest& request, std::string&) {
              const std::optional<ConversionMode> mode = ParseConversionMode(value);
              request.mode = mode.value_or(request.mode);
              return mode.has_value();
            }},
    CliOption{
        .longName = "--pattern",
        .value = CliValue::kChoice,
        .choices = BayerLayoutNames,
        .places = kAfterConvert | kAfterDetect,
        .help = "convert, detect: the colours of the mosaic's top-left 2 x 2 cell, row\n"
                "by row (default: the layout the file declares, else rggb).\n",
        .manual =
            R"roff(The colours of the mosaic's top-left 2 x 2 cell, read row by row: \fIrggb\fR, \fIbggr\fR,
\fIgrbg\fR or \fIgbrg\fR (upper case too). Without it, the layout the TIFF declares, else
rggb.
)roff",
        .apply =
            [](const std::string& value, CliRequest& request, std::string&) {
              request.pattern = ParseBayerLayout(value);
              return request.pattern.has_value();
            }},
    CliOption{
        .longName = "--bits",
        .value = CliValue::kNumber,
        .valueName = "N",
        .low = 9,
        .high = 16,
        .places = kAfterConvert | kAfterDetect | kAfterAverage,
        .help = "convert, detect, average: 16-bit samples hold N significant bits (9 to\n"
                "16); the largest N-bit value becomes 255 (65535 in a TIFF's mean).\n",
        .manual =
            R"roff(16-bit samples hold \fIN\fR significant bits (9 to 16), as many cameras store 10, 12 or 14
bits in 16-bit words: an \fIN\fR-bit value \fIv\fR becomes the 8-bit value
(\fIv\fR x 255 + \fIm\fR/2) / \fIm\fR with \fIm\fR = 2^\fIN\fR \- 1. Larger values become 255,
and a line tells how many there were. Without it, a 16-bit sample is scaled from 65535,
and a 16-bit file whose brightest sample is below 4096 gets a line that suggests the option
("d12.tif: the brightest sample is 3071 of 65535; if the camera gives 12 bits, use
\-\-bits 12"). Files of other depths are read at their own depth. For \fBaverage\fR the same
rule gives the frames' scale, but a sample above \fIN\fR bits is refused.
)roff",
        .apply =
            [](const std::string& value, CliRequest& request, std::string&) {
              request.bits = WholeNumber(value);
              return true;
            }},
    CliOption{
        .longName = "--black",
        .value = CliValue::kNumber,
        .valueName = "N",
        .low = 0,
        .high = 65535,
        .places = kAfterConvert,
        .help = "convert: the sensor's black level, subtracted from every sample first\n"
                "(default: the level the file declares, else 0).\n",
        .manual =
            R"roff(The sensor's black level \fIN\fR, in the samples' own units, subtracted from every
sample before anything else (floor 0); the white point then becomes full scale:
\fIx\fR = (\fIv\fR \- \fIN\fR) / (\fIwhite\fR \- \fIN\fR), \fIwhite\fR being 2^\fIbits\fR \- 1 with
\fB\-\-bits\fR, else the white point the file declares (DNG's WhiteLevel, TIFF's
MaxSampleValue), else the stored depth's largest value. Without it, the black level the
file declares (DNG's BlackLevel), else 0; where the option differs from the file, a line
says so. Any of \fB\-\-black\fR, \fB\-\-white\-balance\fR and \fB\-\-tone\fR develops the
frame from its full-depth samples, in this order: black level, white balance, tone, then
8 bits; the mosaic is demosaiced after. A file that declares a black level, a white point or
itself a colour filter mosaic is developed so without them. Of a DNG whose first page is its
thumbnail, the raw in its SubIFD is the picture, and its first page's AsShotNeutral the
camera's white balance.
)roff",
        .apply =
            [](const std::string& value, CliRequest& request, std::string&) {
              request.development.black = WholeNumber(value);
              return true;
            }},
    CliOption{
        .longName = "--white-balance",
        .value = CliValue::kText,
        .valueName = "R,G,B|camera|auto",
        .choices = WhiteBalanceWords,
        .places = kAfterConvert,
        .help = "convert: gains for the mosaic's red, green and blue sites, before\n"
                "demosaicing: given, the file's (camera), or found in the frame (auto).\n",
        .manual =
            R"roff(Multiplies each sample by the gain of its site's colour, after the black level and
before the tone curve and the demosaicing: \fIR\fR,\fIG\fR,\fIB\fR (three numbers above 0,
such as 2,1,1.6); \fIcamera\fR, the gains the file declares (DNG's AsShotNeutral: 1 /
neutral, green 1; an error naming the file where it declares none); or \fIauto\fR, gains
that make the frame's unclipped samples grey on average (grey world), said in a line. A
sample at or above the white point stays at full scale in every colour, so highlights stay
white.
)roff",
        .apply =
            [](const std::string& value, CliRequest& request, std::string& error) {
              const std::optional<WhiteBalance> balance = ParseWhiteBalance(value);
              if (!balance) {
                error =
                    "--white-balance takes three gains above 0 (R,G,B), camera or auto, not \"" +
                    value + "\"";
                return false;
              }
              request.development.whiteBalance = *balance;
              return true;
            }},
    CliOption{
        .longName = "--tone",
        .value = CliValue::kChoice,
        .choices = ToneCurveNames,
        .places = kAfterConvert,
        .help = "convert: linear (the default) keeps the samples' scale; srgb applies\n"
                "the sRGB curve before demosaicing.\n",
        .manual =
            R"roff(\fIlinear\fR (the default) maps the samples to 8 bits in proportion; \fIsrgb\fR applies
the sRGB display curve (12.92 \fIx\fR up to 0.0031308, above it
1.055 \fIx\fR^(1/2.4) \- 0.055) to the balanced mosaic at full precision, before it is
demosaiced, so that linear sensor data demosaics as well as a display-encoded picture.
)roff",
        .apply =
            [](const std::string& value, CliRequest& request, std::string&) {
              const std::optional<ToneCurve> tone = ParseToneCurve(value);
              request.development.tone = tone.value_or(request.development.tone);
              return tone.has_value();
            }},
    CliOption{
        .longName = "--edges",
        .value = CliValue::kChoice,
        .choices = EdgeHandlingNames,
        .places = kAfterConvert,
        .help = "convert: keep (the default) leaves the demosaicing's dark frame; fill\n"
                "gives every pixel a value from its neighbourhood.\n",
        .manual =
            R"roff(\fIkeep\fR (the default) leaves a demosaiced picture's dark frame as the method makes it;
\fIfill\fR demosaics the mosaic mirrored by four samples at each edge (the layout kept) and
writes the picture less that margin, so every pixel gets a value from its neighbourhood and
a constant mosaic stays that constant at every pixel.
)roff",
        .apply =
            [](const std::string& value, CliRequest& request, std::string&) {
              const std::optional<EdgeHandling> edges = ParseEdgeHandling(value);
              request.edges = edges.value_or(request.edges);
              return edges.has_value();
            }},
    CliOption{
        .longName = "--demosaic",
        .value = CliValue::kChoice,
        .choices = DemosaicMethodNames,
        .places = kAfterConvert,
        .help = "convert: standard (the default) is the dialog's fast method; quality\n"
                "estimates each colour from the samples at full precision.\n",
        .manual =
            R"roff(\fIstandard\fR (the default) demosaics as the dialog does: green along the direction of
least change, red and blue as colour differences, in integer arithmetic on 8-bit samples.
\fIquality\fR demosaics by directional linear minimum mean square\-error estimation
(Zhang and Wu, 2005): along each row and column the difference of green and the other
colour is estimated from the mean and variances of its neighbourhood, the two directions are
joined by their error variances, then red and blue follow as differences to green. It works
in floating point on the samples at their full precision (9\- to 16\-bit data is not rounded
to 8 bits first), after the developing steps, and gives every pixel a value from the mosaic
mirrored at its edges (\fB\-\-edges\fR does not apply). Gray pictures are written as they are.
)roff",
        .apply =
            [](const std::string& value, CliRequest& request, std::string&) {
              const std::optional<DemosaicMethod> method = ParseDemosaicMethod(value);
              request.demosaic = method.value_or(request.demosaic);
              return method.has_value();
            }},
    CliOption{
        .longName = "--format",
        .value = CliValue::kChoice,
        .choices = OutputFormatNames,
        .places = kAfterConvert,
        .help = "convert: bmp (the default), png, or tiff (with --output-dir): the\n"
                "same pixels in the file the other tools read.\n",
        .manual =
            R"roff(What each conversion writes: \fIbmp\fR (the default), \fIpng\fR or \fItiff\fR, the same
pixels in each (8 bits a sample; colour as red, green and blue, gray as one channel). A PNG
(libpng; each row less the one above, deflated as runs, for speed) takes the BMP's name with "png" for "bmp": \fIa.tif\fR and
\fIa.tiff\fR give \fIa.png\fR; it carries the sRGB chunk only with \fB\-\-tone\fR \fIsrgb\fR. A TIFF (uncompressed) would take its source's own name, so
\fItiff\fR needs \fB\-\-output\-dir\fR and writes \fIDIR/a.tif\fR. Every protection of
the BMPs holds for these names too: claims, the record of what was written, the removal of
a TIFF only once its output is on disk.
)roff",
        .apply =
            [](const std::string& value, CliRequest& request, std::string&) {
              const std::optional<OutputFormat> format = ParseOutputFormat(value);
              request.format = format.value_or(request.format);
              return format.has_value();
            }},
    CliOption{.longName = "--depth",
              .value = CliValue::kChoice,
              .choices = DepthNames,
              .places = kAfterConvert,
              .help = "convert: 8 (the default) or 16 bits a sample, 16 with --format png or\n"
                      "tiff: the picture at the sensor's precision.\n",
              .manual =
                  R"roff(The bits of each sample written: \fI8\fR (the default) or \fI16\fR, which
\fB\-\-format\fR \fIpng\fR and \fItiff\fR take (a BMP holds 8). At 16 bits the picture keeps
the samples' precision: a sample \fIv\fR of largest value \fIm\fR (2^\fIbits\fR \- 1 with
\fB\-\-bits\fR, else the declared white point, else the stored depth's) counts as
round(65535 \fIv\fR / \fIm\fR), an 8-bit one as \fIv\fR \(mu 257, developed with the same
steps as at 8 bits (round(65535 \fIy\fR) for round(255 \fIy\fR)), and demosaiced by the same
method at that precision, never rounded to 8 bits on the way. Rounded to 8 bits,
(\fIv\fR \(mu 255 + 32767) / 65535, it differs from the 8-bit picture by a level or two where
the 8-bit method drops a fraction at its divisions, and more where green's direction of
least change is a near tie that the finer samples decide the other way.
)roff",
              .apply =
                  [](const std::string& value, CliRequest& request, std::string&) {
                    request.depth = WholeNumber(value);
                    return value == "8" || value == "16";
                  }},
    CliOption{
        .longName = "--remove-tif",
        .places = kAfterConvert,
        .help = "convert: deletes each TIFF once its BMP is on disk.\n",
        .manual =
            R"roff(Deletes each TIFF once its BMP and folder are flushed to disk. A TIFF that cannot be
deleted then counts as a failed file: a line names it and says why.
)roff",
        .apply = Set<&CliRequest::removeTif>},
    CliOption{
        .longName = "--jobs",
        .shortName = 'j',
        .value = CliValue::kNumber,
        .valueName = "N",
        .low = 1,
        .high = 1024,
        .places = kAfterConvert,
        .help = "convert: converts N files side by side, each on one processor\n"
                "(default: one per processor).\n",
        .manual =
            R"roff(Converts \fIN\fR files side by side, each on one processor, as \fBmake \-j\fR counts jobs:
\fB\-\-jobs 1\fR keeps one processor busy. Without it, one file per processor; when there
are fewer files than processors, each file's demosaicing shares out the rest. Every output is the same as
with one job; at most \fIN\fR pictures are in memory.
)roff",
        .apply =
            [](const std::string& value, CliRequest& request, std::string&) {
              request.jobs = WholeNumber(value);
              return true;
            }},
    CliOption{
        .longName = "--output-dir",
        .value = CliValue::kFolder,
        .valueName = "DIR",
        .places = kAfterConvert,
        .help = "convert: writes the BMPs into the existing folder DIR, not beside\n"
                "their TIFFs.\n",
        .manual =
            R"roff(convert: the BMPs go into the existing folder \fIDIR\fR under their usual names (a
\fIDIR\fR that does not exist is an error, an empty one a usage error); the TIFFs'
folders are only read (and, with \fB\-\-remove\-tif\fR, have TIFFs deleted). Every rule
holds there: two TIFFs from different folders that give one BMP name in \fIDIR\fR are a
colliding pair.
)roff",
        .apply = SetName<&CliRequest::outputDir, true>},
    CliOption{
        .longName = "--output",
        .shortName = 'o',
        .value = CliValue::kFile,
        .valueName = "OUT",
        .places = kAfterAverage,
        .required = true,
        .help = "average: the result's name: .bmp a BMP, .tif or .tiff a 16-bit TIFF,\n"
                ".png a PNG (16-bit of TIFF frames), .fits a 32-bit float FITS.\n",
        .manual =
            R"roff(The result's name, which says what is written: a name ending in \fI.bmp\fR gets a BMP,
\fI.tif\fR or \fI.tiff\fR a 16-bit TIFF, \fI.png\fR a PNG (8-bit of BMP pictures, 16-bit of
TIFF frames, gray or RGB as the BMP would be), \fI.fits\fR, \fI.fit\fR or \fI.fts\fR a FITS
image of 32-bit floating-point values (CFITSIO) on the frames' own scale, neither floored
nor truncated (a value below the dark frame's stays negative), colour as red, green and
blue planes, rows from the top (ROWORDER = 'TOP\-DOWN'), and the frames' Bayer layout in
BAYERPAT where they declare one; any other name is a usage error (see \fBaverage\fR).
An existing file is kept unless \fB\-\-force\fR is given, and
so is one that appears there while the average is made (the average then fails, naming
it). One of the pictures or the master frames is never replaced, by whatever name (another
spelling, a symbolic link, a bind mount), not even with \fB\-\-force\fR.
)roff",
        .apply =
            [](const std::string& value, CliRequest& request, std::string&) {
              request.output = value;
              return true;
            }},
    CliOption{.longName = "--force",
              .places = kAfterAverage,
              .help = "average: replaces an existing OUT, which is otherwise kept.\n",
              .manual = R"roff(Replaces an existing \fIOUT\fR, which is otherwise kept.
)roff",
              .apply = Set<&CliRequest::force>},
    CliOption{
        .longName = "--method",
        .value = CliValue::kChoice,
        .choices = StackMethodNames,
        .places = kAfterAverage,
        .help = "average: how each pixel's values combine: their mean (the default),\n"
                "their median, or their mean after sigma clipping.\n",
        .manual =
            R"roff(How the values of each pixel's channel across the pictures become one value.
\fImean\fR (the default): their mean, truncated. \fImedian\fR: the middle value; for an
even count of pictures, the mean of the two middle values, truncated. \fIsigma\-clip\fR:
every value further than \fIK\fR standard deviations (population) from the mean of the
values kept is dropped, and that is repeated until none is dropped, at most 10 rounds;
the result is the truncated mean of the values kept. A round that would drop every value
is not taken. The mean and the deviation are computed in double precision, from sums kept
exactly. Of \fIn\fR values, one lies at most (\fIn\fR \- 1) / sqrt(\fIn\fR) deviations from
their mean: with the default \fIK\fR of 3, a single outlier is dropped only from 11
pictures on.
)roff",
        .apply =
            [](const std::string& value, CliRequest& request, std::string&) {
              const std::optional<StackMethod> method = ParseStackMethod(value);
              request.method = method.value_or(request.method);
              return method.has_value();
            }},
    CliOption{
        .longName = "--kappa",
        .value = CliValue::kText,
        .valueName = "K",
        .places = kAfterAverage,
        .help = "average: sigma-clip drops values further than K standard deviations\n"
                "from the mean (default 3).\n",
        .manual =
            R"roff(The \fIK\fR of \fB\-\-method\fR \fIsigma\-clip\fR, a number above 0 (default 3).
)roff",
        .apply = ParseKappa},
    CliOption{
        .longName = "--dark",
        .value = CliValue::kFile,
        .valueName = "FILE",
        .places = kAfterAverage,
        .help = "average: subtracts the dark frame FILE from every picture.\n",
        .manual =
            R"roff(A dark frame of the pictures' kind and size, subtracted from every picture (on the
result's scale) without flooring each: only the combined value is floored at 0, so a faint
signal below the dark's level in some frames is not biased up. (The mean, the median and
the sigma-clipped mean of the frames less the dark are those of the frames, less the dark.)
)roff",
        .apply = SetName<&CliRequest::dark>},
    CliOption{
        .longName = "--bias",
        .value = CliValue::kFile,
        .valueName = "FILE",
        .places = kAfterAverage,
        .help = "average: subtracts the bias frame FILE (without --dark) and takes it off\n"
                "the flat.\n",
        .manual =
            R"roff(A bias frame (the sensor's offset: a master of the shortest exposures) of the pictures'
kind and size. It comes off every picture where no \fB\-\-dark\fR is given (a dark frame of the
pictures' exposure holds the bias already), and off the flat frame always.
)roff",
        .apply = SetName<&CliRequest::bias>},
    CliOption{
        .longName = "--flat",
        .value = CliValue::kFile,
        .valueName = "FILE",
        .places = kAfterAverage,
        .help = "average: divides every picture by the flat frame FILE, normalised by its\n"
                "mean in each colour.\n",
        .manual =
            R"roff(A flat frame (an evenly lit field through the same optics) of the pictures' kind and size.
Every picture, after the dark or bias frame, is divided by the flat less the bias frame,
normalised by its mean in each colour (each channel of colour pictures, each site of the
2 \(mu 2 cell of raw frames), so that it takes out vignetting and dust without tinting;
a pixel where the flat is at or below the bias is left undivided. A constant flat changes
nothing. The calibration is done in floating point; only the result is floored at 0 and
truncated to a whole value.
)roff",
        .apply = SetName<&CliRequest::flat>},
    CliOption{
        .longName = "--align",
        .places = kAfterAverage,
        .help = "average: moves every picture onto the first (by whole pixels) before\n"
                "they are combined.\n",
        .manual =
            R"roff(Registers every picture to the first by translation, in whole pixels, before they are
combined: the offset is found from the pictures themselves (the correlation of their detail,
coarse to fine, up to a quarter of their size), after the dark or bias frame and the flat
are taken out of it. A raw frame moves by even steps only, so that no colour lands on
another's site. Each picture is calibrated where it lies on the sensor, then moved; the
result has the first picture's size, and each of its pixels combines the pictures that
cover it. A picture that matches the first nowhere (a correlation below 0.1, more over an
overlap of fewer than 2500 pixels, where chance alone could reach it) is left out, with a
line that names it; the result is written from the others, and the exit status is 1.
When the first picture is of one brightness, or no other matches it, nothing is written.
Registration reads each picture once more, one a processor at a time, and holds the
brightness of the first and of each in hand (a float for a raw frame's 2 \(mu 2 cell or a
colour picture's pixel) besides the bands.
)roff",
        .apply = Set<&CliRequest::align>},
    CliOption{
        .longName = "--json",
        .places = kAfterDetect,
        .help = "detect: one JSON object a line.\n",
        .manual =
            R"roff(detect: one JSON object a line: {"file": ..., "kind": "mosaic" or "gray", "width": ...,
"height": ..., "layout": ..., "layout_from": "option", "file" or "default", "bits": ...,
"pages": ..., "score": ...}, or {"file": ..., "error": ...} for a file that fails (on
standard output; the exit status is 1). "layout" is the layout a conversion would
demosaic in, lower case; null, with "layout_refusal" saying why, where the file declares
a pattern that is refused. "bits" are the significant bits the samples are read with.
"score" is the share T / S that the mosaic test compares with 0.4 (the picture is gray
below it), null for an all-black picture. Then "photometric" ("mosaic" for a file that calls
itself a colour filter mosaic, else "gray"), "brightest" (the brightest sample as stored;
null below 8 bits), "black" and "white" (the black level and white point the file declares,
or null) and, where the file declares one, "neutral" (its AsShotNeutral, red, green, blue). File names are written as they are where they are valid
UTF-8; each byte that is not part of valid UTF-8 is written as \eu00XX, XX its value in
hexadecimal, so that every line is JSON.
)roff",
        .apply = Set<&CliRequest::json>},
    CliOption{
        .longName = "--files-from",
        .value = CliValue::kFile,
        .valueName = "LIST",
        .places = kAfterEveryCommand,
        .help = "also the names in LIST (- for standard input), one a line.\n",
        .manual =
            R"roff(Also the names in \fILIST\fR (\fB\-\fR for standard input), one a line with Unix line ends
(a carriage return stays part of the name, and messages show it as \er); with
\fB\-\-null\fR each ended by a NUL byte, as \fBfind \-print0\fR writes them. A list without
names leaves nothing to do: the exit status is 0, as with \fBxargs \-r\fR. A folder named
as a file fails with a line that shows how to convert a tree with \fBfind\fR.
)roff",
        .apply =
            [](const std::string& value, CliRequest& request, std::string&) {
              request.filesFrom = value;
              return true;
            }},
    CliOption{
        .longName = "--null",
        .places = kAfterEveryCommand,
        .help = "the names of --files-from each end with NUL (find -print0).\n",
        .manual =
            R"roff(The names of \fB\-\-files\-from\fR each end with a NUL byte, as \fBfind \-print0\fR writes them.
)roff",
        .apply = Set<&CliRequest::null>},
    CliOption{
        .longName = "--quiet",
        .shortName = 'q',
        .places = kBeforeCommand | kAfterEveryCommand,
        .help = "no progress line and no summary.\n",
        .manual =
            R"roff(No progress line and no summary. (The progress line and the closing summary, "20
converted, 1 failed in 3.1 s", are shown only when standard error is a terminal; where
\fBTERM\fR is \fIdumb\fR the line is drawn without escape sequences.)
)roff",
        .apply = Set<&CliRequest::quiet>},
    CliOption{.longName = "--verbose",
              .shortName = 'v',
              .places = kBeforeCommand | kAfterEveryCommand,
              .help = "the closing summary even when standard error is no terminal.\n",
              .manual = R"roff(The closing summary even when standard error is no terminal.
)roff",
              .apply = Set<&CliRequest::verbose>},
    CliOption{.longName = "--help",
              .shortName = 'h',
              .places = kBeforeCommand | kAfterEveryCommand,
              .help = "this text.\n",
              .manual = R"roff(The usage, every option and the exit statuses, then exit.
)roff",
              .apply =
                  [](const std::string&, CliRequest& request, std::string&) {
                    request.command = CliRequest::Command::kHelp;
                    return true;
                  }},
    CliOption{.longName = "--version",
              .places = kBeforeCommand,
              .help = "the version.\n",
              .manual = R"roff(The version, then exit.
)roff",
              .apply =
                  [](const std::string&, CliRequest& request, std::string&) {
                    request.command = CliRequest::Command::kVersion;
                    return true;
                  }},
};

const std::array kCommands = {
    CliCommandName{"convert", CliRequest::Command::kConvert, kAfterConvert},
    CliCommandName{"average", CliRequest::Command::kAverage, kAfterAverage},
    CliCommandName{"detect", CliRequest::Command::kDetect, kAfterDetect},
};

// The choices as a sentence lists them: "auto, color or gray".
std::string ChoicesInWords(std::span<const char* const> choices) {
  std::string words;
  for (std::size_t i = 0; i < choices.size(); ++i) {
    words += i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ";
    words += choices[i];
  }
  return words;
}

// Whether value is a whole number from low to high, nothing else.
bool IsWholeNumberIn(const std::string& value, int low, int high) {
  const char* end = value.data() + value.size();
  int number = 0;
  const auto [rest, failure] = std::from_chars(value.data(), end, number);
  return failure == std::errc() && rest == end && number >= low && number <= high;
}

}  // namespace

std::span<const CliOption> CliOptions() {
  return kOptions;
}

const CliOption* FindCliOption(std::string_view name) {
  for (const CliOption& option : kOptions) {
    if (name == option.longName || (option.shortName != 0 && name.size() == 2 && name[0] == '-' &&
                                    name[1] == option.shortName)) {
      return &option;
    }
  }
  return nullptr;
}

bool TakesValue(const CliOption& option) {
  return option.value != CliValue::kNone;
}

std::string ValueName(const CliOption& option) {
  if (option.value != CliValue::kChoice) {
    return option.valueName != nullptr ? option.valueName : "";
  }
  std::string name;
  for (const char* choice : option.choices()) {
    name += name.empty() ? "" : "|";
    name += choice;
  }
  return name;
}

std::vector<std::string> ValueWords(const CliOption& option) {
  std::vector<std::string> words;
  if (option.choices != nullptr) {
    for (const char* choice : option.choices()) {
      words.emplace_back(choice);
    }
  } else if (option.value == CliValue::kNumber && option.high - option.low < 16) {
    for (int number = option.low; number <= option.high; ++number) {
      words.push_back(std::to_string(number));
    }
  }
  return words;
}

bool ApplyOptionValue(const CliOption& option, const std::string& value, CliRequest& request,
                      std::string& error) {
  if (option.value == CliValue::kNumber && !IsWholeNumberIn(value, option.low, option.high)) {
    error = std::string(option.longName) + " takes a whole number from " +
            std::to_string(option.low) + " to " + std::to_string(option.high) + ", not \"" + value +
            "\"";
    return false;
  }
  error.clear();
  if (option.apply(value, request, error)) {
    return true;
  }
  if (option.value == CliValue::kChoice) {
    error = std::string(option.longName) + " takes " + ChoicesInWords(option.choices()) +
            ", not \"" + value + "\"";
  } else if (!error.empty() && error.rfind("--", 0) != 0) {
    error = std::string(option.longName) + " " + error;
  }
  return false;
}

std::span<const CliCommandName> CliCommandNames() {
  return kCommands;
}
