/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_settings.cpp - the widget's settings store: the GConf accessors for
 * the region and the category list (with their defaults and repair), and the
 * region and category tables that map picker texts to stored identifiers.
 *
 * Every GConf operation takes the default client at its start and releases it
 * at its end, so values written by other processes are seen at the next use.
 * GConf errors are freed and otherwise ignored: a failed read is a missing value.
 */
#include "velmora_settings.h"

#include <gconf/gconf-client.h>
#include <glib/gi18n.h>

#include "velmora_contract.h"
#include "velmora_regions.h"

/* GConf 2 defines no g_autoptr() cleanup for its client object. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC(GConfClient, g_object_unref)

namespace {

constexpr const char *kTextDomain = "velmora";
constexpr const char *kRegionKind = "region";

/* The region key's string, or NULL when it is missing, not a string or
 * unreadable. */
gchar *read_region(GConfClient *client) {
    GError *error = nullptr;
    gchar *value = gconf_client_get_string(client, VELMORA_GCONF_REGION_KEY, &error);
    g_clear_error(&error);
    return value;
}

/* The region with the default written back when the key is missing or empty. A
 * region that is not one of the storefronts is read as the default, and left as it
 * is in GConf. */
gchar *read_region_with_default(GConfClient *client) {
    gchar *value = read_region(client);
    if (value && *value) {
        if (velmora_find_region(value) != nullptr)
            return value;
        g_free(value);
        return g_strdup(VELMORA_DEFAULT_REGION);
    }
    g_free(value);

    GError *error = nullptr;
    gconf_client_set_string(client, VELMORA_GCONF_REGION_KEY, VELMORA_DEFAULT_REGION, &error);
    g_clear_error(&error);
    value = read_region(client);
    /* When GConf cannot be reached at all the key reads back as nothing; the
     * caller still gets the default rather than NULL. */
    if (!value || !*value) {
        g_free(value);
        value = g_strdup(VELMORA_DEFAULT_REGION);
    }
    return value;
}

GSList *read_categories(GConfClient *client) {
    GError *error = nullptr;
    GSList *list =
        gconf_client_get_list(client, VELMORA_GCONF_CATEGORIES_KEY, GCONF_VALUE_STRING, &error);
    g_clear_error(&error);
    return list;
}

void write_categories(GConfClient *client, GSList *list) {
    GError *error = nullptr;
    gconf_client_set_list(client, VELMORA_GCONF_CATEGORIES_KEY, GCONF_VALUE_STRING, list, &error);
    g_clear_error(&error);
}

struct CategoryEntry {
    const char *display_text; /* English, translated when the table is built */
    const char *identifier;
};

constexpr CategoryEntry kCategories[] = {
    {N_("Bestsellers"), VELMORA_DEFAULT_CATEGORY},
    {N_("Movers & Shakers"), "movers_shakers"},
    {N_("Bestsellers in Books"), "bestsellers_book"},
    {N_("Hot New Releases in Books"), "hotnew_books"},
    {N_("Bestsellers in Music"), "bestsellers_music"},
    {N_("Bestsellers in Movies & TV"), "bestsellers_dvd"},
    {N_("Bestsellers in Electronics"), "bestsellers_electronics"},
    {N_("Bestsellers in Video Games"), "bestsellers_games"},
};

void append_item(GArray *table, const gchar *key, const gchar *value) {
    SettingItem *item = g_new0(SettingItem, 1);
    item->key = g_strdup(key);
    item->value = g_strdup(value);
    item->index = static_cast<gint32>(table->len);
    g_array_append_val(table, item);
}

void free_table(GArray *table) {
    if (!table)
        return;
    for (guint i = 0; i < table->len; i++) {
        SettingItem *item = g_array_index(table, SettingItem *, i);
        if (!item)
            continue;
        g_free(item->key);
        g_free(item->value);
        g_free(item);
    }
    g_array_free(table, TRUE);
}

GArray *table_for_kind(VelmoraSettings *settings, const gchar *kind) {
    return g_strcmp0(kind, kRegionKind) == 0 ? settings->regions : settings->categories;
}

