#include "LibraryLoading.h"

std::string LibraryLoadFailure() {
  return {};
}
