// Tessary.exe as a person meets it on Windows, driven from outside like
// another program would: its windows found by title, buttons pressed with
// WM_COMMAND, file names typed into the file dialog's name box.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ColorPicture.h"
#include "Eventually.h"
#include "ImageAverager.h"
#include "RawTiff.h"
#include "TempFolder.h"
#include "VisImage.h"
#include "WinTypes.h"

namespace {

// The program's control ids and system menu command.
constexpr int kAverage = 1000;
constexpr int kConvert = 1001;
constexpr int kStatus = 1003;
constexpr int kAuto = 1004;
constexpr int kColor = 1005;
constexpr int kGrayscale = 1006;
constexpr int kRemoveTif = 1007;
constexpr UINT kAboutCommand = 0x0010;
// The name box of the system's file dialogs, and a message box's text.
constexpr int kFileNameBox = 0x47C;
constexpr int kMessageText = 0xFFFF;

constexpr auto kPatience = std::chrono::milliseconds(20000);

std::filesystem::path ProgramFolder() {
  char path[MAX_PATH];
  ::GetModuleFileNameA(nullptr, path, sizeof path);
  return std::filesystem::path(path).parent_path();
}

// Asks again until the answer is there or patience runs out.
template <class Answer>
Answer WaitFor(const std::function<Answer()>& ask) {
  Answer answer{};
  Eventually([&] { return static_cast<bool>(answer = ask()); }, kPatience,
             std::chrono::milliseconds(20));
  return answer;
}

std::string ClassName(HWND window) {
  char name[64] = {};
  ::GetClassNameA(window, name, sizeof name);
  return name;
}

// The text of a window of the other process, asked with WM_GETTEXT.
std::string Text(HWND window) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) {
    return "<no answer>";
  }
  std::string text(length + 1, '\0');
  DWORD_PTR copied = 0;
  ::SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 5000, &copied);
  text.resize(copied);
  return text;
}

// The program, started in a folder of its own, and its windows.
class TessaryProgram {
 public:
  explicit TessaryProgram(const std::filesystem::path& folder) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + (ProgramFolder() / "Tessary.exe").string() + "\"";
    const std::string workingFolder = folder.string();
    started_ = ::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                workingFolder.c_str(), &startup, &process_);
  }
  ~TessaryProgram() {
    if (started_) {
      if (::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(process_.hProcess, 99);
      }
      ::CloseHandle(process_.hThread);
      ::CloseHandle(process_.hProcess);
    }
  }
  TessaryProgram(const TessaryProgram&) = delete;
  TessaryProgram& operator=(const TessaryProgram&) = delete;

  bool Started() const { return started_ != FALSE; }

  // A visible top-level window of the program with that title whose
  // children pass the test; null after the patience ran out.
  HWND Window(const std::string& title, const std::function<bool(HWND)>& test = nullptr) const {
    return WaitFor<HWND>([&] { return FindNow(title, test); });
  }
  HWND FindNow(const std::string& title, const std::function<bool(HWND)>& test) const {
    struct Search {
      DWORD process;
      const std::string* title;
      const std::function<bool(HWND)>* test;
      HWND found;
    } search{process_.dwProcessId, &title, &test, nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
          auto* s = reinterpret_cast<Search*>(parameter);
          DWORD owner = 0;
          ::GetWindowThreadProcessId(window, &owner);
          if (owner != s->process || !::IsWindowVisible(window) || Text(window) != *s->title ||
              (*s->test && !(*s->test)(window))) {
            return TRUE;
          }
          s->found = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
  }
  HWND MainDialog() const {
    return Window("Tessary", [](HWND window) { return ::GetDlgItem(window, kStatus) != nullptr; });
  }
  HWND ErrorBox() const {
    return Window("Tessary", [](HWND window) { return ::GetDlgItem(window, kStatus) == nullptr; });
  }

  // The exit code once the program has ended, or -1.
  long ExitCode() const {
    if (::WaitForSingleObject(process_.hProcess, 20000) != WAIT_OBJECT_0) {
      return -1;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process_.hProcess, &code);
    return static_cast<long>(code);
  }

 private:
  PROCESS_INFORMATION process_ = {};
  BOOL started_ = FALSE;
};

