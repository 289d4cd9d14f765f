#pragma once

class CVisImageBase;

// Writes picture as a BMP file at path: a gray image as 8 bits per pixel with
// a 256-entry gray palette, a colour image as 24 bits per pixel. The file is
// built under a temporary name beside path and renamed over it when complete.
void WriteBmpFile(const char* path, const CVisImageBase& picture);
