#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "AfxException.h"
#include "BatchCommands.h"
#include "ConvertTiffFile.h"
#include "ExitStatus.h"
#include "Interrupts.h"
#include "MemoryBlock.h"
#include "ParallelWork.h"
#include "Processors.h"
#include "Reporting.h"
#include "SampleLevels.h"

namespace {

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
    const std::string advice = WideSampleAdvice(facts, request_.bits);
    if (!advice.empty()) {
      progress_.Print(Printable(tiffPath.Str()) + ": " + advice);
    }
  }
  Development DevelopmentAsked() override {
    Development development = request_.development;
    development.declaredLevels = true;
    return development;
  }
  EdgeHandling EdgesAsked() override { return request_.edges; }
  DemosaicMethod DemosaicAsked() override { return request_.demosaic; }
  int DepthAsked() override { return request_.depth; }
  void Notice(const CString& tiffPath, const std::string& text) override {
    progress_.Print(Printable(tiffPath.Str()) + ": " + text);
  }

 private:
  const CliRequest& request_;
  ProgressLine& progress_;
  const int processors_;
};

// The files in groups that share an output, in the order of their first file;
// within a group in the given order.
std::vector<std::vector<ConversionFiles>> GroupsByOutput(const std::vector<std::string>& paths,
                                                         const std::string& outputFolder,
                                                         OutputFormat format) {
  std::vector<std::vector<ConversionFiles>> groups;
  std::map<std::string, std::size_t> groupOfOutput;
  for (const std::string& path : paths) {
    ConversionFiles files = ConversionFilesFor(path.c_str(), outputFolder, format);
    const auto [it, added] = groupOfOutput.emplace(files.outputKey, groups.size());
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
    const char* outputs[] = {"BMPs", "PNGs", "TIFFs"};
    std::fprintf(stderr, "%s: %s; the %s cannot go there\n", Printable(request.outputDir).c_str(),
                 exists ? "not a folder" : "does not exist",
                 outputs[static_cast<int>(request.format)]);
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
  const std::vector<std::vector<ConversionFiles>> groups =
      GroupsByOutput(tiffs, request.outputDir, request.format);
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
