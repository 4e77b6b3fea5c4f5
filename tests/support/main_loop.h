// SPDX-License-Identifier: LGPL-2.1-or-later
// main_loop.h - runs the default main context from a test until a condition holds,
// so that GLib sources, D-Bus messages and X events are handled meanwhile.
// Header-only; needs GLib.
#ifndef VELMORA_MAIN_LOOP_H
#define VELMORA_MAIN_LOOP_H

#include <glib.h>

#include <functional>

namespace test_support {

// Runs the default main context until done() holds or timeout_ms passes; whether
// done() held.
inline bool run_until(const std::function<bool()> &done, int timeout_ms = 5000) {
    const gint64 deadline = g_get_monotonic_time() + gint64(timeout_ms) * 1000;
    while (!done()) {
        if (g_get_monotonic_time() > deadline)
            return false;
        if (!g_main_context_iteration(nullptr, FALSE))
            g_usleep(1000);
    }
    return true;
}

// Runs the default main context for ms milliseconds.
inline void run_for(int ms) {
    run_until([] { return false; }, ms);
}

} // namespace test_support

#endif // VELMORA_MAIN_LOOP_H
