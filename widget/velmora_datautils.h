/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_datautils.h - the widget's item reader: reads the stored feed items
 * from the item database into VelmoraItemData records.
 */
#ifndef VELMORA_DATAUTILS_H
#define VELMORA_DATAUTILS_H

#include <glib.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include "feedserviceutils.h"

G_BEGIN_DECLS

typedef struct {
    DBInterface *database;
    QueryLoader *queries;
    FileWatcher *watcher;
    /* What the items of the last read were fetched for, as the store recorded it:
     * the region and the comma-separated categories; NULL when not recorded. */
    gchar *store_region;
    gchar *store_categories;
} VelmoraDataUtils;

typedef struct {
    gchar *image_path;
    GdkPixbuf *picture;
    gchar *title;
    gchar *item_url;
    gchar *authors;
    gchar *suggested_price;
    gchar *velmora_price;
    gchar *time_saved;
    gchar *store;
    gchar *rank;
} VelmoraItemData;

typedef struct {
    GArray *items; /* of VelmoraItemData* */
} VelmoraItemDataArray;

VelmoraDataUtils *velmora_datautils_init(void);
void velmora_datautils_free(VelmoraDataUtils *utils);
VelmoraItemDataArray *get_velmora_items(VelmoraDataUtils *utils);
void do_get_velmora_items(VelmoraDataUtils *utils, VelmoraItemDataArray *array);
VelmoraItemData *velmora_item_data_new(void);
void velmora_item_data_free(VelmoraItemData *data);
VelmoraItemDataArray *velmora_item_data_array_new(void);
void velmora_item_data_array_free(VelmoraItemDataArray *array);

G_END_DECLS

/* g_autoptr() support for the item records. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC(VelmoraItemData, velmora_item_data_free)
G_DEFINE_AUTOPTR_CLEANUP_FUNC(VelmoraItemDataArray, velmora_item_data_array_free)

#endif /* VELMORA_DATAUTILS_H */
