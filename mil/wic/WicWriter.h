#pragma once

// What the PNG and TIFF writers of the Windows form share: a picture encoded
// by the imaging component's encoder into memory, then written whole.

#include <string>
#include <vector>

#include "WinTypes.h"

// After windows.h: the imaging component's interfaces.
#include <wincodec.h>

// A picture to encode: width x height pixels of `channels` samples (1: gray;
// 3: red, green, blue) of `bits` bits (8 or 16, 16-bit numbers in the
// machine's order), rows back to back.
struct EncodedPicture {
  int width;
  int height;
  int channels;
  int bits;
  const void* samples;
};

// A value of the metadata the file carries, by the imaging component's
// query name ("/ifd/{ushort=33421}"): unsigned bytes or 16-bit numbers.
struct EncodedMetadata {
  const wchar_t* name;
  std::vector<unsigned> values;
  bool bytes;  // else 16-bit numbers
};

// Encodes picture as a file of container (GUID_ContainerFormatPng or
// GUID_ContainerFormatTiff) into encoded, with the encoder's option named
// option set to optionValue (a byte) and the metadata given. Returns an
// empty string, or what failed in words a person can read, naming kind
// ("PNG", "TIFF").
std::string EncodeWithImagingComponent(const GUID& container, const char* kind,
                                       const EncodedPicture& picture, const wchar_t* option,
                                       unsigned char optionValue,
                                       const std::vector<EncodedMetadata>& metadata,
                                       std::vector<unsigned char>& encoded);
