#pragma once

#include "AfxString.h"
#include "WinTypes.h"

// Root of the framework's classes.
class CObject {
 public:
  virtual ~CObject();
};

// Base of the framework's exceptions. They are thrown by pointer; a catcher
// calls Delete, which frees an exception allocated for automatic deletion.
class CException : public CObject {
 public:
  explicit CException(BOOL autoDelete = TRUE);
  ~CException() override;

  void Delete();

  // One line a person can read: what failed, and with which file.
  virtual CString GetErrorMessage() const;

  BOOL m_bAutoDelete;
};

class CFileException : public CException {
 public:
  enum {
    none = 0,
    generic = 1,
  };

  CFileException(int cause = none, LONG osError = -1, LPCTSTR fileName = nullptr,
                 LPCTSTR reason = nullptr);
  ~CFileException() override;

  // The line naming the file, then the reason (when known) on a second line.
  CString GetErrorMessage() const override;

  int m_cause;
  LONG m_lOsError;
  CString m_strFileName;
  // Why the file failed, in words a person can act on; may be empty.
  CString m_strReason;
};

// Throws a heap-allocated, automatically deleted CFileException by pointer.
[[noreturn]] void AfxThrowFileException(int cause, LONG osError = -1, LPCTSTR fileName = nullptr,
                                        LPCTSTR reason = nullptr);
