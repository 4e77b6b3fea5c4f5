// SPDX-License-Identifier: LGPL-2.1-or-later
// utils_concurrency_test.cpp - a writer storing 200 items one by one (autocommit, as the
// plug-in does) while a reader in another process reads in a loop (as the widget does):
// neither side sees an error, the reader never sees a count go down, every row it sees
// is whole.
#include "utils_test_helpers.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include "velmora_contract.h"

using namespace utils_test;

namespace {

constexpr int kItems = 200;

TEST(Concurrency, ReaderInAnotherProcessWhileItemsAreStored) {
    const std::string dir = make_temp_dir();
    const std::string path = dir + "/" VELMORA_STORE_DATABASE_FILE;
    LoaderPtr queries(query_loader_new(plugin_catalogue().c_str()));
    DbPtr db;
    WatcherPtr watcher;
    ASSERT_TRUE(make_database(path, db, watcher, queries.get()));

    const std::string ready = dir + "/ready";
    const std::string report = dir + "/report";
    const std::string expected = std::to_string(kItems);
    const std::string catalogue = widget_catalogue();
    const gchar *argv[] = {UTILS_DB_READER, path.c_str(),   catalogue.c_str(),
                           ready.c_str(),   report.c_str(), expected.c_str(),
                           nullptr};
    GPid reader = 0;
    ASSERT_TRUE(g_spawn_async(nullptr, const_cast<gchar **>(argv), nullptr,
                              G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &reader, nullptr));
    int status = -1;
    bool reader_ended = false;
    const gint64 ready_deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
    while (!file_exists(ready) && !reader_ended && g_get_monotonic_time() < ready_deadline) {
        reader_ended = waitpid(reader, &status, WNOHANG) == reader;
        g_usleep(2000);
    }
    if (!file_exists(ready)) {
        if (!reader_ended) {
            kill(reader, SIGKILL);
            waitpid(reader, &status, 0);
        }
        g_spawn_close_pid(reader);
        FAIL() << "the reader did not start reading (status " << status << ")";
    }

    int write_failures = 0;
    for (int i = 1; i <= kItems; ++i) {
        const std::string title = "item " + std::to_string(i);
        const std::string authors = "author of " + title;
        const std::string insert =
            format_statement(queries.get(), "ins_item",
                             {title, "http://127.0.0.1/" + title, std::to_string(i), "Books", "$1",
                              "$2", authors, 0});
        write_failures += db_interface_execute_update(db.get(), insert.c_str()) == 0;
        g_usleep(500); // leave the reader room to read between the inserts
    }
    EXPECT_EQ(write_failures, 0);

    ASSERT_EQ(waitpid(reader, &status, 0), reader);
    g_spawn_close_pid(reader);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    int reads = -1, errors = -1, decreases = -1, torn = -1, distinct = -1, final_count = -1;
    ASSERT_EQ(std::sscanf(read_file(report).c_str(),
                          "reads=%d errors=%d decreases=%d torn=%d distinct=%d final=%d", &reads,
                          &errors, &decreases, &torn, &distinct, &final_count),
              6)
        << read_file(report);
    RecordProperty("reader_reads", reads);
    RecordProperty("reader_distinct_counts", distinct);
    EXPECT_EQ(errors, 0);
    EXPECT_EQ(decreases, 0);
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(final_count, kItems);
    EXPECT_GE(distinct, 2) << "the reader read while the writer wrote";
}

} // namespace
