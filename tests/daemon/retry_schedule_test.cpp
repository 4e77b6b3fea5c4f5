// SPDX-License-Identifier: LGPL-2.1-or-later
// retry_schedule_test.cpp - the daemon's retry schedule and its view of the network
// monitor, stepped through sequences of runs and network reports with the time handed
// in: no daemon, no clock, no main loop.
#include "feedservice_retry_schedule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// One step of a sequence: a run's result or the network coming back at a moment.
enum class Event { Failure, Success, NetworkBack };

struct Step {
    Event event;
    double at_seconds; // for NetworkBack: the monotonic moment
    int expected;      // Failure: the wait; NetworkBack: 1 when it runs at once
};

struct ScheduleCase {
    const char *name;
    int first;
    int longest;
    std::vector<Step> steps;
};

const ScheduleCase kScheduleCases[] = {
    {"waits double up to the interval",
     30,
     100,
     {{Event::Failure, 0, 30},
      {Event::Failure, 0, 60},
      {Event::Failure, 0, 100},
      {Event::Failure, 0, 100}}},
    {"a success starts the backoff over",
     30,
     3600,
     {{Event::Failure, 0, 30},
      {Event::Failure, 0, 60},
      {Event::Success, 0, 0},
      {Event::Failure, 0, 30},
      {Event::Failure, 0, 60}}},
    {"a first wait longer than the interval is cut to it",
     7200,
     3600,
     {{Event::Failure, 0, 3600}, {Event::Failure, 0, 3600}}},
    {"the network's return runs a waiting retry once per wait",
     30,
     3600,
     {{Event::Failure, 0, 30},
      {Event::NetworkBack, 5, 1},
      {Event::Failure, 5, 60},
      {Event::NetworkBack, 10, 0},
      {Event::NetworkBack, 64, 0},
      {Event::Failure, 65, 120},
      {Event::NetworkBack, 70, 0},
      {Event::NetworkBack, 126, 1}}},
    {"without a retry waiting the network's return runs nothing",
     30,
     3600,
     {{Event::NetworkBack, 0, 0},
      {Event::Failure, 1, 30},
      {Event::Success, 2, 0},
      {Event::NetworkBack, 3, 0}}},
    {"a success lets the next failure's wait be brought forward at once",
     30,
     3600,
     {{Event::Failure, 0, 30},
      {Event::NetworkBack, 1, 1},
      {Event::Success, 2, 0},
      {Event::Failure, 3, 30},
      {Event::NetworkBack, 4, 1}}},
};

TEST(RetrySchedule, FollowsEachSequence) {
    for (const ScheduleCase &c : kScheduleCases) {
        RetrySchedule schedule(c.first, c.longest);
        int index = 0;
        for (const Step &step : c.steps) {
            const std::string where = std::string(c.name) + ", step " + std::to_string(index++);
            switch (step.event) {
            case Event::Failure:
                EXPECT_EQ(schedule.after_failure(), step.expected) << where;
                break;
            case Event::Success:
                schedule.after_success();
                EXPECT_EQ(schedule.delay_seconds(), 0) << where;
                break;
            case Event::NetworkBack:
                EXPECT_EQ(schedule.run_on_network_return(
                              static_cast<gint64>(step.at_seconds * G_USEC_PER_SEC)),
                          step.expected != 0)
                    << where;
                break;
            }
        }
    }
}

struct NetworkCase {
    const char *name;
    bool available_at_start;
    std::vector<bool> reports;
    std::vector<bool> came_back;
};

const NetworkCase kNetworkCases[] = {
    {"reports of an available network are no return",
     true,
     {true, true, true},
     {false, false, false}},
    {"unavailable then available is one return", true, {false, true, true}, {false, true, false}},
    {"a daemon started offline sees the first available report",
     false,
     {true, false, true},
     {true, false, true}},
};

TEST(NetworkReturn, CountsOnlyAChangeFromUnavailableToAvailable) {
    for (const NetworkCase &c : kNetworkCases) {
        NetworkReturn network(c.available_at_start);
        for (size_t i = 0; i < c.reports.size(); ++i)
            EXPECT_EQ(network.came_back(c.reports[i]), c.came_back[i])
                << c.name << ", report " << i;
    }
}

} // namespace
