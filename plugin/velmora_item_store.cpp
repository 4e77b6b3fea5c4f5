/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_item_store.cpp - the writing side of the item database and the
 * picture cache: stores parsed items one statement at a time (each item refers
 * to a picture row shared by all items with the same picture address), reads
 * the stored items back with their picture data, has the pictures fetched into
 * the cache, and clears the cached files and picture rows.
 *
 * All SQL is named statements of the plug-in query catalogue. A run that changes the
 * stored list replaces the previous items with its first item: deleting the items and
 * storing that item is one transaction, so a reader never sees an empty store, and a
 * run that brings no item leaves everything. Every later item is inserted on its own,
 * so the widget, reading the same file from another process, sees it as soon as its
 * insert has run. (A run that brings the stored items again keeps them:
 * velmora_store_pass.cpp.) Picture rows and their files outlive the items: a new item
 * with a picture address already cached takes its row and file as they are, and a
 * picture goes only once no item names it (velmora_remove_unused_pictures).
 */
#include "velmora_item_store.h"
#include "velmora_cache_files.h"
#include "velmora_cache_sweep.h"
#include "velmora_paths.h"

#include "velmora_file_identity.h"

#include <glib/gstdio.h>

#include <initializer_list>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

/* The statement text with the parameters put in, in order; null when the
 * statement is missing from the catalogue or cannot be formatted. */
gchar *format_statement(const gchar *statement, std::initializer_list<const gchar *> params) {
    if (!statement)
        return nullptr;
    g_autoptr(DBSymTable) table = db_symtable_new();
    for (const gchar *param : params)
        db_add_symbol(table, param);
    return db_format_query(table, statement);
}

bool execute_update(DBInterface *db, const gchar *sql) {
    return sql && db_interface_execute_update(db, sql);
}

/* What failed; the library logs SQLite's own message of the run's first failure. */
std::string failure_of(DBInterface *db, const char *what) {
    return std::string(what) + (db ? " failed" : ": no database");
}

/* "find_image": the id of the picture row with this address; below 1 when
 * there is none. */
gint32 find_picture_id(DBInterface *db, QueryLoader *queries, const gchar *address) {
    g_autofree gchar *statement = query_loader_load_query(queries, "find_image");
    g_autofree gchar *param = db_make_string_param(address);
    g_autofree gchar *sql = format_statement(statement, {param});
    if (!sql)
        return 0;
    db_interface_execute_query(db, sql);
    db_interface_step_result(db);
    gint32 id = db_get_int_column(db, "id", 0);
    db_interface_close_result(db);
    return id;
}

/* "ins_velmora_image": a new picture row; *picture_id receives its id (left as
 * it was when the library reports none). */
void insert_picture(DBInterface *db, QueryLoader *queries, const gchar *address,
                    gint64 *picture_id) {
    g_autofree gchar *statement = query_loader_load_query(queries, "ins_velmora_image");
    g_autofree gchar *param = db_make_string_param(address);
    g_autofree gchar *sql = format_statement(statement, {param});
    if (sql)
        db_interface_execute_update_get_row_id(db, sql, picture_id);
}

/* The picture row the item refers to: 0 without a picture address, else the
 * row already holding that address or a new one. */
gint64 picture_id_for(DBInterface *db, QueryLoader *queries, const VelmoraItem *item) {
    if (!item->image_url || !*item->image_url)
        return 0;
    gint64 picture_id = find_picture_id(db, queries, item->image_url);
    if (picture_id < 1)
        insert_picture(db, queries, item->image_url, &picture_id);
    return picture_id;
}

/* Formats statement with the item's eight parameters (and row, when given, as the
 * ninth) and executes it. */
bool save_item(DBInterface *db, const gchar *statement, const VelmoraItem *item, gint64 picture_id,
               const gchar *row = nullptr) {
    g_autofree gchar *title = db_make_string_param(item->title);
    g_autofree gchar *link = db_make_string_param(item->link);
    g_autofree gchar *rank = db_make_string_param(item->rank);
    g_autofree gchar *store = db_make_string_param(item->store);
    g_autofree gchar *list_price = db_make_string_param(item->list_price);
    g_autofree gchar *our_price = db_make_string_param(item->our_price);
    g_autofree gchar *authors = db_make_string_param(item->authors);
    g_autofree gchar *picture = db_make_string_param_from_int(static_cast<gint32>(picture_id));
    g_autofree gchar *sql = row ? format_statement(statement, {title, link, rank, store, list_price,
                                                               our_price, authors, picture, row})
                                : format_statement(statement, {title, link, rank, store, list_price,
                                                               our_price, authors, picture});
    return execute_update(db, sql);
}

