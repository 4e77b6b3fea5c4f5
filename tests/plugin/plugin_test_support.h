// SPDX-License-Identifier: LGPL-2.1-or-later
// plugin_test_support.h - helpers of the plug-in's tests: a fresh directory per test,
// an item database made by the utilities library, reading it back the way the widget
// does (SQLite directly, the widget's own "sel_velmora_items"), building feed items and
// feed documents, and collecting parse results.
#ifndef VELMORA_PLUGIN_TEST_SUPPORT_H
#define VELMORA_PLUGIN_TEST_SUPPORT_H

#include "file_helpers.h"
#include "http_test_server.h"
#include "feedserviceutils_runs.h"
#include "velmora_service_plugin.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <optional>
#include <string>
#include <vector>
#include "velmora_contract.h"

namespace plugin_test {

using Text = std::optional<std::string>;

using test_support::file_exists;
using test_support::list_dir;
using test_support::make_temp_dir;
using test_support::read_file;
using test_support::write_file;

inline std::string data_file(const char *name) {
    return std::string(VELMORA_BUILD_DATA_DIR) + "/" + name;
}

inline Text text_of(const gchar *value) {
    return value ? Text(value) : std::nullopt;
}

// A feed item with the given texts (absent where nullptr); the caller owns it.
struct ItemTexts {
    const char *title = nullptr, *link = nullptr, *rank = nullptr, *store = nullptr,
               *list_price = nullptr, *our_price = nullptr, *authors = nullptr,
               *image_url = nullptr;
};

inline VelmoraItem *new_item(const ItemTexts &texts) {
    VelmoraItem *item = g_new0(VelmoraItem, 1);
    item->title = g_strdup(texts.title);
    item->link = g_strdup(texts.link);
    item->rank = g_strdup(texts.rank);
    item->store = g_strdup(texts.store);
    item->list_price = g_strdup(texts.list_price);
    item->our_price = g_strdup(texts.our_price);
    item->authors = g_strdup(texts.authors);
    item->image_url = g_strdup(texts.image_url);
    return item;
}

inline VelmoraItemArray *new_item_array(std::initializer_list<VelmoraItem *> items) {
    VelmoraItemArray *array = velmora_item_array_new();
    for (VelmoraItem *item : items)
        g_array_append_val(array->items, item);
    return array;
}

// One row as the widget reads it: column name -> text (absent for SQL NULL).
using Row = std::map<std::string, Text>;

// Rows of sql, run on a connection of its own (as another process would).
inline std::vector<Row> read_rows(const std::string &db_path, const std::string &sql) {
    std::vector<Row> rows;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(db_path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        ADD_FAILURE() << "cannot open " << db_path;
        return rows;
    }
    sqlite3_busy_timeout(db, 2000);
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot prepare " << sql << ": " << sqlite3_errmsg(db);
    } else {
        int step;
        while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
            Row row;
            for (int i = 0; i < sqlite3_column_count(statement); i++) {
                const auto *value = sqlite3_column_text(statement, i);
                row[sqlite3_column_name(statement, i)] =
                    value ? Text(reinterpret_cast<const char *>(value)) : std::nullopt;
            }
            rows.push_back(std::move(row));
        }
        EXPECT_EQ(step, SQLITE_DONE) << sqlite3_errmsg(db);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

// A store directory with an item database made by the utilities library, the
// plug-in's statement catalogue and the widget's query.
class StoreFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = make_temp_dir();
        ASSERT_FALSE(dir_.empty());
        db_path_ = dir_ + "/" VELMORA_STORE_DATABASE_FILE;
        cache_dir_ = dir_ + "/" VELMORA_STORE_IMAGE_CACHE_DIR;
        queries_ = query_loader_new(data_file(VELMORA_PLUGIN_QUERIES_FILE).c_str());
        ASSERT_NE(queries_, nullptr);
        ensure_database(&db_, &watcher_, db_path_.c_str(), queries_);
        ASSERT_NE(db_, nullptr);
        QueryLoader *widget_queries =
            query_loader_new(data_file(VELMORA_APPLET_QUERIES_FILE).c_str());
        ASSERT_NE(widget_queries, nullptr);
        gchar *sql = query_loader_load_query(widget_queries, "sel_velmora_items");
        ASSERT_NE(sql, nullptr);
        widget_sql_ = sql;
        g_free(sql);
        query_loader_free(widget_queries);
    }

    void TearDown() override {
        db_interface_free(db_);
        file_watcher_free(watcher_);
        query_loader_free(queries_);
    }

    // The stored items as the widget reads them.
    std::vector<Row> widget_rows() const { return read_rows(db_path_, widget_sql_); }

    int count_rows(const char *table) const {
        auto rows = read_rows(db_path_, std::string("SELECT count(*) AS n FROM ") + table);
        return rows.empty() ? -1 : std::stoi(rows[0]["n"].value_or("-1"));
    }

    std::string dir_, db_path_, cache_dir_, widget_sql_;
    DBInterface *db_ = nullptr;
    FileWatcher *watcher_ = nullptr;
    QueryLoader *queries_ = nullptr;
};

// A StoreFixture with one local HTTP server of files for the whole suite (starting it
// takes most of a second), started by the suite's SetUpTestSuite through serve(); its
// counts are reset for every test.
class ServedStoreFixture : public StoreFixture {
  protected:
    static void serve(const std::map<std::string, std::string> &files) {
        server_ = new_file_server(files);
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    // Each test is a run of its own whose feed came from the (local) server, so that
    // the server's pictures may be fetched and no failure of another test is remembered.
    void SetUp() override {
        StoreFixture::SetUp();
        network_utils_begin_run(dir_.c_str(), nullptr);
        GString *feed = g_string_new(server_->url("/__requests").c_str());
        GArray *body = g_array_new(FALSE, FALSE, 1);
        network_utils_get(feed, body, 0, 0, 0);
        g_array_free(body, TRUE);
        g_string_free(feed, TRUE);
        server_->reset_counts();
    }

    static inline HttpTestServer *server_ = nullptr;
};

} // namespace plugin_test

#endif // VELMORA_PLUGIN_TEST_SUPPORT_H
