// SPDX-License-Identifier: LGPL-2.1-or-later
// The item store against a real SQLite file, the real statement catalogue and the local
// HTTP server: shared picture rows, items without pictures, NULLs, hostile texts, the
// read-back, clearing the cache, broken pictures, the empty-list warning and the
// transaction that replaces the stored items.
#include "plugin_test_support.h"

#include "feedserviceutils_internal.h"
#include "velmora_item_store.h"

#include <glib/gstdio.h>

using namespace plugin_test;

namespace {

class ItemStore : public ServedStoreFixture {
  protected:
    static void SetUpTestSuite() {
        serve({{"a.jpg", "picture A"},
               {"b.jpg", "picture B"},
               {"big.jpg", std::string(200000, 'x')}});
    }
    void SetUp() override {
        ServedStoreFixture::SetUp();
        fsu::forget_failed_downloads(); // every test starts with no failed picture in mind
        // The store's own picture cache: clearing removes files from it alone. Emptied for
        // every test.
        cache_dir_ = std::string(g_get_home_dir()) + "/.feedservice/velmora/" +
                     VELMORA_STORE_IMAGE_CACHE_DIR;
        for (const std::string &name : list_dir(cache_dir_))
            g_remove((cache_dir_ + "/" + name).c_str());
    }

    // Stores one item and fetches the pictures, as a run does for each parsed item.
    void store_one(VelmoraItem *item) {
        VelmoraItemArray *single = new_item_array({item});
        do_velmora_item_save(single, db_, queries_);
        do_velmora_get_and_store_images(db_, queries_, cache_dir_.c_str());
        velmora_item_array_free(single);
    }
};

struct LoadedRow {
    gint64 id, image_id;
    Text image_url, image_path;
};

std::vector<LoadedRow> loaded_rows(DBInterface *db, QueryLoader *queries) {
    std::vector<LoadedRow> rows;
    VelmoraItemArray *items = load_velmora_items(db, queries);
    for (guint i = 0; i < items->items->len; i++) {
        const VelmoraItem *row = g_array_index(items->items, VelmoraItem *, i);
        EXPECT_EQ(row->title, nullptr); // only the picture data is read back
        rows.push_back({row->id, row->image_id, text_of(row->image_url), text_of(row->image_path)});
    }
    velmora_item_array_free(items);
    return rows;
}

// Captures the warnings of the plug-in's log domain while alive.
class WarningCapture {
  public:
    WarningCapture() {
        handler_ = g_log_set_handler(kDomain, G_LOG_LEVEL_WARNING, &WarningCapture::collect, this);
    }
    ~WarningCapture() { g_log_remove_handler(kDomain, handler_); }
    std::vector<std::string> messages;

  private:
    static constexpr const char *kDomain = "velmoraserviceplugin";
    static void collect(const gchar *, GLogLevelFlags, const gchar *message, gpointer self) {
        static_cast<WarningCapture *>(self)->messages.emplace_back(message);
    }
    guint handler_;
};

// Counts the commits other connections made to the file (SQLite's data_version).
class WriteWatch {
  public:
    explicit WriteWatch(const std::string &path) {
        sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr);
        start_ = version();
    }
    ~WriteWatch() { sqlite3_close(db_); }
    bool written() { return version() != start_; }

  private:
    int version() {
        sqlite3_stmt *statement = nullptr;
        sqlite3_prepare_v2(db_, "PRAGMA data_version", -1, &statement, nullptr);
        int value = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int(statement, 0) : -1;
        sqlite3_finalize(statement);
        return value;
    }
    sqlite3 *db_ = nullptr;
    int start_;
};

} // namespace

