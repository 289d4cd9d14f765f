#pragma once

#include "AfxString.h"
#include "VisImage.h"

// The steps of converting one TIFF that do not involve the dialog, shared by
// the conversion worker and the benchmarks.

// The BMP name of a TIFF: the path less its last three characters, plus
// "bmp" ("a.tif" gives "a.bmp", "a.tiff" gives "a.tbmp").
CString BmpPathFor(const CString& tiffPath);

// Writes the gray picture to outputPath: demosaiced to colour, or as it is.
void WriteConvertedImage(const CVisImage<unsigned char>& gray, bool demosaic,
                         const CString& outputPath);

// Deletes the TIFF once its BMP is written and flushed to disk, unless the
// two names are one file. When the BMP cannot be flushed the TIFF stays; a
// failed deletion is ignored.
void RemoveConvertedTiff(const CString& tiffPath, const CString& outputPath);
