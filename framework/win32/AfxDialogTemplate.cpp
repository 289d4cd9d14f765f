#include "AfxDialogTemplate.h"

#include <cstdlib>
#include <cstring>

#include "AfxWinTypes.h"

namespace {

// The system's atoms of the predefined control classes.
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kStaticClass = 0x0082;

class TemplateWriter {
 public:
  void Word(WORD value) { words_.push_back(value); }
  void Dword(DWORD value) {
    Word(static_cast<WORD>(value & 0xFFFF));
    Word(static_cast<WORD>(value >> 16));
  }
  void Short(int value) { Word(static_cast<WORD>(static_cast<short>(value))); }
  void Text(const char* text) {
    const char* ansi = text != nullptr ? text : "";
    const int length = ::MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
    std::vector<wchar_t> wide(length > 0 ? length : 1, L'\0');
    if (length > 0) {
      ::MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide.data(), length);
    }
    for (wchar_t character : wide) {
      Word(static_cast<WORD>(character));
    }
  }
  void AlignToDword() {
    if (words_.size() % 2 != 0) {
      Word(0);
    }
  }
  std::vector<WORD> Take() { return std::move(words_); }

 private:
  std::vector<WORD> words_;
};

bool IsIconControl(const AfxDialogControl& control) {
  return std::strcmp(control.className, "static") == 0 && (control.style & SS_TYPEMASK) == SS_ICON;
}

}  // namespace

UINT AfxTemplateIconId(const AfxDialogControl& control) {
  if (!IsIconControl(control) || control.text == nullptr || control.text[0] != '#') {
    return 0;
  }
  return static_cast<UINT>(std::strtoul(control.text + 1, nullptr, 10));
}

std::vector<WORD> AfxBuildDialogTemplate(const AfxDialogTemplate& dialogTemplate) {
  TemplateWriter out;
  out.Word(1);       // version
  out.Word(0xFFFF);  // extended template
  out.Dword(0);      // help id
  out.Dword(dialogTemplate.exStyle);
  out.Dword(dialogTemplate.style);
  out.Word(static_cast<WORD>(dialogTemplate.controls.size()));
  out.Short(dialogTemplate.x);
  out.Short(dialogTemplate.y);
  out.Short(dialogTemplate.cx);
  out.Short(dialogTemplate.cy);
  out.Word(0);  // no menu
  out.Word(0);  // the system's dialog class
  out.Text(dialogTemplate.caption);
  if (dialogTemplate.style & DS_SETFONT) {
    out.Word(static_cast<WORD>(dialogTemplate.pointSize));
    out.Word(FW_NORMAL);
    out.Word(MAKEWORD(FALSE, DEFAULT_CHARSET));  // not italic, default character set
    out.Text(dialogTemplate.fontFace);
  }
  for (const AfxDialogControl& control : dialogTemplate.controls) {
    out.AlignToDword();
    out.Dword(0);  // help id
    out.Dword(0);  // extended style
    out.Dword(control.style);
    out.Short(control.x);
    out.Short(control.y);
    out.Short(control.cx);
    out.Short(control.cy);
    out.Dword(static_cast<DWORD>(control.id));
    out.Word(0xFFFF);
    out.Word(std::strcmp(control.className, "button") == 0 ? kButtonClass : kStaticClass);
    out.Text(IsIconControl(control) ? "" : control.text);
    out.Word(0);  // no creation data
  }
  return out.Take();
}