TEST_F(ItemStore, ItemsWithOnePictureShareOneRowOneFileOneRequest) {
    const std::string address = server_->url("/a.jpg");
    store_one(new_item({.title = "First", .image_url = address.c_str()}));
    store_one(new_item({.title = "Second", .image_url = address.c_str()}));

    EXPECT_EQ(count_rows("velmora_images"), 1);
    EXPECT_EQ(server_->request_count("/a.jpg"), 1);
    ASSERT_EQ(list_dir(cache_dir_).size(), 1u);

    auto loaded = loaded_rows(db_, queries_);
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_GE(loaded[0].image_id, 1);
    EXPECT_EQ(loaded[0].image_id, loaded[1].image_id);
    EXPECT_LT(loaded[0].id, loaded[1].id); // in the order stored
    EXPECT_EQ(loaded[0].image_url, address);
    ASSERT_TRUE(loaded[0].image_path);
    EXPECT_EQ(read_file(*loaded[0].image_path), "picture A");

    auto rows = widget_rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["title"], "First");
    EXPECT_EQ(rows[1]["title"], "Second");
    EXPECT_EQ(rows[0]["image_path"], loaded[0].image_path);
    EXPECT_EQ(rows[1]["image_path"], loaded[0].image_path);
}

// After each item every stored item's picture is there again, but one fetched
// earlier in the run is neither fetched nor written again; one that went missing is.
TEST_F(ItemStore, PicturesFetchedInTheRunAreKeptAndOnlyMissingOnesFetchedAgain) {
    const std::string a = server_->url("/a.jpg"), b = server_->url("/b.jpg");
    store_one(new_item({.title = "1", .image_url = a.c_str()}));
    const std::string path = *loaded_rows(db_, queries_)[0].image_path;
    GStatBuf first;
    ASSERT_EQ(g_stat(path.c_str(), &first), 0);
    for (int i = 0; i < 5; i++)
        store_one(new_item({.title = "more", .image_url = (i % 2 ? a : b).c_str()}));
    EXPECT_EQ(server_->request_count("/a.jpg"), 1);
    EXPECT_EQ(server_->request_count("/b.jpg"), 1);
    GStatBuf later;
    ASSERT_EQ(g_stat(path.c_str(), &later), 0);
    EXPECT_EQ(later.st_ino, first.st_ino);
    EXPECT_EQ(later.st_mtim.tv_nsec, first.st_mtim.tv_nsec);

    // Removed behind the store's back: the next item brings it back.
    g_remove(path.c_str());
    store_one(new_item({.title = "after removal"}));
    EXPECT_EQ(server_->request_count("/a.jpg"), 2);
    EXPECT_EQ(read_file(path), "picture A");
    EXPECT_EQ(list_dir(cache_dir_).size(), 2u);

    // A new run clears the cache: the same picture id and path are fetched anew.
    do_velmora_clear_image_data(db_, queries_);
    store_one(new_item({.title = "next run", .image_url = a.c_str()}));
    EXPECT_EQ(server_->request_count("/a.jpg"), 3);
}

TEST_F(ItemStore, SeveralItemsInOneListGetTheirOwnOrSharedPictures) {
    const std::string a = server_->url("/a.jpg"), b = server_->url("/b.jpg");
    VelmoraItemArray *items = new_item_array({new_item({.title = "1", .image_url = a.c_str()}),
                                              new_item({.title = "2", .image_url = b.c_str()}),
                                              new_item({.title = "3", .image_url = a.c_str()})});
    do_velmora_item_save(items, db_, queries_);
    velmora_item_array_free(items);
    do_velmora_get_and_store_images(db_, queries_, cache_dir_.c_str());

    auto loaded = loaded_rows(db_, queries_);
    ASSERT_EQ(loaded.size(), 3u);
    EXPECT_NE(loaded[0].image_id, loaded[1].image_id);
    EXPECT_EQ(loaded[0].image_id, loaded[2].image_id);
    EXPECT_EQ(count_rows("velmora_images"), 2);
    EXPECT_EQ(server_->request_count(), 2);
    EXPECT_EQ(read_file(*loaded[1].image_path), "picture B");
}

