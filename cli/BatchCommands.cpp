#include "BatchCommands.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "AfxException.h"
#include "ConvertTiffFile.h"
#include "ExitStatus.h"
#include "FrameStack.h"
#include "ImageAverager.h"
#include "Interrupts.h"
#include "LibraryLoading.h"
#include "MemoryBlock.h"
#include "MosaicDetection.h"
#include "ParallelWork.h"
#include "Processors.h"
#include "ProgressLine.h"
#include "Terminal.h"
#include "VisError.h"
#include "VisImage.h"

namespace {

// The failure being handled, as the dialog's error box gives it: the file
// it concerns and why. Call it inside a catch block.
struct Failure {
  std::string file;
  std::string reason;
};

Failure CurrentFailure(const std::string& path) {
  try {
    throw;
  } catch (CFileException* error) {
    const std::string reason =
        error->m_strReason.IsEmpty() ? "the file cannot be read" : error->m_strReason.Str();
    error->Delete();
    return {path, reason};
  } catch (CException* error) {
    const std::string message = error->GetErrorMessage().Str();
    error->Delete();
    return {path, message};
  } catch (const CVisError& error) {
    return {error.FileName().empty() ? path : error.FileName(), error.Reason()};
  } catch (const std::bad_alloc&) {
    return {path, "there is not enough memory for this picture"};
  } catch (const std::exception& error) {
    return {path, error.what()};
  }
}

// A file's name as a message shows it: control characters escaped, so that
// a name read from a list with a carriage return at its end shows it
// ("a.tif\r").
std::string Printable(const std::string& name) {
  std::string shown;
  for (const unsigned char c : name) {
    if (c == '\r') {
      shown += "\\r";
    } else if (c == '\n') {
      shown += "\\n";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      shown += escaped;
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}

// One line for the failure being handled: "path: reason".
std::string DescribeFailure(const std::string& path) {
  const Failure failure = CurrentFailure(path);
  return Printable(failure.file) + ": " + failure.reason;
}

// Why a name that is a folder is no file to work on, and how to work on a
// tree.
std::string FolderGiven(const std::string& folder, const char* command) {
  return Printable(folder) + " is a folder; to " + command + " a tree: find " + Printable(folder) +
         " -name '*.tif' -print0 | tessary-cli " + command + " --files-from - --null";
}

bool IsFolder(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

// What a 16-bit picture's samples suggest of its significant bits: the
// fewest bits that hold the brightest sample, when that is fewer than 12.
std::string BitsAdvice(const std::string& path, const GrayTiffFacts& facts,
                       const CliRequest& request) {
  if (facts.storedBits != 16) {
    return {};
  }
  if (request.bits > 0 && facts.samplesAboveRange > 0) {
    const bool one = facts.samplesAboveRange == 1;
    return Printable(path) + ": " + std::to_string(facts.samplesAboveRange) +
           (one ? " sample was above " : " samples were above ") +
           std::to_string((1u << request.bits) - 1) + " (" + std::to_string(request.bits) +
           " bits) and became 255";
  }
  if (request.bits == 0 && facts.brightestSample < 4096) {
    int bits = 9;
    while (bits < 12 && facts.brightestSample >= (1u << bits)) {
      ++bits;
    }
    return Printable(path) + ": the brightest sample is " + std::to_string(facts.brightestSample) +
           " of 65535; if the camera gives " + std::to_string(bits) + " bits, use --bits " +
           std::to_string(bits);
  }
  return {};
}

// The length of the valid UTF-8 sequence at text[at], or 0 where the byte
// there starts none (a stray continuation byte, an overlong form, a
// surrogate, a value beyond U+10FFFF, a sequence cut short).
std::size_t Utf8SequenceAt(const std::string& text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  unsigned low = 0x80;
  unsigned high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;
    high = lead == 0xED ? 0x9F : 0xBF;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) {
    return 0;
  }
  for (std::size_t i = at + 2; i < at + length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) {
      return 0;
    }
  }
  return length;
}

// A string as JSON writes it, quotes included. File names are bytes: each
// byte that is not part of valid UTF-8 is written as \u00XX, XX its value,
// so that every line is JSON and the byte can be told back.
std::string JsonString(const std::string& text) {
  std::string json = "\"";
  for (std::size_t at = 0; at < text.size();) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (c >= 0x80) {
      const std::size_t length = Utf8SequenceAt(text, at);
      if (length > 0) {
        json.append(text, at, length);
        at += length;
        continue;
      }
    }
    if (c == '"' || c == '\\') {
      json += '\\';
      json += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x80) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      json += escaped;
    } else {
      json += static_cast<char>(c);
    }
    ++at;
  }
  return json + "\"";
}

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
  Detection detection{
      IsGrayImage(gray) ? "gray" : "mosaic",
      {},
      "default",
      facts.layoutRefusal,
      request.bits > 0 && request.bits < facts.storedBits ? request.bits : facts.storedBits,
      facts.pages,
      MosaicScore(gray)};
  const std::optional<BayerLayout> declared = ParseBayerLayout(facts.layout);
  if (!detection.refusal.empty()) {
    detection.layoutFrom = "file";
  } else if (request.pattern) {
    detection.layout = BayerLayoutName(*request.pattern);
    detection.layoutFrom = "option";
  } else if (declared) {
    detection.layout = BayerLayoutName(*declared);
    detection.layoutFrom = "file";
  } else {
    detection.layout = BayerLayoutName(BayerLayout::kRggb);
  }
  return detection;
}

