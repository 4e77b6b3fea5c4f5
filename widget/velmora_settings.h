/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_settings.h - the widget's settings store: GConf accessors for region
 * and categories with their defaults, and the region and category tables.
 */
#ifndef VELMORA_SETTINGS_H
#define VELMORA_SETTINGS_H

#include <glib.h>

#include "velmora_contract.h"

G_BEGIN_DECLS

typedef struct {
    gchar *key;   /* display text */
    gchar *value; /* identifier stored in GConf */
    gint32 index;
} SettingItem;

typedef struct {
    GArray *regions;    /* of SettingItem* */
    GArray *categories; /* of SettingItem* */
} VelmoraSettings;

gchar *get_region_from_gconf(void);
void store_region_to_gconf(const gchar *region);
GSList *get_categories_from_gconf(void);
void store_categories_to_gconf(const gchar *categories);
void ensure_gconf_validity(void);

VelmoraSettings *initialize_settings(void);
void deinitialize_settings(VelmoraSettings *settings);
const gchar *get_value_for_item_key(VelmoraSettings *settings, const gchar *key, const gchar *kind);
const gchar *get_item_key_from_value(VelmoraSettings *settings, const gchar *value,
                                     const gchar *kind);
gint get_setting_item_index(GArray *table, const gchar *value, const gchar *kind);

G_END_DECLS

/* g_autoptr() support for the settings tables. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC(VelmoraSettings, deinitialize_settings)

#endif /* VELMORA_SETTINGS_H */
