#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "BatchCommands.h"
#include "CombineFrames.h"
#include "ExitStatus.h"
#include "Interrupts.h"
#include "Reporting.h"

namespace {

// The progress line counts the frames; a failure names the file in hand.
class AverageEvents : public StackEvents {
 public:
  explicit AverageEvents(ProgressLine& progress) : progress_(progress) {}
  bool StopRequested() override { return InterruptRequested(); }
  void Reading(const std::string& path) override { current_ = path; }
  void FrameRead() override { progress_.FileDone(); }
  void LeftOut(const std::string& path, const std::string& reason) override {
    progress_.Print(path + ": " + reason);
    ++leftOut_;
  }
  void Writing(const std::string& path) override {
    current_ = path;
    writing_ = true;
    progress_.Finish();
  }

  const std::string& Current() const { return current_; }
  bool IsWriting() const { return writing_; }
  int LeftOutCount() const { return leftOut_; }

 private:
  ProgressLine& progress_;
  std::string current_;
  bool writing_ = false;
  int leftOut_ = 0;
};

}  // namespace

int RunAverage(const CliRequest& request) {
  std::error_code error;
  if (!request.force && std::filesystem::exists(request.output, error)) {
    std::fprintf(stderr, "%s: exists; use --force to replace it\n", request.output.c_str());
    return kExitFileFailed;
  }
  ProgressLine progress = ProgressFor(request);
  AverageEvents events(progress);
  const StackRequest stack{request.files, request.output, request.force, request.method,
                           request.kappa, request.bits,   request.dark,  request.bias,
                           request.flat,  request.align};
  try {
    if (!CombineFrames(stack, events)) {
      progress.Finish();
      return kExitInterrupted;
    }
  } catch (...) {
    // Without --force an existing file, also one that appears meanwhile, is kept.
    if (events.IsWriting()) {
      std::fprintf(stderr, "%s\n", DescribeFailure(events.Current()).c_str());
    } else {
      progress.Print(DescribeFailure(events.Current()));
      progress.Finish();
    }
    return kExitFileFailed;
  }
  const int leftOut = events.LeftOutCount();
  if (ShowsSummary(request)) {
    progress.Print(ProgressLine::Summary(static_cast<int>(request.files.size()) - leftOut,
                                         "averaged", leftOut, progress.ElapsedSeconds()));
  }
  return leftOut > 0 ? kExitFileFailed : kExitAllDone;
}