std::string Score(const std::optional<double>& score) {
  if (!score) {
    return "null";
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", *score);
  return text;
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
         ", \"score\": " + Score(detection.score) + "}";
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

// The progress line on standard error when it is a terminal and not asked
// away.
ProgressLine ProgressFor(const CliRequest& request) {
  return ProgressLine(static_cast<int>(request.files.size()),
                      !request.quiet && StandardErrorIsTerminal(), stderr,
                      &ProgressLine::Clock::now, TerminalIsDumb());
}

// The closing summary goes where the progress line went, and with --verbose.
bool ShowsSummary(const CliRequest& request) {
  return !request.quiet && (request.verbose || StandardErrorIsTerminal());
}

// The options of the command line. A TIFF that Remove TIF could not delete
// counts as a failed file: the user asked for its removal.
class CommandLineOptions : public ConversionOptions {
 public:
  // processors: each conversion's share of the processors.
  CommandLineOptions(const CliRequest& request, ProgressLine& progress, int processors)
      : request_(request), progress_(progress), processors_(processors) {}
  ConversionMode ModeAfterLoading() override { return request_.mode; }
  bool RemoveTiffAfterWriting() override { return request_.removeTif; }
  void TiffNotRemoved(const CString& tiffPath, const std::string& reason) override {
    AfxThrowFileException(CFileException::generic, -1, tiffPath, reason.c_str());
  }
  bool StopRequested() override { return InterruptRequested(); }
  void WaitingFor(const CString& path, bool inThisProcess) override {
    progress_.Print("waiting for " + Printable(path.Str()) + ": another " +
                    (inThisProcess ? "conversion" : "program") + " holds it");
  }
  int Processors() override { return processors_; }
  std::optional<BayerLayout> LayoutAsked() override { return request_.pattern; }
  int SignificantBits() override { return request_.bits; }
  void Loaded(const CString& tiffPath, const GrayTiffFacts& facts) override {
    const std::string advice = BitsAdvice(tiffPath.Str(), facts, request_);
    if (!advice.empty()) {
      progress_.Print(advice);
    }
  }
  void Notice(const CString& tiffPath, const std::string& text) override {
    progress_.Print(Printable(tiffPath.Str()) + ": " + text);
  }

 private:
  const CliRequest& request_;
  ProgressLine& progress_;
  const int processors_;
};

// The files in groups that share a BMP, in the order of their first file;
// within a group in the given order.
std::vector<std::vector<ConversionFiles>> GroupsByBmp(const std::vector<std::string>& paths,
                                                      const std::string& outputFolder) {
  std::vector<std::vector<ConversionFiles>> groups;
  std::map<std::string, std::size_t> groupOfBmp;
  for (const std::string& path : paths) {
    ConversionFiles files = ConversionFilesFor(path.c_str(), outputFolder);
    const auto [it, added] = groupOfBmp.emplace(files.bmpKey, groups.size());
    if (added) {
      groups.emplace_back();
    }
    groups[it->second].push_back(std::move(files));
  }
  return groups;
}

}  // namespace

JobPlan JobsFor(int jobsAsked, std::size_t groups, int usableProcessors) {
  const int wanted = jobsAsked > 0 ? jobsAsked : usableProcessors;
  const int jobs = static_cast<int>(
      std::clamp<std::size_t>(groups, 1, static_cast<std::size_t>(std::max(1, wanted))));
  const int each = jobsAsked > 0 ? 1 : std::max(1, usableProcessors / jobs);
  return {jobs, each};
}

int RunConvert(const CliRequest& request, HMODULE loader) {
  std::error_code error;
  if (!request.outputDir.empty() && !std::filesystem::is_directory(request.outputDir, error)) {
    const bool exists = std::filesystem::exists(request.outputDir, error);
    std::fprintf(stderr, "%s: %s; the BMPs cannot go there\n", Printable(request.outputDir).c_str(),
                 exists ? "not a folder" : "does not exist");
    return kExitFileFailed;
  }
  ProgressLine progress = ProgressFor(request);
  std::vector<std::string> tiffs;
  int folders = 0;
  for (const std::string& file : request.files) {
    if (IsFolder(file)) {
      progress.Print(FolderGiven(file, "convert"));
      progress.FileDone();
      ++folders;
    } else {
      tiffs.push_back(file);
    }
  }
  const std::vector<std::vector<ConversionFiles>> groups = GroupsByBmp(tiffs, request.outputDir);
  std::atomic<int> converted{0};
  std::atomic<int> failed{folders};
  const JobPlan plan = JobsFor(request.jobs, groups.size(), UsableProcessorCount());
  const MemoryBlockReuse reuse(plan.jobs);  // each job's memory serves its next file
  CommandLineOptions options(request, progress, plan.processorsEach);
  std::atomic<PFN_LOAD_GRAY_TIFF> entry = nullptr;
  // Each thread converts one group at a time, one file after another: at
  // most one picture per job is in memory.
  ShareWork(static_cast<int>(groups.size()), plan.jobs, [&](int group) {
    for (const ConversionFiles& files : groups[static_cast<std::size_t>(group)]) {
      if (InterruptRequested()) {
        return;
      }
      try {
        if (!ConvertTiffFile(files, {loader, &entry}, options)) {
          return;  // interrupted while waiting for the files
        }
        ++converted;
      } catch (...) {
        progress.Print(DescribeFailure(files.tiff.Str()));
        ++failed;
      }
      progress.FileDone();
    }
  });
  if (ShowsSummary(request)) {
    progress.Print(
        ProgressLine::Summary(converted, "converted", failed, progress.ElapsedSeconds()));
  }
  progress.Finish();
  if (InterruptRequested()) {
    return kExitInterrupted;
  }
  return failed > 0 ? kExitFileFailed : kExitAllDone;
}

namespace {

// The plain mean, one picture after another into running sums.
int AverageOneAfterAnother(const CliRequest& request, ProgressLine& progress) {
  ImageAverager averager;
  for (const std::string& file : request.files) {
    if (InterruptRequested()) {
      progress.Finish();
      return kExitInterrupted;
    }
    try {
      averager.Add(file.c_str());
    } catch (...) {
      progress.Print(DescribeFailure(file));
      progress.Finish();
      return kExitFileFailed;
    }
    progress.FileDone();
  }
  progress.Finish();
  try {
    // Without --force an existing file, also one that appears meanwhile, is kept.
    averager.WriteMean(request.output.c_str(), request.force);
  } catch (...) {
    std::fprintf(stderr, "%s\n", DescribeFailure(request.output).c_str());
    return kExitFileFailed;
  }
  return kExitAllDone;
}

// Every other way: every picture opened first, then combined band by band.
int AverageBandByBand(const CliRequest& request, ProgressLine& progress) {
  FrameStack stack(request.method, request.kappa, request.bits);
  std::string current = request.dark;
  try {
    if (!request.dark.empty()) {
      stack.SetDark(request.dark.c_str());
    }
    for (const std::string& file : request.files) {
      if (InterruptRequested()) {
        progress.Finish();
        return kExitInterrupted;
      }
      current = file;
      stack.Add(file.c_str());
      progress.FileDone();
    }
  } catch (...) {
    progress.Print(DescribeFailure(current));
    progress.Finish();
    return kExitFileFailed;
  }
  progress.Finish();
  try {
    stack.Write(request.output.c_str(), request.force);
  } catch (...) {
    std::fprintf(stderr, "%s\n", DescribeFailure(request.output).c_str());
    return kExitFileFailed;
  }
  return kExitAllDone;
}

}  // namespace

int RunAverage(const CliRequest& request) {
  std::error_code error;
  if (!request.force && std::filesystem::exists(request.output, error)) {
    std::fprintf(stderr, "%s: exists; use --force to replace it\n", request.output.c_str());
    return kExitFileFailed;
  }
  ProgressLine progress = ProgressFor(request);
  // The plain mean of BMP pictures into a BMP runs as the dialog's does.
  const bool plainMean = request.method == StackMethod::kMean && request.dark.empty() &&
                         !NamesATiff(request.output) && !NamesATiff(request.files.front());
  const int status =
      plainMean ? AverageOneAfterAnother(request, progress) : AverageBandByBand(request, progress);
  if (status == kExitAllDone && ShowsSummary(request)) {
    progress.Print(ProgressLine::Summary(static_cast<int>(request.files.size()), "averaged", 0,
                                         progress.ElapsedSeconds()));
  }
  return status;
}

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
      BindLoaderExport(file.c_str(), {loader, &entry});
      GrayTiffFacts facts{};
      BindFactsExport(file.c_str(), {loader, &entry})(file.c_str(), &gray, request.bits, &facts);
      const Detection detection = Detect(gray, facts, request);
      if (request.json) {
        std::printf("%s\n", DetectionJson(file, gray, detection).c_str());
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
