/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_refresh_fold.cpp - at most one refresh per interval for requests
 * that arrive in bursts (a "one item stored" status every few milliseconds
 * while a run stores its items), the last request always followed by one.
 */
#include "velmora_refresh_fold.h"

RefreshFold::RefreshFold(Refresh refresh, gpointer data, guint interval_ms, Clock clock)
    : refresh_(refresh), data_(data), interval_us_(gint64(interval_ms) * 1000), clock_(clock) {}

RefreshFold::~RefreshFold() {
    cancel();
}

void RefreshFold::request(gboolean restart) {
    restart_ = restart_ || restart;
    if (source_id_ != 0)
        return; /* the scheduled refresh reads what this request is about */
    const gint64 wait_us = last_end_us_ + interval_us_ - clock_();
    if (wait_us <= 0) {
        refresh_now();
        return;
    }
    /* Rounded up, so that refreshes never come closer than the interval. */
    const guint wait_ms = guint((wait_us + 999) / 1000);
    source_id_ = g_timeout_add(wait_ms, on_due, this);
}

void RefreshFold::cancel() {
    if (source_id_ != 0)
        g_source_remove(source_id_);
    source_id_ = 0;
    restart_ = FALSE;
}

gboolean RefreshFold::on_due(gpointer self) {
    auto *fold = static_cast<RefreshFold *>(self);
    fold->source_id_ = 0;
    fold->refresh_now();
    return G_SOURCE_REMOVE;
}

void RefreshFold::refresh_now() {
    const gboolean restart = restart_;
    restart_ = FALSE;
    refresh_(restart, data_);
    last_end_us_ = clock_();
}
