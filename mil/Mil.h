#pragma once

// The imaging back end: an application context and image buffers read from
// files, offered as plain C entry points. Identifiers are 32-bit; 0 means
// "none". Buffers always hold 8-bit single-band samples, rows back to back,
// so their byte count is width x height.

#include <cstdint>

using MilId = std::int32_t;

// Passed as the initialisation flag and as the system when reading.
constexpr std::int64_t kMilDefault = 0x10000000;

// Attributes that MilInquireBuffer reports.
constexpr std::int64_t kMilByteCount = 5061;
constexpr std::int64_t kMilWidth = 1002;
constexpr std::int64_t kMilHeight = 1003;
constexpr std::int64_t kMilHostAddress = 0x80000000;
// What the file says beyond the first page's pixels (GrayPicture).
constexpr std::int64_t kMilPages = 0x7E00;
constexpr std::int64_t kMilStoredBits = 0x7E01;
constexpr std::int64_t kMilBrightestSample = 0x7E02;
constexpr std::int64_t kMilSamplesAboveRange = 0x7E03;
// Zero-terminated texts, valid while the buffer lives: the declared Bayer
// layout ("rggb", ...; "" when none or unusable), and why a declared
// pattern cannot be demosaiced ("" when it can or none is declared).
constexpr std::int64_t kMilCfaLayout = 0x7E04;
constexpr std::int64_t kMilCfaRefusal = 0x7E05;
// 1 where the first page declares a black level or a white point, or is a
// colour filter mosaic (PhotometricInterpretation 32803); 0 otherwise.
constexpr std::int64_t kMilDeclaresLevels = 0x7E06;

extern "C" {

// Allocates an application context and writes its identifier through
// application (0 when refused). Returns the identifier as well.
MilId MilAllocateApplication(std::int64_t initFlag, MilId* application);

// Frees an application context.
void MilFreeApplication(MilId application);

// Reads an image file into a new buffer and writes the buffer's identifier
// through buffer. When the file cannot be read as a gray picture the
// identifier is left unchanged (callers preset it to 0). Nothing is printed.
// Returns the identifier written, or 0.
MilId MilReadImageFile(const char* path, std::int64_t system, MilId* buffer);

// The same, with samples of more than 8 bits scaled from the range of their
// significantBits lowest bits (0: all of them; see ReadGrayTiff).
MilId MilReadImageFileBits(const char* path, std::int64_t significantBits, MilId* buffer);

// Why the last MilReadImageFile on the calling thread gave no buffer, in
// words a person can read ("not a TIFF file", "the file ends early"); empty
// after a read that succeeded. Valid until the thread's next read.
const char* MilGetLastReadError();

// Returns one attribute of a buffer (kMilByteCount, kMilWidth, kMilHeight,
// kMilHostAddress or one of the kMil items above), or 0 for an unknown buffer
// or item. result is not used
// and may be null.
std::intptr_t MilInquireBuffer(MilId buffer, std::int64_t item, void* result);

// Frees a buffer; unknown identifiers are ignored.
void MilFreeBuffer(MilId buffer);

// The row reader's handle form, for callers across a C boundary (the
// fuzzers); C++ code uses GrayTiffRows itself.
// Opens the first page of a gray TIFF file to read its samples band by band
// at their full depth, and writes the row reader's identifier through rows.
// kMilWidth, kMilHeight, kMilStoredBits, kMilPages, kMilCfaLayout and
// kMilCfaRefusal may be inquired of it;
// MilFreeBuffer closes it. significantBits as for MilReadImageFileBits. When
// the file cannot be read as a gray picture the identifier is left
// unchanged and MilGetLastReadError says why. Returns the identifier
// written, or 0.
MilId MilOpenImageRows(const char* path, std::int64_t significantBits, MilId* rows);

// Reads rows top .. bottom - 1 of a row reader into values, width values a
// row, on the scale 0 .. scaleMax: a sample v whose largest value is m
// becomes (v * scaleMax + m / 2) / m, a min-is-white one inverted to m - v
// first. Returns 1, or 0 when the rows cannot be read, among them a row
// holding a sample above the significant bits (MilGetLastReadError says
// why).
std::int32_t MilReadImageRows(MilId rows, std::int32_t top, std::int32_t bottom,
                              std::uint16_t scaleMax, std::uint16_t* values);
}
