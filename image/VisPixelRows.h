#pragma once

// The pixels of a picture in memory as the file codecs read and write them:
// its size, its bytes per pixel (1 gray; 4 colour: blue, green, red, alpha)
// and where each row starts, top row first. It owns nothing; the image model
// hands it out, so that the codecs need to know nothing else of images.
struct VisPixelRows {
  int width = 0;
  int height = 0;
  int cbPixel = 0;
  unsigned char* const* rows = nullptr;
};
