#include "ConvertedOutput.h"

#include <algorithm>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "BmpWriter.h"
#include "Demosaic.h"
#include "MemoryBlock.h"
#include "MirroredMosaic.h"
#include "PngWriter.h"
#include "QualityDemosaic.h"
#include "TiffWriter.h"
#include "VisError.h"

namespace {

// Demosaics the mosaic and hands the colour picture's rows to bandDone band
// by band, as DemosaicToBmpRows does, rows stride bytes apart. Filled edges:
// the mosaic mirrored at its edges is demosaiced and the margin left out,
// so that every pixel gets a value from its neighbourhood.
void DemosaicBands(const CVisImage<unsigned char>& gray, std::size_t stride, int processors,
                   BayerLayout layout, EdgeHandling edges, const DemosaicBandDone& bandDone) {
  if (edges == EdgeHandling::kKeep) {
    DemosaicToBmpRows(gray, stride, bandDone, processors, layout);
    return;
  }
  const int width = gray.Width();
  const int height = gray.Height();
  const CVisImage<unsigned char> padded = MirroredMosaic(gray, kMirrorMargin);
  const std::size_t paddedStride = BmpRowBytes(padded.Width(), 4);
  const std::size_t pixelBytes = 3 * static_cast<std::size_t>(width);
  std::vector<unsigned char> band;
  DemosaicToBmpRows(
      padded, paddedStride,
      [&](const unsigned char* rows, int top, int bottom) {
        // Rows of the band lie bottom row first; the margin's rows are left out.
        const int first = std::max(top, kMirrorMargin);
        const int last = std::min(bottom, height + kMirrorMargin);
        if (first >= last) {
          return;
        }
        band.assign(static_cast<std::size_t>(last - first) * stride, 0);
        for (int row = last - 1; row >= first; --row) {
          const unsigned char* in = rows +
                                    static_cast<std::size_t>(bottom - 1 - row) * paddedStride +
                                    3 * static_cast<std::size_t>(kMirrorMargin);
          std::copy(in, in + pixelBytes,
                    band.data() + static_cast<std::size_t>(last - 1 - row) * stride);
        }
        bandDone(band.data(), first - kMirrorMargin, last - kMirrorMargin);
      },
      processors, layout);
}

// Writes samples (width x height pixels of channels samples of bits) as a
// PNG or TIFF.
void WriteInFormat(const CString& outputPath, OutputForm form, int width, int height, int channels,
                   int bits, const void* samples) {
  const std::string failure =
      form.format == OutputFormat::kPng
          ? WritePng(outputPath, width, height, channels, bits, samples, form.srgb, true)
          : WriteTiff(outputPath, width, height, channels, bits, samples, "", true);
  if (!failure.empty()) {
    throw CVisError(outputPath.Str(), failure);
  }
}

// The picture's samples, every row of it, held until they are encoded.
MemoryBlock PictureMemory(const CString& outputPath, int width, int height, int channels) {
  MemoryBlock samples = AllocateBlockForOverwrite(static_cast<std::size_t>(width) * height *
                                                  static_cast<std::size_t>(channels));
  if (!samples) {
    throw CVisError(outputPath.Str(), "out of memory for the picture");
  }
  return samples;
}

// Demosaics into 24-bit BMP rows of stride bytes, handed to bandDone band by
// band (DemosaicToBmpRows' contract), by one method or the other.
using ColourBands = std::function<void(std::size_t stride, const DemosaicBandDone& bandDone)>;

// The file is opened (and a picture too large for a BMP refused) before any
// demosaicing. The colour rows are made in the file's form and each band is
// written as it is as soon as it is finished.
void WriteColourBmp(const CString& outputPath, int width, int height,
                    const ColourBands& colourBands) {
  BmpBandWriter writer(outputPath, width, height, 4);
  colourBands(writer.RowBytes(), [&](const unsigned char* rows, int top, int bottom) {
    writer.WriteFileBand(rows, top, bottom);
  });
  writer.Commit();
}

// The colour picture as a PNG or TIFF of 8 bits a sample.
void WriteColourInFormat(const CString& outputPath, int width, int height, OutputForm form,
                         const ColourBands& colourBands) {
  const MemoryBlock samples = PictureMemory(outputPath, width, height, 3);
  const std::size_t stride = 3 * static_cast<std::size_t>(width);
  colourBands(stride, [&](const unsigned char* rows, int top, int bottom) {
    // Blue, green, red in the band, bottom row first; red, green, blue in
    // the picture, top row first.
    for (int y = top; y < bottom; ++y) {
      const unsigned char* in = rows + static_cast<std::size_t>(bottom - 1 - y) * stride;
      unsigned char* out = samples.get() + static_cast<std::size_t>(y) * stride;
      for (std::size_t x = 0; x < stride; x += 3) {
        out[x] = in[x + 2];
        out[x + 1] = in[x + 1];
        out[x + 2] = in[x];
      }
    }
  });
  WriteInFormat(outputPath, form, width, height, 3, 8, samples.get());
}

void WriteBmp(const CVisImage<unsigned char>& gray, bool demosaic, const CString& outputPath,
              int processors, BayerLayout layout, EdgeHandling edges) {
  if (!demosaic) {
    gray.WriteFile(outputPath, nullptr);
    return;
  }
  WriteColourBmp(outputPath, gray.Width(), gray.Height(),
                 [&](std::size_t stride, const DemosaicBandDone& bandDone) {
                   DemosaicBands(gray, stride, processors, layout, edges, bandDone);
                 });
}

void WriteOtherFormat(const CVisImage<unsigned char>& gray, bool demosaic,
                      const CString& outputPath, int processors, BayerLayout layout,
                      EdgeHandling edges, OutputForm form) {
  const int width = gray.Width();
  const int height = gray.Height();
  const std::size_t pixels = static_cast<std::size_t>(width);
  if (!demosaic) {
    const MemoryBlock samples = PictureMemory(outputPath, width, height, 1);
    for (int y = 0; y < height; ++y) {
      std::copy_n(gray.RowPointer(y), pixels, samples.get() + static_cast<std::size_t>(y) * pixels);
    }
    WriteInFormat(outputPath, form, width, height, 1, 8, samples.get());
    return;
  }
  WriteColourInFormat(outputPath, width, height, form,
                      [&](std::size_t stride, const DemosaicBandDone& bandDone) {
                        DemosaicBands(gray, stride, processors, layout, edges, bandDone);
                      });
}

}  // namespace

