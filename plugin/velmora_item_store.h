/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_item_store.h - the item store's calls that say what they did, used by the
 * parser during an update run (the exported item store calls report nothing).
 */
#ifndef VELMORA_ITEM_STORE_H
#define VELMORA_ITEM_STORE_H

#include "velmora_service_plugin.h"

#include <string>

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

/* Replaces every stored item and picture row by items[0, count) in one transaction, so
 * that a reader sees either the old items or the new ones, never an empty store; the
 * same transaction records what the items were fetched for (origin; a null region
 * records nothing). The old pictures' files in image_cache_dir are removed once it is
 * committed. Returns how many items were stored: 0 when nothing changed (*error then
 * says why). */
guint velmora_replace_items(DBInterface *db, QueryLoader *queries, const gchar *image_cache_dir,
                            VelmoraItem *const *items, guint count,
                            const VelmoraStoreOrigin &origin, std::string *error);

#endif /* VELMORA_ITEM_STORE_H */
