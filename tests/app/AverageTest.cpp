#include <gtest/gtest.h>

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <filesystem>
#include <string>
#include <vector>

#include "AfxNative.h"
#include "ColorPicture.h"
#include "Globals.h"
#include "GuiTest.h"
#include "MainApp.h"
#include "MainDialog.h"
#include "Resource.h"
#include "TempFolder.h"
#include "VisImage.h"

namespace {

using Rgba = CVisRGBA<unsigned char>;
namespace fs = std::filesystem;

class AverageTest : public ::testing::Test {
 protected:
  void SetUp() override { theApp.m_pMainWnd = &dialog_; }
  void TearDown() override { theApp.m_pMainWnd = nullptr; }

  // A w x h colour BMP in the test's folder whose pixels come from fill(x, y).
  std::string Picture(const std::string& name, int width, int height,
                      const std::function<Rgba(int, int)>& fill) {
    return WriteColorPicture(folder_.File(name), width, height, fill);
  }

  std::string Status() {
    return qobject_cast<QLabel*>(AfxWidgetOf(dialog_.GetDlgItem(IDC_STATUS)))->text().toStdString();
  }

  // Chooses the inputs and the output name through the two dialogs.
  void Average(const std::vector<std::string>& inputs, const std::string& output) {
    AnswerFileDialog(folder_.Path(), inputs, [this, output] {
      AnswerFileDialog(folder_.Path(), output.empty() ? std::vector<std::string>{}
                                                      : std::vector<std::string>{output});
    });
    QTest::mouseClick(qobject_cast<QPushButton*>(AfxWidgetOf(dialog_.GetDlgItem(IDC_AVERAGE))),
                      Qt::LeftButton);
  }

  static int BitsPerPixel(const std::string& path) {
    const std::vector<unsigned char> bytes = ReadBytes(path);
    return bytes.size() > 28 ? bytes[28] : 0;
  }

  static CVisImage<Rgba> Read(const std::string& path) {
    CVisImage<Rgba> image(4, evispixfmtRGBAByte);
    image.ReadFile(path.c_str());
    return image;
  }

  TempFolder folder_;
  CMainDialog dialog_;
  ErrorRecorder errors_;
};

TEST_F(AverageTest, OneFileKeepsItsValues) {
  RunModal(dialog_, [&] {
    Picture("a.bmp", 5, 3, [](int x, int y) { return Rgba(10 * x, 20 * y, 7); });
    Picture("g.bmp", 5, 3, [](int x, int y) {
      const auto v = static_cast<unsigned char>(x + 9 * y);
      return Rgba(v, v, v);
    });
    Average({"a.bmp"}, "mean.bmp");
    EXPECT_EQ(Status(), "Ready.");
    ASSERT_EQ(BitsPerPixel(folder_.File("mean.bmp")), 24);
    const auto mean = Read(folder_.File("mean.bmp"));
    EXPECT_EQ(mean.Pixel(4, 2), Rgba(40, 40, 7));
    Average({"g.bmp"}, "gray.bmp");
    ASSERT_EQ(BitsPerPixel(folder_.File("gray.bmp")), 8);
    EXPECT_EQ(Read(folder_.File("gray.bmp")).Pixel(3, 1), Rgba(12, 12, 12));
  });
}

TEST_F(AverageTest, OutputMayBeOneOfTheInputs) {
  RunModal(dialog_, [&] {
    Picture("a.bmp", 3, 3, [](int, int) { return Rgba(10, 40, 0); });
    Picture("b.bmp", 3, 3, [](int, int) { return Rgba(20, 60, 0); });
    WhenModal<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
    Average({"a.bmp", "b.bmp"}, "a.bmp");
    EXPECT_EQ(Read(folder_.File("a.bmp")).Pixel(1, 1), Rgba(15, 50, 0));
  });
}

TEST_F(AverageTest, ExistingOutputIsReplacedOnlyWhenTheUserAgrees) {
  RunModal(dialog_, [&] {
    Picture("a.bmp", 2, 2, [](int, int) { return Rgba(1, 2, 3); });
    WriteBytes(folder_.File("keep.bmp"), {'o', 'l', 'd'});
    // "No" returns to the save dialog, which the user then cancels.
    WhenModal<QMessageBox>([](QMessageBox* box) {
      box->button(QMessageBox::No)->click();
      AnswerFileDialog({}, {});
    });
    Average({"a.bmp"}, "keep.bmp");
    EXPECT_EQ(ReadBytes(folder_.File("keep.bmp")), (std::vector<unsigned char>{'o', 'l', 'd'}));
  });
}

TEST_F(AverageTest, NameWithoutExtensionIsUsedAsItIs) {
  RunModal(dialog_, [&] {
    Picture("a.bmp", 2, 2, [](int, int) { return Rgba(1, 2, 3); });
    Average({"a.bmp"}, "result");
    const std::vector<unsigned char> bytes = ReadBytes(folder_.File("result"));
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_FALSE(fs::exists(folder_.File("result.bmp")));
  });
}

TEST_F(AverageTest, SmallerLaterPictureIsAnErrorNamingIt) {
  RunModal(dialog_, [&] {
    Picture("big.bmp", 4, 4, [](int, int) { return Rgba(1, 2, 3); });
    const std::string small = Picture("small.bmp", 4, 3, [](int, int) { return Rgba(1, 2, 3); });
    Average({"big.bmp", "small.bmp"}, "mean.bmp");
    ASSERT_EQ(errors_.Messages().size(), 1u);
    EXPECT_NE(errors_.Messages()[0].find(small), std::string::npos);
    EXPECT_NE(errors_.Messages()[0].find(
                  "\nthe picture is 4 x 3 pixels, smaller than the first picture (4 x 4 pixels)"),
              std::string::npos)
        << errors_.Messages()[0];
    EXPECT_EQ(Status(), "Processing " + small + "...");
    EXPECT_FALSE(fs::exists(folder_.File("mean.bmp")));
  });
}

TEST_F(AverageTest, UnreadableFileWritesNothing) {
  RunModal(dialog_, [&] {
    Picture("a.bmp", 2, 2, [](int, int) { return Rgba(1, 2, 3); });
    WriteBytes(folder_.File("broken.bmp"), {'B', 'M', 1, 2});
    Average({"a.bmp", "broken.bmp"}, "mean.bmp");
    ASSERT_EQ(errors_.Messages().size(), 1u);
    // The file on one line, why on the next.
    EXPECT_NE(errors_.Messages()[0].find("\"" + folder_.File("broken.bmp") + "\".\nnot a BMP file"),
              std::string::npos)
        << errors_.Messages()[0];
    EXPECT_FALSE(fs::exists(folder_.File("mean.bmp")));
  });
}

TEST_F(AverageTest, CancelInEitherDialogChangesNothing) {
  RunModal(dialog_, [&] {
    Picture("a.bmp", 2, 2, [](int, int) { return Rgba(1, 2, 3); });
    dialog_.SetDlgItemText(IDC_STATUS, "Earlier text");
    AnswerFileDialog(folder_.Path(), {});
    QTest::mouseClick(qobject_cast<QPushButton*>(AfxWidgetOf(dialog_.GetDlgItem(IDC_AVERAGE))),
                      Qt::LeftButton);
    Average({"a.bmp"}, "");
    EXPECT_EQ(Status(), "Earlier text");
    EXPECT_EQ(folder_.Names(), std::vector<std::string>{"a.bmp"});
  });
}

}  // namespace