TEST_F(ItemStore, ItemWithoutPictureRefersToNoPictureRow) {
    store_one(new_item({.title = "No picture"}));
    store_one(new_item({.title = "Empty address", .image_url = ""}));

    EXPECT_EQ(count_rows("velmora_images"), 0);
    auto loaded = loaded_rows(db_, queries_);
    ASSERT_EQ(loaded.size(), 2u);
    for (const auto &row : loaded) {
        EXPECT_EQ(row.image_id, 0);
        EXPECT_FALSE(row.image_url);
        EXPECT_FALSE(row.image_path);
    }
    EXPECT_EQ(server_->request_count(), 0);
    EXPECT_TRUE(g_file_test(cache_dir_.c_str(), G_FILE_TEST_IS_DIR)); // made all the same
    EXPECT_TRUE(list_dir(cache_dir_).empty());
}

TEST_F(ItemStore, AbsentTextsAreStoredAsNull) {
    store_one(new_item({.title = "Priced", .list_price = "$20.00", .our_price = "$12.99"}));
    store_one(g_new0(VelmoraItem, 1));

    auto rows = widget_rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["suggested_price"], "$20.00");
    EXPECT_EQ(rows[0]["velmora_price"], "$12.99");
    for (const char *column : {"title", "item_url", "rank", "store", "suggested_price",
                               "velmora_price", "authors", "image_path"})
        EXPECT_FALSE(rows[1][column]) << column;
    // The insert time comes from the SQL itself, as ISO 8601 text.
    ASSERT_TRUE(rows[1]["time_saved"]);
    GDateTime *saved = g_date_time_new_from_iso8601(rows[1]["time_saved"]->c_str(), nullptr);
    ASSERT_NE(saved, nullptr) << *rows[1]["time_saved"];
    GDateTime *now = g_date_time_new_now_utc();
    EXPECT_LT(std::abs(g_date_time_difference(now, saved)), 60 * G_TIME_SPAN_SECOND);
    g_date_time_unref(saved);
    g_date_time_unref(now);
}

TEST_F(ItemStore, HostileTextsRoundTripUnchanged) {
    const char *hostile[] = {
        "'); DROP TABLE velmora_items; --",
        "O'Reilly \"quoted\" `back` [bracket]",
        "back\\slash \\' %s %d %% ? ?? :name @p $1",
        "line one\nline two\r\n\ttabbed",
        "Gr\xc3\xbc\xc3\x9f"
        "e \xe2\x82\xac 12,99 \xf0\x9f\x93\x9a \xe6\x9d\xb1\xe4\xba\xac",
        "/* not a comment */ -- nor this",
        "<b>markup</b> &amp; &lt;",
    };
    const std::string picture = server_->url("/a.jpg") + "?q='x'&r=\"y\"";
    for (const char *text : hostile) {
        store_one(new_item({.title = text,
                            .link = text,
                            .rank = text,
                            .store = text,
                            .list_price = text,
                            .our_price = text,
                            .authors = text,
                            .image_url = picture.c_str()}));
    }
    auto rows = widget_rows();
    ASSERT_EQ(rows.size(), std::size(hostile));
    for (size_t i = 0; i < rows.size(); i++) {
        for (const char *column :
             {"title", "item_url", "rank", "store", "suggested_price", "velmora_price", "authors"})
            EXPECT_EQ(rows[i][column], hostile[i]) << column;
        EXPECT_TRUE(rows[i]["image_path"]);
    }
    auto loaded = loaded_rows(db_, queries_);
    ASSERT_EQ(loaded.size(), std::size(hostile));
    EXPECT_EQ(loaded[0].image_url, picture);
    EXPECT_EQ(count_rows("velmora_images"), 1);
    EXPECT_EQ(count_rows("velmora_items"), static_cast<int>(std::size(hostile)));
}

