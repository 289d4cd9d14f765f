#pragma once

#include <string>
#include <utility>

#include "WinTypes.h"

// The framework's string: 8-bit text as file dialogs hand out paths.
class CString {
 public:
  CString() = default;
  CString(const char* text) : text_(text == nullptr ? "" : text) {}
  CString(std::string text) : text_(std::move(text)) {}

  operator LPCSTR() const { return text_.c_str(); }
  const std::string& Str() const { return text_; }
  int GetLength() const { return static_cast<int>(text_.size()); }
  bool IsEmpty() const { return text_.empty(); }

  // Replaces the text by the string resource id; FALSE (and empty) when the
  // program has no such string.
  BOOL LoadString(UINT id);

  // The first count characters (all of them when count is larger).
  CString Left(int count) const { return CString(text_.substr(0, count < 0 ? 0 : count)); }

  CString& operator+=(const CString& more) {
    text_ += more.text_;
    return *this;
  }
  friend CString operator+(CString a, const CString& b) { return a += b; }
  friend CString operator+(CString a, const char* b) { return a += CString(b); }
  friend CString operator+(const char* a, const CString& b) { return CString(a) += b; }
  friend bool operator==(const CString&, const CString&) = default;

 private:
  std::string text_;
};
