#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "AfxString.h"
#include "BayerLayout.h"
#include "ConversionNames.h"
#include "ConvertedOutput.h"
#include "Development.h"
#include "FileCalls.h"
#include "LoadGrayTiff.h"
#include "TiffLoading.h"
#include "VisImage.h"
#include "WinTypes.h"

// One TIFF converted to a BMP beside it: the sequence every front end runs
// for every file. It knows nothing of windows; what the user chose is asked
// through ConversionOptions at the moments the conversion needs it.

enum class ConversionMode {
  kAuto,       // the mosaic test decides
  kColor,      // always demosaiced
  kGrayscale,  // always written gray
};

// Every mode's name ("auto", "color", "gray"), in the order of the
// enumeration, and the mode named by text (nullopt for any other text).
std::span<const char* const> ConversionModeNames();
std::optional<ConversionMode> ParseConversionMode(std::string_view text);

class ConversionOptions {
 public:
  virtual ~ConversionOptions() = default;
  // Asked once the file is loaded.
  virtual ConversionMode ModeAfterLoading() = 0;
  // Asked once the BMP is written.
  virtual bool RemoveTiffAfterWriting() = 0;
  // Told when the TIFF could not be deleted after its BMP was written (the
  // dialog goes on regardless).
  virtual void TiffNotRemoved(const CString& /*tiffPath*/, const std::string& /*reason*/) {}
  // Asked now and then while another program holds the files: true gives
  // the file up, untouched.
  virtual bool StopRequested() { return false; }
  // Told once when that wait has lasted about a second, and whether the
  // holder is another conversion of this process or another program.
  virtual void WaitingFor(const CString& /*path*/, bool /*inThisProcess*/) {}
  // How many processors demosaicing may keep busy: 0 for all the process
  // may use; conversions side by side each ask for their share.
  virtual int Processors() { return 0; }
  // The Bayer layout to demosaic in; nullopt for the one the file declares,
  // or rggb where it declares none.
  virtual std::optional<BayerLayout> LayoutAsked() { return std::nullopt; }
  // How many of the bits of samples wider than 8 bits are significant; 0 for
  // all of them.
  virtual int SignificantBits() { return 0; }
  // Told, once the file is loaded, what it says beyond its pixels.
  virtual void Loaded(const CString& /*tiffPath*/, const GrayTiffFacts& /*facts*/) {}
  // The developing steps asked for (Development.h): none by default.
  virtual Development DevelopmentAsked() { return {}; }
  // How a demosaiced picture's edges are made: the method's dark frame by
  // default.
  virtual EdgeHandling EdgesAsked() { return EdgeHandling::kKeep; }
  // How a colour picture is demosaiced: by the standard method by default.
  virtual DemosaicMethod DemosaicAsked() { return DemosaicMethod::kStandard; }
  // The bits of each sample written: 8, or 16 (a PNG or TIFF that keeps the
  // samples' precision).
  virtual int DepthAsked() { return 8; }
  // Told what a person should know of a file that was converted all the
  // same: pages left out, a layout other than the file declares.
  virtual void Notice(const CString& /*tiffPath*/, const std::string& /*text*/) {}
};

// Converts the TIFF, in this order: looks the exports up in the loader
// library (afresh for every file), claims the TIFF and its BMP against other
// conversions, refuses names that would lose a picture, loads the file's
// first page, asks the mode, writes the BMP (demosaiced in the layout asked
// for, else the one the file declares, else rggb; or gray), records which
// TIFF it came from, asks whether to remove the TIFF and removes it once the
// BMP is on disk. A file of several pages is never removed: its first page
// is converted and the options are told (TiffNotRemoved when removal was
// asked for, Notice otherwise). A pattern the file declares that is no
// Bayer layout is refused in colour. Returns false when the options asked to stop while it waited
// for the files (then nothing was done). Every failure is an exception; the file exception names
// the TIFF and says why.
//
// A BMP name is refused when it would lose a picture: when cutting the three
// characters reaches out of the TIFF's file name, when it names the TIFF
// itself, or when the file there is a BMP that a conversion on this machine
// wrote from another TIFF (WrittenBmps).
bool ConvertTiffFile(const ConversionFiles& files, const LoaderBinding& loader,
                     ConversionOptions& options);

// The operating-system calls that removing a converted TIFF makes; tests
// replace them to watch their order. On failure the system's last error
// says why.
struct TiffRemovalCalls {
  BOOL (*flushFileToDisk)(LPCSTR) = FlushFileToDisk;
  std::optional<FileIdentity> (*identityOf)(LPCSTR) = IdentityOfFile;
  std::string (*renameAside)(LPCSTR) = RenameAside;
  BOOL (*deleteFile)(LPCSTR) = DeleteFileA;
  BOOL (*renameWithoutReplacing)(LPCSTR, LPCSTR) = RenameWithoutReplacing;
};

// Deletes the TIFF once its BMP, file and folder entry, is flushed to disk,
// and only the file that was read (read: its identity taken before it was
// loaded): the file at the TIFF's name is renamed aside to a hidden name of
// its folder, checked there and deleted there; a file that is not the one
// read goes back to its name (never over a file that came there meanwhile;
// then it stays under the hidden name, and that is said). A file saved at
// the name at any moment is kept. When the flush fails the TIFF stays and
// the file exception names it and says why. Returns why the TIFF was not
// deleted, or an empty string.
std::string RemoveConvertedTiff(const CString& tiffPath, const CString& outputPath,
                                const std::optional<FileIdentity>& read,
                                const TiffRemovalCalls& calls = {},
                                const std::string& outputKind = "BMP");
