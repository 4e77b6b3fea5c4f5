// SPDX-License-Identifier: LGPL-2.1-or-later
// item_database.h - reads the item database the way the widget does, with SQLite directly,
// so that tests can check what a run stored. Header-only; link with SQLite.
//
//   for (const StoredItem &item : stored_items()) ...  // $HOME/.feedservice/velmora/velmora.db
#ifndef VELMORA_ITEM_DATABASE_H
#define VELMORA_ITEM_DATABASE_H

#include <glib.h>
#include <sqlite3.h>

#include <string>
#include <vector>
#include "velmora_contract.h"

struct StoredItem {
    std::string title, link, image_path;
};

inline std::string velmora_store_file(const char *file) {
    return std::string(g_get_home_dir()) + "/.feedservice/velmora/" + file;
}

// The stored items in insertion order, each with its cached picture's path (empty when
// it has none); an empty list when the database is missing.
inline std::vector<StoredItem> stored_items() {
    std::vector<StoredItem> items;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(velmora_store_file(VELMORA_STORE_DATABASE_FILE).c_str(), &db,
                        SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return items;
    }
    sqlite3_busy_timeout(db, 2000);
    sqlite3_stmt *statement = nullptr;
    const char *sql = "SELECT i.title, i.item_url, m.image_path FROM velmora_items i "
                      "LEFT JOIN velmora_images m ON m.id = i.image_id ORDER BY i.id";
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK) {
        while (sqlite3_step(statement) == SQLITE_ROW) {
            auto text = [&](int column) {
                const auto *value = sqlite3_column_text(statement, column);
                return std::string(value ? reinterpret_cast<const char *>(value) : "");
            };
            items.push_back({text(0), text(1), text(2)});
        }
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return items;
}

// What the store records its items were fetched for: "<region>|<categories>", or ""
// when it records nothing (no row, no table, no database).
inline std::string store_origin() {
    std::string origin;
    sqlite3 *db = nullptr;
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_open_v2(velmora_store_file(VELMORA_STORE_DATABASE_FILE).c_str(), &db,
                        SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "SELECT region, categories FROM velmora_store_origin", -1,
                           &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        const auto *region = sqlite3_column_text(statement, 0);
        const auto *categories = sqlite3_column_text(statement, 1);
        origin = std::string(region ? reinterpret_cast<const char *>(region) : "") + "|" +
                 (categories ? reinterpret_cast<const char *>(categories) : "");
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return origin;
}

#endif // VELMORA_ITEM_DATABASE_H
