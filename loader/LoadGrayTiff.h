#pragma once

class CVisImageBase;

// The loader library's one export, found by the name "milLoadGrayTIFF".
//
// Reads the gray TIFF file at path into image, a gray image of the caller's:
// the image gets the file's size and its own copy of the pixels. A file that
// cannot be read throws CFileException* (cause generic, OS error -1, the path
// as file name), leaving the image untouched.
extern "C" void milLoadGrayTIFF(const char* path, CVisImageBase* image);

// The exact type of a pointer to the export.
using PFN_LOAD_GRAY_TIFF = void (*)(const char* path, CVisImageBase* image);
