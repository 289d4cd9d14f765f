#pragma once

class CVisImageBase;

// Decodes the BMP file at path into picture, an empty image whose pixel type
// (gray or colour) is the type wanted. Throws CVisError naming the file and
// the fault on anything it cannot read; picture is then unusable and should be
// dropped (the caller keeps its own image untouched until this succeeds).
void ReadBmpFile(const char* path, CVisImageBase& picture);
