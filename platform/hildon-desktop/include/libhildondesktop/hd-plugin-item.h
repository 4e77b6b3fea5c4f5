/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hd-plugin-item.h - HDPluginItem, the interface of everything the desktop
 * loads from a plug-in module: the construct-only "plugin-id" that names the
 * instance, and reading the plug-in's own .desktop keys.
 */
#ifndef HD_PLUGIN_ITEM_H
#define HD_PLUGIN_ITEM_H

#include <glib-object.h>

G_BEGIN_DECLS

#define HD_TYPE_PLUGIN_ITEM (hd_plugin_item_get_type())
#define HD_PLUGIN_ITEM(obj) (G_TYPE_CHECK_INSTANCE_CAST((obj), HD_TYPE_PLUGIN_ITEM, HDPluginItem))
#define HD_IS_PLUGIN_ITEM(obj) (G_TYPE_CHECK_INSTANCE_TYPE((obj), HD_TYPE_PLUGIN_ITEM))
#define HD_PLUGIN_ITEM_GET_IFACE(obj)                                                              \
    (G_TYPE_INSTANCE_GET_INTERFACE((obj), HD_TYPE_PLUGIN_ITEM, HDPluginItemIface))

typedef struct _HDPluginItem HDPluginItem;
typedef struct _HDPluginItemIface HDPluginItemIface;

struct _HDPluginItemIface {
    GTypeInterface parent;
    /* Reads the item's own keys of its .desktop file. */
    void (*load_desktop_file)(HDPluginItem *item, GKeyFile *key_file);
};

GType hd_plugin_item_get_type(void);

/* A copy of "plugin-id" (free with g_free), NULL when none was given. */
gchar *hd_plugin_item_get_plugin_id(HDPluginItem *item);
void hd_plugin_item_load_desktop_file(HDPluginItem *item, GKeyFile *key_file);

G_END_DECLS

#endif /* HD_PLUGIN_ITEM_H */