TEST_F(ItemStore, ClearingRemovesCachedFilesAndPictureRowsButKeepsItems) {
    const std::string a = server_->url("/a.jpg"), b = server_->url("/b.jpg");
    store_one(new_item({.title = "A", .image_url = a.c_str()}));
    store_one(new_item({.title = "B", .image_url = b.c_str()}));
    store_one(new_item({.title = "A again", .image_url = a.c_str()}));
    auto before = loaded_rows(db_, queries_);
    ASSERT_EQ(list_dir(cache_dir_).size(), 2u);
    g_remove(before[1].image_path->c_str()); // a file already gone is no obstacle

    do_velmora_clear_image_data(db_, queries_);

    EXPECT_TRUE(list_dir(cache_dir_).empty());
    EXPECT_EQ(count_rows("velmora_images"), 0);
    EXPECT_EQ(count_rows("velmora_items"), 3);
    for (const auto &row : widget_rows())
        EXPECT_FALSE(row.at("image_path"));
}

TEST_F(ItemStore, PictureAnswered404OrCutOffLeavesNoFileAndNoPath) {
    const std::string missing = server_->url("/status/404/a.jpg");
    const std::string cut = server_->url("/cut/big.jpg");
    store_one(new_item({.title = "404", .image_url = missing.c_str()}));
    store_one(new_item({.title = "cut", .image_url = cut.c_str()}));

    EXPECT_TRUE(list_dir(cache_dir_).empty()); // neither the picture nor a temporary file
    for (const auto &row : widget_rows())
        EXPECT_FALSE(row.at("image_path"));
    auto loaded = loaded_rows(db_, queries_);
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_GE(loaded[1].image_id, 1); // the picture row is there, only its file is missing
}

// Every stored item has all stored items' pictures checked: a broken picture is asked for
// once in the run, not again after each later item.
TEST_F(ItemStore, ABrokenPictureIsRequestedOnceInARun) {
    const std::string good = server_->url("/a.jpg"), other = server_->url("/b.jpg");
    const std::string broken = server_->url("/status/404/broken.jpg");
    for (const std::string *address : {&good, &broken, &other, &good, &other, &good})
        store_one(new_item({.title = "item", .image_url = address->c_str()}));

    EXPECT_EQ(server_->request_count("/status/404/broken.jpg"), 1);
    EXPECT_EQ(server_->request_count(), 3);
    auto loaded = loaded_rows(db_, queries_);
    ASSERT_EQ(loaded.size(), 6u);
    EXPECT_FALSE(loaded[1].image_path);
    for (size_t i : {0u, 2u, 3u, 4u, 5u})
        EXPECT_TRUE(loaded[i].image_path) << i;
}

TEST_F(ItemStore, EmptyListWarnsAndWritesNothing) {
    WriteWatch watch(db_path_);
    WarningCapture warnings;
    do_velmora_item_save(nullptr, db_, queries_);
    VelmoraItemArray *empty = velmora_item_array_new();
    do_velmora_item_save(empty, db_, queries_);
    velmora_item_array_free(empty);
    VelmoraItemArray *no_array = g_new0(VelmoraItemArray, 1);
    do_velmora_item_save(no_array, db_, queries_);
    velmora_item_array_free(no_array);

    EXPECT_EQ(warnings.messages, std::vector<std::string>(3, "Not saving empty items"));
    EXPECT_FALSE(watch.written());
    EXPECT_EQ(count_rows("velmora_items"), 0);
}

TEST_F(ItemStore, FailedReadBackGivesAnEmptyListAndClearingStillDeletesPictureRows) {
    const std::string a = server_->url("/a.jpg");
    store_one(new_item({.title = "A", .image_url = a.c_str()}));
    // A catalogue whose read-back statement is missing: nothing to list, nothing removed.
    const std::string broken = dir_ + "/broken.dat";
    write_file(broken, "del_image_all=DELETE FROM velmora_images;\n");
    QueryLoader *partial = query_loader_new(broken.c_str());
    ASSERT_NE(partial, nullptr);
    VelmoraItemArray *rows = load_velmora_items(db_, partial);
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(rows->items->len, 0u);
    velmora_item_array_free(rows);
    do_velmora_clear_image_data(db_, partial);
    query_loader_free(partial);
    EXPECT_EQ(count_rows("velmora_images"), 0);
    EXPECT_EQ(list_dir(cache_dir_).size(), 1u); // its path could not be read, so it stays
}

