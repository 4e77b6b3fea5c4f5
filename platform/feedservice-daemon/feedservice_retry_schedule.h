/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * feedservice_retry_schedule.h - when the daemon tries a plug-in's run again after it
 * found nothing to download, and when the network's return may bring that forward.
 *
 * Values the plug-in host steps, with the time handed in: no clock, no source, no
 * thread of their own, so a test steps them through any sequence at once.
 */
#ifndef FEEDSERVICE_RETRY_SCHEDULE_H
#define FEEDSERVICE_RETRY_SCHEDULE_H

#include <glib.h>

/* The back-off of one plug-in: the first retry after first_seconds, each further one
 * after twice the previous wait, never later than longest_seconds (the plug-in's
 * interval). A run that found something starts it over. */
class RetrySchedule {
  public:
    RetrySchedule(int first_seconds, int longest_seconds);

    /* After a run that found nothing to download: seconds to wait before the retry. */
    int after_failure();
    /* After any other run (or when the plug-in is deactivated): no retry waits. */
    void after_success();
    /* The network came back at now_us (monotonic) while a retry waits: whether to run
     * at once. One run brought forward by the network is allowed per wait of the
     * back-off, so a network that keeps coming and going cannot make runs come faster
     * than the back-off. */
    bool run_on_network_return(gint64 now_us);
    /* The current wait in seconds; 0 while runs succeed. */
    int delay_seconds() const { return delay_; }

  private:
    int first_;
    int longest_;
    int delay_ = 0;
    bool brought_forward_ = false; /* a run came early since the last failure's wait began */
    gint64 brought_forward_at_ = 0;
};

/* Follows the network monitor's availability: only a change from unavailable to
 * available counts as the network coming back (route changes and router
 * advertisements report "available" again and again). */
class NetworkReturn {
  public:
    explicit NetworkReturn(bool available) : available_(available) {}
    /* The monitor reports available now: true when it was unavailable before. */
    bool came_back(bool available) {
        const bool back = available && !available_;
        available_ = available;
        return back;
    }

  private:
    bool available_;
};

#endif /* FEEDSERVICE_RETRY_SCHEDULE_H */
