#include <gtest/gtest.h>

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "AfxNative.h"
#include "ClaimSlot.h"
#include "ConvertTiffFile.h"
#include "Demosaic.h"
#include "FileClaims.h"
#include "Globals.h"
#include "GuiTest.h"
#include "LibraryLoading.h"
#include "MainApp.h"
#include "MainDialog.h"
#include "Resource.h"
#include "TempFolder.h"
#include "TiffFixture.h"

namespace {

using Rgba = CVisRGBA<unsigned char>;
namespace fs = std::filesystem;

constexpr int kWidth = 24;
constexpr int kHeight = 18;

// A smooth gray picture, and a mosaic whose red, green and blue samples
// differ strongly (as a colour sensor's do).
std::vector<std::uint32_t> Samples(bool mosaic, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint32_t> samples;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const int base = mosaic ? ((x + y) % 2 ? 60 : (y % 2 ? 120 : 200)) : 80 + 2 * x + y;
      samples.push_back(base + random() % 5);
    }
  }
  return samples;
}

CVisImage<unsigned char> GrayOf(const std::vector<std::uint32_t>& samples) {
  CVisImage<unsigned char> gray(1, evispixfmtGrayByte, CVisRect(0, 0, kWidth, kHeight));
  for (int i = 0; i < kWidth * kHeight; ++i) {
    gray.PbPixelMemory()[i] = static_cast<unsigned char>(samples[i]);
  }
  return gray;
}

class ConvertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_hLoaderLibrary = LoadLibraryA("Vantrel.dll");
    ASSERT_NE(g_hLoaderLibrary, nullptr);
    theApp.m_pMainWnd = &dialog_;
    TestApplication::afterCrossThreadCall = [this] { RecordStatus(); };
  }

  void TearDown() override {
    TestApplication::afterCrossThreadCall = nullptr;
    theApp.m_pMainWnd = nullptr;
    if (g_hLoaderLibrary != nullptr) {
      FreeLibrary(g_hLoaderLibrary);
      g_hLoaderLibrary = nullptr;
    }
  }

  std::string Status() {
    return qobject_cast<QLabel*>(AfxWidgetOf(dialog_.GetDlgItem(IDC_STATUS)))->text().toStdString();
  }

  void RecordStatus() {
    if (AfxWidgetOf(&dialog_) == nullptr) {
      return;
    }
    const std::string status = Status();
    if (status != lastStatus_) {
      lastStatus_ = status;
      statuses_.push_back(status);
      if (onStatus_) {
        onStatus_(status);
      }
    }
  }

  std::string Tiff(const std::string& name, bool mosaic, unsigned seed = 1) {
    TiffLayout layout;
    layout.width = kWidth;
    layout.height = kHeight;
    layout.rowsPerStrip = 4;
    layout.compression = COMPRESSION_LZW;
    EXPECT_TRUE(WriteTiff(folder_.File(name), layout, Samples(mosaic, seed)));
    return folder_.File(name);
  }

  void Click(int id) {
    QTest::mouseClick(qobject_cast<QAbstractButton*>(AfxWidgetOf(dialog_.GetDlgItem(id))),
                      Qt::LeftButton);
  }

  // Chooses the files with "Convert to BMP ..." and waits for the run to end
  // ("Ready.") or fail (an error reported).
  void Convert(const std::vector<std::string>& names) {
    statuses_.clear();
    lastStatus_ = Status();
    AnswerFileDialog(folder_.Path(), names);
    Click(IDC_CONVERT);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
          return (!statuses_.empty() && statuses_.back() == "Ready.") ||
                 !errors_.Messages().empty();
        },
        10000));
  }

  // Expects path to be a gray 8-bit BMP (or a 24-bit colour one) with these
  // pixels.
  static void ExpectBmp(const std::string& path, const CVisImage<unsigned char>& gray, bool color,
                        BayerLayout layout = BayerLayout::kRggb) {
    const std::vector<unsigned char> bytes = ReadBytes(path);
    ASSERT_GT(bytes.size(), 54u) << path;
    EXPECT_EQ(bytes[28], color ? 24 : 8) << path;
    if (!color) {
      CVisImage<unsigned char> written(1, evispixfmtGrayByte);
      written.ReadFile(path.c_str());
      ASSERT_EQ(written.Rect(), gray.Rect());
      EXPECT_TRUE(std::equal(gray.PbPixelMemory(), gray.PbPixelMemory() + gray.CbPixelMemory(),
                             written.PbPixelMemory()));
      return;
    }
    CVisImage<Rgba> expected(4, evispixfmtRGBAByte);
    DemosaicImage(gray, expected, layout);
    CVisImage<Rgba> written(4, evispixfmtRGBAByte);
    written.ReadFile(path.c_str());
    ASSERT_EQ(written.Rect(), expected.Rect());
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const Rgba& e = expected.Pixel(x, y);
        ASSERT_EQ(written.Pixel(x, y), Rgba(e.r, e.g, e.b, 0)) << path << " at " << x << "," << y;
      }
    }
  }

  TempFolder folder_;
  CMainDialog dialog_;
  ErrorRecorder errors_;
  std::vector<std::string> statuses_;
  std::string lastStatus_;
  std::function<void(const std::string&)> onStatus_;
};

