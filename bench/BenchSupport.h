#pragma once
// What the benchmarks share.

#include <QElapsedTimer>

#include <algorithm>

// The best time, in seconds, of `repeats` runs of `run`.
template <class F>
double bestSeconds(int repeats, F&& run)
{
    double best = 1e9;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer t;
        t.start();
        run();
        best = std::min(best, double(t.nsecsElapsed()) / 1e9);
    }
    return best;
}
