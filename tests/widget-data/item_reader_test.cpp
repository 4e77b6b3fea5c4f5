/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * item_reader_test.cpp - the widget's item reader against real item databases
 * built by the utilities library with the plug-in's catalogue.
 *
 * The reader's calls into the utilities library are counted by defining the
 * counted functions here (the test program exports them, so they stand in for
 * the library's own in the widget library) and passing each call on to the
 * library's definition.
 */
#include "velmora_datautils.h"
#include "velmora_paths.h"
#include "velmora_store_origin.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mount.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>
#include "velmora_contract.h"

namespace {

struct CallCounts {
    int queries = 0;  /* db_interface_execute_query: one per pass */
    int opens = 0;    /* db_interface_new */
    int watchers = 0; /* file_watcher_new */
};
CallCounts counts;

template <typename Function> Function next_definition(const char *name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

gint db_interface_execute_query(DBInterface *db, const gchar *sql) {
    static auto real =
        next_definition<gint (*)(DBInterface *, const gchar *)>("db_interface_execute_query");
    counts.queries++;
    return real(db, sql);
}

DBInterface *db_interface_new(const gchar *path) {
    static auto real = next_definition<DBInterface *(*)(const gchar *)>("db_interface_new");
    counts.opens++;
    return real(path);
}

FileWatcher *file_watcher_new(const gchar *path) {
    static auto real = next_definition<FileWatcher *(*)(const gchar *)>("file_watcher_new");
    counts.watchers++;
    return real(path);
}

} // extern "C"

namespace {

/* One item as the plug-in stores it; nullopt fields are stored as NULL. */
struct StoredItem {
    std::optional<std::string> title, link, rank, store, list_price, our_price, authors;
    std::optional<std::string> image_url, image_path;
};

std::string database_path() {
    return velmora_store_path(VELMORA_STORE_DATABASE_FILE);
}

/* Writes item databases the way the plug-in does: ensure_database with the
 * plug-in catalogue, then one "ins_item" (and picture row) per item. */
class PluginSideWriter {
  public:
    PluginSideWriter()
        : queries_(query_loader_new(velmora_data_path(VELMORA_PLUGIN_QUERIES_FILE).c_str())) {}
    ~PluginSideWriter() {
        close();
        query_loader_free(queries_);
    }
    PluginSideWriter(const PluginSideWriter &) = delete;
    PluginSideWriter &operator=(const PluginSideWriter &) = delete;

    bool create() {
        g_mkdir_with_parents(velmora_store_path("").c_str(), 0700);
        return queries_ && ensure_database(&db_, &watcher_, database_path().c_str(), queries_);
    }

    void close() {
        db_interface_free(db_);
        file_watcher_free(watcher_);
        db_ = nullptr;
        watcher_ = nullptr;
    }

    void store(const StoredItem &item) {
        gint64 image_id = 0;
        if (item.image_url) {
            execute("ins_velmora_image", {param(item.image_url)}, &image_id);
            if (item.image_path)
                set_image_path(image_id, *item.image_path);
        }
        execute("ins_item",
                {param(item.title), param(item.link), param(item.rank), param(item.store),
                 param(item.list_price), param(item.our_price), param(item.authors),
                 db_make_string_param_from_int(static_cast<gint32>(image_id))},
                nullptr);
    }

    /* What the plug-in records with the items that replace the previous ones. */
    void record_origin(const char *region, const char *categories) {
        execute("set_store_origin",
                {db_make_string_param(region), db_make_string_param(categories)}, nullptr);
    }

  private:
    static gchar *param(const std::optional<std::string> &text) {
        return db_make_string_param(text ? text->c_str() : nullptr);
    }

    void execute(const char *statement, std::vector<gchar *> params, gint64 *row_id) {
        gchar *sql_template = query_loader_load_query(queries_, statement);
        ASSERT_NE(sql_template, nullptr) << statement;
        DBSymTable *table = db_symtable_new();
        for (gchar *p : params)
            db_add_symbol(table, p);
        gchar *sql = db_format_query(table, sql_template);
        ASSERT_NE(sql, nullptr) << statement;
        if (row_id)
            EXPECT_TRUE(db_interface_execute_update_get_row_id(db_, sql, row_id)) << sql;
        else
            EXPECT_TRUE(db_interface_execute_update(db_, sql)) << sql;
        g_free(sql);
        db_symtable_free(table);
        for (gchar *p : params)
            g_free(p);
        g_free(sql_template);
    }

    /* What the picture cache records once a picture is downloaded. */
    void set_image_path(gint64 image_id, const std::string &path) {
        execute("update_image_paths",
                {db_make_string_param(path.c_str()),
                 db_make_string_param_from_int(static_cast<gint32>(image_id))},
                nullptr);
    }

    QueryLoader *queries_;
    DBInterface *db_ = nullptr;
    FileWatcher *watcher_ = nullptr;
};

std::vector<std::string> titles_of(const VelmoraItemDataArray *array) {
    std::vector<std::string> titles;
    for (guint i = 0; i < array->items->len; i++) {
        const gchar *title = g_array_index(array->items, VelmoraItemData *, i)->title;
        titles.emplace_back(title ? title : "(null)");
    }
    return titles;
}

VelmoraItemData *item_at(const VelmoraItemDataArray *array, guint i) {
    return g_array_index(array->items, VelmoraItemData *, i);
}

/* The titles that the widget catalogue's statement yields, read with plain
 * SQLite: the order the reader must keep. */
std::vector<std::string> titles_in_query_order() {
    QueryLoader *loader = query_loader_new(velmora_data_path(VELMORA_APPLET_QUERIES_FILE).c_str());
    gchar *sql = query_loader_load_query(loader, "sel_velmora_items");
    query_loader_free(loader);
    std::vector<std::string> titles;
    sqlite3 *db = nullptr;
    sqlite3_stmt *statement = nullptr;
    if (sql &&
        sqlite3_open_v2(database_path().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK) {
        int title_column = -1;
        for (int c = 0; c < sqlite3_column_count(statement); c++) {
            if (g_strcmp0(sqlite3_column_name(statement, c), "title") == 0)
                title_column = c;
        }
        while (title_column >= 0 && sqlite3_step(statement) == SQLITE_ROW)
            titles.emplace_back(
                reinterpret_cast<const char *>(sqlite3_column_text(statement, title_column)));
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    g_free(sql);
    return titles;
}

void remove_database_files() {
    for (const char *suffix : {"", "-journal", "-wal", "-shm"})
        std::filesystem::remove(database_path() + suffix);
}

class ItemReader : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::remove_all(velmora_store_path(""));
        counts = {};
    }
    void TearDown() override {
        velmora_datautils_free(reader_);
        std::filesystem::remove_all(velmora_store_path(""));
    }

    /* Lets file-monitor events reach the watchers, as the widget's main loop
     * does between two reads. */
    static void settle() {
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
    }

    VelmoraItemDataArray *read_counted() {
        settle();
        counts = {};
        return get_velmora_items(reader_);
    }

    VelmoraDataUtils *reader_ = nullptr;
    PluginSideWriter writer_;
};

TEST_F(ItemReader, ReadsEveryRowInQueryOrderWithAllColumns) {
    ASSERT_TRUE(writer_.create());
    writer_.store({"Zebra Tales", "http://127.0.0.1/item/1", "1", "Books", "$20.00", "$12.50",
                   "A. Author, B. Writer", "http://127.0.0.1/img/1.jpg", "/cache/1.jpg"});
    writer_.store({"Apple Songs", "http://127.0.0.1/item/2", "2", "Music", "$9.99", "$7.00",
                   "The Band", "http://127.0.0.1/img/2.jpg", "/cache/2.jpg"});
    writer_.store({"Middle Movie", "http://127.0.0.1/item/3", "3", "DVD", "$15.00", "$11.00",
                   "Director", std::nullopt, std::nullopt});

    reader_ = velmora_datautils_init();
    ASSERT_NE(reader_, nullptr);
    VelmoraItemDataArray *items = read_counted();
    ASSERT_EQ(items->items->len, 3u);
    EXPECT_EQ(titles_of(items), titles_in_query_order());
    EXPECT_EQ(counts.queries, 1) << "rows found: no second pass";
    EXPECT_EQ(counts.opens, 0) << "the connection stays open between reads";

    const VelmoraItemData *zebra = nullptr;
    for (guint i = 0; i < items->items->len; i++) {
        if (g_strcmp0(item_at(items, i)->title, "Zebra Tales") == 0)
            zebra = item_at(items, i);
    }
    ASSERT_NE(zebra, nullptr);
    EXPECT_STREQ(zebra->item_url, "http://127.0.0.1/item/1");
    EXPECT_STREQ(zebra->rank, "1");
    EXPECT_STREQ(zebra->store, "Books");
    EXPECT_STREQ(zebra->suggested_price, "$20.00");
    EXPECT_STREQ(zebra->velmora_price, "$12.50");
    EXPECT_STREQ(zebra->authors, "A. Author, B. Writer");
    EXPECT_STREQ(zebra->image_path, "/cache/1.jpg");
    EXPECT_EQ(zebra->picture, nullptr);
    /* Stored just now, as ISO 8601 text. */
    ASSERT_NE(zebra->time_saved, nullptr);
    GDateTime *saved = g_date_time_new_from_iso8601(zebra->time_saved, nullptr);
    ASSERT_NE(saved, nullptr) << zebra->time_saved;
    GDateTime *now = g_date_time_new_now_utc();
    EXPECT_LT(g_date_time_difference(now, saved), 60 * G_TIME_SPAN_SECOND);
    g_date_time_unref(now);
    g_date_time_unref(saved);

    /* Every field is the record's own copy: a second read gives other texts
     * with the same contents. */
    VelmoraItemDataArray *again = read_counted();
    ASSERT_EQ(again->items->len, 3u);
    EXPECT_NE(item_at(again, 0)->title, item_at(items, 0)->title);
    EXPECT_EQ(titles_of(again), titles_of(items));
    velmora_item_data_array_free(items);
    velmora_item_data_array_free(again);
}

TEST_F(ItemReader, NullColumnsLeaveFieldsAbsent) {
    ASSERT_TRUE(writer_.create());
    writer_.store({"Quiet Book", "http://127.0.0.1/item/9", "1", "Books", std::nullopt,
                   std::nullopt, std::nullopt, std::nullopt, std::nullopt});
    reader_ = velmora_datautils_init();
    VelmoraItemDataArray *items = read_counted();
    ASSERT_EQ(items->items->len, 1u);
    const VelmoraItemData *item = item_at(items, 0);
    EXPECT_STREQ(item->title, "Quiet Book");
    EXPECT_EQ(item->authors, nullptr);
    EXPECT_EQ(item->velmora_price, nullptr);
    EXPECT_EQ(item->suggested_price, nullptr);
    EXPECT_EQ(item->image_path, nullptr);
    velmora_item_data_array_free(items);
}

TEST_F(ItemReader, EmptyResultMakesTwoPassesWithOneReopen) {
    ASSERT_TRUE(writer_.create());
    reader_ = velmora_datautils_init();
    ASSERT_NE(reader_, nullptr);

    VelmoraItemDataArray *items = read_counted();
    EXPECT_EQ(items->items->len, 0u);
    EXPECT_EQ(counts.queries, 2);
    EXPECT_EQ(counts.opens, 1);
    EXPECT_EQ(counts.watchers, 1);
    velmora_item_data_array_free(items);

    /* Rows stored after an empty read are seen by the next one. */
    writer_.store({"Late Arrival", "http://127.0.0.1/item/5", "1", "Books", "$1", "$1", "X",
                   std::nullopt, std::nullopt});
    items = read_counted();
    EXPECT_EQ(titles_of(items), std::vector<std::string>{"Late Arrival"});
    EXPECT_EQ(counts.queries, 1);
    velmora_item_data_array_free(items);
}

TEST_F(ItemReader, DeletedAndRebuiltDatabaseIsReopenedBeforeTheQuery) {
    ASSERT_TRUE(writer_.create());
    writer_.store({"Old Item", "http://127.0.0.1/old", "1", "Books", "$1", "$1", "Old",
                   std::nullopt, std::nullopt});
    reader_ = velmora_datautils_init();
    VelmoraItemDataArray *items = read_counted();
    EXPECT_EQ(titles_of(items), std::vector<std::string>{"Old Item"});
    velmora_item_data_array_free(items);

    /* The plug-in deletes the file and builds a new one. The reader's old
     * connection still sees the deleted file's rows, so only the watcher-driven
     * reopen finds the new ones. */
    writer_.close();
    remove_database_files();
    ASSERT_TRUE(writer_.create());
    writer_.store({"New Item", "http://127.0.0.1/new", "1", "Music", "$2", "$2", "New",
                   std::nullopt, std::nullopt});

    items = read_counted();
    EXPECT_EQ(titles_of(items), std::vector<std::string>{"New Item"});
    EXPECT_EQ(counts.opens, 1);
    EXPECT_EQ(counts.queries, 1) << "reopened before the query, not by the empty-result retry";
    velmora_item_data_array_free(items);

    /* The new watcher is quiet while the file stays. */
    items = read_counted();
    EXPECT_EQ(titles_of(items), std::vector<std::string>{"New Item"});
    EXPECT_EQ(counts.opens, 0);
    velmora_item_data_array_free(items);
}

TEST_F(ItemReader, DatabaseThatCannotBeOpenedYetIsOpenedByALaterRead) {
    /* No store directory at all: the open fails and no watcher is started. */
    reader_ = velmora_datautils_init();
    ASSERT_NE(reader_, nullptr);
    EXPECT_EQ(reader_->database, nullptr);
    EXPECT_EQ(reader_->watcher, nullptr);

    ASSERT_TRUE(writer_.create());
    writer_.store({"First Item", "http://127.0.0.1/1", "1", "Books", "$1", "$1", "A", std::nullopt,
                   std::nullopt});
    VelmoraItemDataArray *items = read_counted();
    EXPECT_EQ(titles_of(items), std::vector<std::string>{"First Item"});
    EXPECT_EQ(counts.opens, 1);
    EXPECT_EQ(counts.queries, 1);
    velmora_item_data_array_free(items);
}

TEST_F(ItemReader, AStoreThatCannotBeWrittenIsReadReadOnly) {
    ASSERT_TRUE(writer_.create());
    for (const char *title : {"Kept", "Also kept"}) {
        StoredItem item;
        item.title = title;
        writer_.store(item);
    }
    writer_.close(); /* the last connection takes its -wal and -shm files along */
    const std::string store = velmora_store_path("");
    if (mount(store.c_str(), store.c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "cannot mount here";
    mount(nullptr, store.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr);
    reader_ = velmora_datautils_init();
    VelmoraItemDataArray *items = read_counted();
    umount2(store.c_str(), MNT_DETACH);
    EXPECT_EQ(titles_of(items), (std::vector<std::string>{"Kept", "Also kept"}));
    velmora_item_data_array_free(items);
}

/* The journal mode of the database file, read without the library. */
std::string journal_mode() {
    sqlite3 *db = nullptr;
    std::string mode;
    if (sqlite3_open_v2(database_path().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            mode = reinterpret_cast<const char *>(sqlite3_column_text(statement, 0));
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return mode;
}

/* The store is the plug-in's: whatever the reader finds, it makes no file and changes
 * no journal mode. */
TEST_F(ItemReader, NeverCreatesOrChangesTheStore) {
    struct Case {
        const char *name;
        bool make_store;     /* a database with one item, else only the directory */
        const char *journal; /* the mode the plug-in left it in */
        std::vector<std::string> titles;
    };
    const Case cases[] = {
        {"no database yet", false, nullptr, {}},
        {"a database in rollback mode", true, "delete", {"Kept"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(velmora_store_path(""));
        ASSERT_EQ(g_mkdir_with_parents(velmora_store_path("").c_str(), 0700), 0);
        if (c.make_store) {
            ASSERT_TRUE(writer_.create());
            StoredItem item;
            item.title = "Kept";
            writer_.store(item);
            writer_.close();
            sqlite3 *db = nullptr;
            ASSERT_EQ(sqlite3_open(database_path().c_str(), &db), SQLITE_OK);
            sqlite3_exec(db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        }
        velmora_datautils_free(reader_);
        counts = {};
        reader_ = velmora_datautils_init();
        VelmoraItemDataArray *items = get_velmora_items(reader_);
        EXPECT_EQ(titles_of(items), c.titles);
        velmora_item_data_array_free(items);
        velmora_datautils_free(reader_);
        reader_ = nullptr;
        EXPECT_EQ(g_file_test(database_path().c_str(), G_FILE_TEST_EXISTS), c.make_store);
        if (c.journal != nullptr) {
            EXPECT_EQ(journal_mode(), c.journal);
        }
    }
}

TEST_F(ItemReader, MissingWidgetCatalogueGivesNoReader) {
    ASSERT_TRUE(writer_.create());
    const std::string data_dir = g_getenv("VELMORA_DATA_DIR");
    g_setenv("VELMORA_DATA_DIR", g_getenv("VELMORA_TEST_TMP"), TRUE);
    counts = {};
    reader_ = velmora_datautils_init();
    g_setenv("VELMORA_DATA_DIR", data_dir.c_str(), TRUE);
    EXPECT_EQ(reader_, nullptr);
    EXPECT_EQ(counts.opens + counts.watchers, 0) << "nothing is left open";

    /* Reading without a reader gives an empty list and touches nothing. */
    VelmoraItemDataArray *items = get_velmora_items(nullptr);
    ASSERT_NE(items, nullptr);
    EXPECT_EQ(items->items->len, 0u);
    EXPECT_EQ(counts.queries + counts.opens, 0);
    velmora_item_data_array_free(items);
}

TEST(ItemRecords, FreeingAcceptsNullAndDropsOnlyThePictureReference) {
    velmora_item_data_free(nullptr);
    velmora_item_data_array_free(nullptr);
    velmora_datautils_free(nullptr);
    do_get_velmora_items(nullptr, nullptr);

    VelmoraItemDataArray *holder = velmora_item_data_array_new();
    g_array_free(holder->items, TRUE);
    holder->items = nullptr;
    velmora_item_data_array_free(holder);

    GdkPixbuf *picture = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 4, 4);
    g_object_ref(picture);
    VelmoraItemData *with_picture = velmora_item_data_new();
    with_picture->picture = picture;
    with_picture->title = g_strdup("t");
    VelmoraItemData *without_picture = velmora_item_data_new();
    EXPECT_EQ(without_picture->picture, nullptr);

    VelmoraItemDataArray *array = velmora_item_data_array_new();
    EXPECT_EQ(array->items->len, 0u);
    g_array_append_val(array->items, with_picture);
    g_array_append_val(array->items, without_picture);
    velmora_item_data_array_free(array);
    EXPECT_EQ(G_OBJECT(picture)->ref_count, 1u);
    g_object_unref(picture);
}

} // namespace

namespace {

/* Runs sql on the database file with plain SQLite. */
void run_sql(const std::string &sql) {
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(database_path().c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
}

TEST_F(ItemReader, ReadsWhatTheItemsWereFetchedForAndStoresWithoutTheRecord) {
    ASSERT_TRUE(writer_.create());
    writer_.store(
        {"One", "http://127.0.0.1/1", "1", "Books", "$1", "$1", "A", std::nullopt, std::nullopt});
    reader_ = velmora_datautils_init();
    ASSERT_NE(reader_, nullptr);

    // A store that records nothing yet.
    velmora_item_data_array_free(read_counted());
    EXPECT_EQ(reader_->store_region, nullptr);
    EXPECT_EQ(reader_->store_categories, nullptr);

    writer_.record_origin(VELMORA_REGION_DE, "bestsellers_games,hotnew_books");
    VelmoraItemDataArray *items = read_counted();
    EXPECT_EQ(titles_of(items), (std::vector<std::string>{"One"}));
    velmora_item_data_array_free(items);
    EXPECT_STREQ(reader_->store_region, VELMORA_REGION_DE);
    EXPECT_STREQ(reader_->store_categories, "bestsellers_games,hotnew_books");

    // A store older than the record (no table) is read all the same.
    writer_.close();
    run_sql("DROP TABLE velmora_store_origin;");
    velmora_datautils_free(reader_);
    reader_ = velmora_datautils_init();
    items = read_counted();
    EXPECT_EQ(titles_of(items), (std::vector<std::string>{"One"}));
    velmora_item_data_array_free(items);
    EXPECT_EQ(reader_->store_region, nullptr);
}

TEST_F(ItemReader, StoredItemsBelongOnlyUnderTheSettingsTheyWereFetchedFor) {
    VelmoraSettings *settings = initialize_settings();
    const struct {
        const char *stored_region, *stored_categories, *region;
        std::vector<const char *> categories;
        bool belong;
    } cases[] = {
        {nullptr, nullptr, VELMORA_REGION_FR, {"bestsellers"}, true}, // nothing recorded
        {VELMORA_REGION_DE, "bestsellers_games", VELMORA_REGION_DE, {"bestsellers_games"}, true},
        {VELMORA_REGION_US, "bestsellers", VELMORA_REGION_DE, {"bestsellers"}, false},
        {VELMORA_REGION_DE, "bestsellers_games", VELMORA_REGION_DE, {"hotnew_books"}, false},
        {VELMORA_REGION_FR,
         "bestsellers_dvd,hotnew_books",
         VELMORA_REGION_FR,
         {"hotnew_books"},
         true},
        {VELMORA_REGION_UK, "bestsellers", VELMORA_REGION_UK, {}, true}, // the default feed
        {VELMORA_REGION_UK, "bestsellers_book", VELMORA_REGION_UK, {}, false},
        {VELMORA_REGION_US, "bestsellers", "velmora.example", {"bestsellers"}, true},
        {VELMORA_REGION_CA, "bestsellers", "velmora.example", {"bestsellers"}, false},
        {VELMORA_REGION_CA, nullptr, VELMORA_REGION_CA, {"movers_shakers"}, true},
    };
    VelmoraDataUtils utils = {};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.region) + " / " + (c.stored_region ? c.stored_region : "-") +
                     " " + (c.stored_categories ? c.stored_categories : "-"));
        utils.store_region = const_cast<gchar *>(c.stored_region);
        utils.store_categories = const_cast<gchar *>(c.stored_categories);
        store_region_to_gconf(c.region);
        std::string list = "(";
        for (const char *category : c.categories)
            list += std::string(category) + ",";
        store_categories_to_gconf((list + ")").c_str());
        EXPECT_EQ(stored_items_belong_to_settings(&utils, settings), c.belong);
    }
    deinitialize_settings(settings);
}

} // namespace
