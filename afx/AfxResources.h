#pragma once

// The program's resources as data: dialog templates, strings and icons. The
// program hands the framework its table once, before the framework looks
// anything up.

#include <cstdint>
#include <span>

#include "WinTypes.h"

// One control of a dialog template. Coordinates are dialog units. The text
// of an icon control (SS_ICON) names its icon as "#<id>".
struct AfxDialogControl {
  int id;
  const char* className;  // "button" or "static"
  const char* text;
  int x, y, cx, cy;
  DWORD style;
};

struct AfxDialogTemplate {
  UINT id;
  const char* caption;
  int x, y, cx, cy;
  DWORD style;
  DWORD exStyle;
  const char* fontFace;
  int pointSize;
  std::span<const AfxDialogControl> controls;
};

struct AfxStringResource {
  UINT id;
  const char* text;
};

// An icon image of size x size pixels: one string per row, one hexadecimal
// digit per pixel indexing the icon's 16-colour palette (0xRRGGBB values).
struct AfxIconImage {
  int size;
  std::span<const char* const> rows;
};

// The colour (0xRRGGBB) of pixel x, y of an icon image; black where a row is
// short or a digit names no colour of the palette.
std::uint32_t AfxIconPixel(const AfxIconImage& image, std::span<const std::uint32_t> palette, int x,
                           int y);

struct AfxIconResource {
  UINT id;
  std::span<const std::uint32_t> palette;
  std::span<const AfxIconImage> images;
};

struct AfxResources {
  std::span<const AfxDialogTemplate> dialogs;
  std::span<const AfxStringResource> strings;
  std::span<const AfxIconResource> icons;
};

void AfxSetResources(const AfxResources* resources);

// Look-ups by id; null when there is no such resource.
const AfxDialogTemplate* AfxFindDialogTemplate(UINT id);
const char* AfxFindString(UINT id);
const AfxIconResource* AfxFindIcon(UINT id);