bool store_one(DBInterface *db, QueryLoader *queries, const gchar *insert_statement,
               const VelmoraItem *item, std::string *error) {
    if (save_item(db, insert_statement, item, picture_id_for(db, queries, item)))
        return true;
    *error = failure_of(db, "inserting an item");
    return false;
}

/* The cached files of the stored pictures. */
std::vector<std::string> picture_files(DBInterface *db, QueryLoader *queries) {
    std::vector<std::string> files;
    g_autoptr(VelmoraItemArray) rows = load_velmora_items(db, queries);
    for (guint i = 0; i < rows->items->len; i++) {
        const VelmoraItem *row = g_array_index(rows->items, VelmoraItem *, i);
        if (row->image_path)
            files.emplace_back(row->image_path);
    }
    return files;
}

/* After each stored item every stored item's picture is checked. A picture
 * fetched earlier in the run has its cached path in the row already read, so it
 * needs no statement, download or write; and while the cache directory has not
 * changed since the last check, no file in it has been removed or replaced, so
 * a picture found there then needs not even a look at its file. Without this
 * a run of n items would look at n²/2 files. The directory changes with every
 * picture the library writes, so its stamp is taken again after each check;
 * anything else that changes it (a file removed, the directory replaced) makes
 * the next check look at every file again.
 *
 * A picture kept from an earlier run is not asked for again, unless its file was
 * last fetched or confirmed a day ago or more (its modification time): then it is
 * asked for once in the run (conditionally, where the library can). */
class CacheCheck {
  public:
    enum class Picture { Present, Missing, Due };

    /* Starts a check of the cache directory dir. */
    void begin(const gchar *dir) {
        VelmoraFileIdentity now;
        if (dir_ != dir || !velmora_file_identity_of(dir, &now) || !stamp_valid_ || now != stamp_)
            present_.clear();
        dir_ = dir;
    }

    /* Whether the row's picture is known to be, or is, in the cache, and whether it
     * is due to be asked for again. A picture is cached only under its own name in
     * the cache: a row naming another path gets it fetched anew. */
    Picture look(const VelmoraItem *row) {
        if (!row->image_path || velmora_cache_file_name(dir_, row->image_path).empty())
            return Picture::Missing;
        auto known = present_.find(row->image_id);
        if (known != present_.end() && known->second == row->image_path)
            return Picture::Present;
        GStatBuf status; /* a link in the picture's place is no picture */
        if (g_lstat(row->image_path, &status) != 0 || !S_ISREG(status.st_mode))
            return Picture::Missing;
        if (due(status.st_mtime) && rechecked_.insert(row->image_id).second)
            return Picture::Due;
        present_.insert_or_assign(row->image_id, row->image_path);
        return Picture::Present;
    }

    /* Ends the check: the directory as it is now, with what this check wrote. */
    void end() { stamp_valid_ = velmora_file_identity_of(dir_.c_str(), &stamp_); }

    /* Files were removed (or a new run begins): every file is looked at again. */
    void forget() {
        present_.clear();
        stamp_valid_ = false;
    }

    /* A new run: each kept picture may be due once in it. */
    void begin_run() {
        forget();
        rechecked_.clear();
    }

  private:
    /* Whether a file last written or confirmed at mtime is to be asked for again: a
     * day old, or dated more than a day ahead (a clock set right since). */
    static bool due(gint64 mtime) {
        const gint64 now = g_get_real_time() / G_USEC_PER_SEC;
        return now - mtime >= kRecheckSeconds || mtime - now > kRecheckSeconds;
    }

    static constexpr gint64 kRecheckSeconds = 24 * 3600;
    std::string dir_;
    bool stamp_valid_ = false;
    VelmoraFileIdentity stamp_; /* the directory at the end of the last check */
    std::unordered_map<gint64, std::string> present_; /* picture id -> cached path */
    std::unordered_set<gint64> rechecked_;            /* picture ids asked for again */
};

/* The daemon may run plug-ins on a worker thread. */
GMutex cache_check_lock;
CacheCheck cache_check;

} // namespace

bool velmora_store_item(DBInterface *db, QueryLoader *queries, const VelmoraItem *item,
                        std::string *error) {
    g_autofree gchar *insert_statement = query_loader_load_query(queries, "ins_item");
    return store_one(db, queries, insert_statement, item, error);
}

bool velmora_record_store_origin(DBInterface *db, QueryLoader *queries,
                                 const VelmoraStoreOrigin &origin, std::string *error) {
    if (!origin.region)
        return true;
    g_autofree gchar *statement = query_loader_load_query(queries, "set_store_origin");
    g_autofree gchar *region = db_make_string_param(origin.region);
    g_autofree gchar *categories = db_make_string_param(origin.categories);
    g_autofree gchar *sql = format_statement(statement, {region, categories});
    if (execute_update(db, sql))
        return true;
    *error = failure_of(db, "recording the settings of the items");
    return false;
}

