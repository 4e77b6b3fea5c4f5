/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_service_run.cpp - the entry points that the feed service daemon calls
 * (init_plugin, execute_with_callback, de_init_plugin and the two property
 * queries) and the update run: read region and categories from GConf, download
 * each category's feed, hand the documents to the parser and item store, report
 * progress through the daemon's callback, and start over when the settings
 * changed while the run was under way.
 *
 * A run is judged by all its categories: it reports -1022 only when no feed
 * delivered a body, and otherwise parses whatever arrived. The settings are
 * read as the URL catalogue can serve them: a region without a section counts
 * as the default region, and a category name the region's section lacks (or one
 * of its two entries that are no feed) is skipped, each category fetched once.
 * A read that fails (the configuration server gone) is no setting: a run that cannot
 * read them fetches nothing, and one that cannot read them again at its end keeps what
 * it stored instead of starting over on defaults.
 *
 * A run holds the store's run lock from start to end, so that two runs (of two
 * processes, say) never mix their items in one store; the first pass removes the
 * picture cache's leftovers before anything is written.
 */
#include "velmora_cache_sweep.h"
#include "velmora_feed_parser.h"
#include "velmora_paths.h"
#include "velmora_run_lock.h"

#include <initializer_list>
#include <string>
#include "velmora_contract.h"

namespace {

constexpr char kRegionKey[] = VELMORA_GCONF_REGION_KEY;
constexpr char kCategoriesKey[] = VELMORA_GCONF_CATEGORIES_KEY;
constexpr char kDefaultRegion[] = VELMORA_DEFAULT_REGION;
constexpr char kDefaultCategory[] = VELMORA_DEFAULT_CATEGORY;
constexpr int kDefaultIntervalSeconds = 3600;
/* The run lock beside the store, and how long a run waits for another to end: longer
 * than a whole run takes, short enough that a stuck one does not hold the next for good. */
constexpr char kRunLockFile[] = VELMORA_STORE_DATABASE_FILE ".lock";
constexpr gint64 kRunLockWaitMs = 120 * 1000;

/* One reading of the settings; the run owns it and frees it with
 * feed_settings_free. */
struct VelmoraFeedSettings {
    GSList *categories; /* of gchar*, never empty */
    gchar *region;
};

void feed_settings_free(VelmoraFeedSettings *settings) {
    if (!settings) {
        return;
    }
    g_slist_free_full(settings->categories, g_free);
    g_free(settings->region);
    g_free(settings);
}

} // namespace

G_DEFINE_AUTOPTR_CLEANUP_FUNC(VelmoraFeedSettings, feed_settings_free)

namespace {

/* State of the walk of the second reading's categories over the first's. */
struct CategoryCheck {
    GHashTable *known;
    gint all_found;
};

void ignore_status(gpointer, gint32) {}

} // namespace

namespace {

/* Entries of a region's section that are no feed. */
bool is_feed_name(const gchar *name) {
    return name && *name && g_strcmp0(name, "homepage") != 0 &&
           g_strcmp0(name, "link_url_suffix") != 0;
}

bool catalogue_has(QueryLoader *urls, const gchar *region, const gchar *name) {
    g_autofree gchar *entry = query_loader_load_query_by_section(urls, region, name);
    return entry != nullptr;
}

/* Whether the URL catalogue has a section for the region: one that holds its home
 * page, its link suffix, or a feed of the stored categories or the default one. */
bool region_known(QueryLoader *urls, const gchar *region, GSList *categories) {
    if (!region || !*region)
        return false;
    for (const gchar *name : {"homepage", "link_url_suffix", kDefaultCategory}) {
        if (catalogue_has(urls, region, name))
            return true;
    }
    for (GSList *entry = categories; entry; entry = entry->next) {
        if (is_feed_name(static_cast<const gchar *>(entry->data)) &&
            catalogue_has(urls, region, static_cast<const gchar *>(entry->data)))
            return true;
    }
    return false;
}

/* The stored categories that have a feed address for the region, each once, in
 * their first place; takes the list. */
GSList *usable_categories(QueryLoader *urls, const gchar *region, GSList *stored) {
    GSList *usable = nullptr;
    for (GSList *entry = stored; entry; entry = entry->next) {
        auto *name = static_cast<const gchar *>(entry->data);
        if (!is_feed_name(name) || g_slist_find_custom(usable, name, (GCompareFunc)g_strcmp0))
            continue;
        if (!catalogue_has(urls, region, name)) {
            g_debug("Network url not found, skipping velmora download");
            continue;
        }
        usable = g_slist_prepend(usable, g_strdup(name));
    }
    g_slist_free_full(stored, g_free);
    return g_slist_reverse(usable);
}

} // namespace

