#include "VisError.h"

#include <utility>

namespace {

std::string Describe(const std::string& fileName, const std::string& reason) {
  return fileName.empty() ? reason : fileName + ": " + reason;
}

}  // namespace

CVisError::CVisError(std::string fileName, std::string reason)
    : std::runtime_error(Describe(fileName, reason)),
      fileName_(std::move(fileName)),
      reason_(std::move(reason)) {}