guint velmora_replace_items(DBInterface *db, QueryLoader *queries, VelmoraItem *const *items,
                            guint count, const VelmoraStoreOrigin &origin, std::string *error) {
    g_autofree gchar *begin = query_loader_load_query(queries, "begin_transaction");
    g_autofree gchar *commit = query_loader_load_query(queries, "commit_transaction");
    g_autofree gchar *rollback = query_loader_load_query(queries, "rollback_transaction");
    g_autofree gchar *delete_items = query_loader_load_query(queries, "del_item_all");
    g_autofree gchar *insert_statement = query_loader_load_query(queries, "ins_item");
    if (!execute_update(db, begin)) {
        *error = failure_of(db, "starting the transaction");
        return 0;
    }
    guint stored = 0;
    if (!execute_update(db, delete_items)) {
        *error = failure_of(db, "deleting the stored items");
    } else if (velmora_record_store_origin(db, queries, origin, error)) {
        for (guint i = 0; i < count; i++)
            stored += store_one(db, queries, insert_statement, items[i], error) ? 1 : 0;
    }
    if (stored == 0 || !execute_update(db, commit)) {
        if (stored > 0)
            *error = failure_of(db, "committing the transaction");
        execute_update(db, rollback);
        return 0;
    }
    return stored;
}

bool velmora_update_item(DBInterface *db, QueryLoader *queries, gint64 row_id,
                         const VelmoraItem *item, std::string *error) {
    g_autofree gchar *statement = query_loader_load_query(queries, "upd_item");
    g_autofree gchar *row = db_make_string_param_from_int(static_cast<gint32>(row_id));
    if (save_item(db, statement, item, picture_id_for(db, queries, item), row))
        return true;
    *error = failure_of(db, "updating an item");
    return false;
}

bool velmora_run_statement(DBInterface *db, QueryLoader *queries, const char *name,
                           std::initializer_list<const gchar *> params, std::string *error) {
    g_autofree gchar *statement = query_loader_load_query(queries, name);
    g_autofree gchar *sql = format_statement(statement, params);
    if (execute_update(db, sql))
        return true;
    *error = failure_of(db, name);
    return false;
}

VelmoraItemArray *velmora_load_item_contents(DBInterface *db, QueryLoader *queries) {
    VelmoraItemArray *rows = velmora_item_array_new();
    g_autofree gchar *sql = query_loader_load_query(queries, "sel_item_contents");
    if (!sql || !db_interface_execute_query(db, sql))
        return rows;
    while (db_interface_step_result(db)) {
        VelmoraItem *row = g_new0(VelmoraItem, 1);
        row->id = db_get_int_column(db, "id", 0);
        row->title = g_strdup(db_get_text_column(db, "title", 0));
        row->link = g_strdup(db_get_text_column(db, "item_url", 0));
        row->rank = g_strdup(db_get_text_column(db, "rank", 0));
        row->store = g_strdup(db_get_text_column(db, "store", 0));
        row->list_price = g_strdup(db_get_text_column(db, "suggested_price", 0));
        row->our_price = g_strdup(db_get_text_column(db, "velmora_price", 0));
        row->authors = g_strdup(db_get_text_column(db, "authors", 0));
        row->image_url = g_strdup(db_get_text_column(db, "image_url", 0));
        g_array_append_val(rows->items, row);
    }
    db_interface_close_result(db);
    return rows;
}

bool velmora_same_item(const VelmoraItem *item, const VelmoraItem *stored) {
    /* An empty picture address is stored as no picture. */
    const gchar *picture = item->image_url && *item->image_url ? item->image_url : nullptr;
    return g_strcmp0(item->title, stored->title) == 0 && g_strcmp0(item->link, stored->link) == 0 &&
           g_strcmp0(item->rank, stored->rank) == 0 && g_strcmp0(item->store, stored->store) == 0 &&
           g_strcmp0(item->list_price, stored->list_price) == 0 &&
           g_strcmp0(item->our_price, stored->our_price) == 0 &&
           g_strcmp0(item->authors, stored->authors) == 0 &&
           g_strcmp0(picture, stored->image_url) == 0;
}

