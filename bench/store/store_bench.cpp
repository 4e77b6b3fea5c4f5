// SPDX-License-Identifier: LGPL-2.1-or-later
// Item store benchmark: stores 100 items, each with its own picture, from the local HTTP
// server the way an update run does (one item, then the picture check over all items
// stored so far); then compares the item store's insert rate with bare SQLite inserts
// (prepared once, autocommit) running the same statements on the same tables under the
// same journal mode (WAL, synchronous=NORMAL), in the same run. Prints figures; not a test.
#include "bench_timing.h"
#include "http_test_server.h"
#include "velmora_service_plugin.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "velmora_contract.h"

namespace {

using bench::median;
using bench::now;

constexpr int kPictureItems = 100;
constexpr int kInsertItems = 2000;
constexpr int kRounds = 5;

std::string new_dir(const char *what) {
    gchar *dir = g_dir_make_tmp(what, nullptr);
    std::string path = dir ? dir : "";
    g_free(dir);
    return path;
}

// A fresh item database in a directory of its own, as the utilities library makes it.
struct Store {
    explicit Store(QueryLoader *catalogue) : queries(catalogue) {
        dir = new_dir("velmora-store-bench-XXXXXX");
        db_path = dir + "/" VELMORA_STORE_DATABASE_FILE;
        cache_dir = dir + "/" VELMORA_STORE_IMAGE_CACHE_DIR;
        ensure_database(&db, &watcher, db_path.c_str(), queries);
    }
    ~Store() {
        db_interface_free(db);
        file_watcher_free(watcher);
        for (const char *suffix : {"", "-wal", "-shm"})
            g_remove((db_path + suffix).c_str());
        if (GDir *cache = g_dir_open(cache_dir.c_str(), 0, nullptr)) {
            while (const gchar *name = g_dir_read_name(cache))
                g_remove((cache_dir + "/" + name).c_str());
            g_dir_close(cache);
        }
        g_rmdir(cache_dir.c_str());
        g_rmdir(dir.c_str());
    }
    QueryLoader *queries;
    std::string dir, db_path, cache_dir;
    DBInterface *db = nullptr;
    FileWatcher *watcher = nullptr;
};

// Texts of item i, about 700 bytes in all, like a feed item with a long link.
struct ItemTexts {
    std::string title, link, rank, store, list_price, our_price, authors, image_url;
};

ItemTexts texts_of(int i, const std::string &image_url) {
    const std::string n = std::to_string(i);
    return {"The Collected Works, Volume " + n + ": " + std::string(150, 't'),
            "http://www.velmora.com/dp/B00" + n + "?tag=velmorawidg-20&" + std::string(300, 'l'),
            n,
            "Books",
            "$24.99",
            "$17.49",
            "Ann Author, Bob Writer, " + std::string(100, 'a'),
            image_url};
}

VelmoraItem *new_item(const ItemTexts &texts) {
    VelmoraItem *item = g_new0(VelmoraItem, 1);
    item->title = g_strdup(texts.title.c_str());
    item->link = g_strdup(texts.link.c_str());
    item->rank = g_strdup(texts.rank.c_str());
    item->store = g_strdup(texts.store.c_str());
    item->list_price = g_strdup(texts.list_price.c_str());
    item->our_price = g_strdup(texts.our_price.c_str());
    item->authors = g_strdup(texts.authors.c_str());
    item->image_url = texts.image_url.empty() ? nullptr : g_strdup(texts.image_url.c_str());
    return item;
}

void save_one(const Store &store, const ItemTexts &texts) {
    VelmoraItemArray *single = velmora_item_array_new();
    VelmoraItem *item = new_item(texts);
    g_array_append_val(single->items, item);
    do_velmora_item_save(single, store.db, store.queries);
    velmora_item_array_free(single);
}

std::string picture_address(int i) {
    return "http://127.0.0.1/pictures/" + std::to_string(i);
}

// Items per second stored by the item store, one item per call as a run stores them.
double item_store_rate(QueryLoader *queries, bool picture_rows) {
    Store store(queries);
    double start = now();
    for (int i = 0; i < kInsertItems; i++)
        save_one(store, texts_of(i, picture_rows ? picture_address(i) : ""));
    return kInsertItems / (now() - start);
}

// Items per second of the same statements run with SQLite directly: prepared once,
// parameters bound, each statement its own transaction.
double bare_rate(QueryLoader *queries, bool picture_rows) {
    Store store(queries); // same file layout, tables and journal mode
    sqlite3 *db = nullptr;
    sqlite3_open_v2(store.db_path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    auto prepare = [&](const char *name) {
        gchar *sql = query_loader_load_query(queries, name);
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
            std::fprintf(stderr, "cannot prepare %s: %s\n", name, sqlite3_errmsg(db));
        g_free(sql);
        return statement;
    };
    sqlite3_stmt *insert_item = prepare("ins_item");
    sqlite3_stmt *find_picture = prepare("find_image");
    sqlite3_stmt *insert_picture = prepare("ins_velmora_image");

    double start = now();
    for (int i = 0; i < kInsertItems; i++) {
        const ItemTexts texts = texts_of(i, picture_rows ? picture_address(i) : "");
        sqlite3_int64 picture_id = 0;
        if (picture_rows) {
            sqlite3_bind_text(find_picture, 1, texts.image_url.c_str(), -1, SQLITE_STATIC);
            if (sqlite3_step(find_picture) == SQLITE_ROW)
                picture_id = sqlite3_column_int64(find_picture, 0);
            sqlite3_reset(find_picture);
            if (picture_id < 1) {
                sqlite3_bind_text(insert_picture, 1, texts.image_url.c_str(), -1, SQLITE_STATIC);
                sqlite3_step(insert_picture);
                sqlite3_reset(insert_picture);
                picture_id = sqlite3_last_insert_rowid(db);
            }
        }
        int column = 1;
        for (const std::string *text : {&texts.title, &texts.link, &texts.rank, &texts.store,
                                        &texts.list_price, &texts.our_price, &texts.authors})
            sqlite3_bind_text(insert_item, column++, text->c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_int64(insert_item, column, picture_id);
        if (sqlite3_step(insert_item) != SQLITE_DONE)
            std::fprintf(stderr, "insert failed: %s\n", sqlite3_errmsg(db));
        sqlite3_reset(insert_item);
    }
    double rate = kInsertItems / (now() - start);
    for (sqlite3_stmt *statement : {insert_item, find_picture, insert_picture})
        sqlite3_finalize(statement);
    sqlite3_close(db);
    return rate;
}

void compare_inserts(QueryLoader *queries, bool picture_rows, const char *what) {
    std::vector<double> ours, bare;
    for (int round = 0; round < kRounds; round++) {
        ours.push_back(item_store_rate(queries, picture_rows));
        bare.push_back(bare_rate(queries, picture_rows));
    }
    double ratio = median(ours) / median(bare);
    std::printf("  %s:\n    item store %.0f items/s, bare sqlite3 %.0f items/s, ratio %.2f "
                "(target >= 0.5: %s)\n",
                what, median(ours), median(bare), ratio, ratio >= 0.5 ? "met" : "NOT met");
}

// Seconds to store count items one by one as a run does (each item, then the picture
// check over every item stored so far). With a server, item i has its own picture
// http://.../i.jpg on it; with download_beside, the items have none, but picture i is
// downloaded into memory right after item i: the run without pictures plus the
// downloads alone, paced as the run paces them.
double run_seconds(QueryLoader *queries, const HttpTestServer *server, int count,
                   const HttpTestServer *download_beside = nullptr) {
    Store store(queries);
    const double start = now();
    for (int i = 0; i < count; i++) {
        const std::string picture = "/" + std::to_string(i) + ".jpg";
        save_one(store, texts_of(i, server ? server->url(picture) : ""));
        do_velmora_get_and_store_images(store.db, queries, store.cache_dir.c_str());
        if (download_beside) {
            GString *address = g_string_new(download_beside->url(picture).c_str());
            GArray *body = g_array_new(FALSE, FALSE, 1);
            network_utils_get(address, body, 0, 0, 4 * 1024 * 1024);
            g_array_free(body, TRUE);
            g_string_free(address, TRUE);
        }
    }
    return now() - start;
}

// How a run grows with its item count, with and without a picture per item, against
// the target: with pictures <= 2 x (without pictures) + the downloads alone. The
// downloads alone are the difference between the run without pictures with each
// picture downloaded beside its item and the run without pictures: on a busy machine a
// request that follows other work waits for the server to wake, which requests made
// back to back do not show. Medians of three rounds, each on a fresh server and store.
void compare_growth(QueryLoader *queries, const std::string &root, const std::vector<int> &counts) {
    std::printf("A run storing N items, each followed by the picture check (seconds, median of "
                "3):\n%7s %12s %12s %12s %14s %14s\n",
                "items", "no pictures", "pictures", "downloads", "2 x no + dl", "ratio to it");
    for (int count : counts) {
        std::vector<double> bare, with_pictures, downloads;
        int requests = 0;
        for (int round = 0; round < 3; round++) {
            HttpTestServer server(root);
            const double alone = run_seconds(queries, nullptr, count);
            bare.push_back(alone);
            downloads.push_back(run_seconds(queries, nullptr, count, &server) - alone);
            server.reset_counts();
            with_pictures.push_back(run_seconds(queries, &server, count));
            requests = server.request_count();
        }
        const double target = 2 * median(bare) + median(downloads);
        std::printf("%7d %12.3f %12.3f %12.3f %14.3f %14.2f  (%d requests; target %s)\n", count,
                    median(bare), median(with_pictures), median(downloads), target,
                    median(with_pictures) / target, requests,
                    median(with_pictures) <= target ? "met" : "NOT met");
    }
}

} // namespace

int main(int argc, char **argv) {
    g_log_set_handler(
        nullptr, G_LOG_LEVEL_WARNING, [](const gchar *, GLogLevelFlags, const gchar *, gpointer) {},
        nullptr);
    const std::string catalogue =
        std::string(VELMORA_BUILD_DATA_DIR) + "/" VELMORA_PLUGIN_QUERIES_FILE;
    QueryLoader *queries = query_loader_new(catalogue.c_str());
    if (!queries) {
        std::fprintf(stderr, "no catalogue at %s (build the velmora_data target)\n",
                     catalogue.c_str());
        return 1;
    }

    // Pictures of 8 KiB each on the local server, one per item of the largest run.
    std::vector<int> counts = {10, 100, 1000};
    if (argc > 1) {
        counts.clear();
        for (int i = 1; i < argc; i++)
            counts.push_back(std::atoi(argv[i]));
    }
    const std::string root = new_dir("velmora-store-bench-pictures-XXXXXX");
    std::vector<std::string> files;
    int pictures = kPictureItems;
    for (int count : counts)
        pictures = std::max(pictures, count);
    for (int i = 0; i < pictures; i++) {
        files.push_back(root + "/" + std::to_string(i) + ".jpg");
        std::string bytes(8192, static_cast<char>('a' + i % 26));
        g_file_set_contents(files.back().c_str(), bytes.data(), bytes.size(), nullptr);
    }
    std::printf("Item store (SQLite %s, WAL, synchronous=NORMAL, every statement autocommit)\n",
                sqlite3_libversion());
    {
        HttpTestServer server(root);
        Store store(queries);
        server.reset_counts();
        double start = now();
        for (int i = 0; i < kPictureItems; i++) {
            save_one(store, texts_of(i, server.url("/" + std::to_string(i) + ".jpg")));
            do_velmora_get_and_store_images(store.db, queries, store.cache_dir.c_str());
        }
        double elapsed = now() - start;
        int requests = server.request_count();
        std::printf("  %d items, each with its own picture, as a run stores them:\n"
                    "    %.0f items/s (%.3f s); HTTP requests %d for %d distinct pictures (%s)\n",
                    kPictureItems, kPictureItems / elapsed, elapsed, requests, kPictureItems,
                    requests == kPictureItems ? "equal" : "NOT equal");
    }
    compare_growth(queries, root, counts);
    for (const std::string &file : files)
        g_remove(file.c_str());
    g_rmdir(root.c_str());

    std::printf("Inserts, %d items per measurement, median of %d:\n", kInsertItems, kRounds);
    compare_inserts(queries, false, "items without pictures (ins_item)");
    compare_inserts(queries, true,
                    "items with their own picture rows, nothing fetched "
                    "(find_image, ins_velmora_image, ins_item)");
    query_loader_free(queries);
    return 0;
}