void WriteConvertedImage(const CVisImage<unsigned char>& gray, bool demosaic,
                         const CString& outputPath, int processors, BayerLayout layout,
                         EdgeHandling edges, OutputForm form) {
  try {
    if (form.format == OutputFormat::kBmp) {
      WriteBmp(gray, demosaic, outputPath, processors, layout, edges);
    } else {
      WriteOtherFormat(gray, demosaic, outputPath, processors, layout, edges, form);
    }
  } catch (const std::bad_alloc&) {
    throw CVisError(outputPath.Str(), "out of memory for the colour picture");
  }
}

void WriteQualityConvertedImage(const DeepMosaic& mosaic, const CString& outputPath, int processors,
                                BayerLayout layout, OutputForm form, int depth) {
  try {
    const ColourBands colourBands = [&](std::size_t stride, const DemosaicBandDone& bandDone) {
      DemosaicQualityToBmpRows(mosaic, 65535, stride, bandDone, processors, layout);
    };
    if (depth == 16) {
      const std::vector<std::uint16_t> rgb = DemosaicQualityDeep(mosaic, layout, 65535, processors);
      WriteInFormat(outputPath, form, mosaic.width, mosaic.height, 3, 16, rgb.data());
    } else if (form.format == OutputFormat::kBmp) {
      WriteColourBmp(outputPath, mosaic.width, mosaic.height, colourBands);
    } else {
      WriteColourInFormat(outputPath, mosaic.width, mosaic.height, form, colourBands);
    }
  } catch (const std::bad_alloc&) {
    throw CVisError(outputPath.Str(), "out of memory for the colour picture");
  }
}

void WriteDeepConvertedImage(const DeepMosaic& mosaic, bool demosaic, const CString& outputPath,
                             BayerLayout layout, EdgeHandling edges, OutputForm form) {
  try {
    if (!demosaic) {
      WriteInFormat(outputPath, form, mosaic.width, mosaic.height, 1, 16, mosaic.samples.data());
      return;
    }
    if (edges == EdgeHandling::kKeep) {
      const std::vector<std::uint16_t> rgb = DemosaicDeep(mosaic, layout);
      WriteInFormat(outputPath, form, mosaic.width, mosaic.height, 3, 16, rgb.data());
      return;
    }
    // The mosaic mirrored at its edges, demosaiced, less the margin.
    const DeepMosaic padded = MirroredDeepMosaic(mosaic, kMirrorMargin);
    const std::vector<std::uint16_t> whole = DemosaicDeep(padded, layout);
    const std::size_t rowValues = 3 * static_cast<std::size_t>(mosaic.width);
    std::vector<std::uint16_t> rgb(rowValues * mosaic.height);
    for (int y = 0; y < mosaic.height; ++y) {
      const std::uint16_t* in =
          whole.data() +
          (static_cast<std::size_t>(y + kMirrorMargin) * padded.width + kMirrorMargin) * 3;
      std::copy_n(in, rowValues, rgb.data() + static_cast<std::size_t>(y) * rowValues);
    }
    WriteInFormat(outputPath, form, mosaic.width, mosaic.height, 3, 16, rgb.data());
  } catch (const std::bad_alloc&) {
    throw CVisError(outputPath.Str(), "out of memory for the colour picture");
  }
}
