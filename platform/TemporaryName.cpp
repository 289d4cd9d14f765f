#include "TemporaryName.h"

#include <cstring>
#include <random>

namespace {

constexpr char kPrefix[] = ".tessary-";
constexpr char kSuffix[] = ".tmp";
constexpr std::size_t kRandomDigits = 8;
constexpr char kHex[] = "0123456789abcdef";

}  // namespace

std::string TemporaryNameIn(const std::string& folder, char separator, const char* suffix) {
  std::random_device entropy;
  std::string name = folder + separator + kPrefix;
  for (unsigned bits = entropy(), i = 0; i < kRandomDigits; ++i, bits >>= 4) {
    name += kHex[bits & 15];
  }
  return name + suffix;
}

bool IsTemporaryName(const char* name) {
  const std::size_t prefix = sizeof kPrefix - 1;
  const std::size_t suffix = sizeof kSuffix - 1;
  if (std::strlen(name) != prefix + kRandomDigits + suffix ||
      std::strncmp(name, kPrefix, prefix) != 0 ||
      std::strcmp(name + prefix + kRandomDigits, kSuffix) != 0) {
    return false;
  }
  for (std::size_t i = prefix; i < prefix + kRandomDigits; ++i) {
    if (std::strchr(kHex, name[i]) == nullptr) {
      return false;
    }
  }
  return true;
}