// Presses a button of a dialog as a click does; the program answers later.
void Press(HWND dialog, int id) {
  ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

// Clicks a button: a radio button or check box then changes as under the
// mouse.
void Click(HWND dialog, int id) {
  ::PostMessageA(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// Types names into a file dialog's name box and confirms them.
void ChooseInFileDialog(HWND fileDialog, const std::string& names) {
  ASSERT_NE(fileDialog, nullptr);
  HWND nameBox = ::GetDlgItem(fileDialog, kFileNameBox);
  ASSERT_NE(nameBox, nullptr);
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutA(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(names.c_str()),
                        SMTO_ABORTIFHUNG, 5000, &ignored);
  Press(fileDialog, IDOK);
}

bool IsChecked(HWND dialog, int id) {
  DWORD_PTR state = 0;
  ::SendMessageTimeoutA(::GetDlgItem(dialog, id), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000,
                        &state);
  return state == BST_CHECKED;
}

// The status line once it shows the text.
bool StatusShows(HWND dialog, const std::string& text) {
  return WaitFor<bool>([&] { return Text(::GetDlgItem(dialog, kStatus)) == text; });
}

class WindowsProgramTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(program_.Started()); }

  // An 8-bit gray TIFF whose samples are a Bayer-like ramp.
  std::string WriteTiff(const std::string& name, int width, int height) {
    std::vector<unsigned char> samples(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < samples.size(); ++i) {
      samples[i] = static_cast<unsigned char>((i * 37) % 251);
    }
    const std::string path = folder_.File(name);
    WriteBytes(path, PlainTiff(width, height, 8, 1, height, samples));
    return path;
  }

  TempFolder folder_;
  TessaryProgram program_{folder_.Path()};
};

TEST_F(WindowsProgramTest, TheDialogComesFromItsTemplate) {
  HWND dialog = program_.MainDialog();
  ASSERT_NE(dialog, nullptr);

  struct Expected {
    int id;
    const char* className;
    const char* text;
    int x, y, cx, cy;
  };
  const Expected controls[] = {
      {kAverage, "Button", "&Average Images ...", 230, 7, 79, 17},
      {kConvert, "Button", "&Convert to BMP ...", 67, 35, 67, 18},
      {kStatus, "Static", "Ready.", 7, 60, 302, 13},
      {kAuto, "Button", "A&uto", 15, 17, 50, 13},
      {kColor, "Button", "Co&lor", 15, 30, 31, 13},
      {kGrayscale, "Button", "&Grayscale", 15, 43, 51, 13},
      {kRemoveTif, "Button", "&Remove TIF", 68, 16, 67, 13},
  };
  // The dialog font's base units, from the client area of 316 x 79 units;
  // the system rounds dialog units to the nearest pixel.
  RECT client;
  ::GetClientRect(dialog, &client);
  int baseX = 1;
  int baseY = 1;
  while (baseX < 64 && ::MulDiv(316, baseX, 4) < client.right) {
    ++baseX;
  }
  while (baseY < 64 && ::MulDiv(79, baseY, 8) < client.bottom) {
    ++baseY;
  }
  EXPECT_EQ(client.right, ::MulDiv(316, baseX, 4));
  EXPECT_EQ(client.bottom, ::MulDiv(79, baseY, 8));
  for (const Expected& control : controls) {
    SCOPED_TRACE(control.text);
    HWND window = ::GetDlgItem(dialog, control.id);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ClassName(window), control.className);
    EXPECT_EQ(Text(window), control.text);
    RECT rect;
    ::GetWindowRect(window, &rect);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, ::MulDiv(control.x, baseX, 4));
    EXPECT_EQ(rect.top, ::MulDiv(control.y, baseY, 8));
    EXPECT_EQ(rect.right - rect.left, ::MulDiv(control.cx, baseX, 4));
    EXPECT_EQ(rect.bottom - rect.top, ::MulDiv(control.cy, baseY, 8));
  }
  EXPECT_TRUE(IsChecked(dialog, kAuto));
  EXPECT_FALSE(IsChecked(dialog, kRemoveTif));

  // The about box, from the system menu's command.
  ::PostMessageA(dialog, WM_SYSCOMMAND, kAboutCommand, 0);
  HWND about = program_.Window("About Tessary", [](HWND window) {
    for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
      if (Text(child) == "Tessary Version 1.0") {
        return true;
      }
    }
    return false;
  });
  ASSERT_NE(about, nullptr);
  Press(about, IDOK);
  EXPECT_TRUE(WaitFor<bool>([&] { return !::IsWindow(about); }));

  // The close box's command ends the program.
  ::PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(program_.ExitCode(), 0);
}

