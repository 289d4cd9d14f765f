#include "ConvertTiffFile.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "AfxException.h"
#include "ConvertedOutput.h"
#include "FileCalls.h"
#include "FileClaims.h"
#include "FileLock.h"
#include "LayoutChoice.h"
#include "MosaicDetection.h"
#include "ReplacingFile.h"
#include "SystemErrorText.h"
#include "VisError.h"
#include "WrittenBmps.h"

namespace {

constexpr std::array<const char*, 3> kModeNames = {"auto", "color", "gray"};

[[noreturn]] void Refuse(const CString& tiffPath, const std::string& reason) {
  AfxThrowFileException(CFileException::generic, -1, tiffPath, reason.c_str());
}

// tiffFile: the TIFF's identity, nullopt where it has none.
void CheckConversionNames(const ConversionFiles& files,
                          const std::optional<FileIdentity>& tiffFile) {
  if (FileNameLength(files.tiff) < 3) {
    Refuse(files.tiff,
           "the file name is too short to put \"bmp\" in place of its last three "
           "characters");
  }
  const std::optional<FileIdentity> bmpFile = IdentityOfFile(files.output);
  const bool sameFile =
      tiffFile && bmpFile && tiffFile->device == bmpFile->device && tiffFile->file == bmpFile->file;
  if (files.tiffKey == files.outputKey || sameFile) {
    Refuse(files.tiff, "its " + files.kind + " would have the file's own name and replace it");
  }
  // By what the BMP is, and by where it lies: a drive mounted again numbers
  // its files anew.
  for (const auto& [bmpKey, tiffKey] : {std::pair{&files.outputKey, &files.tiffKey},
                                        std::pair{&files.outputPathKey, &files.tiffPathKey}}) {
    const WrittenBmps::SourceLookup lookup = WrittenBmps::SourceOf(*bmpKey, bmpFile);
    if (!lookup.unreadable.empty()) {
      Refuse(files.tiff, "its " + files.kind + " \"" + files.output.Str() +
                             "\" exists, and the record of which TIFF it came from cannot be "
                             "read (" +
                             lookup.unreadable + "), so it is not replaced");
    }
    if (lookup.source && lookup.source->tiffKey != *tiffKey) {
      Refuse(files.tiff, "\"" + files.output.Str() + "\" was already written from another TIFF (" +
                             lookup.source->tiffPath + ") and would be replaced");
    }
  }
}

// Notes which TIFF the BMP was written from, under both its keys; returns
// what failed, or an empty string.
std::string RecordWrittenBmp(const ConversionFiles& files) {
  std::string failure =
      WrittenBmps::Record(files.outputKey, files.output, files.tiffKey, files.tiff);
  if (failure.empty() && files.outputPathKey != files.outputKey) {
    failure = WrittenBmps::Record(files.outputPathKey, files.output, files.tiffPathKey, files.tiff);
  }
  return failure;
}

// Temporary files left by killed writers are cleared from each BMP folder
// once per process: a listing of a large folder for every file would cost
// more than the conversion. A folder is known by its key and its spelling
// together: a folder made after another was deleted may get the deleted
// one's number, and is still swept.
void RemoveOrphansOncePerFolder(const ConversionFiles& files) {
  static std::mutex mutex;
  static std::set<std::string> swept;
  std::filesystem::path folder = std::filesystem::path(files.output.Str()).parent_path();
  if (folder.empty()) {
    folder = ".";
  }
  std::string key = std::filesystem::path(files.outputKey).parent_path().string();
  key += '\0';
  key += folder.string();
  {
    std::lock_guard lock(mutex);
    if (!swept.insert(key).second) {
      return;
    }
  }
  RemoveOrphanedTemporaryFiles(folder.string());
}

// The layout to demosaic in (ChooseLayout); a file that declares a pattern
// that is no Bayer layout is refused.
BayerLayout LayoutFor(const CString& tiffPath, const GrayTiffFacts& facts,
                      ConversionOptions& options) {
  const LayoutChoice choice = ChooseLayout(facts, options.LayoutAsked());
  if (!choice.layout) {
    Refuse(tiffPath, choice.refusal);
  }
  if (choice.overridden) {
    options.Notice(tiffPath, LayoutOverrideNotice(*choice.overridden, *choice.layout));
  }
  return *choice.layout;
}

// Loads the file through the loader library, or, where developing steps are
// asked for, or the file declares levels that are to be honoured, develops
// it from its full-depth samples; tells the options what it found.
GrayTiffFacts Load(const CString& tiffPath, const TiffLoader& loading, ConversionOptions& options,
                   CVisImage<unsigned char>& gray) {
  const Development development = options.DevelopmentAsked();
  const auto notice = [&](const std::string& text) { options.Notice(tiffPath, text); };
  GrayTiffFacts facts{};
  if (development.Asked()) {
    facts = DevelopTiff(tiffPath, development, options.SignificantBits(), options.LayoutAsked(),
                        gray, notice);
  } else {
    facts = loading.Load(tiffPath, options.SignificantBits(), gray);
    if (development.declaredLevels && facts.declaresLevels) {
      facts = DevelopTiff(tiffPath, development, options.SignificantBits(), options.LayoutAsked(),
                          gray, notice);
    }
  }
  options.Loaded(tiffPath, facts);
  if (!loading.TellsFacts() && !development.Asked()) {
    options.Notice(tiffPath, kLoaderTellsNoFacts);
  }
  return facts;
}

// Reads the file at full depth only, developed as asked, for a picture that
// needs no 8-bit one first; tells the options what it found.
GrayTiffFacts LoadDeep(const CString& tiffPath, ConversionOptions& options, DeepMosaic& deep) {
  const GrayTiffFacts facts = DevelopTiff(
      tiffPath, options.DevelopmentAsked(), options.SignificantBits(), options.LayoutAsked(), deep,
      [&](const std::string& text) { options.Notice(tiffPath, text); });
  options.Loaded(tiffPath, facts);
  return facts;
}

std::string PagesLeftOut(int pages) {
  return "it holds " + std::to_string(pages) + " pages; only the first was converted";
}

}  // namespace

