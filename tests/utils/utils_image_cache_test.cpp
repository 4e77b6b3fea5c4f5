// SPDX-License-Identifier: LGPL-2.1-or-later
// utils_image_cache_test.cpp - the picture cache against the local test server: a picture
// is fetched once and then served from the cache, its file is named after its id, a
// failed download leaves neither a file nor a path and is not asked for again in the run
// (nor is a host that refused connections, while a slow one is), and directories are made.
#include "utils_test_helpers.h"

#include "feedserviceutils_internal.h"

#include "http_test_server.h"
#include "scoped_environment.h"

#include <gtest/gtest.h>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <vector>
#include "velmora_contract.h"

using namespace utils_test;
using test_support::ScopedEnvironment;

namespace {

class ImageCacheTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::string picture;
        for (int i = 0; i < 20000; ++i)
            picture += static_cast<char>((i * 7919) % 256);
        server_ = new_file_server({{"pic.png", picture},
                                   {"big.jpg", std::string(5 * 1024 * 1024, 'b')},
                                   {"feed.xml", "<rss/>"}});
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }

    static std::string served(const std::string &name) { return server_->root() + "/" + name; }

    void SetUp() override {
        dir_ = make_temp_dir();
        cache_ = dir_ + "/" VELMORA_STORE_IMAGE_CACHE_DIR;
        queries_.reset(query_loader_new(plugin_catalogue().c_str()));
        ASSERT_TRUE(
            make_database(dir_ + "/" VELMORA_STORE_DATABASE_FILE, db_, watcher_, queries_.get()));
        update_template_.reset(query_loader_load_query(queries_.get(), "update_image_paths"));
        ASSERT_TRUE(update_template_);
        fsu::forget_failed_downloads();
        // A run whose feed came from the (local) test server: its pictures may be fetched.
        network_utils_begin_run("pictures", nullptr);
        allow_local_pictures_from(server_->url("/feed.xml"));
        server_->reset_counts();
    }

    // Fetches a local feed, so that pictures at its address and port may be fetched.
    static void allow_local_pictures_from(const std::string &address) {
        GString *feed = g_string_new(address.c_str());
        GArray *body = g_array_new(FALSE, FALSE, 1);
        network_utils_get(feed, body, 0, 0, 0);
        g_array_free(body, TRUE);
        g_string_free(feed, TRUE);
    }

    gint32 add_picture_row(const std::string &address) {
        gint64 id = 0;
        const std::string sql = format_statement(queries_.get(), "ins_velmora_image", {address});
        EXPECT_NE(db_interface_execute_update_get_row_id(db_.get(), sql.c_str(), &id), 0);
        return static_cast<gint32>(id);
    }

    Owned recorded_path(gint32 image_id) {
        const std::string sql = format_statement(queries_.get(), "sel_image_path", {image_id});
        EXPECT_NE(db_interface_execute_query(db_.get(), sql.c_str()), 0);
        EXPECT_NE(db_interface_step_result(db_.get()), 0);
        Owned path(g_strdup(db_get_text_column(db_.get(), "image_path", 0)));
        db_interface_close_result(db_.get());
        return path;
    }

    gint fetch(gint32 image_id, const std::string &address, gint force = 0) {
        return check_and_download_image(db_.get(), cache_.c_str(), queries_.get(), 1, image_id,
                                        address.c_str(), update_template_.get(), force);
    }

    static HttpTestServer *server_;
    std::string dir_;
    std::string cache_;
    LoaderPtr queries_;
    DbPtr db_;
    WatcherPtr watcher_;
    std::unique_ptr<gchar, decltype(&g_free)> update_template_{nullptr, &g_free};
};

HttpTestServer *ImageCacheTest::server_ = nullptr;

TEST_F(ImageCacheTest, FetchesOnceThenServesFromTheCache) {
    const std::string address = server_->url("/pic.png");
    const gint32 id = add_picture_row(address);
    ASSERT_GE(id, 1);
    ASSERT_NE(fetch(id, address), 0);
    const std::string file = cache_ + "/" + std::to_string(id) + ".img";
    EXPECT_EQ(read_file(file), read_file(served("pic.png")));
    EXPECT_EQ(recorded_path(id).value, file);
    EXPECT_EQ(list_dir(cache_), std::vector<std::string>{std::to_string(id) + ".img"});
    EXPECT_EQ(server_->request_count("/pic.png"), 1);

    ASSERT_NE(fetch(id, address), 0);
    EXPECT_EQ(server_->request_count("/pic.png"), 1) << "cached: no second request";

    ASSERT_NE(fetch(id, address, 1), 0);
    EXPECT_EQ(server_->request_count("/pic.png"), 2) << "forced";

    ASSERT_EQ(g_remove(file.c_str()), 0);
    ASSERT_NE(fetch(id, address), 0);
    EXPECT_EQ(server_->request_count("/pic.png"), 3) << "the recorded file was gone";
    EXPECT_TRUE(file_exists(file));
}

