#pragma once

#include <string>
#include <vector>

#include "CombineRules.h"

// Frames combined into one picture, the way each kind of request needs: the
// plain mean of BMP pictures into a BMP runs through ImageAverager, one
// picture after another, as the dialog's averaging does; every other
// request (another method, master frames, alignment, raw frames or a deeper result)
// through BandedStack, every frame open at once and read band by band.

struct StackRequest {
  std::vector<std::string> frames;
  std::string output;
  bool replaceExisting = false;  // false: a file at output is kept and the write fails
  StackMethod method = StackMethod::kMean;
  double kappa = kDefaultKappa;
  int significantBits = 0;  // of TIFF frames' samples; 0: all of the stored bits
  // The master frames (BandedStack.h); empty: none.
  std::string dark;
  std::string bias;
  std::string flat;
  // Register the frames to the first before they are combined
  // (BandedStack::Align).
  bool align = false;
};

// What the caller is told, and asked, as the frames are combined.
class StackEvents {
 public:
  virtual ~StackEvents() = default;
  // Asked before each frame is read and as they are combined: true stops,
  // nothing is written.
  virtual bool StopRequested() { return false; }
  // Told before each frame (and the dark frame) is opened or read.
  virtual void Reading(const std::string& /*path*/) {}
  // Told after each frame.
  virtual void FrameRead() {}
  // Told of a frame left out of an aligned stack (it matches the first
  // nowhere), and why, before the result is written.
  virtual void LeftOut(const std::string& /*path*/, const std::string& /*reason*/) {}
  // Told once every frame is read, before the result is written.
  virtual void Writing(const std::string& /*path*/) {}
};

// Whether request runs as ImageAverager's running mean. CombineFrames's
// choice, public as a test seam: a test holds the two engines to each other.
bool RunsAsRunningMean(const StackRequest& request);

// Combines request.frames into request.output, which may not be one of the
// frames or the master frames by any name (refused with the file exception
// naming it). Returns false when stopped, between frames or between bands
// of the combining (nothing written). Failures throw, as ImageAverager and BandedStack do:
// the file exception or a CVisError naming the file, or std::bad_alloc
// (then the file last told is the one concerned).
bool CombineFrames(const StackRequest& request, StackEvents& events);
