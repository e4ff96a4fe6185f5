#pragma once
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

// Best of n runs, in milliseconds: the least disturbed measurement.
inline double bestOf(int n, const std::function<void()>& f) {
    double best = 1e300;
    for (int i = 0; i < n; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

inline void report(const char* what, double ms, double baseMs) {
    std::printf("%-58s %9.1f ms   ratio %5.2f\n", what, ms, baseMs > 0 ? ms / baseMs : 0.0);
}
