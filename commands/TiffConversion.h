#pragma once

#include "AfxString.h"
#include "Platform.h"
#include "VisImage.h"

// The steps of converting one TIFF that do not involve the dialog, shared by
// the conversion worker and the benchmarks.

// The BMP name of a TIFF: the path less its last three characters, plus
// "bmp" ("a.tif" gives "a.bmp", "a.tiff" gives "a.tbmp").
CString BmpPathFor(const CString& tiffPath);

// Refuses, with the file exception naming the TIFF and saying why, a
// conversion that would lose a picture: a BMP name that leaves the TIFF's
// own file name (the three characters cut are not all part of it), that
// names the TIFF itself, or that this process has already written from a
// different TIFF. Call it while both files are claimed.
void CheckConversionNames(const CString& tiffPath, const CString& outputPath);

// Notes that outputPath now holds the conversion of tiffPath.
void RecordConversion(const CString& tiffPath, const CString& outputPath);

// Writes the gray picture to outputPath: demosaiced to colour, or as it is.
// A picture too large for a BMP file is refused before any work is done.
void WriteConvertedImage(const CVisImage<unsigned char>& gray, bool demosaic,
                         const CString& outputPath);

// The operating-system calls that removing a converted TIFF makes; tests
// replace them to watch their order.
struct TiffRemovalCalls {
  BOOL (*flushFileToDisk)(LPCSTR) = FlushFileToDisk;
  BOOL (*deleteFile)(LPCSTR) = DeleteFileA;
};

// Deletes the TIFF once its BMP, file and folder entry, is flushed to disk.
// When the flush fails the TIFF stays and the file exception names it; a
// failed deletion is ignored.
void RemoveConvertedTiff(const CString& tiffPath, const CString& outputPath,
                         const TiffRemovalCalls& calls = {});
