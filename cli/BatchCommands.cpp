#include "BatchCommands.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "AfxException.h"
#include "ConvertTiffFile.h"
#include "ImageAverager.h"
#include "Interrupts.h"
#include "MemoryBlock.h"
#include "MosaicDetection.h"
#include "ParallelWork.h"
#include "Platform.h"
#include "ProgressLine.h"
#include "Terminal.h"
#include "VisError.h"
#include "VisImage.h"

namespace {

constexpr int kInterrupted = 130;

// One line for the failure being handled: "path: reason", the reasons the
// dialog's error box gives. Call it inside a catch block.
std::string DescribeFailure(const std::string& path) {
  try {
    throw;
  } catch (CFileException* error) {
    const std::string reason =
        error->m_strReason.IsEmpty() ? "the file cannot be read" : error->m_strReason.Str();
    error->Delete();
    return path + ": " + reason;
  } catch (CException* error) {
    const std::string message = error->GetErrorMessage().Str();
    error->Delete();
    return path + ": " + message;
  } catch (const CVisError& error) {
    return error.what();
  } catch (const std::bad_alloc&) {
    return path + ": there is not enough memory for this picture";
  } catch (const std::exception& error) {
    return path + ": " + error.what();
  }
}

// The options of the command line. A TIFF that Remove TIF could not delete
// counts as a failed file: the user asked for its removal.
class CommandLineOptions : public ConversionOptions {
 public:
  CommandLineOptions(const CliRequest& request, ProgressLine& progress)
      : request_(request), progress_(progress) {}
  ConversionMode ModeAfterLoading() override { return request_.mode; }
  bool RemoveTiffAfterWriting() override { return request_.removeTif; }
  void TiffNotRemoved(const CString& tiffPath, const std::string& reason) override {
    AfxThrowFileException(CFileException::generic, -1, tiffPath, reason.c_str());
  }
  bool StopRequested() override { return InterruptRequested(); }
  void WaitingFor(const CString& path) override {
    progress_.Print("waiting for " + path.Str() + ": another program holds it");
  }

 private:
  const CliRequest& request_;
  ProgressLine& progress_;
};

// The files in groups that share a BMP, in the order of their first file;
// within a group in the given order.
std::vector<std::vector<ConversionFiles>> GroupsByBmp(const std::vector<std::string>& paths) {
  std::vector<std::vector<ConversionFiles>> groups;
  std::map<std::string, std::size_t> groupOfBmp;
  for (const std::string& path : paths) {
    ConversionFiles files = ConversionFilesFor(path.c_str());
    const auto [it, added] = groupOfBmp.emplace(files.bmpKey, groups.size());
    if (added) {
      groups.emplace_back();
    }
    groups[it->second].push_back(std::move(files));
  }
  return groups;
}

int Jobs(const CliRequest& request, std::size_t work) {
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const int wanted = request.jobs > 0 ? request.jobs : cores;
  return static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(wanted), work));
}

}  // namespace

int RunConvert(const CliRequest& request, HMODULE loader) {
  const std::vector<std::vector<ConversionFiles>> groups = GroupsByBmp(request.files);
  ProgressLine progress(static_cast<int>(request.files.size()),
                        !request.quiet && StandardErrorIsTerminal());
  std::atomic<bool> failed{false};
  const MemoryBlockReuse reuse;  // each job's picture memory serves its next file
  CommandLineOptions options(request, progress);
  std::atomic<PFN_LOAD_GRAY_TIFF> entry = nullptr;
  // Each thread converts one group at a time, one file after another: at
  // most one picture per job is in memory.
  ShareWork(static_cast<int>(groups.size()), Jobs(request, groups.size()), [&](int group) {
    for (const ConversionFiles& files : groups[static_cast<std::size_t>(group)]) {
      if (InterruptRequested()) {
        return;
      }
      try {
        if (!ConvertTiffFile(files, {loader, &entry}, options)) {
          return;  // interrupted while waiting for the files
        }
      } catch (...) {
        progress.Print(DescribeFailure(files.tiff.Str()));
        failed = true;
      }
      progress.FileDone();
    }
  });
  progress.Finish();
  if (InterruptRequested()) {
    return kInterrupted;
  }
  return failed ? 1 : 0;
}

int RunAverage(const CliRequest& request) {
  std::error_code error;
  if (!request.force && std::filesystem::exists(request.output, error)) {
    std::fprintf(stderr, "%s: exists; use --force to replace it\n", request.output.c_str());
    return 1;
  }
  ProgressLine progress(static_cast<int>(request.files.size()),
                        !request.quiet && StandardErrorIsTerminal());
  ImageAverager averager;
  for (const std::string& file : request.files) {
    if (InterruptRequested()) {
      progress.Finish();
      return kInterrupted;
    }
    try {
      averager.Add(file.c_str());
    } catch (...) {
      progress.Print(DescribeFailure(file));
      progress.Finish();
      return 1;
    }
    progress.FileDone();
  }
  progress.Finish();
  try {
    averager.WriteMean(request.output.c_str());
  } catch (...) {
    std::fprintf(stderr, "%s\n", DescribeFailure(request.output).c_str());
    return 1;
  }
  return 0;
}

int RunDetect(const CliRequest& request, HMODULE loader) {
  bool failed = false;
  std::atomic<PFN_LOAD_GRAY_TIFF> entry = nullptr;
  const MemoryBlockReuse reuse;
  for (const std::string& file : request.files) {
    if (InterruptRequested()) {
      return kInterrupted;
    }
    try {
      CVisImage<unsigned char> gray(1, evispixfmtGrayByte);
      BindLoaderExport(file.c_str(), {loader, &entry})(file.c_str(), &gray);
      std::printf("%s: %s, %d x %d\n", file.c_str(), IsGrayImage(gray) ? "gray" : "mosaic",
                  gray.Width(), gray.Height());
    } catch (...) {
      std::fprintf(stderr, "%s\n", DescribeFailure(file).c_str());
      failed = true;
    }
  }
  return failed ? 1 : 0;
}
