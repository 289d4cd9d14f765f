#pragma once

#include <chrono>
#include <functional>
#include <thread>

// How long a test waits for what another thread or process does: long
// enough for a slow, shared machine, and bounded, so that a fault fails the
// test instead of hanging the run.
inline constexpr std::chrono::milliseconds kTestPatience{30000};

// Asks ready() again, pause after pause, until it holds or `within` has
// passed; whether it held. Every waiting loop of the tests is this one.
inline bool Eventually(const std::function<bool()>& ready,
                       std::chrono::milliseconds within = kTestPatience,
                       std::chrono::milliseconds pause = std::chrono::milliseconds(1)) {
  const auto deadline = std::chrono::steady_clock::now() + within;
  while (!ready()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(pause);
  }
  return true;
}
