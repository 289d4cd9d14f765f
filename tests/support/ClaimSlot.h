#pragma once

// Takes the lock slot that guards a file across processes, as another
// program converting it would.

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "Eventually.h"
#include "FileClaims.h"
#include "FileLock.h"

// Waits, at most 30 s, while a test running beside this one holds the slot
// (slots are shared by many names); nullopt when it stays taken.
inline std::optional<FileLock> TakeClaimSlot(const std::string& key) {
  const std::string name = "claim-" + std::to_string(LockSlotOf(key));
  std::optional<FileLock> lock;
  Eventually([&] { return (lock = FileLock::TryNamed(name)).has_value(); }, kTestPatience,
             std::chrono::milliseconds(10));
  return lock;
}
