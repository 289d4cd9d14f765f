#pragma once

// What both ways of reading a TIFF through the Windows Imaging Component
// share: COM on the calling thread, interfaces released when they go, and
// the first page of a file opened and checked to be a TIFF.

#include <string>

#include "DeclaredLevels.h"
#include "DeclaredPattern.h"

#include "WinTypes.h"

// After windows.h: the imaging component's interfaces.
#include <wincodec.h>

// Releases a COM interface when it goes.
template <class Interface>
class ComPointer {
 public:
  ComPointer() = default;
  ~ComPointer() {
    if (pointer_ != nullptr) {
      pointer_->Release();
    }
  }
  ComPointer(const ComPointer&) = delete;
  ComPointer& operator=(const ComPointer&) = delete;

  Interface** Receive() { return &pointer_; }
  Interface* operator->() const { return pointer_; }
  Interface* Get() const { return pointer_; }

 private:
  Interface* pointer_ = nullptr;
};

// COM on the calling thread for one read. A thread that already runs COM,
// in whatever mode, keeps it.
class ComOnThisThread {
 public:
  ComOnThisThread() : initialised_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
  ~ComOnThisThread() {
    if (initialised_) {
      ::CoUninitialize();
    }
  }
  ComOnThisThread(const ComOnThisThread&) = delete;
  ComOnThisThread& operator=(const ComOnThisThread&) = delete;

 private:
  bool initialised_;
};

// Throws TiffError with the reason, in the words of the Linux back end where
// it is the same fault, when result is a failure.
void Check(HRESULT result);

bool Same(const WICPixelFormatGUID& a, const GUID& b);

// Whether 16-bit samples of a big-endian file come with their bytes swapped.
bool SwapsBigEndianSamples();

// The first page of a TIFF file, opened through the imaging component; COM
// must run on the calling thread while it lives.
struct TiffFirstPage {
  ComPointer<IWICImagingFactory> factory;
  ComPointer<IWICBitmapDecoder> decoder;
  ComPointer<IWICBitmapFrameDecode> frame;
  bool bigEndian = false;
  UINT width = 0;
  UINT height = 0;
  // From the file's own bytes, which the imaging component does not tell:
  // the images the first page holds in SubIFDs, and the pattern tag whose
  // value lies beyond the file ("TIFF/EP's CFAPattern"; empty: none), and
  // the levels it declares.
  int subImages = 0;
  std::string unreadablePattern;
  DeclaredLevels levels;
};

// Opens only a regular file (the imaging component would wait on a pipe),
// and only a TIFF; checks the picture's size. Throws TiffError with the
// reason.
void OpenTiffFirstPage(const char* path, TiffFirstPage& page);

// The colour filter pattern the first page declares. Where the imaging
// component cannot show the page's tags, or a pattern tag's value lies
// beyond the file, that is said, and the page is not demosaiced: a layout it
// might declare is never guessed.
DeclaredPattern PatternOf(const TiffFirstPage& page);
