// SPDX-License-Identifier: LGPL-2.1-or-later
// Update runs of the plug-in against the demo storefront on 127.0.0.1, with the real GConf of
// the test's private session bus: the status sequences, the settings read with their defaults,
// the start-over when the settings change during a run, and what ends up in the item database.
#include "feedserviceutils_runs.h"
#include "storefront_server.h"
#include "feed_service.h"
#include "file_helpers.h"
#include "gconftool.h"
#include "item_database.h"
#include "scoped_environment.h"
#include "velmora_service_plugin.h"

#include <gconf/gconf-client.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <optional>
#include <sys/mount.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>
#include "velmora_contract.h"

namespace {

using namespace feed_service;
using gconftool::kRegionKey;
using gconftool::set_categories;
using gconftool::set_region;
using gconftool::unset_settings;
using test_support::ScopedEnvironment;

// Records every status; an optional hook runs at the n-th report of a status.
struct Recorder {
    std::vector<int> statuses;
    std::map<std::pair<int, int>, std::function<void()>> hooks; // (status, occurrence)
    std::map<int, int> seen;

    static void callback(gpointer user_data, gint32 status) {
        auto *self = static_cast<Recorder *>(user_data);
        self->statuses.push_back(status);
        const int occurrence = ++self->seen[status];
        auto hook = self->hooks.find({status, occurrence});
        if (hook != self->hooks.end())
            hook->second();
    }
};

std::string store_path(const char *file) {
    return velmora_store_file(file);
}

// What the store holds: the item titles and the files of the picture cache.
struct Snapshot {
    std::vector<std::string> titles;
    size_t pictures = 0;
};
Snapshot snapshot() {
    Snapshot shot;
    for (const StoredItem &item : stored_items()) {
        shot.titles.push_back(item.title);
        EXPECT_TRUE(item.image_path.empty() || test_support::file_exists(item.image_path));
    }
    shot.pictures = test_support::list_dir(store_path(VELMORA_STORE_IMAGE_CACHE_DIR)).size();
    return shot;
}

// Counts the stored items in a loop, as a widget would, while it lives; stop() gives
// the smallest count read.
struct LoopingReader {
    std::atomic<bool> done{false};
    size_t smallest = SIZE_MAX;
    std::thread thread{[this] {
        for (; !done; g_usleep(200))
            smallest = std::min(smallest, stored_items().size());
    }};
    size_t stop() {
        done = true;
        thread.join();
        return smallest;
    }
};

class UpdateRun : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        store_ = new StorefrontServer();
        // A region whose first feed cannot be fetched (nothing listens on port 1) while
        // its second can.
        store_->add_catalogue_section(
            "[velmora.dead]\nbestsellers=http://127.0.0.1:1/feed.xml\nbestsellers_book=" +
            store_->server().url(
                StorefrontServer::feed_path(VELMORA_REGION_US, "bestsellers_book")) +
            "\nlink_url_suffix=?tag=dead\n");
        // Regions whose feed is a hostile answer: a file written into the root, or a
        // misbehaving path of the server.
        const std::string feed = test_support::read_file(
            store_->root() +
            StorefrontServer::feed_path(VELMORA_REGION_US, VELMORA_DEFAULT_CATEGORY));
        std::string sections;
        for (auto [region, path, body] : std::vector<std::array<std::string, 3>>{
                 {"portal", "/portal.html", "<html><body><form>Hotel Wi-Fi</form></html>"},
                 {"maintenance", "/maintenance.txt", "Down for maintenance, back soon."},
                 {"empty", "/empty.xml", "<rss><channel><title>x</title></channel></rss>"},
                 {"bomb", "/bomb.xml",
                  "<!DOCTYPE rss [<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>"
                  "<rss><item><title>&b;</title></item></rss>"},
                 {"truncated", "/truncated.xml", feed.substr(0, feed.find("<item>") + 4)},
                 {"cut",
                  "/cut" + StorefrontServer::feed_path(VELMORA_REGION_US, VELMORA_DEFAULT_CATEGORY),
                  ""},
                 {"redirect", "/redirect/2/portal.html", ""},
                 {"missing", "/status/404/f.xml", ""}}) {
            if (!body.empty())
                test_support::write_file(store_->root() + path, body);
            sections +=
                "[hostile." + region + "]\nbestsellers=" + store_->server().url(path) + "\n";
        }
        store_->add_catalogue_section(
            sections + "[hostile.first404]\nbestsellers=" + store_->server().url("/status/404/f") +
            "\nbestsellers_book=" +
            store_->server().url(
                StorefrontServer::feed_path(VELMORA_REGION_US, "bestsellers_book")));
    }
    static void TearDownTestSuite() {
        delete store_;
        store_ = nullptr;
    }

    void SetUp() override {
        g_setenv("VELMORA_DATA_DIR", store_->data_dir().c_str(), TRUE);
        unset_settings();
        store_->server().reset_counts();
        context_ = init_plugin();
        ASSERT_NE(context_, nullptr);
    }
    void TearDown() override { de_init_plugin(context_); }

    // A run as the daemon makes it: bounds marked for the utilities library.
    std::vector<int> run(Recorder &recorder) {
        feedserviceutils_run_begin();
        execute_with_callback(context_, &recorder, Recorder::callback);
        feedserviceutils_run_end();
        return recorder.statuses;
    }
    std::vector<int> run() {
        Recorder recorder;
        return run(recorder);
    }
    int items(const char *region, const char *category) {
        return store_->item_count(region, category);
    }
    int requests(const char *region, const char *category) {
        return store_->server().request_count(StorefrontServer::feed_path(region, category));
    }

    // Closes the plug-in's store, lets change() work on the file, and opens it again.
    void with_store_closed(const std::function<void(const std::string &)> &change) {
        de_init_plugin(context_);
        change(store_path(VELMORA_STORE_DATABASE_FILE));
        context_ = init_plugin();
    }
    // Runs sql on the store (with the sqlite3 shell) while the plug-in has it closed.
    void store_sql(const std::string &sql) {
        with_store_closed([&](const std::string &db) {
            const gchar *argv[] = {"sqlite3", db.c_str(), sql.c_str(), nullptr};
            g_spawn_sync(nullptr, const_cast<gchar **>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr);
        });
    }
    // A small file system on the store directory holding a good run, then filled up.
    bool fill_store_disk() {
        bool mounted = false;
        with_store_closed([&](auto &) {
            mounted = mount("velmora-test", store_path("").c_str(), "tmpfs", 0, "size=1m") == 0;
        });
        if (mounted) {
            undo_ = [this] {
                with_store_closed([](auto &) { umount2(store_path("").c_str(), 0); });
            };
            run();
            const std::string fill = "sh -c 'cat /dev/zero >" + store_path("filler") + "'";
            g_spawn_command_line_sync(fill.c_str(), nullptr, nullptr, nullptr, nullptr);
        }
        return mounted;
    }

    struct HostileCase {
        const char *what, *region;
        std::vector<std::string> categories;
        std::vector<int> statuses; // without a 0: the items and pictures stay as they were
        std::function<bool()> prepare = nullptr; // false: cannot be made here
        std::function<void()> at_first_item = nullptr;
    };

    // After a good run, runs the case (its store prepared, its settings set) while
    // another process reads the store throughout, and checks that the statuses are
    // the case's and that the stored items stay unless the run stored new ones.
    // False when the case cannot be made here.
    bool check_hostile(const HostileCase &c) {
        const int all = items(VELMORA_REGION_US, VELMORA_DEFAULT_CATEGORY);
        SCOPED_TRACE(c.what);
        unset_settings();
        const std::vector<int> good = run();
        EXPECT_EQ(good, pass(all));
        if (good != pass(all))
            return true; /* failed already: nothing to compare with */
        if (c.prepare && !c.prepare())
            return false;
        const Snapshot before = snapshot();
        set_region(c.region);
        set_categories(c.categories);
        Recorder recorder;
        if (c.at_first_item)
            recorder.hooks[{0, 1}] = c.at_first_item;
        LoopingReader reader;
        const std::vector<int> statuses = run(recorder);
        if (reader.stop() == 0) { // the same file throughout is never found empty
            EXPECT_TRUE(before.titles.size() < size_t(all) || c.at_first_item);
        }
        const Snapshot after = snapshot();
        std::printf("%-44s items %2zu -> %2zu, pictures %2zu -> %2zu, statuses %s\n", c.what,
                    before.titles.size(), after.titles.size(), before.pictures, after.pictures,
                    ::testing::PrintToString(statuses).c_str());
        EXPECT_EQ(statuses, c.statuses);
        const auto stored = std::count(c.statuses.begin(), c.statuses.end(), 0);
        if (stored == 0) {
            EXPECT_EQ(after.titles, before.titles);
            EXPECT_EQ(after.pictures, before.pictures);
        } else {
            EXPECT_EQ(static_cast<long>(after.titles.size()), stored);
        }
        if (undo_)
            std::exchange(undo_, nullptr)();
        return true;
    }

    static StorefrontServer *store_;
    VelmoraServiceContext *context_ = nullptr;
    std::function<void()> undo_;
};
StorefrontServer *UpdateRun::store_ = nullptr;

