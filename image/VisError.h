#pragma once

#include <stdexcept>
#include <string>

// The one exception type of the image library. It names the file involved
// (empty when no file is) and says what went wrong; what() gives both as an
// error box shows them, the file on one line and the reason on the next.
class CVisError : public std::runtime_error {
 public:
  CVisError(std::string fileName, std::string reason);

  const std::string& FileName() const { return fileName_; }
  const std::string& Reason() const { return reason_; }

 private:
  std::string fileName_;
  std::string reason_;
};