TEST_F(ImageCacheTest, FileNameComesFromTheIdNeverTheAddress) {
    const std::string address = server_->url("/pic.png?name=../../escaped.img&x=/etc/passwd");
    const gint32 id = add_picture_row(address);
    ASSERT_NE(fetch(id, address), 0);
    EXPECT_EQ(list_dir(cache_), std::vector<std::string>{std::to_string(id) + ".img"});
    EXPECT_FALSE(file_exists(dir_ + "/escaped.img"));
    EXPECT_EQ(list_dir(dir_),
              (std::vector<std::string>{VELMORA_STORE_IMAGE_CACHE_DIR, VELMORA_STORE_DATABASE_FILE,
                                        VELMORA_STORE_DATABASE_FILE "-shm",
                                        VELMORA_STORE_DATABASE_FILE "-wal"}));
}

TEST_F(ImageCacheTest, AFailedDownloadLeavesNoFileAndNoPath) {
    for (const char *path : {"/status/404/pic.png", "/cut/pic.png", "/big.jpg",
                             "/redirect/6/pic.png", "/absent.png"}) {
        const std::string address = server_->url(path);
        const gint32 id = add_picture_row(address);
        EXPECT_EQ(fetch(id, address), 0) << path;
        EXPECT_TRUE(recorded_path(id).null) << path;
        EXPECT_EQ(list_dir(cache_), std::vector<std::string>{}) << path << ": no file, no temp";
    }
    // Without a picture row there is nothing to record a path in: nothing is fetched.
    EXPECT_EQ(fetch(999, server_->url("/pic.png")), 0);
    EXPECT_EQ(server_->request_count("/pic.png"), 0);
    EXPECT_EQ(list_dir(cache_), std::vector<std::string>{});
    // A template that does not take the path and the id records nothing, keeps nothing.
    const std::string address = server_->url("/pic.png");
    const gint32 id = add_picture_row(address);
    EXPECT_EQ(check_and_download_image(db_.get(), cache_.c_str(), queries_.get(), 1, id,
                                       address.c_str(), "UPDATE velmora_images SET image_path = ?",
                                       0),
              0);
    EXPECT_EQ(list_dir(cache_), std::vector<std::string>{});
}

TEST_F(ImageCacheTest, AFailedPictureIsNotAskedForAgainUntilForgottenOrForced) {
    const std::string late = server_->url("/late.png");
    const gint32 id = add_picture_row(late);
    EXPECT_EQ(fetch(id, late), 0) << "not there yet: 404";
    EXPECT_EQ(server_->request_count("/late.png"), 1);
    write_file(served("late.png"), "picture");
    EXPECT_EQ(fetch(id, late), 0);
    // A run that starts over makes the picture rows anew: the address is what counts.
    ASSERT_NE(delete_image_data_from_database(db_.get(), queries_.get()), 0);
    const gint32 new_id = add_picture_row(late);
    EXPECT_EQ(fetch(new_id, late), 0);
    EXPECT_EQ(server_->request_count("/late.png"), 1) << "failed lately: no new request";

    // A quick 404 says nothing about the host: its other pictures are fetched.
    const std::string other = server_->url("/pic.png");
    EXPECT_NE(fetch(add_picture_row(other), other), 0);
    EXPECT_EQ(server_->request_count("/pic.png"), 1);

    EXPECT_NE(fetch(new_id, late, 1), 0) << "forced";
    EXPECT_EQ(server_->request_count("/late.png"), 2);
    EXPECT_EQ(read_file(cache_ + "/" + std::to_string(new_id) + ".img"), "picture");

    // After forgetting, a failed picture is fetched again.
    const std::string missing = server_->url("/status/404/gone.png");
    const gint32 missing_id = add_picture_row(missing);
    EXPECT_EQ(fetch(missing_id, missing), 0);
    EXPECT_EQ(fetch(missing_id, missing), 0);
    EXPECT_EQ(server_->request_count("/status/404/gone.png"), 1);
    fsu::forget_failed_downloads();
    EXPECT_EQ(fetch(missing_id, missing), 0);
    EXPECT_EQ(server_->request_count("/status/404/gone.png"), 2);
    g_remove((served("late.png")).c_str());
}