TEST_F(UpdateRun, WithoutSettingsFetchesTheUsBestsellersAndStoresItemsWithPictures) {
    const int count = items(VELMORA_REGION_US, VELMORA_DEFAULT_CATEGORY);
    ASSERT_GE(count, 20);
    EXPECT_EQ(run(), pass(count));
    EXPECT_EQ(requests(VELMORA_REGION_US, VELMORA_DEFAULT_CATEGORY), 1);

    const auto stored = stored_items();
    ASSERT_EQ(static_cast<int>(stored.size()), count);
    int with_picture = 0;
    for (const auto &item : stored) {
        EXPECT_FALSE(item.title.empty());
        // Links are rewritten to the short form and carry the region's suffix.
        EXPECT_NE(item.link.find("/dp/B0"), std::string::npos) << item.link;
        EXPECT_TRUE(g_str_has_suffix(item.link.c_str(), "/?tag=demo-com")) << item.link;
        if (!item.image_path.empty()) {
            ++with_picture;
            EXPECT_TRUE(g_file_test(item.image_path.c_str(), G_FILE_TEST_IS_REGULAR));
            EXPECT_NE(item.image_path.find(store_path(VELMORA_STORE_IMAGE_CACHE_DIR)),
                      std::string::npos);
        }
    }
    // Pictures given in a CDATA section are fetched; entity-escaped ones are not seen.
    EXPECT_GT(with_picture, count / 2);
    // Stored settings stay unwritten: the plug-in never writes defaults.
    GConfClient *client = gconf_client_get_default();
    gchar *region = gconf_client_get_string(client, kRegionKey, nullptr);
    EXPECT_EQ(region, nullptr);
    g_free(region);
    g_object_unref(client);
}

