#pragma once

#include <functional>

// A picture worked on in pieces (strips of columns within bands of rows) by
// several threads, and each band handed over once all its strips are done,
// one band at a time, from the last band to the first (a BMP file's order,
// bottom row first), on the calling thread.
struct OrderedBands {
  int strips;
  int bands;
  // The band buffers of a ring that the bands share in turn: a band's
  // pieces wait until the band that used its buffer before has been handed
  // over. 0: every band has memory of its own.
  int slots;
  // Threads that work on pieces, the calling one among them (fewer run when
  // the system gives no more).
  int threads;
};

// Runs piece(thread, band, strip) for every piece, thread a number below
// plan.threads that no other thread uses meanwhile (for state of its own),
// and handOver(band) for every band in turn. The first exception stops the
// pieces not yet begun and passes on to the caller once every thread is done.
void RunOrderedBands(const OrderedBands& plan,
                     const std::function<void(int thread, int band, int strip)>& piece,
                     const std::function<void(int band)>& handOver);
