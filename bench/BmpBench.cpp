#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchPictures.h"
#include "FileCalls.h"

namespace {

std::string BenchFile(const char* name) {
  return "/tmp/tessary-bench-" + std::string(name);
}

void BM_WriteGrayBmp(benchmark::State& state) {
  const auto picture = MakeMosaic(kLargeWidth, kLargeHeight);
  const std::string path = BenchFile("gray.bmp");
  for (auto _ : state) {
    picture.WriteFile(path.c_str(), nullptr);
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_WriteGrayBmp)->Unit(benchmark::kMillisecond);

void BM_WriteColorBmp(benchmark::State& state) {
  const auto picture = MakeColorPicture(kLargeWidth, kLargeHeight);
  const std::string path = BenchFile("color.bmp");
  for (auto _ : state) {
    picture.WriteFile(path.c_str(), nullptr);
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_WriteColorBmp)->Unit(benchmark::kMillisecond);

// The yardstick for writing: the colour file's bytes in one fwrite, without
// (range 0) and with (range 1) flushing them to disk, as a conversion does
// before it removes a TIFF.
void BM_FwriteColorBytes(benchmark::State& state) {
  const std::vector<unsigned char> bytes(std::size_t{kLargeWidth} * kLargeHeight * 3 + 54, 1);
  const std::string path = BenchFile("fwrite.bin");
  for (auto _ : state) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    if (state.range(0) == 1) {
      FlushFileToDisk(path.c_str());
    }
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_FwriteColorBytes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ReadGrayBmp(benchmark::State& state) {
  const std::string path = BenchFile("read-gray.bmp");
  MakeMosaic(kLargeWidth, kLargeHeight).WriteFile(path.c_str(), nullptr);
  for (auto _ : state) {
    CVisImage<unsigned char> picture(1, evispixfmtGrayByte);
    picture.ReadFile(path.c_str());
    benchmark::DoNotOptimize(picture.PbPixelMemory());
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_ReadGrayBmp)->Unit(benchmark::kMillisecond);

void BM_ReadColorBmp(benchmark::State& state) {
  const std::string path = BenchFile("read-color.bmp");
  MakeColorPicture(kLargeWidth, kLargeHeight).WriteFile(path.c_str(), nullptr);
  for (auto _ : state) {
    CVisImage<CVisRGBA<unsigned char>> picture(4, evispixfmtRGBAByte);
    picture.ReadFile(path.c_str());
    benchmark::DoNotOptimize(picture.PbPixelMemory());
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_ReadColorBmp)->Unit(benchmark::kMillisecond);

}  // namespace
