#pragma once

#include "AfxString.h"
#include "BayerLayout.h"
#include "ConversionNames.h"
#include "DeepDemosaic.h"
#include "Development.h"
#include "VisImage.h"

// What is written: its format, and for a PNG whether its sRGB chunk says the
// values are sRGB-encoded (the sRGB tone curve was applied).
struct OutputForm {
  OutputFormat format = OutputFormat::kBmp;
  bool srgb = false;
};

// Writes the gray picture to outputPath in the form's format: demosaiced to colour
// in layout (on at most processors, 0 for all; its edges as edges says), or
// as it is. A PNG or TIFF holds the pixels the BMP would hold, colour as red,
// green and blue, gray as one channel. A picture too large for a BMP file is
// refused before any work is done. Every failure is a CVisError naming the
// output. ConvertTiffFile's step, public as a test seam: a test hands it a
// picture too large to load from a file.
void WriteConvertedImage(const CVisImage<unsigned char>& gray, bool demosaic,
                         const CString& outputPath, int processors = 0,
                         BayerLayout layout = BayerLayout::kRggb,
                         EdgeHandling edges = EdgeHandling::kKeep, OutputForm form = {});

// The mosaic (samples 0 .. 65535) demosaiced by the quality method
// (QualityDemosaic.h) on at most processors, written at depth bits a
// sample (8, or 16 for a PNG or TIFF).
void WriteQualityConvertedImage(const DeepMosaic& mosaic, const CString& outputPath, int processors,
                                BayerLayout layout, OutputForm form, int depth);

// The same at 16 bits a sample, as a PNG or TIFF: the mosaic demosaiced at
// its full precision (DemosaicDeep), or as it is.
void WriteDeepConvertedImage(const DeepMosaic& mosaic, bool demosaic, const CString& outputPath,
                             BayerLayout layout, EdgeHandling edges, OutputForm form);