/* Whether a GConf read failed (no configuration server, say), as opposed to a key that
 * is unset or holds a value of another type, which counts as unset. */
static bool read_failed(GError *error) {
    return error && !g_error_matches(error, GCONF_ERROR, GCONF_ERROR_TYPE_MISMATCH);
}

/* Reads region and categories as they are now, as the URL catalogue can serve
 * them: a region it has no section for (also an absent or empty one) is the
 * United States storefront, and the categories are those with a feed address
 * in the region's section, each once; none left is "bestsellers". Nothing is
 * written back. Null when a read failed: the settings are unknown then, and no
 * default stands in for them. */
static VelmoraFeedSettings *read_feed_settings(VelmoraServiceContext *context) {
    g_autoptr(GError) region_error = nullptr;
    g_autoptr(GError) categories_error = nullptr;
    g_autofree gchar *region =
        gconf_client_get_string(context->gconf_client, kRegionKey, &region_error);
    GSList *stored = gconf_client_get_list(context->gconf_client, kCategoriesKey,
                                           GCONF_VALUE_STRING, &categories_error);
    if (read_failed(region_error) || read_failed(categories_error)) {
        g_message("Cannot read the settings: %s",
                  (read_failed(region_error) ? region_error : categories_error)->message);
        g_slist_free_full(stored, g_free);
        return nullptr;
    }
    auto *settings = g_new0(VelmoraFeedSettings, 1);
    settings->region = static_cast<gchar *>(g_steal_pointer(&region));
    if (!region_known(context->urls, settings->region, stored)) {
        g_free(settings->region);
        settings->region = g_strdup(kDefaultRegion);
    }
    settings->categories = usable_categories(context->urls, settings->region, stored);
    if (!settings->categories)
        settings->categories = g_slist_prepend(nullptr, g_strdup(kDefaultCategory));
    return settings;
}

/* The categories as the store records them: comma-separated, in their order. */
static gchar *joined_categories(GSList *categories) {
    GString *text = g_string_new(nullptr);
    for (GSList *entry = categories; entry; entry = entry->next)
        g_string_append_printf(text, "%s%s", text->len ? "," : "",
                               static_cast<const gchar *>(entry->data));
    return g_string_free(text, FALSE);
}

/* Whether any category's feed delivered a body. */
static bool anything_downloaded(const VelmoraItemRawData *raw) {
    for (guint i = 0; i < raw->downloads->len; i++) {
        if (g_array_index(raw->downloads, GArray *, i)->len > 0)
            return true;
    }
    return false;
}

/* g_slist_foreach walker: puts one category of the first reading into the set. */
static void remember_category(gpointer category, gpointer known) {
    g_hash_table_insert(static_cast<GHashTable *>(known), category, category);
}

/* g_slist_foreach walker: clears the flag at the first category of the second
 * reading that the first did not hold; once cleared no more lookups are made. */
static void check_category(gpointer category, gpointer state) {
    auto *check = static_cast<CategoryCheck *>(state);
    if (check->all_found && !g_hash_table_contains(check->known, category)) {
        check->all_found = 0;
    }
}

/* The same region and the same categories, in any order, count as unchanged. */
static bool feed_settings_unchanged(const VelmoraFeedSettings *before,
                                    const VelmoraFeedSettings *after) {
    if (g_strcmp0(before->region, after->region) != 0) {
        return false;
    }
    if (g_slist_length(before->categories) != g_slist_length(after->categories)) {
        return false;
    }
    CategoryCheck check{g_hash_table_new(g_str_hash, g_str_equal), 1};
    g_slist_foreach(before->categories, remember_category, check.known);
    g_slist_foreach(after->categories, check_category, &check);
    g_hash_table_destroy(check.known);
    return check.all_found != 0;
}

/* One pass of a run for one reading of the settings: download, then parse and store,
 * reporting the statuses. The first pass of a run first removes the picture cache's
 * leftovers. False when the run ends here (nothing downloaded, or no store). */