TEST_F(ImageCacheTest, RemembersAtMost1024FailedPicturesDroppingTheOldest) {
    const gint32 id = add_picture_row(server_->url("/absent.png"));
    auto address = [&](int n) { return server_->url("/absent.png?n=" + std::to_string(n)); };
    for (int n = 0; n <= 1024; n++)
        ASSERT_EQ(fetch(id, address(n)), 0);
    ASSERT_EQ(server_->request_count("/absent.png"), 1025);
    EXPECT_EQ(fetch(id, address(1024)), 0);
    EXPECT_EQ(fetch(id, address(1)), 0);
    EXPECT_EQ(server_->request_count("/absent.png"), 1025) << "the newest 1,024 are remembered";
    EXPECT_EQ(fetch(id, address(0)), 0);
    EXPECT_EQ(server_->request_count("/absent.png"), 1026) << "the oldest was dropped";
}

// A picture that stalls until its time-out leaves its host alone for the rest of the
// run; the next run asks it again. A host that refuses connections gets no picture
// requests for a while, until the settings change.
TEST_F(ImageCacheTest, AStalledHostIsLeftAloneForTheRunAndAClosedOneForAWhile) {
    const std::string stalled = server_->url("/stall/pic.png");
    EXPECT_EQ(fetch(add_picture_row(stalled), stalled), 0);
    const std::string other = server_->url("/pic.png");
    EXPECT_EQ(fetch(add_picture_row(other), other), 0);
    EXPECT_EQ(server_->request_count("/pic.png"), 0) << "the stalled host is left alone";
    network_utils_begin_run("pictures", nullptr);
    allow_local_pictures_from(server_->url("/feed.xml"));
    const std::string again = server_->url("/pic.png?again");
    EXPECT_NE(fetch(add_picture_row(again), again), 0);
    EXPECT_EQ(server_->request_count("/pic.png"), 1);

    // The closed port is where a (pretended) local feed of the run came from.
    fsu::FetchOutcome feed;
    feed.arrived = feed.connected = feed.from_local = true;
    feed.origin_endpoints = {fsu::endpoint("127.0.0.1", 1)};
    fsu::note_outcome("http://127.0.0.1:1/feed.xml", "http://127.0.0.1:1", fsu::FetchKind::Feed,
                      feed);
    const std::string closed = "http://127.0.0.1:1/a.png";
    EXPECT_EQ(fetch(add_picture_row(closed), closed), 0);
    const std::string next = "http://127.0.0.1:1/b.png";
    EXPECT_NE(fsu::held_back(next, "http://127.0.0.1:1", fsu::FetchKind::Picture, false), "");
    EXPECT_EQ(fsu::held_back(next, "http://127.0.0.1:1", fsu::FetchKind::Feed, false), "");
    network_utils_begin_run("pictures", nullptr);
    EXPECT_NE(fsu::held_back(next, "http://127.0.0.1:1", fsu::FetchKind::Picture, false), "")
        << "same settings: still left alone";
    network_utils_begin_run("new settings", nullptr);
    EXPECT_EQ(fsu::held_back(next, "http://127.0.0.1:1", fsu::FetchKind::Picture, false), "");
}