TEST_F(ConvertTest, OneGrayFileInAutoMode) {
  RunModal(dialog_, [&] {
    const std::string tiff = Tiff("a.tif", false);
    Convert({"a.tif"});
    EXPECT_EQ(statuses_, (std::vector<std::string>{"Processing " + tiff + "...", "Ready."}));
    ExpectBmp(folder_.File("a.bmp"), GrayOf(Samples(false, 1)), false);
    EXPECT_TRUE(fs::exists(tiff));
  });
}

TEST_F(ConvertTest, SeveralFilesInOrderAndAutoTellsMosaicsApart) {
  RunModal(dialog_, [&] {
    const std::string a = Tiff("a.tif", true, 1);
    const std::string b = Tiff("b.tif", false, 2);
    const std::string c = Tiff("c.tif", true, 3);
    Convert({"c.tif", "a.tif", "b.tif"});
    EXPECT_EQ(statuses_,
              (std::vector<std::string>{"Processing " + c + "...", "Processing " + a + "...",
                                        "Processing " + b + "...", "Ready."}));
    ExpectBmp(folder_.File("a.bmp"), GrayOf(Samples(true, 1)), true);
    ExpectBmp(folder_.File("b.bmp"), GrayOf(Samples(false, 2)), false);
    ExpectBmp(folder_.File("c.bmp"), GrayOf(Samples(true, 3)), true);
    EXPECT_TRUE(errors_.Messages().empty());
  });
}

// A layout the file declares is demosaiced in that layout, as in the
// command line.
TEST_F(ConvertTest, ALayoutTheFileDeclaresIsDemosaicedInIt) {
  RunModal(dialog_, [&] {
    TiffLayout layout;
    layout.width = kWidth;
    layout.height = kHeight;
    layout.cfaDimensions = {2, 2};
    layout.cfaColours = {1, 2, 0, 1};  // green, blue / red, green
    ASSERT_TRUE(WriteTiff(folder_.File("gbrg.tif"), layout, Samples(true, 6)));
    Convert({"gbrg.tif"});
    EXPECT_TRUE(errors_.Messages().empty());
    ExpectBmp(folder_.File("gbrg.bmp"), GrayOf(Samples(true, 6)), true, BayerLayout::kGbrg);
  });
}

// Levels the file declares (DNG's BlackLevel and WhiteLevel) are honoured
// as in the command line: v becomes round(255 (v - black) / (white - black)).
TEST_F(ConvertTest, LevelsTheFileDeclaresAreHonoured) {
  RunModal(dialog_, [&] {
    const std::vector<std::uint32_t> eight = Samples(true, 9);
    std::vector<unsigned char> bytes;
    std::vector<std::uint32_t> expected;
    for (const std::uint32_t v : eight) {
      const std::uint32_t deep = 64 + v * 16;  // 64 .. 4144, clipped at 4095
      bytes.push_back(static_cast<unsigned char>(deep & 0xFF));
      bytes.push_back(static_cast<unsigned char>(deep >> 8));
      const double level = std::min(1.0, (deep - 64.0) / (4095 - 64));
      expected.push_back(static_cast<std::uint32_t>(std::lround(255 * level)));
    }
    WriteBytes(folder_.File("dng.tif"), PlainTiff(kWidth, kHeight, 16, 1, kHeight, bytes, 1, false,
                                                  {RawTiffEntry{50714, kTiffShort, {64}},
                                                   RawTiffEntry{50717, kTiffLong, {4095}}}));
    Convert({"dng.tif"});
    EXPECT_TRUE(errors_.Messages().empty());
    ExpectBmp(folder_.File("dng.bmp"), GrayOf(expected), true);
  });
}

