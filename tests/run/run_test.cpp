// Update runs of the plug-in against the demo storefront on 127.0.0.1, with the real GConf of
// the test's private session bus: the status sequences, the settings read with their defaults,
// the start-over when the settings change during a run, and what ends up in the item database.
#include "storefront_server.h"
#include "feed_service.h"
#include "file_helpers.h"
#include "gconftool.h"
#include "item_database.h"
#include "velmora_service_plugin.h"

#include <gconf/gconf-client.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace feed_service;
using gconftool::kRegionKey;
using gconftool::set_categories;
using gconftool::set_region;
using gconftool::unset_settings;

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

class UpdateRun : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        store_ = new StorefrontServer();
        // A region whose first feed cannot be fetched (nothing listens on port 1) while
        // its second can.
        store_->add_catalogue_section(
            "[velmora.dead]\nbestsellers=http://127.0.0.1:1/feed.xml\nbestsellers_book=" +
            store_->server().url(StorefrontServer::feed_path("velmora.com", "bestsellers_book")) +
            "\nlink_url_suffix=?tag=dead\n");
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

    std::vector<int> run(Recorder &recorder) {
        execute_with_callback(context_, &recorder, Recorder::callback);
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

    static StorefrontServer *store_;
    VelmoraServiceContext *context_ = nullptr;
};
StorefrontServer *UpdateRun::store_ = nullptr;

TEST_F(UpdateRun, WithoutSettingsFetchesTheUsBestsellersAndStoresItemsWithPictures) {
    const int count = items("velmora.com", "bestsellers");
    ASSERT_GE(count, 20);
    EXPECT_EQ(run(), pass(count));
    EXPECT_EQ(requests("velmora.com", "bestsellers"), 1);

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
            EXPECT_NE(item.image_path.find(store_path("image-cache")), std::string::npos);
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
    set_region("velmora.de");
    set_categories({});
    EXPECT_EQ(run(), pass(items("velmora.de", "bestsellers")));
    EXPECT_EQ(requests("velmora.de", "bestsellers"), 1);
    const auto stored = stored_items();
    ASSERT_FALSE(stored.empty());
    EXPECT_TRUE(g_str_has_suffix(stored[0].link.c_str(), "/?tag=demo-de"));
}

TEST_F(UpdateRun, EveryCategoryIsFetchedInOrderSkippingThoseWithoutAddress) {
    set_region("velmora.co.uk");
    set_categories({"no_such_category", "bestsellers_book", "bestsellers_music"});
    EXPECT_EQ(run(), pass(items("velmora.co.uk", "bestsellers_book") +
                          items("velmora.co.uk", "bestsellers_music")));
    EXPECT_EQ(requests("velmora.co.uk", "bestsellers_book"), 1);
    EXPECT_EQ(requests("velmora.co.uk", "bestsellers_music"), 1);
    EXPECT_EQ(store_->server().request_count("/feeds/velmora.co.uk/no_such_category.xml"), 0);
}

TEST_F(UpdateRun, NothingDownloadedReportsOnlyMinus1022AndKeepsThePreviousItems) {
    set_region("velmora.fr");
    ASSERT_EQ(run(), pass(items("velmora.fr", "bestsellers")));
    const auto before = stored_items();
    ASSERT_FALSE(before.empty());

    // No address for any category of the region.
    set_categories({"no_such_category", "another_unknown"});
    EXPECT_EQ(run(), std::vector<int>{-1022});
    // The first feed cannot be fetched.
    set_region("velmora.dead");
    set_categories({"bestsellers"});
    EXPECT_EQ(run(), std::vector<int>{-1022});
    // An unknown region has no section at all.
    set_region("velmora.nowhere");
    EXPECT_EQ(run(), std::vector<int>{-1022});

    const auto after = stored_items();
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].title, before[i].title);
        if (!after[i].image_path.empty()) {
            EXPECT_TRUE(g_file_test(after[i].image_path.c_str(), G_FILE_TEST_IS_REGULAR));
        }
    }
}

TEST_F(UpdateRun, AFailedFirstFeedWithALaterGoodOneStillReportsMinus1022) {
    set_region("velmora.dead");
    set_categories({"bestsellers", "bestsellers_book"});
    EXPECT_EQ(run(), std::vector<int>{-1022});
    // Only the first document decides: the later good feed was fetched but not used.
    EXPECT_EQ(requests("velmora.com", "bestsellers_book"), 1);
    // In the other order the good feed comes first and the dead one yields no items.
    set_categories({"bestsellers_book", "bestsellers"});
    EXPECT_EQ(run(), pass(items("velmora.com", "bestsellers_book")));
}

TEST_F(UpdateRun, CategoryChangedDuringTheRunStartsOverWithTheNewSettings) {
    set_region("velmora.com");
    set_categories({"bestsellers_music"});
    Recorder recorder;
    recorder.hooks[{0, 1}] = [] { set_categories({"bestsellers_dvd"}); };
    EXPECT_EQ(run(recorder), pass(items("velmora.com", "bestsellers_music")) +
                                 pass(items("velmora.com", "bestsellers_dvd")));
    EXPECT_EQ(requests("velmora.com", "bestsellers_music"), 1);
    EXPECT_EQ(requests("velmora.com", "bestsellers_dvd"), 1);
    // Only the second pass's items remain, each with its picture file.
    EXPECT_EQ(static_cast<int>(stored_items().size()), items("velmora.com", "bestsellers_dvd"));
}

TEST_F(UpdateRun, RegionChangedAtTheEndOfAPassStartsOverAndMayEndInMinus1022) {
    set_region("velmora.ca");
    set_categories({"bestsellers_games"});
    Recorder recorder;
    recorder.hooks[{2, 1}] = [] { set_region("velmora.dead"); };
    EXPECT_EQ(run(recorder),
              pass(items("velmora.ca", "bestsellers_games")) + std::vector<int>{-1022});
    // The failed second reading left the first pass's items.
    EXPECT_EQ(static_cast<int>(stored_items().size()), items("velmora.ca", "bestsellers_games"));
}

TEST_F(UpdateRun, SameRegionAndSameCategoriesInAnyOrderDoNotRepeat) {
    set_categories({"bestsellers_electronics", "hotnew_books"});
    const int count =
        items("velmora.com", "bestsellers_electronics") + items("velmora.com", "hotnew_books");
    {
        // Reordered list, and the unset region set to the default it already stood for.
        Recorder recorder;
        recorder.hooks[{0, 3}] = [] {
            set_categories({"hotnew_books", "bestsellers_electronics"});
            set_region("velmora.com");
        };
        EXPECT_EQ(run(recorder), pass(count));
    }
    {
        // One identifier listed twice: same count, every identifier known.
        Recorder recorder;
        recorder.hooks[{2, 1}] = [] { set_categories({"hotnew_books", "hotnew_books"}); };
        EXPECT_EQ(run(recorder), pass(count));
    }
    {
        // One identifier fewer is a change.
        set_categories({"bestsellers_electronics", "hotnew_books"});
        Recorder recorder;
        recorder.hooks[{2, 1}] = [] { set_categories({"hotnew_books"}); };
        EXPECT_EQ(run(recorder), pass(count) + pass(items("velmora.com", "hotnew_books")));
    }
}

TEST_F(UpdateRun, AnUnusableDatabaseEndsThePassWithoutReportingItemsAsStored) {
    // The database path taken by a directory: no connection can be made.
    de_init_plugin(context_);
    const std::string database = store_path("velmora.db");
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
