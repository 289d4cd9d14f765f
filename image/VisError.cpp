#include "VisError.h"

#include <utility>

namespace {

// As an error box shows it, in the words a file error has there: the file
// on one line, why on the next.
std::string Describe(const std::string& fileName, const std::string& reason) {
  return fileName.empty() ? reason
                          : "An error occurred while accessing \"" + fileName + "\".\n" + reason;
}

}  // namespace

CVisError::CVisError(std::string fileName, std::string reason)
    : std::runtime_error(Describe(fileName, reason)),
      fileName_(std::move(fileName)),
      reason_(std::move(reason)) {}
