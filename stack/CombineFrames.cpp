#include "CombineFrames.h"

#include "BandedStack.h"
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

}  // namespace

bool RunsAsRunningMean(const StackRequest& request) {
  return request.method == StackMethod::kMean && request.dark.empty() &&
         !NamesATiff(request.output) &&
         (request.frames.empty() || !NamesATiff(request.frames.front()));
}

bool CombineFrames(const StackRequest& request, StackEvents& events) {
  if (RunsAsRunningMean(request)) {
    ImageAverager averager;
    if (!AddFrames(request, events, averager)) {
      return false;
    }
    averager.WriteMean(request.output.c_str(), request.replaceExisting);
    return true;
  }
  BandedStack stack(request.method, request.kappa, request.significantBits);
  if (!request.dark.empty()) {
    events.Reading(request.dark);
    stack.SetDark(request.dark.c_str());
  }
  if (!AddFrames(request, events, stack)) {
    return false;
  }
  stack.Write(request.output.c_str(), request.replaceExisting);
  return true;
}