std::span<const char* const> ConversionModeNames() {
  return kModeNames;
}

std::optional<ConversionMode> ParseConversionMode(std::string_view text) {
  for (std::size_t i = 0; i < kModeNames.size(); ++i) {
    if (text == kModeNames[i]) {
      return static_cast<ConversionMode>(i);
    }
  }
  return std::nullopt;
}

bool ConvertTiffFile(const ConversionFiles& files, const LoaderBinding& loader,
                     ConversionOptions& options) {
  CVisImage<unsigned char> gray(1, evispixfmtGrayByte);
  const TiffLoader loading(files.tiff, loader);

  // No other conversion reads, writes or deletes these files meanwhile.
  ClaimWait wait;
  wait.stopRequested = [&] { return options.StopRequested(); };
  wait.waitingFor = [&](const std::string& key, bool inThisProcess) {
    options.WaitingFor(
        key == files.outputKey || key == files.outputPathKey ? files.output : files.tiff,
        inThisProcess);
  };
  const FileClaims::Claim claim(FileClaims::Process(),
                                {files.tiffKey, files.outputKey, files.outputPathKey}, wait);
  if (!claim.Held()) {
    return false;
  }
  // What the TIFF is before it is read: only that file may be deleted.
  const std::optional<FileIdentity> read = IdentityOfFile(files.tiff);
  CheckConversionNames(files, read);
  std::error_code existence;
  if (!claim.AcrossProcesses() && std::filesystem::exists(files.output.Str(), existence)) {
    Refuse(files.tiff, "its " + files.kind + " \"" + files.output.Str() +
                           "\" exists, and without a claim against other programs it is not "
                           "replaced (" +
                           LockFolderProblem() + ")");
  }
  // A colour picture by the quality method is made from the samples at full
  // depth alone: the file is read once.
  const bool quality = options.DemosaicAsked() == DemosaicMethod::kQuality;
  std::optional<DeepMosaic> deep;
  GrayTiffFacts facts{};
  if (quality && options.ModeAfterLoading() == ConversionMode::kColor) {
    facts = LoadDeep(files.tiff, options, deep.emplace());
  } else {
    facts = Load(files.tiff, loading, options, gray);
  }

  bool demosaic = false;
  switch (options.ModeAfterLoading()) {
    case ConversionMode::kAuto:
      demosaic = !IsGrayImage(gray);
      break;
    case ConversionMode::kColor:
      demosaic = true;
      break;
    case ConversionMode::kGrayscale:
      break;
  }
  const BayerLayout layout = demosaic ? LayoutFor(files.tiff, facts, options) : BayerLayout::kRggb;

  // The BMP is complete (written unseen and linked into place) before the
  // TIFF can go, and flushed to disk before it does.
  RemoveOrphansOncePerFolder(files);
  const OutputForm form{files.format, options.DevelopmentAsked().tone == ToneCurve::kSrgb};
  try {
    if (options.DepthAsked() == 16 || (demosaic && quality)) {
      if (!deep) {
        // Read again at full depth, developed as the 8-bit picture was
        // (whose notices were given already).
        DevelopTiff(files.tiff, options.DevelopmentAsked(), options.SignificantBits(),
                    options.LayoutAsked(), deep.emplace(), [](const std::string&) {});
      }
      if (demosaic && quality) {
        WriteQualityConvertedImage(*deep, files.output, options.Processors(), layout, form,
                                   options.DepthAsked());
      } else {
        WriteDeepConvertedImage(*deep, demosaic, files.output, layout, options.EdgesAsked(), form);
      }
    } else {
      WriteConvertedImage(gray, demosaic, files.output, options.Processors(), layout,
                          options.EdgesAsked(), form);
    }
  } catch (const CVisError& error) {
    Refuse(files.tiff, "its " + files.kind + " \"" + files.output.Str() +
                           "\" could not be written: " + error.Reason());
  }
  const std::string unrecorded = RecordWrittenBmp(files);
  if (!unrecorded.empty()) {
    Refuse(files.tiff,
           "its " + files.kind +
               " was written, but the record of which TIFF it came from could not be kept (" +
               unrecorded + "), so the TIFF was kept");
  }
  if (facts.pages > 1) {
    // The other pages would be lost with the TIFF.
    if (options.RemoveTiffAfterWriting()) {
      options.TiffNotRemoved(files.tiff, PagesLeftOut(facts.pages) + ", and the TIFF is kept");
    } else {
      options.Notice(files.tiff, PagesLeftOut(facts.pages));
    }
  } else if (facts.pages == 0) {
    // Pages that no one counted may be lost with the TIFF.
    if (options.RemoveTiffAfterWriting()) {
      options.TiffNotRemoved(files.tiff, "its pages are unknown, so the TIFF is kept");
    }
  } else if (options.RemoveTiffAfterWriting()) {
    const std::string notRemoved =
        claim.AcrossProcesses()
            ? RemoveConvertedTiff(files.tiff, files.output, read, {}, files.kind)
            : "without a claim against other programs the TIFF is not deleted (" +
                  LockFolderProblem() + "); it was kept";
    if (!notRemoved.empty()) {
      options.TiffNotRemoved(files.tiff, notRemoved);
    }
  }
  return true;
}