// The file itself carries the icon and the version information that
// Explorer shows.
TEST(WindowsProgramFile, CarriesItsIconAndVersion) {
  const std::string program = (ProgramFolder() / "Tessary.exe").string();
  DWORD ignored = 0;
  std::vector<char> version(::GetFileVersionInfoSizeA(program.c_str(), &ignored));
  ASSERT_FALSE(version.empty());
  ASSERT_TRUE(::GetFileVersionInfoA(program.c_str(), 0, version.size(), version.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueA(version.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
  char* productName = nullptr;
  ASSERT_TRUE(::VerQueryValueA(version.data(), "\\StringFileInfo\\040904B0\\ProductName",
                               reinterpret_cast<void**>(&productName), &length));
  EXPECT_STREQ(productName, "Tessary Application");

  // The large icon: a Bayer tile whose first cell inside the black frame is
  // red.
  HMODULE file = ::LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(file, nullptr);
  HICON icon = static_cast<HICON>(::LoadImageA(file, MAKEINTRESOURCEA(128), IMAGE_ICON, 32, 32, 0));
  ASSERT_NE(icon, nullptr);
  ICONINFO info = {};
  ASSERT_TRUE(::GetIconInfo(icon, &info));
  BITMAPINFO format = {};
  format.bmiHeader.biSize = sizeof format.bmiHeader;
  format.bmiHeader.biWidth = 32;
  format.bmiHeader.biHeight = -32;  // top row first
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  std::vector<std::uint32_t> pixels(32 * 32);
  HDC screen = ::GetDC(nullptr);
  EXPECT_EQ(::GetDIBits(screen, info.hbmColor, 0, 32, pixels.data(), &format, DIB_RGB_COLORS), 32);
  ::ReleaseDC(nullptr, screen);
  EXPECT_EQ(pixels[0] & 0xFFFFFF, 0x000000u);
  EXPECT_EQ(pixels[1 * 32 + 1] & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(pixels[1 * 32 + 9] & 0xFFFFFF, 0x00FF00u);
  ::DeleteObject(info.hbmColor);
  ::DeleteObject(info.hbmMask);
  ::DestroyIcon(icon);
  ::FreeLibrary(file);
}

TEST_F(WindowsProgramTest, ConversionShowsEachFileAndReportsTheOneThatFails) {
  const std::string good = WriteTiff("good.tif", 64, 48);
  const std::string bad = folder_.File("bad.tif");
  WriteBytes(bad, {'n', 'o', 't', ' ', 'a', ' ', 't', 'i', 'f', 'f'});
  HWND dialog = program_.MainDialog();
  ASSERT_NE(dialog, nullptr);
  Click(dialog, kColor);
  ASSERT_TRUE(WaitFor<bool>([&] { return IsChecked(dialog, kColor); }));
  EXPECT_FALSE(IsChecked(dialog, kAuto));

  Press(dialog, kConvert);
  ChooseInFileDialog(program_.Window("TIF Files to Convert"), "\"good.tif\" \"bad.tif\"");

  // The worker stops at the failing file: its status text stays while the
  // error box names the file and says why.
  HWND box = program_.ErrorBox();
  ASSERT_NE(box, nullptr);
  const std::string message = Text(::GetDlgItem(box, kMessageText));
  EXPECT_NE(message.find("bad.tif"), std::string::npos) << message;
  EXPECT_NE(message.find("not a TIFF file"), std::string::npos) << message;
  EXPECT_EQ(Text(::GetDlgItem(dialog, kStatus)), "Processing " + bad + "...");
  Press(box, IDOK);

  // The good file became a colour BMP beside it.
  CVisImage<CVisRGBA<unsigned char>> converted(4, evispixfmtRGBAByte);
  ASSERT_NO_THROW(converted.ReadFile(folder_.File("good.bmp").c_str()));
  EXPECT_EQ(converted.Width(), 64);
  EXPECT_EQ(ReadBytes(folder_.File("good.bmp")).at(28), 24);
  EXPECT_TRUE(std::filesystem::exists(bad));

  ::PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(program_.ExitCode(), 0);
}

TEST_F(WindowsProgramTest, ClosingDuringAConversionFinishesTheFileInHand) {
  std::vector<std::string> tiffs;
  std::string names;
  for (int i = 0; i < 3; ++i) {
    const std::string name = "big" + std::to_string(i) + ".tif";
    tiffs.push_back(WriteTiff(name, 3000, 2000));
    names += "\"" + name + "\" ";
  }
  HWND dialog = program_.MainDialog();
  ASSERT_NE(dialog, nullptr);
  Press(dialog, kConvert);
  ChooseInFileDialog(program_.Window("TIF Files to Convert"), names);
  ASSERT_TRUE(StatusShows(dialog, "Processing " + tiffs[0] + "..."));
  ::PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(program_.ExitCode(), 0);

  // Whatever was begun was finished; the folder holds the TIFFs and whole
  // BMPs, nothing half-written.
  int bmps = 0;
  for (const std::string& name : folder_.Names()) {
    if (name.ends_with(".tif")) {
      continue;
    }
    SCOPED_TRACE(name);
    ASSERT_TRUE(name.ends_with(".bmp"));
    CVisImage<CVisRGBA<unsigned char>> converted(4, evispixfmtRGBAByte);
    ASSERT_NO_THROW(converted.ReadFile(folder_.File(name).c_str()));
    EXPECT_EQ(converted.Width(), 3000);
    ++bmps;
  }
  EXPECT_GE(bmps, 1);
  EXPECT_LT(bmps, 3);
}

TEST_F(WindowsProgramTest, AverageOfALongSelectionMissesNoFile) {
  // 600 names of 120 characters, far more than the program's own buffer of
  // 10000 characters holds. The last file is no picture, so the average must
  // reach it.
  std::vector<std::string> inputs;
  std::string names;
  for (int i = 0; i < 600; ++i) {
    const std::string name = std::string(110, 'p') + std::to_string(1000 + i) + ".bmp";
    inputs.push_back(WriteColorPicture(folder_.File(name), 3, 2, [i](int x, int y) {
      return CVisRGBA<unsigned char>(static_cast<unsigned char>(i % 7 + x),
                                     static_cast<unsigned char>(y), 9);
    }));
    names += "\"" + name + "\" ";
  }
  const std::string last = folder_.File("zz-last.bmp");
  WriteBytes(last, {'B', 'M', 0, 0});
  names += "\"zz-last.bmp\"";
  ASSERT_GT(names.size(), 64u * 1024u);

  HWND dialog = program_.MainDialog();
  ASSERT_NE(dialog, nullptr);
  Press(dialog, kAverage);
  ChooseInFileDialog(program_.Window("Images to Average"), names);
  ChooseInFileDialog(program_.Window("Save Average As"), "mean.bmp");

  HWND box = program_.ErrorBox();
  ASSERT_NE(box, nullptr);
  const std::string message = Text(::GetDlgItem(box, kMessageText));
  EXPECT_NE(message.find("zz-last.bmp"), std::string::npos) << message;
  Press(box, IDOK);
  EXPECT_FALSE(std::filesystem::exists(folder_.File("mean.bmp")));

  // Without it, the mean is the library's mean, bit for bit.
  Press(dialog, kAverage);
  ChooseInFileDialog(program_.Window("Images to Average"), names.substr(0, names.rfind(" \"")));
  ChooseInFileDialog(program_.Window("Save Average As"), "mean.bmp");
  ASSERT_TRUE(WaitFor<bool>([&] { return std::filesystem::exists(folder_.File("mean.bmp")); }));
  ASSERT_TRUE(StatusShows(dialog, "Ready."));
  ImageAverager expected;
  for (const std::string& input : inputs) {
    expected.Add(input.c_str());
  }
  expected.WriteMean(folder_.File("expected.bmp").c_str());
  EXPECT_EQ(ReadBytes(folder_.File("mean.bmp")), ReadBytes(folder_.File("expected.bmp")));

  ::PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(program_.ExitCode(), 0);
}

}  // namespace
