#include "TiffLoading.h"

#include <string>

#include "AfxException.h"
#include "LibraryLoading.h"

namespace {

void CheckLoaderLoaded(const CString& path, const LoaderBinding& loader) {
  if (loader.library == nullptr) {
    const std::string failure = LibraryLoadFailure();
    const CString reason =
        "the TIFF reader Vantrel is not loaded" + (failure.empty() ? "" : ": " + failure);
    AfxThrowFileException(CFileException::generic, -1, path, reason);
  }
}

// Looks milLoadGrayTIFF up afresh and keeps it in the binding's slot.
PFN_LOAD_GRAY_TIFF BindLoaderExport(const CString& path, const LoaderBinding& loader) {
  CheckLoaderLoaded(path, loader);
  *loader.entry =
      // Through void*: the system's generic function type is another on each system.
      reinterpret_cast<PFN_LOAD_GRAY_TIFF>(
          reinterpret_cast<void*>(GetProcAddress(loader.library, "milLoadGrayTIFF")));
  const PFN_LOAD_GRAY_TIFF load = *loader.entry;
  if (load == nullptr) {
    AfxThrowFileException(CFileException::generic, -1, path,
                          "the TIFF reader Vantrel has no entry milLoadGrayTIFF");
  }
  return load;
}

}  // namespace

TiffLoader::TiffLoader(const CString& path, const LoaderBinding& loader)
    : load_(BindLoaderExport(path, loader)),
      loadWithFacts_(reinterpret_cast<PFN_LOAD_GRAY_TIFF_WITH_FACTS>(
          reinterpret_cast<void*>(GetProcAddress(loader.library, "milLoadGrayTIFFWithFacts")))) {}

GrayTiffFacts TiffLoader::Load(const CString& path, int significantBits,
                               CVisImage<unsigned char>& gray) const {
  GrayTiffFacts facts{};
  if (loadWithFacts_ != nullptr) {
    loadWithFacts_(path, &gray, significantBits, &facts);
    return facts;
  }
  if (significantBits > 0) {
    AfxThrowFileException(CFileException::generic, -1, path,
                          "the TIFF reader Vantrel has no entry milLoadGrayTIFFWithFacts, which "
                          "reading fewer significant bits needs");
  }
  load_(path, &gray);
  return facts;
}
