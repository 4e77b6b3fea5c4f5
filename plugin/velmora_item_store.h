/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_item_store.h - the item store's calls that say what they did, used by the
 * parser during an update run (the exported item store calls report nothing).
 */
#ifndef VELMORA_ITEM_STORE_H
#define VELMORA_ITEM_STORE_H

#include "velmora_service_plugin.h"

#include <initializer_list>
#include <string>
#include <vector>

/* Stores one item with its picture row; true when the item's row was inserted. On
 * failure *error receives SQLite's message (or what else went wrong). */
bool velmora_store_item(DBInterface *db, QueryLoader *queries, const VelmoraItem *item,
                        std::string *error);

/* The region and categories (comma-separated; null when not known) that a run's
 * items were fetched for. */
struct VelmoraStoreOrigin {
    const gchar *region;
    const gchar *categories;
};

/* Replaces every stored item by items[0, count) in one transaction, so that a reader
 * sees either the old items or the new ones, never an empty store; the
 * same transaction records what the items were fetched for (origin). Picture rows stay:
 * the new items take those of their addresses, and velmora_remove_unused_pictures
 * removes the rest once the run has stored its items. Returns how many items were
 * stored: 0 when nothing changed (*error then says why). */
guint velmora_replace_items(DBInterface *db, QueryLoader *queries, VelmoraItem *const *items,
                            guint count, const VelmoraStoreOrigin &origin, std::string *error);

/* Records what the stored items were fetched for ("set_store_origin"), writing
 * nothing when the store records that already; true when it holds it. */
bool velmora_record_store_origin(DBInterface *db, QueryLoader *queries,
                                 const VelmoraStoreOrigin &origin, std::string *error);

/* Puts the item into the stored row row_id (its picture row found or made, time_saved
 * now); true when the row was written. */
bool velmora_update_item(DBInterface *db, QueryLoader *queries, gint64 row_id,
                         const VelmoraItem *item, std::string *error);

/* Executes the named statement of the catalogue with the parameters (SQL literals, in
 * order); false, with *error saying why, when it failed or is missing. */
bool velmora_run_statement(DBInterface *db, QueryLoader *queries, const char *name,
                           std::initializer_list<const gchar *> params, std::string *error);

/* The stored items in the order stored, with id and every text "ins_item" writes (the
 * picture as its address); never null. */
VelmoraItemArray *velmora_load_item_contents(DBInterface *db, QueryLoader *queries);

/* Whether storing item would write what the stored row (from
 * velmora_load_item_contents) holds already. */
bool velmora_same_item(const VelmoraItem *item, const VelmoraItem *stored);

/* The names of the cache files in image_cache_dir recorded by picture rows that no stored
 * item names, but not of a file that a row still in use records (referenced as the run's
 * sweep counts it: velmora_referenced_picture_names); "del_unused_images" then deletes
 * those rows. A row's path that is no file of the cache's own names yields nothing. */
std::vector<std::string> velmora_unused_picture_files(DBInterface *db, QueryLoader *queries,
                                                      const gchar *image_cache_dir);

/* Removes the named files of image_cache_dir by name through the directory (a file
 * already gone is fine). */
void velmora_remove_picture_files(const gchar *image_cache_dir,
                                  const std::vector<std::string> &names);

/* A run begins storing: every picture file is looked at again once, and a kept
 * picture may be asked for again in it when it is due (once a day). */
void velmora_begin_picture_pass(void);

#endif /* VELMORA_ITEM_STORE_H */
