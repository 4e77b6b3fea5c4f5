// SPDX-License-Identifier: LGPL-2.1-or-later
// bench_store.h - one stored item as the plug-in stores it (its picture row, then the
// item naming it), for the view benchmarks that fill a store of many rows. Header-only.
#ifndef VELMORA_BENCH_STORE_H
#define VELMORA_BENCH_STORE_H

#include <glib.h>
#include <sqlite3.h>

#include <string>

namespace bench {

// Inserts item n, whose picture is the file picture_path, into the open store.
inline void insert_item(sqlite3 *db, int n, const std::string &picture_path) {
    gchar *sql = sqlite3_mprintf(
        "INSERT INTO velmora_images (image_url, image_path) VALUES "
        "('http://127.0.0.1/p/%d', %Q);"
        "INSERT INTO velmora_items (title, item_url, rank, store, suggested_price, "
        "velmora_price, authors, image_id) VALUES ('A best-selling item with a title of "
        "ordinary length %d', 'https://www.velmora.com/dp/%08d', '%d', 'Books', '$24.99', "
        "'$17.49', 'An Author', last_insert_rowid());",
        n, picture_path.c_str(), n, n, n + 1);
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    sqlite3_free(sql);
}

} // namespace bench

#endif /* VELMORA_BENCH_STORE_H */