std::vector<std::string> velmora_unused_picture_files(DBInterface *db, QueryLoader *queries,
                                                      const gchar *image_cache_dir) {
    std::vector<std::string> names;
    std::set<std::string> referenced;
    g_autofree gchar *sql = query_loader_load_query(queries, "sel_unused_images");
    if (!image_cache_dir || !*image_cache_dir ||
        !velmora_referenced_picture_names(db, queries, image_cache_dir, &referenced) || !sql ||
        !db_interface_execute_query(db, sql))
        return names;
    while (db_interface_step_result(db)) {
        const gchar *path = db_get_text_column(db, "image_path", 0);
        std::string name = path ? velmora_cache_file_name(image_cache_dir, path) : "";
        if (!name.empty() && referenced.count(name) == 0)
            names.push_back(std::move(name));
    }
    db_interface_close_result(db);
    return names;
}

void velmora_remove_picture_files(const gchar *image_cache_dir,
                                  const std::vector<std::string> &names) {
    if (image_cache_dir && !names.empty()) {
        const VelmoraCacheDir cache(image_cache_dir);
        for (const std::string &name : names)
            cache.remove(name); /* a file already gone is fine */
    }
    g_autoptr(GMutexLocker) locker = g_mutex_locker_new(&cache_check_lock);
    cache_check.forget();
}

void velmora_begin_picture_pass(void) {
    g_autoptr(GMutexLocker) locker = g_mutex_locker_new(&cache_check_lock);
    cache_check.begin_run();
}

extern "C" {

void do_velmora_item_save(VelmoraItemArray *items, DBInterface *db, QueryLoader *queries) {
    if (!items || !items->items || items->items->len == 0) {
        g_warning("Not saving empty items");
        return;
    }
    g_autofree gchar *insert_statement = query_loader_load_query(queries, "ins_item");
    for (guint i = 0; i < items->items->len; i++) {
        const VelmoraItem *item = g_array_index(items->items, VelmoraItem *, i);
        if (!item)
            continue;
        std::string error;
        store_one(db, queries, insert_statement, item, &error);
    }
}

VelmoraItemArray *load_velmora_items(DBInterface *db, QueryLoader *queries) {
    VelmoraItemArray *rows = velmora_item_array_new();
    g_autofree gchar *sql = query_loader_load_query(queries, "select_all_tmp_query");
    if (!sql || !db_interface_execute_query(db, sql))
        return rows;
    while (db_interface_step_result(db)) {
        VelmoraItem *row = g_new0(VelmoraItem, 1);
        row->id = db_get_int_column(db, "id", 0);
        row->image_id = db_get_int_column(db, "image_id", 0);
        row->image_url = g_strdup(db_get_text_column(db, "image_url", 0));
        row->image_path = g_strdup(db_get_text_column(db, "image_path", 0));
        g_array_append_val(rows->items, row);
    }
    db_interface_close_result(db);
    return rows;
}

void do_velmora_clear_image_data(DBInterface *db, QueryLoader *queries) {
    /* Only files of the store's own picture cache are removed, whatever the rows name. */
    velmora_remove_cached_pictures(velmora_store_path(VELMORA_STORE_IMAGE_CACHE_DIR),
                                   picture_files(db, queries));
    delete_image_data_from_database(db, queries);
    g_autoptr(GMutexLocker) locker = g_mutex_locker_new(&cache_check_lock);
    cache_check.forget();
}

void do_velmora_get_and_store_images(DBInterface *db, QueryLoader *queries,
                                     const gchar *image_cache_dir) {
    if (!image_cache_dir)
        return;
    ensure_directory((std::string(image_cache_dir) + "/").c_str());
    g_autoptr(VelmoraItemArray) rows = load_velmora_items(db, queries);
    if (rows->items->len == 0)
        return;
    g_autofree gchar *update_statement = query_loader_load_query(queries, "update_image_paths");
    g_autoptr(GMutexLocker) locker = g_mutex_locker_new(&cache_check_lock);
    cache_check.begin(image_cache_dir);
    for (guint i = 0; i < rows->items->len; i++) {
        const VelmoraItem *row = g_array_index(rows->items, VelmoraItem *, i);
        if (!row->image_url || !*row->image_url)
            continue;
        const CacheCheck::Picture picture = cache_check.look(row);
        if (picture == CacheCheck::Picture::Present)
            continue;
        const bool again = picture == CacheCheck::Picture::Due;
        const gint checked = check_and_download_image(
            db, image_cache_dir, queries, static_cast<gint32>(row->id),
            static_cast<gint32>(row->image_id), row->image_url, update_statement, again ? 1 : 0);
        /* Confirmed (or fetched anew): the next day counts from now. A library that
         * wrote nothing for an unchanged picture left the old time on the file. */
        if (again && checked)
            VelmoraCacheDir(image_cache_dir)
                .touch(velmora_cache_file_name(image_cache_dir, row->image_path));
    }
    cache_check.end();
}

} // extern "C"
