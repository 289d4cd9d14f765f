#pragma once

// A probe in front of the imaging back end, for tests only. Linked into a
// test program (before the back end), it takes the back end's entry points
// in the program's global scope, so that the loader library's calls reach it
// too; it counts application contexts, live buffers and the reads made
// through the plain file read with the default system, and can make the
// allocation of an application context fail, passing every call on to the
// real back end.

struct MilApplicationCounts {
  int allocated;
  int freed;
};

MilApplicationCounts MilProbeApplicationCounts();
int MilProbeLiveBuffers();
int MilProbeDefaultReads();
void MilProbeRefuseApplications(bool refuse);