// The HTTP cache keeps a picture's validators, not a second copy of it: a picture whose
// file is in place is asked for again (forced) conditionally and a 304 writes nothing; one
// whose file went is fetched whole; with conditional requests off, always whole.
TEST_F(ImageCacheTest, APictureIsOnDiskOnceAndA304WritesNothing) {
    struct Case {
        const char *what;
        bool remove_file, conditional;
        bool rewritten; // the file was written anew (another inode)
        bool whole;     // the body came again
    };
    const Case cases[] = {
        {"file in place, forced: 304", false, true, false, false},
        {"file gone: fetched whole", true, true, true, true},
        {"file in place, no conditional requests", false, false, true, true},
    };
    const std::string body = read_file(served("pic.png"));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string address = server_->url("/pic.png?" + std::to_string(&c - cases));
        const gint32 id = add_picture_row(address);
        ASSERT_NE(fetch(id, address), 0);
        const std::string file = cache_ + "/" + std::to_string(id) + ".img";
        EXPECT_LT(read_file(fsu::http_cache_path(address)).size(), 600u) << "validators only";
        if (c.remove_file) {
            ASSERT_EQ(g_remove(file.c_str()), 0);
        }
        GStatBuf before{};
        g_stat(file.c_str(), &before);
        {
            std::optional<ScopedEnvironment> unconditional;
            if (!c.conditional)
                unconditional.emplace("FEEDSERVICEUTILS_NO_CONDITIONAL_REQUESTS", "1");
            server_->reset_counts();
            EXPECT_NE(fetch(id, address, 1), 0);
        }

        EXPECT_EQ(server_->request_count(), 1);
        EXPECT_EQ(server_->bytes_sent() > long(body.size()), c.whole) << server_->bytes_sent();
        EXPECT_EQ(read_file(file), body);
        GStatBuf after{};
        ASSERT_EQ(g_stat(file.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino != before.st_ino, c.rewritten);
        EXPECT_EQ(list_dir(cache_).size(), size_t(&c - cases + 1)) << "no temporary file left";
        EXPECT_EQ(recorded_path(id).value, file);
    }
}

TEST_F(ImageCacheTest, DeletesPictureRows) {
    const gint32 id = add_picture_row(server_->url("/pic.png"));
    ASSERT_NE(fetch(id, server_->url("/pic.png")), 0);
    ASSERT_NE(delete_image_data_from_database(db_.get(), queries_.get()), 0);
    const std::string sql = format_statement(queries_.get(), "sel_image_path", {id});
    ASSERT_NE(db_interface_execute_query(db_.get(), sql.c_str()), 0);
    EXPECT_EQ(db_interface_step_result(db_.get()), 0);
}

TEST(EnsureDirectory, MakesTheDirectoryWithItsParents) {
    const std::string dir = make_temp_dir() + "/a/b/c/";
    EXPECT_NE(ensure_directory(dir.c_str()), 0);
    EXPECT_TRUE(g_file_test(dir.c_str(), G_FILE_TEST_IS_DIR));
    EXPECT_NE(ensure_directory(dir.c_str()), 0) << "already there";
    write_file(dir + "file", "x");
    EXPECT_EQ(ensure_directory((dir + "file/").c_str()), 0);
    EXPECT_EQ(ensure_directory(nullptr), 0);
    EXPECT_EQ(ensure_directory(""), 0);
}

// The one atomic writer: whatever stands at the final name (a file, a link to a file
// outside, a leftover partial file) the data land in a regular file of that name, no
// link is written through, and no partial file stays; a directory that cannot be
// written to gets nothing and reports it.
TEST(WriteFileAt, WritesWholeThroughTheDirectoryNeverThroughALink) {
    const std::string outside = make_temp_dir() + "/outside";
    struct Case {
        const char *what;
        const char *name;
        std::function<void(const std::string &dir)> prepare;
        bool written;
    };
    const std::vector<Case> cases = {
        {"a new file", "a.img", [](const std::string &) {}, true},
        {"an old file", "a.img", [](const std::string &d) { write_file(d + "/a.img", "old"); },
         true},
        {"a link at the name", "a.img",
         [&](const std::string &d) { symlink(outside.c_str(), (d + "/a.img").c_str()); }, true},
        {"a link where a partial file was", "a.img",
         [&](const std::string &d) { symlink(outside.c_str(), (d + "/a.img.part").c_str()); },
         true},
        {"a read-only directory", "a.img", [](const std::string &d) { chmod(d.c_str(), 0500); },
         geteuid() == 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        write_file(outside, "outside");
        const std::string dir = make_temp_dir();
        c.prepare(dir);
        const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(fd, 0);
        GError *error = nullptr;
        EXPECT_EQ(fsu::write_file_at(fd, c.name, "new", 3, 0644, &error), c.written);
        EXPECT_EQ(error == nullptr, c.written);
        g_clear_error(&error);
        close(fd);
        chmod(dir.c_str(), 0700);
        EXPECT_EQ(read_file(outside), "outside");
        if (c.written) {
            EXPECT_EQ(read_file(dir + "/" + c.name), "new");
            EXPECT_FALSE(g_file_test((dir + "/" + c.name).c_str(), G_FILE_TEST_IS_SYMLINK));
        }
        for (const std::string &name : list_dir(dir))
            EXPECT_FALSE(g_str_has_suffix(name.c_str(), ".part") &&
                         name != std::string(c.name) + ".part")
                << name;
    }
}

} // namespace
