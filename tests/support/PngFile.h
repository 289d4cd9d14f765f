#pragma once

// Reads PNG files for the tests, with libpng's simplified reader.

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

// A PNG as its header says, with its samples as read: 8-bit ones as they
// are, 16-bit ones as numbers.
struct PngPicture {
  int width = 0;
  int height = 0;
  int channels = 0;
  int bits = 0;
  std::vector<std::uint16_t> samples;  // row by row, channels side by side
};

// The picture; channels 0 when the file is no PNG.
inline PngPicture ReadPng(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  PngPicture picture;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    return picture;
  }
  picture.width = static_cast<int>(image.width);
  picture.height = static_cast<int>(image.height);
  picture.channels = (image.format & PNG_FORMAT_FLAG_COLOR) ? 3 : 1;
  picture.bits = (image.format & PNG_FORMAT_FLAG_LINEAR) ? 16 : 8;
  // Read as stored: no conversion of the samples' scale or gamma.
  image.format = (picture.channels == 3 ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY) |
                 (picture.bits == 16 ? PNG_FORMAT_FLAG_LINEAR : 0);
  const std::size_t values = static_cast<std::size_t>(picture.width) * picture.height *
                             static_cast<std::size_t>(picture.channels);
  if (picture.bits == 16) {
    picture.samples.resize(values);
    png_image_finish_read(&image, nullptr, picture.samples.data(), 0, nullptr);
  } else {
    std::vector<unsigned char> bytes(values);
    png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr);
    picture.samples.assign(bytes.begin(), bytes.end());
  }
  return picture;
}
