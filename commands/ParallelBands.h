#pragma once

#include <functional>

// Runs work(top, bottom) over rows 0 .. rows - 1 in bands of bandRows rows,
// on all cores when there are at least parallelRows rows (threads of the
// caller's priority), otherwise on the calling thread alone. Bands run in
// any order and side by side. The first exception a band throws stops the
// bands not yet begun and passes on to the caller once every thread is done.
void ForEachBand(int rows, int bandRows, int parallelRows,
                 const std::function<void(int top, int bottom)>& work);
