// SPDX-License-Identifier: LGPL-2.1-or-later
// module_timeouts.h - the timeouts that the widget module adds, as the test program
// sees them, so that a test waits on what is scheduled instead of on the clock.
//
// The test program that includes this header (in one source file; linked with
// ENABLE_EXPORTS) defines g_timeout_add itself: the module's calls reach it first.
// Each call is handed on to GLib unchanged (g_timeout_add_full at the default
// priority, which is what g_timeout_add is); one whose callback lies in the widget
// module is noted with its interval and data until its source is gone.
#ifndef VELMORA_MODULE_TIMEOUTS_H
#define VELMORA_MODULE_TIMEOUTS_H

#include <glib.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace module_timeouts {

struct Timeout {
    GSourceFunc function;
    gpointer data;
    guint interval_ms;
};

struct Book {
    std::mutex lock;
    std::vector<const Timeout *> live;
    std::vector<Timeout> asked; // every timeout the module asked for, in order
};

inline Book &book() {
    static Book instance;
    return instance;
}

inline bool from_module(GSourceFunc function) {
    Dl_info info{};
    return dladdr(reinterpret_cast<void *>(function), &info) != 0 && info.dli_fname != nullptr &&
           std::strstr(info.dli_fname, "velmoraapplet") != nullptr;
}

inline gboolean dispatch(gpointer timeout) {
    const auto *t = static_cast<const Timeout *>(timeout);
    return t->function(t->data);
}

inline void gone(gpointer timeout) {
    auto *t = static_cast<Timeout *>(timeout);
    {
        std::lock_guard<std::mutex> guard(book().lock);
        auto &live = book().live;
        live.erase(std::remove(live.begin(), live.end(), t), live.end());
    }
    delete t;
}

// Forgets the timeouts asked for so far (each test starts afresh: a new widget may
// have the address of an earlier one).
inline void forget_asked() {
    std::lock_guard<std::mutex> guard(book().lock);
    book().asked.clear();
}

// The intervals of the timeouts the module asked for with data, in order.
inline std::vector<guint> intervals_for(gconstpointer data) {
    std::lock_guard<std::mutex> guard(book().lock);
    std::vector<guint> intervals;
    for (const Timeout &t : book().asked)
        if (t.data == data)
            intervals.push_back(t.interval_ms);
    return intervals;
}

// How many of the module's timeouts are still to come whose data is not one of
// those given (nullptr: any data).
inline int pending_except(std::initializer_list<gconstpointer> others = {}) {
    std::lock_guard<std::mutex> guard(book().lock);
    return int(std::count_if(book().live.begin(), book().live.end(), [&](const Timeout *t) {
        return std::find(others.begin(), others.end(), t->data) == others.end();
    }));
}

// How many of the module's timeouts with data are still to come.
inline int pending_for(gconstpointer data) {
    std::lock_guard<std::mutex> guard(book().lock);
    return int(std::count_if(book().live.begin(), book().live.end(),
                             [&](const Timeout *t) { return t->data == data; }));
}

} // namespace module_timeouts

extern "C" guint g_timeout_add(guint interval, GSourceFunc function, gpointer data) {
    using namespace module_timeouts;
    if (!from_module(function))
        return g_timeout_add_full(G_PRIORITY_DEFAULT, interval, function, data, nullptr);
    auto *timeout = new Timeout{function, data, interval};
    {
        std::lock_guard<std::mutex> guard(book().lock);
        book().live.push_back(timeout);
        book().asked.push_back(*timeout);
    }
    return g_timeout_add_full(G_PRIORITY_DEFAULT, interval, dispatch, timeout, gone);
}

#endif // VELMORA_MODULE_TIMEOUTS_H