TEST_F(UpdateRun, EmptyCategoriesListBehavesLikeUnsetAndRegionSelectsTheSection) {
    set_region(VELMORA_REGION_DE);
    set_categories({});
    EXPECT_EQ(run(), pass(items(VELMORA_REGION_DE, VELMORA_DEFAULT_CATEGORY)));
    EXPECT_EQ(requests(VELMORA_REGION_DE, VELMORA_DEFAULT_CATEGORY), 1);
    const auto stored = stored_items();
    ASSERT_FALSE(stored.empty());
    EXPECT_TRUE(g_str_has_suffix(stored[0].link.c_str(), "/?tag=demo-de"));
}

TEST_F(UpdateRun, EveryCategoryIsFetchedInOrderSkippingThoseWithoutAddress) {
    set_region(VELMORA_REGION_UK);
    set_categories({"no_such_category", "bestsellers_book", "bestsellers_music"});
    EXPECT_EQ(run(), pass(items(VELMORA_REGION_UK, "bestsellers_book") +
                          items(VELMORA_REGION_UK, "bestsellers_music")));
    EXPECT_EQ(requests(VELMORA_REGION_UK, "bestsellers_book"), 1);
    EXPECT_EQ(requests(VELMORA_REGION_UK, "bestsellers_music"), 1);
    EXPECT_EQ(store_->server().request_count("/feeds/" VELMORA_REGION_UK "/no_such_category.xml"),
              0);
}

