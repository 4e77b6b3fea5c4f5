// SPDX-License-Identifier: LGPL-2.1-or-later
// activation_backoff_test.cpp - the widget's wait between requests to the daemon,
// stepped through sequences of failed requests, lost daemons and ended passes: no
// widget, no bus, no clock.
#include "velmora_activation_backoff.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

enum class Event { Failure, NameLost, PassEnded };

struct Step {
    Event event;
    guint wait_ms; // the wait before the next request afterwards
    bool ask_soon; // whether a daemon appearing then is asked soon
};

struct BackoffCase {
    const char *name;
    std::vector<Step> steps;
};

const BackoffCase kCases[] = {
    {"failed requests double the wait up to a minute",
     {{Event::Failure, 2000, true},
      {Event::Failure, 4000, true},
      {Event::Failure, 8000, true},
      {Event::Failure, 16000, true},
      {Event::Failure, 32000, true},
      {Event::Failure, 60000, true},
      {Event::Failure, 60000, true}}},
    // The daemon answers "activate" and then a run crashes it, again and again.
    {"a lost daemon doubles the wait too and is not asked soon",
     {{Event::NameLost, 2000, false},
      {Event::NameLost, 4000, false},
      {Event::NameLost, 8000, false},
      {Event::Failure, 16000, false}}},
    {"only an ended pass starts the wait over",
     {{Event::Failure, 2000, true},
      {Event::NameLost, 4000, false},
      {Event::PassEnded, 1000, true},
      {Event::NameLost, 2000, false},
      {Event::PassEnded, 1000, true},
      {Event::Failure, 2000, true}}},
};

TEST(ActivationBackoff, FollowsEachSequence) {
    for (const BackoffCase &c : kCases) {
        ActivationBackoff backoff;
        EXPECT_EQ(backoff.wait_ms(), 1000u) << c.name;
        int index = 0;
        for (const Step &step : c.steps) {
            const std::string where = std::string(c.name) + ", step " + std::to_string(index++);
            switch (step.event) {
            case Event::Failure:
                EXPECT_EQ(backoff.after_failure(), step.wait_ms) << where;
                break;
            case Event::NameLost:
                EXPECT_EQ(backoff.after_name_lost(), step.wait_ms) << where;
                break;
            case Event::PassEnded:
                backoff.after_pass_ended();
                break;
            }
            EXPECT_EQ(backoff.wait_ms(), step.wait_ms) << where;
            EXPECT_EQ(backoff.ask_soon_on_appearance(), step.ask_soon) << where;
        }
    }
}

} // namespace
