#include "DeepDemosaic.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

#include "MirroredMosaic.h"

namespace {

// The layout's view of the mosaic as an rggb mosaic, and the picture it
// writes into: the view's pixel (x, y) lands at (x + column, y + row).
class DeepView {
 public:
  DeepView(const DeepMosaic& mosaic, BayerLayout layout, int largest, std::uint16_t* rgb)
      : mosaic_(mosaic),
        column_(RedColumn(layout)),
        row_(RedRow(layout)),
        width_(std::max(0, mosaic.width - column_)),
        height_(std::max(0, mosaic.height - row_)),
        largest_(largest),
        rgb_(rgb),
        green_(static_cast<std::size_t>(width_) * height_, 0) {}

  void Run() {
    GreenStep();
    ColourStep(0, 2, width_ - 2, height_ - 2);  // red anchors
    ColourStep(2, 3, width_ - 1, height_ - 1);  // blue anchors
    ClearBlueEdges();
  }

 private:
  int P(int x, int y) const {
    return mosaic_.samples[static_cast<std::size_t>(y + row_) * mosaic_.width + x + column_];
  }
  int& G(int x, int y) { return green_[static_cast<std::size_t>(y) * width_ + x]; }
  std::uint16_t& Out(int x, int y, int channel) {
    return rgb_[(static_cast<std::size_t>(y + row_) * mosaic_.width + x + column_) * 3 + channel];
  }
  int Clamp(int v) const { return std::clamp(v, 0, largest_); }

  // Green along the direction of least change; the fraction of each mean
  // dropped.
  void GreenStep() {
    for (int y = 2; y <= height_ - 3; ++y) {
      for (int x = 2; x <= width_ - 3; ++x) {
        const int s = P(x, y);
        if ((x + y) % 2 == 1) {
          G(x, y) = s;
          continue;
        }
        const int dH = std::abs((P(x - 2, y) + P(x + 2, y)) / 2 - s);
        const int dV = std::abs((P(x, y - 2) + P(x, y + 2)) / 2 - s);
        const int horizontal = P(x - 1, y) + P(x + 1, y);
        const int vertical = P(x, y - 1) + P(x, y + 1);
        G(x, y) = dH < dV ? horizontal / 2 : dV < dH ? vertical / 2 : (horizontal + vertical) / 4;
      }
      for (int x = 0; x < width_; ++x) {
        Out(x, y, 1) = static_cast<std::uint16_t>(G(x, y));
      }
    }
  }

  // Red (channel 0) or blue (2) at each anchor's two-by-two block, as green
  // plus colour differences, divided truncating toward zero. An anchor's
  // samples two columns (rows) on may lie beyond an odd-sized picture: the
  // values that would read them stay 0.
  void ColourStep(int channel, int first, int xEnd, int yEnd) {
    const auto difference = [&](int x, int y) { return P(x, y) - G(x, y); };
    for (int y = first; y < yEnd; y += 2) {
      const bool below = y + 2 < height_;
      for (int x = first; x < xEnd; x += 2) {
        const bool right = x + 2 < width_;
        const int d1 = difference(x, y);
        Out(x, y, channel) = static_cast<std::uint16_t>(P(x, y));
        if (right) {
          const int d2 = difference(x + 2, y);
          Out(x + 1, y, channel) = static_cast<std::uint16_t>(Clamp(G(x + 1, y) + (d1 + d2) / 2));
        }
        if (below) {
          const int d3 = difference(x, y + 2);
          Out(x, y + 1, channel) = static_cast<std::uint16_t>(Clamp(G(x, y + 1) + (d1 + d3) / 2));
        }
        if (right && below) {
          const int sum =
              d1 + difference(x + 2, y) + difference(x, y + 2) + difference(x + 2, y + 2);
          Out(x + 1, y + 1, channel) = static_cast<std::uint16_t>(Clamp(G(x + 1, y + 1) + sum / 4));
        }
      }
    }
  }

  void ClearBlueEdges() {
    if (width_ >= 5 && height_ >= 2) {
      for (int x = 3; x <= width_ - 2; ++x) {
        Out(x, height_ - 2, 2) = 0;
      }
    }
    if (height_ >= 5 && width_ >= 2) {
      for (int y = 3; y <= height_ - 2; ++y) {
        Out(width_ - 2, y, 2) = 0;
      }
    }
  }

  const DeepMosaic& mosaic_;
  int column_;
  int row_;
  int width_;
  int height_;
  int largest_;
  std::uint16_t* rgb_;
  std::vector<int> green_;
};

}  // namespace

std::vector<std::uint16_t> DemosaicDeep(const DeepMosaic& mosaic, BayerLayout layout, int largest) {
  std::vector<std::uint16_t> rgb(static_cast<std::size_t>(mosaic.width) * mosaic.height * 3, 0);
  DeepView(mosaic, layout, largest, rgb.data()).Run();
  return rgb;
}

DeepMosaic MirroredDeepMosaic(const DeepMosaic& mosaic, int margin) {
  DeepMosaic padded{mosaic.width + 2 * margin, mosaic.height + 2 * margin, {}};
  padded.samples.resize(static_cast<std::size_t>(padded.width) * padded.height);
  for (int y = 0; y < padded.height; ++y) {
    const std::uint16_t* in =
        mosaic.samples.data() +
        static_cast<std::size_t>(MirroredIndex(y - margin, mosaic.height)) * mosaic.width;
    std::uint16_t* out = padded.samples.data() + static_cast<std::size_t>(y) * padded.width;
    for (int x = 0; x < padded.width; ++x) {
      out[x] = in[MirroredIndex(x - margin, mosaic.width)];
    }
  }
  return padded;
}
