// SPDX-License-Identifier: LGPL-2.1-or-later
// utils_http_cache_test.cpp - the HTTP cache's index read back from the disk, as after a
// restart: the files' modification times give the order of use, so the entries used
// least lately are the ones removed, whatever the times (also on 32-bit systems).
#include "utils_test_helpers.h"

#include "feedserviceutils_internal.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace utils_test;

namespace {

struct Stamp {
    time_t seconds;
    long nanoseconds;
};

struct ReloadCase {
    const char *what;
    std::vector<Stamp> stamps; // one entry per stamp, as its file's modification time
    size_t room;               // how many entries the bound leaves
    std::vector<size_t> kept;  // the entries that stay
};

// Names a failing case by what it holds.
void PrintTo(const ReloadCase &c, std::ostream *os) {
    *os << c.what;
}

constexpr size_t kEntrySize = 100;

std::vector<Stamp> ten_minutes_apart(time_t from, int count) {
    std::vector<Stamp> stamps;
    for (int i = 0; i < count; ++i)
        stamps.push_back({from + i * 600, 0});
    return stamps;
}

class HttpCacheReloadTest : public ::testing::TestWithParam<ReloadCase> {
  protected:
    void SetUp() override {
        dir_ = make_temp_dir("http-cache");
        g_setenv("XDG_CACHE_HOME", dir_.c_str(), TRUE);
    }
    void TearDown() override {
        g_unsetenv("XDG_CACHE_HOME");
        fsu::http_cache_set_limit(0); // back to the default, in the default directory
    }

    // Writes an entry file for address number i with the given modification time.
    static std::string write_entry(size_t i, const Stamp &stamp) {
        const std::string path =
            fsu::http_cache_path("http://127.0.0.1/entry-" + std::to_string(i));
        g_autofree gchar *parent = g_path_get_dirname(path.c_str());
        EXPECT_EQ(g_mkdir_with_parents(parent, 0700), 0);
        EXPECT_TRUE(write_file(path, std::string(kEntrySize, 'x')));
        const struct timespec times[2] = {{stamp.seconds, stamp.nanoseconds},
                                          {stamp.seconds, stamp.nanoseconds}};
        EXPECT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << g_strerror(errno);
        return path;
    }

    std::string dir_;
};

TEST_P(HttpCacheReloadTest, RemovesTheEntriesUsedLeastLately) {
    const ReloadCase &c = GetParam();
    std::vector<std::string> paths;
    for (size_t i = 0; i < c.stamps.size(); ++i)
        paths.push_back(write_entry(i, c.stamps[i]));

    // The first use of the new directory reads its index from the disk.
    fsu::http_cache_set_limit(c.room * kEntrySize);
    for (size_t i = 0; i < paths.size(); ++i) {
        const bool kept = std::find(c.kept.begin(), c.kept.end(), i) != c.kept.end();
        EXPECT_EQ(file_exists(paths[i]), kept) << c.what << ": entry " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Times, HttpCacheReloadTest,
    ::testing::Values(
        // Over more than 4295 seconds a 32-bit count of microseconds wraps around.
        ReloadCase{"sixteen uses ten minutes apart",
                   ten_minutes_apart(1750000000, 16),
                   8,
                   {8, 9, 10, 11, 12, 13, 14, 15}},
        ReloadCase{"the same uses listed newest first",
                   {{1750009000, 0}, {1750006000, 0}, {1750003000, 0}, {1750000000, 0}},
                   2,
                   {0, 1}},
        ReloadCase{"uses within one second",
                   {{1750000000, 100000}, {1750000000, 300000}, {1750000000, 200000}},
                   1,
                   {1}},
        ReloadCase{"decades apart", {{2100000000, 0}, {978307200, 0}, {86400, 0}}, 1, {0}}),
    [](const ::testing::TestParamInfo<ReloadCase> &info) {
        return "Case" + std::to_string(info.index);
    });

} // namespace