std::string RemoveConvertedTiff(const CString& tiffPath, const CString& outputPath,
                                const std::optional<FileIdentity>& read,
                                const TiffRemovalCalls& calls, const std::string& outputKind) {
  if (!calls.flushFileToDisk(outputPath)) {
    Refuse(tiffPath, "its " + outputKind + " could not be flushed to disk (" + LastErrorText() +
                         "), so the TIFF was kept");
  }
  if (!read || calls.identityOf(tiffPath) != read) {
    return "the file changed while it was converted; it was kept";
  }
  // The file is taken out of its name first and checked there, where no
  // other program looks for it: a file saved at the name meanwhile is never
  // the one deleted.
  const std::string aside = calls.renameAside(tiffPath);
  if (aside.empty()) {
    return "its " + outputKind +
           " was written, but the TIFF could not be deleted: " + LastErrorText();
  }
  if (calls.identityOf(aside.c_str()) != read) {
    if (!calls.renameWithoutReplacing(aside.c_str(), tiffPath)) {
      return "the file changed while it was converted; it was kept as " + aside +
             " (another file is at its name now)";
    }
    return "the file changed while it was converted; it was kept";
  }
  if (!calls.deleteFile(aside.c_str())) {
    const std::string why = LastErrorText();
    calls.renameWithoutReplacing(aside.c_str(), tiffPath);
    return "its " + outputKind + " was written, but the TIFF could not be deleted: " + why;
  }
  return {};
}
