#include <algorithm>
#include <atomic>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>

#include "BatchCommands.h"
#include "Development.h"
#include "ExitStatus.h"
#include "Interrupts.h"
#include "LayoutChoice.h"
#include "MemoryBlock.h"
#include "MosaicDetection.h"
#include "Reporting.h"
#include "SampleLevels.h"
#include "TiffLoading.h"
#include "VisImage.h"

namespace {

// What a conversion of a picture would use, as detect tells it.
struct Detection {
  const char* kind;        // "gray" or "mosaic"
  std::string layout;      // the layout demosaicing would use; empty when refused
  const char* layoutFrom;  // "option", "file" or "default"
  std::string refusal;     // why the file's declared pattern is refused in colour
  int bits;                // the significant bits the samples are read with
  int pages;
  std::optional<double> score;
};

Detection Detect(const CVisImage<unsigned char>& gray, const GrayTiffFacts& facts,
                 const CliRequest& request) {
  const LayoutChoice choice = ChooseLayout(facts, request.pattern);
  return {IsGrayImage(gray) ? "gray" : "mosaic",
          choice.layout ? BayerLayoutName(*choice.layout) : "",
          choice.from,
          choice.refusal,
          SignificantBitsRead(facts, request.bits),
          facts.pages,
          MosaicScore(gray)};
}

std::string Score(const std::optional<double>& score) {
  if (!score) {
    return "null";
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", *score);
  return text;
}

// A number as JSON writes it; null where there is none.
std::string JsonNumber(const std::optional<double>& value) {
  if (!value) {
    return "null";
  }
  char text[32];
  std::snprintf(text, sizeof text, "%g", *value);
  return text;
}

// The brightest sample as stored: of 8-bit samples the brightest pixel, of
// deeper ones what the reader found; none of shallower ones, which are
// scaled.
std::optional<double> Brightest(const CVisImage<unsigned char>& gray, const GrayTiffFacts& facts) {
  if (facts.storedBits > 8) {
    return facts.brightestSample;
  }
  if (facts.storedBits < 8) {
    return std::nullopt;
  }
  unsigned char brightest = 0;
  for (int y = 0; y < gray.Height(); ++y) {
    const unsigned char* row = gray.RowPointer(y);
    brightest = std::max(brightest, *std::max_element(row, row + gray.Width()));
  }
  return brightest;
}

// What the file declares of its samples' levels, and its brightest sample.
std::string LevelsJson(const DeclaredLevels& levels, const GrayTiffFacts& facts,
                       const CVisImage<unsigned char>& gray) {
  std::string json =
      std::string(", \"photometric\": \"") + (levels.colourFilterArray ? "mosaic" : "gray") +
      "\", \"brightest\": " + JsonNumber(Brightest(gray, facts)) +
      ", \"black\": " + JsonNumber(levels.black) + ", \"white\": " + JsonNumber(levels.white);
  if (levels.neutral) {
    json += ", \"neutral\": [" + JsonNumber((*levels.neutral)[0]) + ", " +
            JsonNumber((*levels.neutral)[1]) + ", " + JsonNumber((*levels.neutral)[2]) + "]";
  }
  return json;
}

std::string DetectionJson(const std::string& file, const CVisImage<unsigned char>& gray,
                          const Detection& detection) {
  std::string json = "{\"file\": " + JsonString(file) + ", \"kind\": \"" + detection.kind +
                     "\", \"width\": " + std::to_string(gray.Width()) +
                     ", \"height\": " + std::to_string(gray.Height()) + ", \"layout\": " +
                     (detection.layout.empty() ? "null" : JsonString(detection.layout)) +
                     ", \"layout_from\": \"" + detection.layoutFrom + "\"";
  if (!detection.refusal.empty()) {
    json += ", \"layout_refusal\": " + JsonString(detection.refusal);
  }
  return json + ", \"bits\": " + std::to_string(detection.bits) +
         ", \"pages\": " + std::to_string(detection.pages) +
         ", \"score\": " + Score(detection.score);
}

std::string DetectionLine(const std::string& file, const CVisImage<unsigned char>& gray,
                          const Detection& detection) {
  const std::string layout = detection.layout.empty()
                                 ? "no layout (" + detection.refusal + ")"
                                 : "layout " + detection.layout + " (" + detection.layoutFrom + ")";
  return file + ": " + detection.kind + ", " + std::to_string(gray.Width()) + " x " +
         std::to_string(gray.Height()) + ", " + layout + ", " + std::to_string(detection.bits) +
         " bits, " + std::to_string(detection.pages) + (detection.pages == 1 ? " page" : " pages") +
         ", score " + Score(detection.score);
}

}  // namespace

int RunDetect(const CliRequest& request, HMODULE loader) {
  int read = 0;
  int failed = 0;
  std::atomic<PFN_LOAD_GRAY_TIFF> entry = nullptr;
  const MemoryBlockReuse reuse;
  ProgressLine progress = ProgressFor(request);
  for (const std::string& file : request.files) {
    if (InterruptRequested()) {
      return kExitInterrupted;
    }
    try {
      if (IsFolder(file)) {
        throw std::runtime_error(FolderGiven(file, "detect"));
      }
      CVisImage<unsigned char> gray(1, evispixfmtGrayByte);
      const GrayTiffFacts facts =
          TiffLoader(file.c_str(), {loader, &entry}).Load(file.c_str(), request.bits, gray);
      const Detection detection = Detect(gray, facts, request);
      if (request.json) {
        std::printf("%s%s}\n", DetectionJson(file, gray, detection).c_str(),
                    LevelsJson(DeclaredLevelsOf(file.c_str()), facts, gray).c_str());
      } else if (request.verbose) {
        std::printf("%s\n", DetectionLine(file, gray, detection).c_str());
      } else {
        std::printf("%s: %s, %d x %d\n", file.c_str(), detection.kind, gray.Width(), gray.Height());
      }
      ++read;
    } catch (...) {
      const Failure failure = CurrentFailure(file);
      if (request.json) {
        std::printf("{\"file\": %s, \"error\": %s}\n", JsonString(failure.file).c_str(),
                    JsonString(failure.reason).c_str());
      } else {
        progress.Print(Printable(failure.file) + ": " + failure.reason);
      }
      ++failed;
    }
  }
  if (ShowsSummary(request)) {
    progress.Print(ProgressLine::Summary(read, "read", failed, progress.ElapsedSeconds()));
  }
  return failed > 0 ? kExitFileFailed : kExitAllDone;
}
