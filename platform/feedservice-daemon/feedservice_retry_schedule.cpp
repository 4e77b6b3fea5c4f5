/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * feedservice_retry_schedule.cpp - the back-off of a plug-in's retries.
 */
#include "feedservice_retry_schedule.h"

#include <algorithm>

RetrySchedule::RetrySchedule(int first_seconds, int longest_seconds)
    : first_(std::max(1, first_seconds)), longest_(std::max(1, longest_seconds)) {}

int RetrySchedule::after_failure() {
    const int doubled = delay_ > G_MAXINT / 2 ? G_MAXINT : delay_ * 2;
    delay_ = std::min(delay_ == 0 ? first_ : doubled, longest_);
    return delay_;
}

void RetrySchedule::after_success() {
    delay_ = 0;
    brought_forward_ = false;
}

bool RetrySchedule::run_on_network_return(gint64 now_us) {
    if (delay_ == 0)
        return false; /* no retry waits */
    if (brought_forward_ && now_us - brought_forward_at_ < gint64{delay_} * G_USEC_PER_SEC)
        return false;
    brought_forward_ = true;
    brought_forward_at_ = now_us;
    return true;
}
