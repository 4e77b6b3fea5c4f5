/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_datautils.cpp - the widget's item reader: runs the widget catalogue's
 * "sel_velmora_items" on the item database and turns every row into a
 * VelmoraItemData record. The read also takes the region and categories the
 * store says its items were fetched for; a store older than that record is read
 * with "sel_velmora_items" alone.
 *
 * The store is the plug-in's: the reader opens it read-only and never creates it
 * (a missing store reads as no items). The connection stays open between reads. A file watcher
 * notices when the plug-in deleted the database (it then builds a new file), and a read that finds
 * no rows reopens the database once and tries again, so the widget never keeps reading a file that
 * is no longer there.
 */
#include "velmora_datautils.h"

#include "velmora_paths.h"

#include <string>
#include "velmora_contract.h"

namespace {

constexpr const char *kQueriesFile = VELMORA_APPLET_QUERIES_FILE;
constexpr const char *kDatabaseFile = VELMORA_STORE_DATABASE_FILE;
constexpr const char *kItemsQuery = "sel_velmora_items";
constexpr const char *kItemsWithOriginQuery = "sel_velmora_items_of_settings";

std::string database_path() {
    return velmora_store_path(kDatabaseFile);
}

/* A connection to the store at path, or NULL while there is none: the reader never
 * makes the store (db_interface_new would), and the library opens an existing one for
 * reading only. */
DBInterface *open_existing_store(const std::string &path) {
    if (!g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR))
        return nullptr;
    return db_interface_new(path.c_str());
}

/* Replaces the connection and the watcher by new ones on the database file.
 * The watcher is started even when the open failed, so a file created later
 * is noticed as the one to read. */
void reopen_database(VelmoraDataUtils *utils) {
    const std::string path = database_path();
    g_clear_pointer(&utils->watcher, file_watcher_free);
    db_interface_free(utils->database);
    utils->database = open_existing_store(path);
    utils->watcher = file_watcher_new(path.c_str());
}

gchar *copy_column(DBInterface *database, const gchar *column) {
    return g_strdup(db_get_text_column(database, column, 0));
}

VelmoraItemData *item_from_current_row(DBInterface *database) {
    VelmoraItemData *item = velmora_item_data_new();
    item->title = copy_column(database, "title");
    item->image_path = copy_column(database, "image_path");
    item->item_url = copy_column(database, "item_url");
    item->authors = copy_column(database, "authors");
    item->suggested_price = copy_column(database, "suggested_price");
    item->velmora_price = copy_column(database, "velmora_price");
    item->time_saved = copy_column(database, "time_saved");
    item->store = copy_column(database, "store");
    item->rank = copy_column(database, "rank");
    return item;
}

} // namespace

VelmoraDataUtils *velmora_datautils_init(void) {
    VelmoraDataUtils *utils = g_new0(VelmoraDataUtils, 1);
    utils->queries = query_loader_new(velmora_data_path(kQueriesFile).c_str());
    /* Without its statement the reader is of no use; nothing else is opened. */
    if (!utils->queries) {
        velmora_datautils_free(utils);
        return nullptr;
    }

    const std::string path = database_path();
    utils->database = open_existing_store(path);
    /* When the open failed, the first read opens the database and its watcher. */
    if (utils->database)
        utils->watcher = file_watcher_new(path.c_str());
    return utils;
}

void velmora_datautils_free(VelmoraDataUtils *utils) {
    if (!utils)
        return;
    file_watcher_free(utils->watcher);
    query_loader_free(utils->queries);
    db_interface_free(utils->database);
    g_free(utils->store_region);
    g_free(utils->store_categories);
    g_free(utils);
}

void do_get_velmora_items(VelmoraDataUtils *utils, VelmoraItemDataArray *array) {
    if (!utils || !array || !array->items)
        return;

    if (!utils->database || (utils->watcher && file_watcher_is_file_deleted(utils->watcher)))
        reopen_database(utils);

    g_clear_pointer(&utils->store_region, g_free);
    g_clear_pointer(&utils->store_categories, g_free);
    g_autofree gchar *with_origin = query_loader_load_query(utils->queries, kItemsWithOriginQuery);
    const bool origin_read =
        with_origin && db_interface_execute_query(utils->database, with_origin);
    if (!origin_read) {
        g_autofree gchar *sql = query_loader_load_query(utils->queries, kItemsQuery);
        if (!sql)
            return;
        /* A failed query yields no rows, which makes the caller retry once. */
        db_interface_execute_query(utils->database, sql);
    }

    while (db_interface_step_result(utils->database)) {
        VelmoraItemData *item = item_from_current_row(utils->database);
        g_array_append_val(array->items, item);
        if (origin_read && array->items->len == 1) {
            utils->store_region = copy_column(utils->database, "store_region");
            utils->store_categories = copy_column(utils->database, "store_categories");
        }
    }
    db_interface_close_result(utils->database);
}

VelmoraItemDataArray *get_velmora_items(VelmoraDataUtils *utils) {
    g_autoptr(VelmoraItemDataArray) array = velmora_item_data_array_new();
    if (!utils)
        return static_cast<VelmoraItemDataArray *>(g_steal_pointer(&array));

    do_get_velmora_items(utils, array);
    if (array->items->len > 0)
        return static_cast<VelmoraItemDataArray *>(g_steal_pointer(&array));

    /* No rows: the plug-in may have replaced the file in a way the watcher has
     * not reported yet. Read once more from a fresh connection. */
    g_autoptr(VelmoraItemDataArray) fresh = velmora_item_data_array_new();
    g_clear_pointer(&array, velmora_item_data_array_free);
    reopen_database(utils);
    do_get_velmora_items(utils, fresh);
    return static_cast<VelmoraItemDataArray *>(g_steal_pointer(&fresh));
}

VelmoraItemData *velmora_item_data_new(void) {
    return g_new0(VelmoraItemData, 1);
}

void velmora_item_data_free(VelmoraItemData *data) {
    if (!data)
        return;
    g_free(data->image_path);
    if (data->picture)
        g_object_unref(data->picture);
    g_free(data->title);
    g_free(data->item_url);
    g_free(data->authors);
    g_free(data->suggested_price);
    g_free(data->velmora_price);
    g_free(data->time_saved);
    g_free(data->store);
    g_free(data->rank);
    g_free(data);
}

VelmoraItemDataArray *velmora_item_data_array_new(void) {
    VelmoraItemDataArray *array = g_new0(VelmoraItemDataArray, 1);
    array->items = g_array_new(FALSE, FALSE, sizeof(VelmoraItemData *));
    return array;
}

void velmora_item_data_array_free(VelmoraItemDataArray *array) {
    if (!array)
        return;
    if (array->items) {
        for (guint i = 0; i < array->items->len; i++)
            velmora_item_data_free(g_array_index(array->items, VelmoraItemData *, i));
        g_array_free(array->items, TRUE);
    }
    g_free(array);
}
