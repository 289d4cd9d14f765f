#pragma once

#include <functional>

// Runs work(item) for every item 0 .. items - 1 on up to `threads` threads,
// the calling one among them (fewer when the system gives no more): each
// thread takes the next item not yet begun. The first exception an item
// throws stops the items not yet begun and passes on to the caller once
// every thread is done.
void ShareWork(int items, int threads, const std::function<void(int item)>& work);

// Runs work(top, bottom) over rows 0 .. rows - 1 in bands of bandRows rows,
// on all cores when there are at least parallelRows rows, otherwise on the
// calling thread alone. Bands run in any order and side by side; exceptions
// as ShareWork.
void ForEachBand(int rows, int bandRows, int parallelRows,
                 const std::function<void(int top, int bottom)>& work);