// TIFFs of several pages: each first page converted, the TIFFs kept even
// with Remove TIF, the run goes on, and one box at its end names them all.
TEST_F(ConvertTest, ATiffOfSeveralPagesIsKeptAndTheRunGoesOn) {
  RunModal(dialog_, [&] {
    TiffLayout layout;
    layout.width = kWidth;
    layout.height = kHeight;
    layout.pages = 3;
    const std::string stack = folder_.File("stack.tif");
    const std::string other = folder_.File("other.tif");
    ASSERT_TRUE(WriteTiff(stack, layout, Samples(true, 7)));
    ASSERT_TRUE(WriteTiff(other, layout, Samples(true, 8)));
    const std::string next = Tiff("next.tif", false);
    Click(IDC_REMOVE_TIF);
    Convert({"stack.tif", "next.tif", "other.tif"});
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !statuses_.empty() && statuses_.back() == "Ready."; }, 10000));
    ASSERT_EQ(errors_.Messages().size(), 1u);
    EXPECT_EQ(errors_.Messages()[0], "\"" + stack + "\"\n\"" + other +
                                         "\"\nit holds 3 pages; only the first was converted, "
                                         "and the TIFF is kept");
    EXPECT_TRUE(fs::exists(stack));
    EXPECT_TRUE(fs::exists(other));
    ExpectBmp(folder_.File("stack.bmp"), GrayOf(Samples(true, 7)), true);
    EXPECT_FALSE(fs::exists(next));
    EXPECT_TRUE(fs::exists(folder_.File("next.bmp")));
  });
}

// 16-bit frames whose samples all lie below 4096 are converted as they are,
// and one box at the end of the run names them: never silently near black.
TEST_F(ConvertTest, DarkSixteenBitFramesAreNamedInOneBox) {
  RunModal(dialog_, [&] {
    TiffLayout layout;
    layout.width = kWidth;
    layout.height = kHeight;
    layout.bits = 16;
    std::vector<std::uint32_t> dark = Samples(true, 9);
    for (std::uint32_t& v : dark) {
      v *= 10;  // at most about 2550: a 12-bit camera's picture
    }
    const std::string first = folder_.File("d1.tif");
    const std::string second = folder_.File("d2.tif");
    ASSERT_TRUE(WriteTiff(first, layout, dark));
    ASSERT_TRUE(WriteTiff(second, layout, dark));
    Tiff("bright.tif", true, 10);
    Convert({"d1.tif", "bright.tif", "d2.tif"});
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !statuses_.empty() && statuses_.back() == "Ready."; }, 10000));
    ASSERT_EQ(errors_.Messages().size(), 1u);
    EXPECT_EQ(
        errors_.Messages()[0].rfind(
            "\"" + first + "\"\n\"" + second + "\"\n16-bit samples all below 4096 of 65535", 0),
        0u)
        << errors_.Messages()[0];
    EXPECT_TRUE(fs::exists(folder_.File("d1.bmp")));
    EXPECT_TRUE(fs::exists(folder_.File("d2.bmp")));
  });
}

TEST_F(ConvertTest, ColorAndGrayscaleModesForceTheirPath) {
  RunModal(dialog_, [&] {
    Tiff("gray.tif", false, 4);
    Tiff("mosaic.tif", true, 5);
    Click(IDC_COLOR);
    Convert({"gray.tif"});
    ExpectBmp(folder_.File("gray.bmp"), GrayOf(Samples(false, 4)), true);
    Click(IDC_GRAYSCALE);
    Convert({"mosaic.tif"});
    ExpectBmp(folder_.File("mosaic.bmp"), GrayOf(Samples(true, 5)), false);
  });
}

TEST_F(ConvertTest, OutputReplacesTheLastThreeCharactersAndTiffAllFour) {
  EXPECT_EQ(ConversionFilesFor("C:\\Images\\a.tif").output.Str(), "C:\\Images\\a.bmp");
  RunModal(dialog_, [&] {
    Tiff("upper.TIF", false);
    Tiff("long.tiff", false);
    Tiff("LOUD.TIFF", false);
    Convert({"upper.TIF", "long.tiff", "LOUD.TIFF"});
    EXPECT_TRUE(fs::exists(folder_.File("upper.bmp")));
    EXPECT_TRUE(fs::exists(folder_.File("long.bmp")));
    EXPECT_TRUE(fs::exists(folder_.File("LOUD.bmp")));
    EXPECT_FALSE(fs::exists(folder_.File("long.tbmp")));
  });
}

