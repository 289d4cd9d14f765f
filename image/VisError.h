#pragma once

#include <stdexcept>
#include <string>

// The one exception type of the image library. It names the file involved
// (empty when no file is) and says what went wrong.
class CVisError : public std::runtime_error {
 public:
  CVisError(std::string fileName, std::string reason);

  const std::string& FileName() const { return fileName_; }
  const std::string& Reason() const { return reason_; }

 private:
  std::string fileName_;
  std::string reason_;
};
