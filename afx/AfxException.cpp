#include "AfxException.h"

#include <cstring>
#include <string>

CObject::~CObject() = default;

CException::CException(BOOL autoDelete) : m_bAutoDelete(autoDelete) {}

CException::~CException() = default;

void CException::Delete() {
  if (m_bAutoDelete) {
    delete this;
  }
}

CString CException::GetErrorMessage() const {
  return "An unexpected error occurred.";
}

CFileException::CFileException(int cause, LONG osError, LPCTSTR fileName, LPCTSTR reason)
    : m_cause(cause), m_lOsError(osError), m_strFileName(fileName), m_strReason(reason) {}

CFileException::~CFileException() = default;

CString CFileException::GetErrorMessage() const {
  const std::string file = m_strFileName.IsEmpty() ? "a file" : "\"" + m_strFileName.Str() + "\"";
  std::string message = "An error occurred while accessing " + file + ".";
  if (m_lOsError != -1 && m_lOsError != 0) {
    message += std::string(" ") + std::strerror(m_lOsError) + ".";
  }
  if (!m_strReason.IsEmpty()) {
    message += "\n" + m_strReason.Str();
  }
  return message;
}

void AfxThrowFileException(int cause, LONG osError, LPCTSTR fileName, LPCTSTR reason) {
  throw new CFileException(cause, osError, fileName, reason);
}