// Replacing the stored items by a run's first items is one transaction: when no new
// item can be stored the old items stay whole. Picture rows and files stay either way:
// the new items take the rows of their addresses, and unused pictures go later.
TEST_F(ItemStore, ReplacingIsAllOrNothingAndKeepsThePictures) {
    const std::string a = server_->url("/a.jpg"), b = server_->url("/b.jpg");
    struct Case {
        const char *what;
        const char *trigger; // refuses some inserts while the case runs
        std::vector<const char *> titles;
        std::vector<std::string> stored; // the titles afterwards
    };
    const std::vector<std::string> old{"Old 1", "Old 2"};
    const std::vector<Case> cases = {
        {"nothing to store", nullptr, {}, old},
        {"every insert refused", "1", {"New 1", "New 2"}, old},
        {"the second insert refused", "NEW.title = 'New 2'", {"New 1", "New 2"}, {"New 1"}},
        {"every item stored", nullptr, {"New 1", "New 2"}, {"New 1", "New 2"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::string &name : list_dir(cache_dir_))
            g_remove((cache_dir_ + "/" + name).c_str());
        ASSERT_NE(db_interface_execute_update(
                      db_, "DELETE FROM velmora_items; DELETE FROM velmora_images"),
                  0);
        fsu::forget_failed_downloads();
        store_one(new_item({.title = "Old 1", .image_url = a.c_str()}));
        store_one(new_item({.title = "Old 2", .image_url = b.c_str()}));
        ASSERT_EQ(list_dir(cache_dir_).size(), 2u);
        const std::string refuse = std::string("CREATE TEMP TRIGGER refuse BEFORE INSERT ON "
                                               "velmora_items WHEN ") +
                                   (c.trigger ? c.trigger : "0") +
                                   " BEGIN SELECT RAISE(FAIL, 'refused'); END";
        ASSERT_NE(db_interface_execute_update(db_, refuse.c_str()), 0);

        std::vector<VelmoraItem *> items;
        for (const char *title : c.titles)
            items.push_back(new_item({.title = title, .image_url = a.c_str()}));
        std::string error;
        const guint stored = velmora_replace_items(
            db_, queries_, items.data(), guint(items.size()),
            VelmoraStoreOrigin{VELMORA_REGION_US, VELMORA_DEFAULT_CATEGORY}, &error);
        for (VelmoraItem *item : items)
            velmora_item_free(item);
        ASSERT_NE(db_interface_execute_update(db_, "DROP TRIGGER refuse"), 0);

        std::vector<std::string> titles;
        for (const Row &row : read_rows(db_path_, "SELECT title FROM velmora_items ORDER BY id"))
            titles.push_back(row.at("title").value_or(""));
        EXPECT_EQ(titles, c.stored);
        const bool replaced = c.stored != old;
        EXPECT_EQ(stored, replaced ? c.stored.size() : 0u);
        if (c.trigger) {
            EXPECT_NE(error, "") << "a refused insert says so";
        } else {
            EXPECT_EQ(error, "");
        }
        EXPECT_EQ(list_dir(cache_dir_).size(), 2u) << "picture files";
        EXPECT_EQ(count_rows("velmora_images"), 2);
        if (replaced) { // the new items name the row of their address
            EXPECT_EQ(count_rows("velmora_items WHERE image_id = (SELECT id FROM velmora_images "
                                 "WHERE image_url LIKE '%/a.jpg')"),
                      int(c.stored.size()));
        }
    }
}
