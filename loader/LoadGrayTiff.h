#pragma once

class CVisImageBase;

// The loader library's exports, each found by its name.

// "milLoadGrayTIFF", the export the program binds by name.
//
// Reads the gray TIFF file at path into image, a gray image of the caller's:
// the image gets the file's size and its own copy of the pixels. A file that
// cannot be read throws CFileException* (cause generic, OS error -1, the path
// as file name), leaving the image untouched.
extern "C" void milLoadGrayTIFF(const char* path, CVisImageBase* image);

// The exact type of a pointer to the export.
using PFN_LOAD_GRAY_TIFF = void (*)(const char* path, CVisImageBase* image);

// What a TIFF says beyond its first page's pixels. Plain C data, laid out
// alike on both sides of the library.
struct GrayTiffFacts {
  int pages;       // images in the file (pages, and SubIFDs of the first; of a DNG, its full ones)
  int storedBits;  // bits per sample as stored
  // For 9 to 16 bits: the largest sample as stored, and how many samples lay
  // above the range of the significant bits asked for (each became 255).
  unsigned brightestSample;
  unsigned long long samplesAboveRange;
  // The Bayer layout the file declares ("rggb", "bggr", "grbg", "gbrg"), or
  // "" when it declares none or one that cannot be demosaiced; then
  // layoutRefusal says why, and is "" otherwise.
  char layout[8];
  char layoutRefusal[400];
  // 1 where the file declares a black level or a white point, or calls
  // itself a colour filter mosaic, which a developed reading honours.
  int declaresLevels;
};

// "milLoadGrayTIFFWithFacts": reads as milLoadGrayTIFF does, with samples of
// more than 8 bits scaled from the range of their significantBits lowest
// bits (0: all of them), and fills facts. Fails as milLoadGrayTIFF does.
extern "C" void milLoadGrayTIFFWithFacts(const char* path, CVisImageBase* image,
                                         int significantBits, GrayTiffFacts* facts);

using PFN_LOAD_GRAY_TIFF_WITH_FACTS = void (*)(const char* path, CVisImageBase* image,
                                               int significantBits, GrayTiffFacts* facts);
