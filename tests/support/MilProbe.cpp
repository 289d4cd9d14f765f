#include "MilProbe.h"

#include <dlfcn.h>

#include <atomic>
#include <mutex>
#include <set>

#include "Mil.h"

namespace {

std::atomic<int> applicationsAllocated{0};
std::atomic<int> applicationsFreed{0};
std::atomic<bool> refuseApplications{false};
std::mutex buffersMutex;
std::set<MilId> liveBuffers;
std::atomic<int> defaultReads{0};

// The real back end's entry of that name, from the back end's own library
// (found beside this one).
template <class Function>
Function* Real(const char* name) {
  static void* const backEnd = dlopen("libMIL.so", RTLD_NOW | RTLD_LOCAL);
  return reinterpret_cast<Function*>(dlsym(backEnd, name));
}

}  // namespace

MilApplicationCounts MilProbeApplicationCounts() {
  return {applicationsAllocated.load(), applicationsFreed.load()};
}

int MilProbeLiveBuffers() {
  std::lock_guard lock(buffersMutex);
  return static_cast<int>(liveBuffers.size());
}

int MilProbeDefaultReads() {
  return defaultReads.load();
}

void MilProbeRefuseApplications(bool refuse) {
  refuseApplications = refuse;
}

extern "C" {

MilId MilAllocateApplication(std::int64_t initFlag, MilId* application) {
  if (refuseApplications) {
    return 0;
  }
  static auto* real = Real<decltype(MilAllocateApplication)>("MilAllocateApplication");
  const MilId id = real(initFlag, application);
  if (id != 0) {
    ++applicationsAllocated;
  }
  return id;
}

void MilFreeApplication(MilId application) {
  static auto* real = Real<decltype(MilFreeApplication)>("MilFreeApplication");
  if (application != 0) {
    ++applicationsFreed;
  }
  real(application);
}

MilId MilReadImageFile(const char* path, std::int64_t system, MilId* buffer) {
  static auto* real = Real<decltype(MilReadImageFile)>("MilReadImageFile");
  const MilId id = real(path, system, buffer);
  if (system == kMilDefault) {
    ++defaultReads;
  }
  if (id != 0) {
    std::lock_guard lock(buffersMutex);
    liveBuffers.insert(id);
  }
  return id;
}

void MilFreeBuffer(MilId buffer) {
  static auto* real = Real<decltype(MilFreeBuffer)>("MilFreeBuffer");
  {
    std::lock_guard lock(buffersMutex);
    liveBuffers.erase(buffer);
  }
  real(buffer);
}
}
