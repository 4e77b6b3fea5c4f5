// SPDX-License-Identifier: LGPL-2.1-or-later
// refresh_fold_test.cpp - folding refresh requests: at once after a quiet spell, at
// most one refresh per interval in a burst, the last request always followed by one,
// a restart asked for anywhere in a fold kept, and nothing left behind on cancel.
// The fold measures its intervals on a clock of the test's, so that which request
// comes "within the interval" never depends on how fast the machine runs; the
// scheduled refreshes are real timeouts, waited for as conditions.
#include <gtest/gtest.h>

#include <vector>

#include "main_loop.h"
#include "velmora_refresh_fold.h"

namespace {

using test_support::run_until;

constexpr guint kIntervalMs = 100;
constexpr gint64 kMs = 1000; // microseconds

gint64 fake_now = 0;
gint64 fake_clock() {
    return fake_now;
}

struct Refreshes {
    std::vector<gint64> at; // real time
    std::vector<gboolean> restart;
    static void record(gboolean restart, gpointer data) {
        auto *self = static_cast<Refreshes *>(data);
        self->at.push_back(g_get_monotonic_time());
        self->restart.push_back(restart);
    }
};

// Lets ms pass and then dispatches everything that is due: a timeout that was to
// come within ms has then run.
void run_due(int ms) {
    g_usleep(gulong(ms) * 1000);
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

class RefreshFoldTest : public ::testing::Test {
  protected:
    void SetUp() override { fake_now = 1000000 * kMs; }
    Refreshes made;
    RefreshFold fold{Refreshes::record, &made, kIntervalMs, fake_clock};
};

TEST_F(RefreshFoldTest, FoldsBurstsIntoOneRefreshAfterTheInterval) {
    fold.request(FALSE);
    ASSERT_EQ(made.at.size(), 1u); // after a quiet spell: at once
    EXPECT_FALSE(fold.pending());

    // A burst within the interval: one refresh for all, the whole interval after the
    // first, the restart kept.
    const gint64 burst = g_get_monotonic_time();
    fold.request(TRUE);
    for (int i = 0; i < 5; ++i)
        fold.request(FALSE);
    EXPECT_TRUE(fold.pending());
    EXPECT_EQ(made.at.size(), 1u);
    ASSERT_TRUE(run_until([&] { return made.at.size() >= 2; }, 10000));
    EXPECT_FALSE(fold.pending());
    EXPECT_TRUE(made.restart[1]);
    EXPECT_GE(made.at[1] - burst, gint64(kIntervalMs) * kMs);
    run_due(kIntervalMs);
    EXPECT_EQ(made.at.size(), 2u); // the burst's requests made no further refresh

    // Part of the interval gone: the wait is what is left of it, rounded up.
    fake_now += 60 * kMs;
    const gint64 asked = g_get_monotonic_time();
    fold.request(FALSE);
    EXPECT_TRUE(fold.pending());
    ASSERT_TRUE(run_until([&] { return made.at.size() >= 3; }, 10000));
    EXPECT_GE(made.at[2] - asked, 40 * kMs);
    EXPECT_FALSE(made.restart[2]);
}

TEST_F(RefreshFoldTest, ACancelledRefreshNeverComesAndTakesItsRestartAlong) {
    fold.request(FALSE);
    ASSERT_EQ(made.at.size(), 1u);
    fold.request(TRUE);
    EXPECT_TRUE(fold.pending());
    fold.cancel();
    EXPECT_FALSE(fold.pending());
    run_due(kIntervalMs + 10);
    EXPECT_EQ(made.at.size(), 1u);

    // An interval after the last refresh: at once, without the dropped restart.
    fake_now += gint64(kIntervalMs) * kMs;
    fold.request(FALSE);
    ASSERT_EQ(made.at.size(), 2u);
    EXPECT_FALSE(made.restart[1]);
}

TEST_F(RefreshFoldTest, AFoldThatGoesAwayTakesItsScheduledRefreshWithIt) {
    {
        RefreshFold gone(Refreshes::record, &made, 1, fake_clock);
        gone.request(FALSE);
        gone.request(FALSE);
        EXPECT_TRUE(gone.pending());
    }
    ASSERT_EQ(made.at.size(), 1u);
    run_due(10); // the scheduled refresh would have been due after 1 ms
    EXPECT_EQ(made.at.size(), 1u);
}

} // namespace
