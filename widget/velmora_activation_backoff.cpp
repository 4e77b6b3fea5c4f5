/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_activation_backoff.cpp - the widget's wait between requests to the daemon.
 */
#include "velmora_activation_backoff.h"

guint ActivationBackoff::doubled() const {
    return MIN(wait_ms_ * 2, kLongestWaitMs);
}

guint ActivationBackoff::after_failure() {
    wait_ms_ = doubled();
    return wait_ms_;
}

guint ActivationBackoff::after_name_lost() {
    name_lost_ = true;
    wait_ms_ = doubled();
    return wait_ms_;
}

void ActivationBackoff::after_pass_ended() {
    wait_ms_ = kFirstWaitMs;
    name_lost_ = false;
}
