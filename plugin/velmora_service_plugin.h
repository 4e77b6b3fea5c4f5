/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_service_plugin.h - the feed update plug-in's public face: the entry
 * points that the feed service daemon calls, the status callback it hands in,
 * and the feed item records that pass between download, parser and item store.
 */
#ifndef VELMORA_SERVICE_PLUGIN_H
#define VELMORA_SERVICE_PLUGIN_H

#include <glib.h>
#include <gconf/gconf-client.h>

#include "feedserviceutils.h"
#include "velmora_contract.h"

G_BEGIN_DECLS

/* The statuses reported through the daemon's callback (VELMORA_STATUS_*)
 * are defined with the rest of the contract. */

/* The daemon's progress callback: (user data, status). Called synchronously. */
typedef void (*VelmoraStatusCallback)(gpointer user_data, gint32 status);

/* ---- Feed item records ---- */

typedef struct {
    gchar *rank;
    gchar *store;
    gchar *image_url;
    gchar *image_path;
    gchar *title;
    gchar *link;
    gchar *authors;
    gchar *list_price;
    gchar *our_price;
    gint64 id;
    gint64 image_id;
} VelmoraItem;

typedef struct {
    GArray *items; /* of VelmoraItem* */
} VelmoraItemArray;

typedef struct {
    GArray *downloads; /* of GArray* (1-byte elements), one feed document each */
} VelmoraItemRawData;

void velmora_item_free(VelmoraItem *item);
VelmoraItemArray *velmora_item_array_new(void);
void do_velmora_item_array_free(VelmoraItemArray *array, gint free_items);
void velmora_item_array_free(VelmoraItemArray *array);
VelmoraItemRawData *velmora_item_raw_data_new(void);
void velmora_item_raw_data_free(VelmoraItemRawData *raw);

/* ---- Item store and picture cache ---- */

void do_velmora_item_save(VelmoraItemArray *items, DBInterface *db, QueryLoader *queries);
VelmoraItemArray *load_velmora_items(DBInterface *db, QueryLoader *queries);
void do_velmora_clear_image_data(DBInterface *db, QueryLoader *queries);
void do_velmora_get_and_store_images(DBInterface *db, QueryLoader *queries,
                                     const gchar *image_cache_dir);

/* ---- Feed parser ---- */

VelmoraItemArray *do_velmora_item_parse_and_save(VelmoraItemRawData *raw, const gchar *region,
                                                 QueryLoader *urls, DBInterface **database_slot,
                                                 QueryLoader *queries, gpointer user_data,
                                                 const gchar *image_cache_dir,
                                                 VelmoraStatusCallback callback);
VelmoraItemArray *do_velmora_item_parse(VelmoraItemRawData *raw, const gchar *region,
                                        QueryLoader *urls);

/* ---- Entry points and update run ---- */

typedef struct {
    GConfClient *gconf_client;
    QueryLoader *queries;
    QueryLoader *urls;
    DBInterface *database;
    FileWatcher *watcher;
} VelmoraServiceContext;

VelmoraServiceContext *init_plugin(void);
void de_init_plugin(VelmoraServiceContext *context);
void execute_with_callback(VelmoraServiceContext *context, gpointer user_data,
                           VelmoraStatusCallback callback);
int validate_credentials(void);
int get_default_interval(void);

VelmoraItemRawData *do_velmora_item_get(const gchar *region, GSList *categories, QueryLoader *urls);

G_END_DECLS

/* g_autoptr() support for the records. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC(VelmoraItem, velmora_item_free)
G_DEFINE_AUTOPTR_CLEANUP_FUNC(VelmoraItemArray, velmora_item_array_free)
G_DEFINE_AUTOPTR_CLEANUP_FUNC(VelmoraItemRawData, velmora_item_raw_data_free)

#endif /* VELMORA_SERVICE_PLUGIN_H */
