#include "BatchCommands.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "AfxException.h"
#include "ConvertTiffFile.h"
#include "ExitStatus.h"
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

// One line for the failure being handled: "path: reason".
std::string DescribeFailure(const std::string& path) {
  const Failure failure = CurrentFailure(path);
  return failure.file + ": " + failure.reason;
}

// A string as JSON writes it, quotes included.
std::string JsonString(const std::string& text) {
  std::string json = "\"";
  for (const unsigned char c : text) {
    if (c == '"' || c == '\\') {
      json += '\\';
      json += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      json += escaped;
    } else {
      json += static_cast<char>(c);
    }
  }
  return json + "\"";
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
  void WaitingFor(const CString& path) override {
    progress_.Print("waiting for " + path.Str() + ": another program holds it");
  }
  int Processors() override { return processors_; }

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
    std::fprintf(stderr, "%s: not a folder; the BMPs cannot go there\n", request.outputDir.c_str());
    return kExitFileFailed;
  }
  const std::vector<std::vector<ConversionFiles>> groups =
      GroupsByBmp(request.files, request.outputDir);
  ProgressLine progress = ProgressFor(request);
  std::atomic<int> converted{0};
  std::atomic<int> failed{0};
  const MemoryBlockReuse reuse;  // each job's picture memory serves its next file
  const JobPlan plan = JobsFor(request.jobs, groups.size(), UsableProcessorCount());
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

int RunAverage(const CliRequest& request) {
  std::error_code error;
  if (!request.force && std::filesystem::exists(request.output, error)) {
    std::fprintf(stderr, "%s: exists; use --force to replace it\n", request.output.c_str());
    return kExitFileFailed;
  }
  ProgressLine progress = ProgressFor(request);
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
    averager.WriteMean(request.output.c_str());
  } catch (...) {
    std::fprintf(stderr, "%s\n", DescribeFailure(request.output).c_str());
    return kExitFileFailed;
  }
  if (ShowsSummary(request)) {
    progress.Print(ProgressLine::Summary(static_cast<int>(request.files.size()), "averaged", 0,
                                         progress.ElapsedSeconds()));
  }
  return kExitAllDone;
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
      CVisImage<unsigned char> gray(1, evispixfmtGrayByte);
      BindLoaderExport(file.c_str(), {loader, &entry})(file.c_str(), &gray);
      const char* kind = IsGrayImage(gray) ? "gray" : "mosaic";
      if (request.json) {
        std::printf("{\"file\": %s, \"kind\": \"%s\", \"width\": %d, \"height\": %d}\n",
                    JsonString(file).c_str(), kind, gray.Width(), gray.Height());
      } else {
        std::printf("%s: %s, %d x %d\n", file.c_str(), kind, gray.Width(), gray.Height());
      }
      ++read;
    } catch (...) {
      const Failure failure = CurrentFailure(file);
      if (request.json) {
        std::printf("{\"file\": %s, \"error\": %s}\n", JsonString(failure.file).c_str(),
                    JsonString(failure.reason).c_str());
      } else {
        progress.Print(failure.file + ": " + failure.reason);
      }
      ++failed;
    }
  }
  if (ShowsSummary(request)) {
    progress.Print(ProgressLine::Summary(read, "read", failed, progress.ElapsedSeconds()));
  }
  return failed > 0 ? kExitFileFailed : kExitAllDone;
}