TEST_F(ConvertTest, RemoveTifDeletesConvertedFilesAndKeepsTheFailingOne) {
  RunModal(dialog_, [&] {
    const std::string a = Tiff("a.tif", false);
    const std::string bad = folder_.File("bad.tif");
    WriteBytes(bad, {'I', 'I', 42, 0, 8, 0, 0, 0, 1});
    const std::string c = Tiff("c.tif", false);
    Click(IDC_REMOVE_TIF);
    Convert({"a.tif", "bad.tif", "c.tif"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !errors_.Messages().empty(); }, 5000));
    EXPECT_NE(errors_.Messages()[0].find(bad), std::string::npos);
    EXPECT_NE(errors_.Messages()[0].find("\nthe TIFF header is damaged"), std::string::npos)
        << errors_.Messages()[0];
    EXPECT_EQ(Status(), "Processing " + bad + "...");
    EXPECT_FALSE(fs::exists(a));
    EXPECT_TRUE(fs::exists(folder_.File("a.bmp")));
    EXPECT_TRUE(fs::exists(bad));
    EXPECT_FALSE(fs::exists(folder_.File("bad.bmp")));
    EXPECT_TRUE(fs::exists(c));
    EXPECT_FALSE(fs::exists(folder_.File("c.bmp")));
  });
}

TEST_F(ConvertTest, WithoutTheLoaderLibraryTheRunStopsAtItsFirstFile) {
  FreeLibrary(g_hLoaderLibrary);
  g_hLoaderLibrary = nullptr;
  RunModal(dialog_, [&] {
    const std::string a = Tiff("a.tif", false);
    Tiff("b.tif", false);
    Click(IDC_REMOVE_TIF);
    Convert({"a.tif", "b.tif"});
    ASSERT_EQ(errors_.Messages().size(), 1u);
    EXPECT_NE(errors_.Messages()[0].find(a), std::string::npos);
    // The second line says why: the TIFF reader is missing.
    EXPECT_NE(errors_.Messages()[0].find("\nthe TIFF reader Vantrel is not loaded"),
              std::string::npos)
        << errors_.Messages()[0];
    EXPECT_EQ(Status(), "Processing " + a + "...");
    EXPECT_EQ(folder_.Names().size(), 2u);  // the two TIFFs, nothing else
  });
}

// A name typed into the file dialog is taken whether or not such a file
// exists; the worker says what is wrong with it. The dialog writes nothing
// into the user's configuration folder.
TEST_F(ConvertTest, ATypedNameThatDoesNotExistReachesTheWorker) {
  RunModal(dialog_, [&] {
    Convert({"nothere.tif"});
    ASSERT_EQ(errors_.Messages().size(), 1u);
    EXPECT_NE(errors_.Messages()[0].find(folder_.File("nothere.tif")), std::string::npos)
        << errors_.Messages()[0];
    EXPECT_NE(errors_.Messages()[0].find("No such file or directory"), std::string::npos)
        << errors_.Messages()[0];
  });
  const std::string configuration =
      QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString();
  EXPECT_FALSE(fs::exists(fs::path(configuration) / "QtProject.conf"));
}

// Names typed after the folder's listing has loaded, some of files that
// exist and one of none: every typed name reaches the worker, in the order
// typed, the missing one too, which is reported.
TEST_F(ConvertTest, TypedNamesAreTakenAllAndInOrderOnceTheListingHasLoaded) {
  RunModal(dialog_, [&] {
    const std::string b = Tiff("b.tif", false);
    const std::string a = Tiff("a.tif", false);
    statuses_.clear();
    lastStatus_ = Status();
    TypeIntoFileDialog(folder_.Path(), {"b.tif", "missing.tif", "a.tif"});
    Click(IDC_CONVERT);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !errors_.Messages().empty(); }, 10000));
    EXPECT_NE(errors_.Messages()[0].find(folder_.File("missing.tif")), std::string::npos)
        << errors_.Messages()[0];
    EXPECT_EQ(statuses_,
              (std::vector<std::string>{"Processing " + b + "...",
                                        "Processing " + folder_.File("missing.tif") + "..."}));
    EXPECT_TRUE(fs::exists(folder_.File("b.bmp")));
    EXPECT_FALSE(fs::exists(folder_.File("a.bmp")));  // the run stopped at the missing file
  });
}

TEST_F(ConvertTest, ModeChangesApplyFromTheNextFile) {
  RunModal(dialog_, [&] {
    Tiff("a.tif", true, 1);
    const std::string b = Tiff("b.tif", true, 2);
    // While the second file is loading, the user picks Grayscale.
    onStatus_ = [&](const std::string& status) {
      if (status == "Processing " + b + "...") {
        Click(IDC_GRAYSCALE);
      }
    };
    Convert({"a.tif", "b.tif"});
    ExpectBmp(folder_.File("a.bmp"), GrayOf(Samples(true, 1)), true);
    ExpectBmp(folder_.File("b.bmp"), GrayOf(Samples(true, 2)), false);
  });
}

