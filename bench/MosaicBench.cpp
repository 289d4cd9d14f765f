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
