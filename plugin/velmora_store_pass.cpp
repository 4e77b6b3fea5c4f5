/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_store_pass.cpp - storing one pass of an update run, writing only what changed.
 *
 * A run on the hour mostly brings the items stored an hour before. Each item, as the
 * parser completes it, is compared with the stored row in its place:
 *   - the first item is the stored first one: the stored rows stay (the store learns the
 *     settings they were fetched for when those are new), and time_saved of
 *     all of them is brought up to date in one statement (the price the card shows
 *     is as fresh as the run that confirmed it); every later item that is the stored
 *     one in its place writes nothing;
 *   - a later item differs from the stored one in its place: one transaction opens and
 *     updates that row (and every later row that differs, and inserts the items beyond
 *     the stored ones); it is committed when the pass ends, so a reader sees the old
 *     list until then and the new one after, never a mix of both;
 *   - the first item differs (another list: a new region or category): the items are
 *     replaced by the first one in one transaction and the later ones appended, so the
 *     reader sees the new list grow from its first item, as with an empty store;
 *   - the stored list is longer than the pass: the rows beyond its last item go when
 *     it ends.
 * A reader is told of each stored item (status 0) when it can see it: at once while the
 * list grows, else one item later, the last at the end of the pass, after the commit.
 * Picture rows stay across runs (an item takes the row of its address); at the end of
 * the pass those that no item names are deleted and their files removed, by name
 * through the cache directory and only files of the cache's own names that no row in
 * use records (what the run's first sweep counts as referenced).
 */
#include "velmora_store_pass.h"
#include "velmora_item_store.h"

#include <vector>

VelmoraStorePass::~VelmoraStorePass() {
    clear_stored();
}

void VelmoraStorePass::clear_stored() {
    g_clear_pointer(&stored_, velmora_item_array_free);
}

void VelmoraStorePass::restart() {
    /* An open transaction went with the connection of the deleted file. */
    mode_ = Mode::Fresh;
    placed_ = 0;
    clear_stored();
}

bool VelmoraStorePass::store(DBInterface *db, QueryLoader *queries, VelmoraItem *const *items,
                             guint count, const VelmoraStoreOrigin &origin, std::string *error) {
    if (count == 0)
        return false;
    if (mode_ == Mode::Fresh)
        return store_fresh(db, queries, items, count, origin, error);
    bool stored = false;
    for (guint i = 0; i < count; i++)
        stored = mode_ == Mode::Growing ? velmora_store_item(db, queries, items[i], error)
                                        : store_kept(db, queries, items[i], error);
    return stored;
}

bool VelmoraStorePass::store_fresh(DBInterface *db, QueryLoader *queries, VelmoraItem *const *items,
                                   guint count, const VelmoraStoreOrigin &origin,
                                   std::string *error) {
    clear_stored();
    stored_ = velmora_load_item_contents(db, queries);
    GArray *rows = stored_->items;
    if (rows->len == 0 || !velmora_same_item(items[0], g_array_index(rows, VelmoraItem *, 0))) {
        placed_ = velmora_replace_items(db, queries, items, count, origin, error);
        if (placed_ == 0)
            return false;
        mode_ = Mode::Growing;
        return true;
    }
    /* The same list under other settings (another category after the same first one):
     * the store learns them; the same settings write nothing. */
    if (!velmora_record_store_origin(db, queries, origin, error))
        return false;
    std::string touch_error;
    if (!velmora_run_statement(db, queries, "touch_items", {}, &touch_error))
        g_warning("Cannot bring the stored items' time up to date: %s", touch_error.c_str());
    mode_ = Mode::Matching;
    bool stored = false;
    for (guint i = 0; i < count; i++)
        stored = store_kept(db, queries, items[i], error);
    return stored;
}

bool VelmoraStorePass::store_kept(DBInterface *db, QueryLoader *queries, const VelmoraItem *item,
                                  std::string *error) {
    GArray *rows = stored_->items;
    if (placed_ >= rows->len) {
        /* Beyond the stored list: the reader sees the list grow (inside the
         * transaction when one is open). */
        if (mode_ == Mode::Matching)
            mode_ = Mode::Growing;
        if (!velmora_store_item(db, queries, item, error))
            return false;
        placed_++;
        return true;
    }
    const VelmoraItem *row = g_array_index(rows, VelmoraItem *, placed_);
    if (velmora_same_item(item, row)) {
        placed_++;
        return true;
    }
    if (mode_ == Mode::Matching) {
        if (!velmora_run_statement(db, queries, "begin_transaction", {}, error))
            return false;
        mode_ = Mode::Patching;
    }
    if (!velmora_update_item(db, queries, row->id, item, error))
        return false;
    placed_++;
    return true;
}

void VelmoraStorePass::finish(DBInterface *db, QueryLoader *queries, const gchar *image_cache_dir) {
    if (mode_ == Mode::Fresh || placed_ == 0) {
        /* Nothing stored: the stored items, pictures and files stay as they were. */
        restart();
        return;
    }
    std::string error;
    bool sound = true;
    GArray *rows = stored_ ? stored_->items : nullptr;
    if (mode_ != Mode::Growing && rows && placed_ < rows->len) {
        const gint64 last = g_array_index(rows, VelmoraItem *, placed_ - 1)->id;
        g_autofree gchar *param = db_make_string_param_from_int(static_cast<gint32>(last));
        sound = velmora_run_statement(db, queries, "del_items_after", {param}, &error);
    }
    std::vector<std::string> unused;
    if (sound) {
        unused = velmora_unused_picture_files(db, queries, image_cache_dir);
        sound = velmora_run_statement(db, queries, "del_unused_images", {}, &error);
    }
    if (mode_ == Mode::Patching) {
        /* All of the pass's changes, or none of them. */
        std::string ignored;
        if (!sound)
            velmora_run_statement(db, queries, "rollback_transaction", {}, &ignored);
        else if (!velmora_run_statement(db, queries, "commit_transaction", {}, &error)) {
            velmora_run_statement(db, queries, "rollback_transaction", {}, &ignored);
            sound = false;
        }
    }
    if (sound)
        velmora_remove_picture_files(image_cache_dir, unused);
    else
        g_warning("Cannot end storing the run's items: %s", error.c_str());
    restart();
}
