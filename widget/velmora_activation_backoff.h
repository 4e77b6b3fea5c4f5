/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_activation_backoff.h - how long the widget waits before it asks the feed
 * service daemon to run the plug-in again.
 *
 * The first request goes out after a second. Each failed request, and each loss of
 * the daemon's bus name, doubles the wait (up to a minute); only a pass that ended
 * (status 2) starts it over. A daemon that a run crashes therefore comes back less
 * and less often instead of once a second: its "activate" answered before the run
 * crashed, so only the passes that end tell that the daemon works.
 */
#ifndef VELMORA_ACTIVATION_BACKOFF_H
#define VELMORA_ACTIVATION_BACKOFF_H

#include <glib.h>

class ActivationBackoff {
  public:
    static constexpr guint kFirstWaitMs = 1000;
    static constexpr guint kLongestWaitMs = 60000;

    /* The wait before the next request. */
    guint wait_ms() const { return wait_ms_; }
    /* A request failed: the wait before the next one. */
    guint after_failure();
    /* The daemon's name lost its owner: the wait before asking again. */
    guint after_name_lost();
    /* Whether a daemon that appears while a request waits is asked soon: only while the
     * name was not lost since the last pass ended (a daemon that keeps crashing is not). */
    bool ask_soon_on_appearance() const { return !name_lost_; }
    /* A pass ended: the daemon works, the next wait is the first again. */
    void after_pass_ended();

  private:
    guint doubled() const;

    guint wait_ms_ = kFirstWaitMs;
    bool name_lost_ = false;
};

#endif /* VELMORA_ACTIVATION_BACKOFF_H */