TEST_F(UpdateRun, CategoryChangedDuringTheRunStartsOverWithTheNewSettings) {
    set_region(VELMORA_REGION_US);
    set_categories({"bestsellers_music"});
    Recorder recorder;
    recorder.hooks[{0, 1}] = [] { set_categories({"bestsellers_dvd"}); };
    EXPECT_EQ(run(recorder), pass(items(VELMORA_REGION_US, "bestsellers_music")) +
                                 pass(items(VELMORA_REGION_US, "bestsellers_dvd")));
    EXPECT_EQ(requests(VELMORA_REGION_US, "bestsellers_music"), 1);
    EXPECT_EQ(requests(VELMORA_REGION_US, "bestsellers_dvd"), 1);
    // Only the second pass's items remain, each with its picture file.
    EXPECT_EQ(static_cast<int>(stored_items().size()), items(VELMORA_REGION_US, "bestsellers_dvd"));
}

// The store records, with the items that replace the previous ones, the region and
// the categories they were fetched for, as the plug-in took them from the settings.
TEST_F(UpdateRun, TheStoreRecordsWhatItsItemsWereFetchedFor) {
    const struct {
        const char *region;
        std::vector<std::string> categories;
        const char *origin;
    } cases[] = {
        {nullptr, {}, VELMORA_REGION_US "|bestsellers"},
        {VELMORA_REGION_DE, {"bestsellers_games"}, VELMORA_REGION_DE "|bestsellers_games"},
        {VELMORA_REGION_FR,
         {"no_such_category", "bestsellers_dvd", "hotnew_books"},
         VELMORA_REGION_FR "|bestsellers_dvd,hotnew_books"},
        {"velmora.example", {"bestsellers_book"}, VELMORA_REGION_US "|bestsellers_book"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.origin);
        unset_settings();
        if (c.region)
            set_region(c.region);
        set_categories(c.categories);
        run();
        EXPECT_EQ(store_origin(), c.origin);
    }

    // A store made before the record existed gains it with the next run.
    store_sql("DROP TABLE velmora_store_origin;");
    EXPECT_EQ(store_origin(), "");
    ASSERT_FALSE(stored_items().empty());
    run();
    EXPECT_EQ(store_origin(), VELMORA_REGION_US "|bestsellers_book");

    // When the record cannot be written, the items are not replaced either.
    const size_t before = stored_items().size();
    store_sql("DROP TABLE velmora_store_origin; CREATE VIEW velmora_store_origin AS "
              "SELECT 1 AS id, 'velmora.ca' AS region, NULL AS categories;");
    set_region(VELMORA_REGION_DE);
    set_categories({"bestsellers_music"});
    run();
    EXPECT_EQ(stored_items().size(), before);
    EXPECT_EQ(store_origin(), "velmora.ca|");
    store_sql("DROP VIEW velmora_store_origin;"); // the next run makes the table again
    run();
    EXPECT_EQ(store_origin(), VELMORA_REGION_DE "|bestsellers_music");
}

TEST_F(UpdateRun, RegionChangedAtTheEndOfAPassStartsOverAndMayEndInMinus1022) {
    set_region(VELMORA_REGION_CA);
    set_categories({"bestsellers_games"});
    Recorder recorder;
    recorder.hooks[{2, 1}] = [] { set_region("velmora.dead"); };
    EXPECT_EQ(run(recorder), pass(items(VELMORA_REGION_CA, "bestsellers_games")) +
                                 std::vector<int>{VELMORA_STATUS_NOTHING_DOWNLOADED});
    // The failed second reading left the first pass's items.
    EXPECT_EQ(static_cast<int>(stored_items().size()),
              items(VELMORA_REGION_CA, "bestsellers_games"));
}

