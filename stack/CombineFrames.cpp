#include "CombineFrames.h"

#include <optional>

#include "AfxException.h"
#include "BandedStack.h"
#include "FileCalls.h"
#include "FileNames.h"
#include "ImageAverager.h"

namespace {

// Adds every frame to the combiner; false when stopped first.
template <class Combiner>
bool AddFrames(const StackRequest& request, StackEvents& events, Combiner& combiner) {
  for (const std::string& frame : request.frames) {
    if (events.StopRequested()) {
      return false;
    }
    events.Reading(frame);
    combiner.Add(frame.c_str());
    events.FrameRead();
  }
  events.Writing(request.output);
  return true;
}

// The output may not be one of the frames or the master frames, however it is
// named (another spelling, a symbolic link, a bind mount): it would be
// replaced by what is made of it.
void RefuseAnInputAsOutput(const StackRequest& request) {
  const std::optional<FileIdentity> output = IdentityOfFile(request.output.c_str());
  if (!output) {
    return;
  }
  std::vector<std::string> inputs = request.frames;
  for (const std::string* master : {&request.dark, &request.bias, &request.flat}) {
    if (!master->empty()) {
      inputs.push_back(*master);
    }
  }
  for (const std::string& input : inputs) {
    const std::optional<FileIdentity> file = IdentityOfFile(input.c_str());
    if (file && file->device == output->device && file->file == output->file) {
      AfxThrowFileException(
          CFileException::generic, -1, request.output.c_str(),
          ("it is " + input + ", one of the pictures it would be made of").c_str());
    }
  }
}

}  // namespace

bool RunsAsRunningMean(const StackRequest& request) {
  return request.method == StackMethod::kMean && !request.align && request.dark.empty() &&
         request.bias.empty() && request.flat.empty() && !NamesATiff(request.output) &&
         !NamesAFits(request.output) &&
         (request.frames.empty() || !NamesARawFrame(request.frames.front()));
}

bool CombineFrames(const StackRequest& request, StackEvents& events) {
  RefuseAnInputAsOutput(request);
  if (RunsAsRunningMean(request)) {
    ImageAverager averager;
    if (!AddFrames(request, events, averager)) {
      return false;
    }
    averager.WriteMean(request.output.c_str(), request.replaceExisting);
    return true;
  }
  BandedStack stack(request.method, request.kappa, request.significantBits);
  using Setter = void (BandedStack::*)(const char*);
  for (const auto& [path, set] :
       {std::pair<const std::string&, Setter>{request.dark, &BandedStack::SetDark},
        std::pair<const std::string&, Setter>{request.bias, &BandedStack::SetBias},
        std::pair<const std::string&, Setter>{request.flat, &BandedStack::SetFlat}}) {
    if (!path.empty()) {
      events.Reading(path);
      (stack.*set)(path.c_str());
    }
  }
  if (!AddFrames(request, events, stack)) {
    return false;
  }
  if (request.align) {
    stack.Align(
        [&](const std::string& path, const std::string& reason) { events.LeftOut(path, reason); });
  }
  return stack.Write(request.output.c_str(), request.replaceExisting,
                     [&] { return events.StopRequested(); });
}