static bool run_pass(VelmoraServiceContext *context, const VelmoraFeedSettings *settings,
                     gpointer user_data, VelmoraStatusCallback callback, bool first_pass) {
    const std::string database_path = velmora_store_path(VELMORA_STORE_DATABASE_FILE);
    const std::string image_cache_dir = velmora_store_path(VELMORA_STORE_IMAGE_CACHE_DIR);
    g_autoptr(VelmoraItemRawData) raw =
        do_velmora_item_get(settings->region, settings->categories, context->urls);
    if (!anything_downloaded(raw)) {
        /* Nothing arrived: keep the previous run's items. */
        callback(user_data, VELMORA_STATUS_NOTHING_DOWNLOADED);
        return false;
    }
    callback(user_data, VELMORA_STATUS_RUN_STARTED);

    ensure_database(&context->database, &context->watcher, database_path.c_str(), context->queries);
    if (!context->database) {
        /* Nothing can be stored: end the pass without reporting items as stored,
         * and leave whatever the database and the picture cache hold. */
        g_warning("Cannot open the item database %s; nothing stored", database_path.c_str());
        callback(user_data, VELMORA_STATUS_PASS_ENDED);
        return false;
    }
    if (first_pass)
        velmora_sweep_picture_cache(context->database, context->queries, image_cache_dir.c_str());
    /* The previous items and pictures go only when the first new item is stored. */
    g_autofree gchar *categories = joined_categories(settings->categories);
    VelmoraItemArray *items = velmora_item_parse_and_store(
        raw, settings->region, categories, context->urls, &context->database, &context->watcher,
        database_path.c_str(), context->queries, user_data, image_cache_dir.c_str(), callback);
    callback(user_data, VELMORA_STATUS_PASS_ENDED);
    velmora_item_array_free(items);
    return true;
}

extern "C" {

VelmoraServiceContext *init_plugin(void) {
    auto *context = g_new0(VelmoraServiceContext, 1);
    context->gconf_client = gconf_client_get_default();
    context->queries = query_loader_new(velmora_data_path(VELMORA_PLUGIN_QUERIES_FILE).c_str());
    context->urls = query_loader_new(velmora_data_path(VELMORA_URLS_FILE).c_str());
    const std::string database_path = velmora_store_path(VELMORA_STORE_DATABASE_FILE);
    context->database = db_interface_new(database_path.c_str());
    if (context->database) {
        context->watcher = file_watcher_new(database_path.c_str());
    }
    return context;
}

void de_init_plugin(VelmoraServiceContext *context) {
    if (!context) {
        return;
    }
    g_clear_object(&context->gconf_client);
    db_interface_free(context->database);
    query_loader_free(context->queries);
    query_loader_free(context->urls);
    file_watcher_free(context->watcher);
    g_free(context);
}

int validate_credentials(void) {
    return 0;
}

int get_default_interval(void) {
    return kDefaultIntervalSeconds;
}

VelmoraItemRawData *do_velmora_item_get(const gchar *region, GSList *categories,
                                        QueryLoader *urls) {
    VelmoraItemRawData *raw = velmora_item_raw_data_new();
    for (GSList *entry = categories; entry; entry = entry->next) {
        const auto *category = static_cast<const gchar *>(entry->data);
        gchar *address = query_loader_load_query_by_section(urls, region, category);
        if (!address) {
            g_debug("Network url not found, skipping velmora download");
            continue;
        }
        GArray *body = g_array_new(FALSE, FALSE, 1);
        GString *request = g_string_new(address);
        network_utils_get(request, body, 0, 0, 0);
        g_string_free(request, TRUE);
        g_free(address);
        g_array_append_val(raw->downloads, body);
    }
    return raw;
}

void execute_with_callback(VelmoraServiceContext *context, gpointer user_data,
                           VelmoraStatusCallback callback) {
    if (!context) {
        return;
    }
    if (!callback) {
        /* A daemon that wants no progress still gets the run. */
        callback = ignore_status;
    }
    if (!context->gconf_client || !context->queries || !context->urls) {
        callback(user_data, VELMORA_STATUS_ITEM_STORED);
        return;
    }
    /* One run per store at a time, in any process: a second run waits for the first. */
    const VelmoraRunLock lock(velmora_store_path(kRunLockFile), kRunLockWaitMs);
    if (lock.state() == VelmoraRunLock::State::Busy) {
        g_message("Another update run kept the store for %d s; nothing done",
                  int(kRunLockWaitMs / 1000));
        callback(user_data, VELMORA_STATUS_NOTHING_DOWNLOADED);
        return;
    }
    g_autoptr(VelmoraFeedSettings) settings = read_feed_settings(context);
    if (!settings) {
        /* Settings that cannot be read are not the defaults: nothing is fetched. */
        callback(user_data, VELMORA_STATUS_NOTHING_DOWNLOADED);
        return;
    }
    bool first_pass = true;
    while (settings && run_pass(context, settings, user_data, callback, first_pass)) {
        first_pass = false;
        g_autoptr(VelmoraFeedSettings) now = read_feed_settings(context);
        if (!now || feed_settings_unchanged(settings, now)) {
            /* Unchanged, or unknown: what this pass stored stays. */
            return;
        }
        /* The settings changed during the pass: start over with the new ones. */
        g_clear_pointer(&settings, feed_settings_free);
        settings = static_cast<VelmoraFeedSettings *>(g_steal_pointer(&now));
    }
}

} // extern "C"