TEST_F(UpdateRun, SameRegionAndSameCategoriesInAnyOrderDoNotRepeat) {
    set_categories({"bestsellers_electronics", "hotnew_books"});
    const int count = items(VELMORA_REGION_US, "bestsellers_electronics") +
                      items(VELMORA_REGION_US, "hotnew_books");
    {
        // Reordered list, and the unset region set to the default it already stood for.
        Recorder recorder;
        recorder.hooks[{0, 3}] = [] {
            set_categories({"hotnew_books", "bestsellers_electronics"});
            set_region(VELMORA_REGION_US);
        };
        EXPECT_EQ(run(recorder), pass(count));
    }
    {
        // One identifier listed twice is fetched once: a change.
        Recorder recorder;
        recorder.hooks[{2, 1}] = [] { set_categories({"hotnew_books", "hotnew_books"}); };
        EXPECT_EQ(run(recorder), pass(count) + pass(items(VELMORA_REGION_US, "hotnew_books")));
    }
    {
        // One identifier fewer is a change.
        set_categories({"bestsellers_electronics", "hotnew_books"});
        Recorder recorder;
        recorder.hooks[{2, 1}] = [] { set_categories({"hotnew_books"}); };
        EXPECT_EQ(run(recorder), pass(count) + pass(items(VELMORA_REGION_US, "hotnew_books")));
    }
}

// A second run of an unchanged storefront asks for each feed once and for no picture,
// also with a utilities library that never asks conditionally, and keeps every row.
TEST_F(UpdateRun, AnUnchangedStorefrontCostsOneRequestPerFeedAndNoPicture) {
    set_categories({"bestsellers_book", "bestsellers_music"});
    const int count = items(VELMORA_REGION_US, "bestsellers_book") +
                      items(VELMORA_REGION_US, "bestsellers_music");
    for (bool conditional : {true, false}) {
        SCOPED_TRACE(conditional ? "conditional requests" : "no conditional requests");
        std::vector<StoredItem> before;
        {
            std::optional<ScopedEnvironment> unconditional;
            if (!conditional)
                unconditional.emplace("FEEDSERVICEUTILS_NO_CONDITIONAL_REQUESTS", "1");
            ASSERT_EQ(run(), pass(count));
            before = stored_items();
            store_->server().reset_counts();
            EXPECT_EQ(run(), pass(count));
        }
        EXPECT_EQ(store_->server().request_count(), 2);
        EXPECT_EQ(requests(VELMORA_REGION_US, "bestsellers_book"), 1);
        EXPECT_EQ(requests(VELMORA_REGION_US, "bestsellers_music"), 1);
        const auto after = stored_items();
        ASSERT_EQ(after.size(), before.size());
        for (size_t i = 0; i < after.size(); i++) {
            EXPECT_EQ(after[i].title, before[i].title);
            EXPECT_EQ(after[i].image_path, before[i].image_path);
        }
    }
}

