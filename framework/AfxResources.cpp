#include "AfxResources.h"

namespace {

// Written once during start-up, read afterwards.
const AfxResources* programResources = nullptr;

template <class Resource>
const Resource* FindById(std::span<const Resource> table, UINT id) {
  for (const Resource& resource : table) {
    if (resource.id == id) {
      return &resource;
    }
  }
  return nullptr;
}

}  // namespace

void AfxSetResources(const AfxResources* resources) {
  programResources = resources;
}

const AfxDialogTemplate* AfxFindDialogTemplate(UINT id) {
  return programResources ? FindById(programResources->dialogs, id) : nullptr;
}

const char* AfxFindString(UINT id) {
  const AfxStringResource* string =
      programResources ? FindById(programResources->strings, id) : nullptr;
  return string ? string->text : nullptr;
}

const AfxIconResource* AfxFindIcon(UINT id) {
  return programResources ? FindById(programResources->icons, id) : nullptr;
}
