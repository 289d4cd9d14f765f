#include <benchmark/benchmark.h>

#include <cstdint>

#include "BenchPictures.h"
#include "Demosaic.h"
#include "MosaicDetection.h"

namespace {

void BM_DemosaicImage(benchmark::State& state) {
  const auto mosaic =
      MakeMosaic(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    CVisImage<CVisRGBA<unsigned char>> color(4, evispixfmtRGBAByte);
    DemosaicImage(mosaic, color);
    benchmark::DoNotOptimize(color.PbPixelMemory());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(1));
}
// Wall-clock time: large pictures are demosaiced on every core.
BENCHMARK(BM_DemosaicImage)
    ->Args({kLargeWidth, kLargeHeight})
    ->Args({64, 48})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Each Bayer layout on one processor, as a conversion demosaics into BMP
// rows (the bands left in the ring): every layout should cost what rggb
// costs.
void BM_DemosaicLayout(benchmark::State& state) {
  const auto mosaic = MakeMosaic(kLargeWidth, kLargeHeight);
  const auto layout = static_cast<BayerLayout>(state.range(0));
  const std::size_t stride = (3 * std::size_t{kLargeWidth} + 3) / 4 * 4;
  for (auto _ : state) {
    DemosaicToBmpRows(
        mosaic, stride, [](const unsigned char* rows, int, int) { benchmark::DoNotOptimize(rows); },
        1, layout);
  }
  state.SetLabel(BayerLayoutName(layout));
  state.SetItemsProcessed(state.iterations() * kLargeWidth * kLargeHeight);
}
BENCHMARK(BM_DemosaicLayout)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_IsGrayImage(benchmark::State& state) {
  const auto mosaic =
      MakeMosaic(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(IsGrayImage(mosaic));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(1));
}
BENCHMARK(BM_IsGrayImage)
    ->Args({kLargeWidth, kLargeHeight})
    ->Args({64, 48})
    ->Unit(benchmark::kMillisecond);

// The yardstick for IsGrayImage: one plain pass summing the same bytes.
void BM_PlainSumPass(benchmark::State& state) {
  const auto mosaic =
      MakeMosaic(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    std::uint64_t sum = 0;
    const unsigned char* p = mosaic.PbPixelMemory();
    for (std::size_t i = 0; i < mosaic.CbPixelMemory(); ++i) {
      sum += p[i];
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(1));
}
BENCHMARK(BM_PlainSumPass)
    ->Args({kLargeWidth, kLargeHeight})
    ->Args({64, 48})
    ->Unit(benchmark::kMillisecond);

}  // namespace
