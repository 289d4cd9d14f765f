#pragma once

// Loads the loader library by name, as the program does, and calls its export.

#include <gtest/gtest.h>

#include <string>

#include "AfxException.h"
#include "LibraryLoading.h"
#include "LoadGrayTiff.h"
#include "VisImage.h"

class LoaderLibrary {
 public:
  LoaderLibrary() : module_(LoadLibraryA("Vantrel.dll")) {
    load_ = reinterpret_cast<PFN_LOAD_GRAY_TIFF>(
        reinterpret_cast<void*>(GetProcAddress(module_, "milLoadGrayTIFF")));
  }
  ~LoaderLibrary() {
    if (module_ != nullptr) {
      FreeLibrary(module_);
    }
  }
  LoaderLibrary(const LoaderLibrary&) = delete;
  LoaderLibrary& operator=(const LoaderLibrary&) = delete;

  bool Loaded() const { return module_ != nullptr && load_ != nullptr; }
  void Load(const std::string& path, CVisImageBase& image) const { load_(path.c_str(), &image); }

  // Loads path and expects the file exception for it; returns whether it came.
  bool Refuses(const std::string& path, CVisImageBase& image) const {
    try {
      Load(path, image);
    } catch (CFileException* error) {
      const bool expected = error->m_cause == CFileException::generic && error->m_lOsError == -1 &&
                            error->m_strFileName == CString(path.c_str());
      error->Delete();
      return expected;
    }
    return false;
  }

  // The reason the file exception gives for path; "loaded" when none came.
  std::string RefusalReason(const std::string& path) const {
    CVisImage<unsigned char> image(1, evispixfmtGrayByte);
    try {
      Load(path, image);
    } catch (CFileException* error) {
      const std::string reason = error->m_strReason.Str();
      error->Delete();
      return reason;
    }
    return "loaded";
  }

 private:
  HMODULE module_;
  PFN_LOAD_GRAY_TIFF load_ = nullptr;
};