TEST_F(ConvertTest, SecondRunAlongsideTheFirst) {
  RunModal(dialog_, [&] {
    std::vector<std::string> first;
    for (int i = 0; i < 6; ++i) {
      Tiff("first" + std::to_string(i) + ".tif", true, i);
      first.push_back("first" + std::to_string(i) + ".tif");
    }
    Tiff("second.tif", false, 9);
    AnswerFileDialog(folder_.Path(), first);
    Click(IDC_CONVERT);
    // Pressing the button again during the run opens the dialog again.
    AnswerFileDialog(folder_.Path(), {"second.tif"});
    Click(IDC_CONVERT);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
          return fs::exists(folder_.File("second.bmp")) && fs::exists(folder_.File("first5.bmp")) &&
                 Status() == "Ready.";
        },
        10000));
    for (int i = 0; i < 6; ++i) {
      ExpectBmp(folder_.File("first" + std::to_string(i) + ".bmp"), GrayOf(Samples(true, i)), true);
    }
    ExpectBmp(folder_.File("second.bmp"), GrayOf(Samples(false, 9)), false);
    EXPECT_TRUE(errors_.Messages().empty());
  });
}

TEST_F(ConvertTest, CancelChangesNothing) {
  RunModal(dialog_, [&] {
    Tiff("a.tif", false);
    dialog_.SetDlgItemText(IDC_STATUS, "Earlier text");
    AnswerFileDialog(folder_.Path(), {});
    Click(IDC_CONVERT);  // returns once the cancelled dialog has closed
    EXPECT_EQ(Status(), "Earlier text");
    EXPECT_EQ(folder_.Names(), std::vector<std::string>{"a.tif"});
  });
}

TEST_F(ConvertTest, ClosingTheDialogFinishesOnlyTheFileInHand) {
  std::vector<std::string> names;
  RunModal(dialog_, [&] {
    for (int i = 0; i < 8; ++i) {
      names.push_back("f" + std::to_string(i) + ".tif");
      Tiff(names.back(), true, i);
    }
    onStatus_ = [&](const std::string& status) {
      if (status.find("f2.tif") != std::string::npos) {
        dialog_.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
      }
    };
    AnswerFileDialog(folder_.Path(), names);
    Click(IDC_CONVERT);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !AfxWidgetOf(&dialog_)->isVisible(); }, 5000));
  });
  // DoModal has returned: the worker has finished the file in hand (and, if
  // the close reached it only then, at most the next one) and stopped.
  for (int i = 0; i <= 2; ++i) {
    ExpectBmp(folder_.File("f" + std::to_string(i) + ".bmp"), GrayOf(Samples(true, i)), true);
  }
  for (int i = 4; i < 8; ++i) {
    EXPECT_FALSE(fs::exists(folder_.File("f" + std::to_string(i) + ".bmp"))) << i;
  }
}

// A worker waiting for files that another program holds stops waiting when
// the dialog closes, and leaves the file untouched.
TEST_F(ConvertTest, ClosingTheDialogEndsAWaitForAnotherProgram) {
  const std::string tiff = Tiff("a.tif", false);
  std::optional<FileLock> other = TakeClaimSlot(ClaimKey(tiff.c_str()));
  ASSERT_TRUE(other.has_value());
  RunModal(dialog_, [&] {
    onStatus_ = [&](const std::string& status) {
      if (status.find("a.tif") != std::string::npos) {
        dialog_.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
      }
    };
    AnswerFileDialog(folder_.Path(), {"a.tif"});
    Click(IDC_CONVERT);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !AfxWidgetOf(&dialog_)->isVisible(); }, 5000));
  });
  EXPECT_EQ(folder_.Names(), std::vector<std::string>{"a.tif"});
  EXPECT_TRUE(errors_.Messages().empty());
}

TEST_F(ConvertTest, UnwritableOutputKeepsTheTiff) {
  RunModal(dialog_, [&] {
    const std::string tiff = Tiff("b.tif", false);
    fs::create_directory(folder_.File("b.bmp"));
    Click(IDC_REMOVE_TIF);
    Convert({"b.tif"});
    ASSERT_EQ(errors_.Messages().size(), 1u);
    EXPECT_NE(errors_.Messages()[0].find(folder_.File("b.bmp")), std::string::npos);
    EXPECT_TRUE(fs::exists(tiff));
    EXPECT_EQ(Status(), "Processing " + tiff + "...");
  });
}

}  // namespace