// After a good run, answers and stores a handheld meets: what the store holds before
// and after, and the statuses. A run that brings no item keeps everything; a reader
// never finds the store empty.
TEST_F(UpdateRun, HostileAnswersAndStoresNeverLoseTheStoredItems) {
    const int all = items(VELMORA_REGION_US, VELMORA_DEFAULT_CATEGORY),
              books = items(VELMORA_REGION_US, "bestsellers_book");
    const std::vector<int> kept{1, 2}, none{VELMORA_STATUS_NOTHING_DOWNLOADED};
    auto corrupt = [](const std::string &db_path) {
        std::string bytes = test_support::read_file(db_path);
        ASSERT_GT(bytes.size(), 3 * 4096u);
        test_support::write_file(db_path, bytes.replace(4096, 2 * 4096, 2 * 4096, 'Z'));
    };
    auto remove_store = [] {
        for (const char *suffix : {"", "-wal", "-shm"})
            g_remove((store_path(VELMORA_STORE_DATABASE_FILE) + suffix).c_str());
    };
    auto older = [&] { // an older layout: no time_saved column
        store_sql("DROP TABLE velmora_items; CREATE TABLE velmora_items (id INTEGER PRIMARY KEY, "
                  "title); INSERT INTO velmora_items (title) VALUES (1), (2), (3)");
        return true;
    };
    auto refusing = [&] {
        store_sql("CREATE TRIGGER refuse BEFORE INSERT ON velmora_items BEGIN "
                  "SELECT RAISE(FAIL, 'refused'); END");
        undo_ = [&] { store_sql("DROP TRIGGER refuse"); };
        return true;
    };
    auto damaged = [&] { return with_store_closed(corrupt), true; };
    const std::string book = "bestsellers_book";
    // clang-format off
    const std::vector<HostileCase> cases = {
        {"captive portal (HTML, 200)", "hostile.portal", {}, kept},
        {"maintenance text", "hostile.maintenance", {}, kept},
        {"feed without items", "hostile.empty", {}, kept},
        {"entity bomb", "hostile.bomb", {}, kept},
        {"document cut before its first item", "hostile.truncated", {}, kept},
        {"transfer cut off", "hostile.cut", {}, none},
        {"redirect to a non-feed", "hostile.redirect", {}, kept},
        {"feed answered 404", "hostile.missing", {}, none},
        {"first category 404, second fine", "hostile.first404", {VELMORA_DEFAULT_CATEGORY, book}, pass(books)},
        {"homepage and link_url_suffix as categories", VELMORA_REGION_US, {"homepage", "link_url_suffix"}, pass(all)},
        {"one category listed three times", VELMORA_REGION_US, {book, book, book}, pass(books)},
        {"unknown region velmora.xx", "velmora.xx", {}, pass(all)},
        {"unknown category only", VELMORA_REGION_US, {"no_such_feed"}, pass(all)},
        {"older item table", VELMORA_REGION_US, {}, pass(all), older},
        {"every insert refused", VELMORA_REGION_DE, {}, kept, refusing},
        {"same items, every insert refused", VELMORA_REGION_US, {}, pass(all), refusing},
        {"damaged pages", VELMORA_REGION_US, {}, pass(all), damaged},
        {"store deleted during the run", VELMORA_REGION_US, {}, pass(all), nullptr, remove_store},
    };
    // clang-format on
    for (const HostileCase &c : cases)
        EXPECT_TRUE(check_hostile(c)) << c.what;
    EXPECT_EQ(store_->server().request_count("/"), 0); // the home page is no feed
}

// A store on a full file system (a small tmpfs mounted over the store directory,
// which needs root) keeps its items.
TEST_F(UpdateRun, AFullDiskNeverLosesTheStoredItems) {
    const std::vector<int> kept{1, 2};
    if (!check_hostile(
            {"full disk", VELMORA_REGION_DE, {}, kept, [&] { return fill_store_disk(); }}))
        GTEST_SKIP() << "a full disk cannot be made here (mounting a tmpfs needs root)";
}

TEST_F(UpdateRun, AnUnusableDatabaseEndsThePassWithoutReportingItemsAsStored) {
    // The database path taken by a directory: no connection can be made.
    de_init_plugin(context_);
    const std::string database = store_path(VELMORA_STORE_DATABASE_FILE);
    for (const char *suffix : {"", "-wal", "-shm"})
        g_rename((database + suffix).c_str(), (database + suffix + ".kept").c_str());
    ASSERT_EQ(g_mkdir(database.c_str(), 0700), 0);
    context_ = init_plugin();

    EXPECT_EQ(run(), (std::vector<int>{1, 2}));

    de_init_plugin(context_);
    g_rmdir(database.c_str());
    for (const char *suffix : {"", "-wal", "-shm"})
        g_rename((database + suffix + ".kept").c_str(), (database + suffix).c_str());
    context_ = init_plugin();
}

TEST(UpdateRunContext, IncompleteContextReportsZeroAloneAndTouchesNothing) {
    // A data directory without catalogues: the context lacks both loaders.
    const std::string empty = test_support::temp_path("no-catalogues");
    g_mkdir_with_parents(empty.c_str(), 0700);
    g_setenv("VELMORA_DATA_DIR", empty.c_str(), TRUE);
    VelmoraServiceContext *context = init_plugin();
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->queries, nullptr);
    EXPECT_EQ(context->urls, nullptr);
    const auto before = stored_items();
    Recorder recorder;
    execute_with_callback(context, &recorder, Recorder::callback);
    EXPECT_EQ(recorder.statuses, std::vector<int>{0});
    EXPECT_EQ(stored_items().size(), before.size());
    de_init_plugin(context);

    EXPECT_EQ(validate_credentials(), 0);
    EXPECT_EQ(get_default_interval(), 3600);
}

} // namespace
