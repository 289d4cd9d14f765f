#pragma once

// The processors a process may use, and the priority of its threads.

// How many processors this process may run on: those of its affinity mask
// (narrowed by taskset or a container's CPU set, say), at least 1. Work
// shared among more threads than this only waits its turn.
int UsableProcessorCount();

// Lowers the calling thread's priority by the given number of steps below
// normal (a negative THREAD_PRIORITY_ value); normal or higher changes
// nothing. On Linux each step adds 5 to the thread's own nice value; on
// Windows it is the thread's own priority.
void LowerCurrentThreadPriority(int priority);