/* First entry whose value (match_value) or key (!match_value) equals text. */
SettingItem *find_item(GArray *table, const gchar *text, bool match_value) {
    if (!table || !text)
        return nullptr;
    for (guint i = 0; i < table->len; i++) {
        SettingItem *item = g_array_index(table, SettingItem *, i);
        if (item && g_strcmp0(match_value ? item->value : item->key, text) == 0)
            return item;
    }
    return nullptr;
}

} // namespace

gchar *get_region_from_gconf(void) {
    g_autoptr(GConfClient) client = gconf_client_get_default();
    return read_region_with_default(client);
}

void store_region_to_gconf(const gchar *region) {
    /* A picker without a chosen row maps to NULL: nothing is stored then. */
    if (!region)
        return;
    g_autoptr(GConfClient) client = gconf_client_get_default();
    GError *error = nullptr;
    gconf_client_set_string(client, VELMORA_GCONF_REGION_KEY, region, &error);
    g_clear_error(&error);
}

GSList *get_categories_from_gconf(void) {
    g_autoptr(GConfClient) client = gconf_client_get_default();
    return read_categories(client);
}

void store_categories_to_gconf(const gchar *categories) {
    if (!categories)
        return;
    /* "(a,,b)" and "a" alike: every run of text between the separators is an
     * identifier; empty pieces are dropped. */
    gchar **pieces = g_strsplit_set(categories, "(,)", -1);
    GSList *list = nullptr;
    for (gchar **piece = pieces; *piece; piece++) {
        if (**piece)
            list = g_slist_prepend(list, *piece);
    }
    list = g_slist_reverse(list);

    g_autoptr(GConfClient) client = gconf_client_get_default();
    write_categories(client, list);
    g_slist_free(list); /* the texts belong to pieces */
    g_strfreev(pieces);
}

void ensure_gconf_validity(void) {
    g_autoptr(GConfClient) client = gconf_client_get_default();
    g_free(read_region_with_default(client));

    GSList *list = read_categories(client);
    if (!list) {
        GSList default_list = {const_cast<gchar *>(VELMORA_DEFAULT_CATEGORY), nullptr};
        write_categories(client, &default_list);
    }
    g_slist_free_full(list, g_free);
}

VelmoraSettings *initialize_settings(void) {
    VelmoraSettings *settings = g_new0(VelmoraSettings, 1);
    settings->regions =
        g_array_sized_new(FALSE, TRUE, sizeof(SettingItem *), guint(velmora_region_count));
    settings->categories =
        g_array_sized_new(FALSE, TRUE, sizeof(SettingItem *), G_N_ELEMENTS(kCategories));

    /* A region's display text is its identifier. */
    for (gsize i = 0; i < velmora_region_count; i++)
        append_item(settings->regions, velmora_regions[i].identifier,
                    velmora_regions[i].identifier);
    for (const CategoryEntry &category : kCategories)
        append_item(settings->categories, g_dgettext(kTextDomain, category.display_text),
                    category.identifier);
    return settings;
}

void deinitialize_settings(VelmoraSettings *settings) {
    if (!settings)
        return;
    free_table(settings->regions);
    free_table(settings->categories);
    g_free(settings);
}

const gchar *get_value_for_item_key(VelmoraSettings *settings, const gchar *key,
                                    const gchar *kind) {
    if (!settings)
        return nullptr;
    SettingItem *item = find_item(table_for_kind(settings, kind), key, false);
    return item ? item->value : nullptr;
}

const gchar *get_item_key_from_value(VelmoraSettings *settings, const gchar *value,
                                     const gchar *kind) {
    if (!settings)
        return nullptr;
    SettingItem *item = find_item(table_for_kind(settings, kind), value, true);
    return item ? item->key : nullptr;
}

gint get_setting_item_index(GArray *table, const gchar *value, const gchar * /*kind*/) {
    SettingItem *item = find_item(table, value, true);
    return item ? item->index : -1;
}
