/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_refresh_fold.h - folds refresh requests that come faster than the
 * screen needs into fewer refreshes: at most one per interval, and a request
 * is never left without a refresh after it.
 */
#ifndef VELMORA_REFRESH_FOLD_H
#define VELMORA_REFRESH_FOLD_H

#include <glib.h>

/* Refresh requests on the default main context. A request made at least the
 * interval after the end of the last refresh refreshes at once; one made
 * sooner schedules a refresh for the interval after that end, and requests
 * arriving meanwhile join it. The restart flags of joined requests are or-ed,
 * so a request that asked for a restart is never lost in a fold. */
class RefreshFold {
  public:
    using Refresh = void (*)(gboolean restart, gpointer data);
    /* The time in microseconds the intervals are measured in (g_get_monotonic_time;
     * a test gives a clock of its own). */
    using Clock = gint64 (*)();
    static constexpr guint kDefaultIntervalMs = 100;

    RefreshFold(Refresh refresh, gpointer data, guint interval_ms = kDefaultIntervalMs,
                Clock clock = g_get_monotonic_time);
    ~RefreshFold();
    RefreshFold(const RefreshFold &) = delete;
    RefreshFold &operator=(const RefreshFold &) = delete;

    void request(gboolean restart);
    /* Drops a scheduled refresh (the items it would read are no longer wanted). */
    void cancel();
    bool pending() const { return source_id_ != 0; }

  private:
    static gboolean on_due(gpointer self);
    void refresh_now();

    Refresh refresh_;
    gpointer data_;
    gint64 interval_us_;
    Clock clock_;
    guint source_id_ = 0;
    gboolean restart_ = FALSE;
    gint64 last_end_us_ = G_MININT64 / 2; /* long ago */
};

#endif /* VELMORA_REFRESH_FOLD_H */
