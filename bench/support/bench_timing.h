// SPDX-License-Identifier: LGPL-2.1-or-later
// bench_timing.h - the clock and the median that every benchmark reports with.
// Header-only.
#ifndef VELMORA_BENCH_TIMING_H
#define VELMORA_BENCH_TIMING_H

#include <glib.h>

#include <algorithm>
#include <vector>

namespace bench {

// Monotonic time in seconds.
inline double now() {
    return g_get_monotonic_time() / 1e6;
}

// The middle value (the upper one of an even count).
inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace bench

#endif
