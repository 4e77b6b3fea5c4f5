// SPDX-License-Identifier: LGPL-2.1-or-later
// The store never reaches outside itself, and leaves nothing behind: update runs against the
// demo storefront on 127.0.0.1 in stores prepared as a handheld's life or an attacker would
// (links in place of the database, the picture cache or its files; picture rows naming other
// paths; leftovers of killed runs; a full disk). Files outside the store must stay as they
// were, and the cache must hold only pictures that a stored row names.
#include "feedserviceutils_runs.h"
#include "storefront_server.h"
#include "feed_service.h"
#include "file_helpers.h"
#include "gconftool.h"
#include "item_database.h"
#include "velmora_service_plugin.h"

#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>
#include "velmora_contract.h"

namespace {

using test_support::list_dir;
using test_support::read_file;
using test_support::remove_tree;
using test_support::write_file;

std::string store_path(const std::string &file) {
    return velmora_store_file(file.c_str());
}
const std::string kCache = VELMORA_STORE_IMAGE_CACHE_DIR;
const std::string kDatabase = VELMORA_STORE_DATABASE_FILE;

bool is_link(const std::string &path) {
    GStatBuf status;
    return g_lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

void run_sql(const std::string &db, const std::string &sql) {
    const gchar *argv[] = {"sqlite3", db.c_str(), sql.c_str(), nullptr};
    gint status = 0;
    ASSERT_TRUE(g_spawn_sync(nullptr, const_cast<gchar **>(argv), nullptr, G_SPAWN_SEARCH_PATH,
                             nullptr, nullptr, nullptr, nullptr, &status, nullptr));
    ASSERT_TRUE(g_spawn_check_wait_status(status, nullptr)) << sql;
}

// The files of a directory with a digest of their contents.
std::map<std::string, std::string> contents_of(const std::string &dir) {
    std::map<std::string, std::string> files;
    for (const std::string &name : list_dir(dir)) {
        const std::string bytes = read_file(dir + "/" + name);
        gchar *digest = g_compute_checksum_for_data(
            G_CHECKSUM_SHA1, reinterpret_cast<const guchar *>(bytes.data()), bytes.size());
        files[name] = std::string(digest).substr(0, 12);
        g_free(digest);
    }
    return files;
}

// Names in the cache that no stored item's picture path names.
std::vector<std::string> unreferenced_cache_files() {
    std::set<std::string> referenced;
    for (const StoredItem &item : stored_items())
        referenced.insert(item.image_path);
    std::vector<std::string> strays;
    for (const std::string &name : list_dir(store_path(kCache))) {
        if (!referenced.count(store_path(kCache) + "/" + name))
            strays.push_back(name);
    }
    return strays;
}

class StoreSafety : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { store_ = new StorefrontServer(); }
    static void TearDownTestSuite() {
        delete store_;
        store_ = nullptr;
    }
    void SetUp() override {
        g_setenv("VELMORA_DATA_DIR", store_->data_dir().c_str(), TRUE);
        gconftool::unset_settings();
        all_ = store_->item_count(VELMORA_REGION_US, VELMORA_DEFAULT_CATEGORY);
        ASSERT_GE(all_, 20);
    }

    std::vector<int> run() {
        VelmoraServiceContext *context = init_plugin();
        std::vector<int> statuses;
        feedserviceutils_run_begin(); // the run's bounds, marked as the daemon does
        execute_with_callback(context, &statuses, [](gpointer data, gint32 status) {
            static_cast<std::vector<int> *>(data)->push_back(status);
        });
        feedserviceutils_run_end();
        de_init_plugin(context);
        return statuses;
    }

    static StorefrontServer *store_;
    int all_ = 0;
};
StorefrontServer *StoreSafety::store_ = nullptr;

TEST_F(StoreSafety, NothingOutsideTheStoreIsWrittenOrDeletedAndNothingIsLeftOver) {
    const std::string cache = store_path(kCache), db = store_path(kDatabase);
    std::string outside; // a directory of another program, fresh for each case
    auto victim = [&] { return outside + "/victim.img"; };
    // The cached pictures' names, copied outside as victims.
    auto mirror_cache = [&] {
        for (const std::string &name : list_dir(cache))
            write_file(outside + "/" + name, "victim " + name);
    };
    auto first_picture_path = [&] { return "(SELECT min(id) FROM velmora_images)"; };
    struct Case {
        const char *what;
        int good_runs_before; // runs that fill the store before prepare()
        std::function<bool()> prepare;
        std::function<void()> check = nullptr;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"velmora.db a link to another program's database", 0, [&] {
             g_mkdir_with_parents(store_path("").c_str(), 0700);
             run_sql(outside + "/other.db", "CREATE TABLE mine (x); INSERT INTO mine VALUES (1)");
             return symlink((outside + "/other.db").c_str(), db.c_str()) == 0;
         }, [&] { EXPECT_FALSE(is_link(db)); }},
        {"image-cache a link to another directory", 0, [&] {
             g_mkdir_with_parents(store_path("").c_str(), 0700);
             for (int id = 1; id <= 40; id++)
                 write_file(outside + "/" + std::to_string(id) + ".img", "victim");
             return symlink(outside.c_str(), cache.c_str()) == 0;
         }, [&] { EXPECT_FALSE(is_link(cache)); }},
        {"image-cache made a link after a run", 1, [&] {
             mirror_cache();
             remove_tree(cache);
             return symlink(outside.c_str(), cache.c_str()) == 0;
         }, [&] { EXPECT_FALSE(is_link(cache)); }},
        {"a picture row names a file outside the cache", 1, [&] {
             write_file(victim(), "victim");
             run_sql(db, "UPDATE velmora_images SET image_path = '" + victim() +
                             "' WHERE id = " + first_picture_path());
             return true;
         }},
        {"a picture row names a file through ..", 1, [&] {
             const std::string beside = store_path("victim.img");
             write_file(beside, "victim");
             run_sql(db, "UPDATE velmora_images SET image_path = '" + cache +
                             "/../victim.img' WHERE id = " + first_picture_path());
             return true;
         }, [&] { EXPECT_EQ(read_file(store_path("victim.img")), "victim"); }},
        {"partial files are links to another file", 1, [&] {
             write_file(victim(), "victim");
             for (int id = 1; id <= 80; id++)
                 symlink(victim().c_str(), (cache + "/" + std::to_string(id) + ".img.part").c_str());
             return true;
         }},
        {"pictures and partial files of killed runs", 1, [&] {
             for (const char *name : {"900.img", "901.img", "7.img.part"})
                 write_file(cache + "/" + name, "left over");
             return true;
         }},
        {"the pictures of a store moved aside", 2, [&] {
             std::string bytes = read_file(db);
             if (bytes.size() < 3 * 4096u)
                 return false;
             return write_file(db, bytes.replace(4096, 2 * 4096, 2 * 4096, 'Z'));
         }},
        {"a full disk leaves no partial file", 1, [&] {
             remove_tree(cache);
             g_mkdir(cache.c_str(), 0700);
             if (mount("velmora-test", cache.c_str(), "tmpfs", 0, "size=16k") != 0)
                 return false;
             g_spawn_command_line_sync(("sh -c 'cat /dev/zero >" + cache + "/filler'").c_str(),
                                       nullptr, nullptr, nullptr, nullptr);
             return true;
         }, [&] {
             for (const std::string &name : list_dir(cache))
                 EXPECT_EQ(name.find(".part"), std::string::npos) << name;
             umount2(cache.c_str(), 0);
         }},
    };
    // clang-format on
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        remove_tree(store_path(""));
        outside = test_support::make_temp_dir("outside");
        for (int i = 0; i < c.good_runs_before; i++)
            ASSERT_EQ(run(), feed_service::pass(all_));
        if (!c.prepare()) {
            std::printf("%-50s skipped: cannot be made here\n", c.what);
            continue;
        }
        const auto outside_before = contents_of(outside);
        const std::vector<int> statuses = run();
        const auto outside_after = contents_of(outside);
        const bool full_disk = c.what == cases.back().what;
        std::printf("%-50s outside %zu -> %zu files, stray cache files %zu\n", c.what,
                    outside_before.size(), outside_after.size(),
                    full_disk ? 0 : unreferenced_cache_files().size());
        EXPECT_EQ(outside_after, outside_before);
        EXPECT_EQ(statuses, feed_service::pass(all_));
        EXPECT_EQ(static_cast<int>(stored_items().size()), all_);
        if (!full_disk) {
            EXPECT_EQ(unreferenced_cache_files(), std::vector<std::string>{});
        }
        if (c.check)
            c.check();
    }
}

} // namespace
