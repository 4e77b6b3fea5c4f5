/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_store_origin.cpp - the stored items checked against the settings:
 * the plug-in records with the items the region and the categories they were
 * fetched for, so that after a change of settings the card does not show the
 * previous storefront's items under the new storefront's logo and heading.
 */
#include "velmora_store_origin.h"

#include "velmora_contract.h"

gboolean stored_items_belong_to_settings(const VelmoraDataUtils *utils, VelmoraSettings *settings) {
    if (!utils || !utils->store_region)
        return TRUE;
    g_autofree gchar *region = get_region_from_gconf();
    const bool known = settings && get_setting_item_index(settings->regions, region, "region") >= 0;
    if (g_strcmp0(known ? region : VELMORA_REGION_US, utils->store_region) != 0)
        return FALSE;
    if (!utils->store_categories)
        return TRUE;

    GSList *categories = get_categories_from_gconf();
    const gchar *heading = categories && categories->data
                               ? static_cast<const gchar *>(categories->data)
                               : VELMORA_DEFAULT_CATEGORY;
    g_auto(GStrv) fetched = g_strsplit(utils->store_categories, ",", -1);
    const gboolean included = g_strv_contains(fetched, heading);
    g_slist_free_full(categories, g_free);
    return included;
}
