// SPDX-License-Identifier: LGPL-2.1-or-later
// refresh_fold_test.cpp - folding refresh requests: at once after a quiet spell, at
// most one refresh per interval in a burst, the last request always followed by one,
// a restart asked for anywhere in a fold kept, and nothing left behind on cancel.
#include <gtest/gtest.h>

#include <vector>

#include "main_loop.h"
#include "velmora_refresh_fold.h"

namespace {

using test_support::run_for;
using test_support::run_until;

struct Refreshes {
    std::vector<gint64> at;
    std::vector<gboolean> restart;
    static void record(gboolean restart, gpointer data) {
        auto *self = static_cast<Refreshes *>(data);
        self->at.push_back(g_get_monotonic_time());
        self->restart.push_back(restart);
    }
};

TEST(RefreshFoldTest, FoldsBurstsAndAlwaysRefreshesAfterTheLastRequest) {
    Refreshes made;
    RefreshFold fold(Refreshes::record, &made);
    fold.request(FALSE);
    ASSERT_EQ(made.at.size(), 1u); // after a quiet spell: at once
    EXPECT_FALSE(fold.pending());

    // A burst: one refresh for all, the interval after the first, restart kept.
    fold.request(TRUE);
    for (int i = 0; i < 5; ++i) {
        fold.request(FALSE);
        run_for(2);
    }
    EXPECT_TRUE(run_until([&] { return made.at.size() >= 2; }, 1000));
    run_for(150);
    ASSERT_EQ(made.at.size(), 2u);
    EXPECT_TRUE(made.restart[1]);
    EXPECT_GE(made.at[1] - made.at[0], 100 * 1000);

    // A request right after a refresh waits for the interval; a dropped one never comes.
    fold.request(FALSE);
    ASSERT_EQ(made.at.size(), 3u);
    fold.request(TRUE);
    EXPECT_TRUE(fold.pending());
    fold.cancel();
    EXPECT_FALSE(fold.pending());
    run_for(150);
    EXPECT_EQ(made.at.size(), 3u);
    fold.request(FALSE);
    ASSERT_EQ(made.at.size(), 4u);
    EXPECT_FALSE(made.restart[3]); // the dropped restart went with its refresh

    // A fold that goes away takes its scheduled refresh with it.
    {
        RefreshFold gone(Refreshes::record, &made);
        gone.request(FALSE);
        gone.request(FALSE);
        EXPECT_TRUE(gone.pending());
    }
    run_for(150);
    EXPECT_EQ(made.at.size(), 5u);
}

} // namespace
