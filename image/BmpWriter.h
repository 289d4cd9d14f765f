#pragma once

class CVisImageBase;

// Writes picture as a BMP file at path: a gray image as 8 bits per pixel with
// a 256-entry gray palette, a colour image as 24 bits per pixel. The file is
// written unseen beside path and put in place whole when complete (see
// ReplacingFile): a failure leaves any existing file as it was.
void WriteBmpFile(const char* path, const CVisImageBase& picture);

// Whether a picture of this size, with cbPixel bytes per pixel in memory (1
// gray, 4 colour), fits in a BMP file, whose size field has 32 bits.
bool FitsInBmpFile(int width, int height, int cbPixel);
