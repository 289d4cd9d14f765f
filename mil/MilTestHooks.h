#pragma once

// Hooks for tests of the back end's callers: they count application contexts
// and can make the back end refuse to allocate one.

extern "C" {

struct MilApplicationCounts {
  int allocated;
  int freed;
};

MilApplicationCounts MilTestApplicationCounts();
int MilTestLiveBuffers();
void MilTestRefuseApplications(bool refuse);
}
