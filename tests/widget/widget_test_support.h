// SPDX-License-Identifier: LGPL-2.1-or-later
// widget_test_support.h - helpers for the widget's in-process tests: loading
// libvelmoraapplet through the desktop's plug-in module, running the main loop
// until something happens, storing items the way the service plug-in does,
// GConf access, watching the daemon's run signal and finding the settings dialog.
#ifndef VELMORA_WIDGET_TEST_SUPPORT_H
#define VELMORA_WIDGET_TEST_SUPPORT_H

#include <gconf/gconf-client.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "feed_service.h"
#include "file_helpers.h"
#include "hd-home-host.h"
#include "main_loop.h"
#include "velmora_widget.h"
#include "velmora_service_plugin.h"
#include "velmora_settings_dialog.h"
#include "velmora_view.h"
#include "velmora_contract.h"

#if !defined(VELMORA_APPLET_PATH) || !defined(VELMORA_APPLET_DESKTOP_FILE)
#error                                                                                             \
    "VELMORA_APPLET_PATH and VELMORA_APPLET_DESKTOP_FILE must name the built widget and its .desktop"
#endif

namespace widget_test {

// The widget's module, used once per process and kept in use, so that the type
// stays registered between tests (the loader releases it after each instance).
inline GType widget_type() {
    static GType type = [] {
        HDPluginModule *module = hd_home_host::module_for(VELMORA_APPLET_PATH);
        if (!g_type_module_use(G_TYPE_MODULE(module)))
            return G_TYPE_INVALID;
        return g_type_from_name("VelmoraPlugin");
    }();
    return type;
}

// A widget loaded as the desktop loads it: from its .desktop file, with a plug-in id.
inline VelmoraPlugin *create_widget() {
    if (widget_type() == G_TYPE_INVALID)
        return nullptr;
    g_autofree gchar *module_dir = g_path_get_dirname(VELMORA_APPLET_PATH);
    g_autoptr(GError) error = nullptr;
    HDHomePluginItem *item = hd_home_host::load_widget(VELMORA_APPLET_DESKTOP_FILE,
                                                       "velmora.desktop-0", module_dir, &error);
    EXPECT_EQ(error, nullptr) << error->message;
    return item != nullptr ? VELMORA_PLUGIN(item) : nullptr;
}

// The window manager's side, over X only: realizes the widget's window (as the
// desktop shows it), sets or deletes _HILDON_APPLET_ON_CURRENT_DESKTOP on it and
// waits until the widget has read the change.
inline bool set_on_current_desktop(VelmoraPlugin *plugin, bool on) {
    gtk_widget_realize(GTK_WIDGET(plugin));
    hd_home_host::set_on_current_desktop(GTK_WIDGET(plugin), on);
    return test_support::run_until([plugin, on] {
        gboolean now = FALSE;
        g_object_get(plugin, "is-on-current-desktop", &now, nullptr);
        return bool(now) == on;
    });
}

// GTK made ready once for the whole test program; a test file registers it with
//   ::testing::AddGlobalTestEnvironment(new GtkEnvironment);
class GtkEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { ASSERT_TRUE(gtk_init_check(nullptr, nullptr)); }
};

using test_support::run_for;
using test_support::run_until;

inline std::string store_dir() {
    return std::string(g_get_home_dir()) + "/.feedservice/velmora";
}
inline std::string database_path() {
    return store_dir() + "/" VELMORA_STORE_DATABASE_FILE;
}

inline std::string data_path(const char *file) {
    const char *dir = g_getenv("VELMORA_DATA_DIR");
    return std::string(dir != nullptr ? dir : VELMORA_BUILD_DATA_DIR) + "/" + file;
}

// Replaces the items in the item database with count items titled
// "<prefix> 1" ... "<prefix> count", written through the service plug-in's store.
inline void store_items(int count, const std::string &prefix = "Item") {
    g_mkdir_with_parents(store_dir().c_str(), 0700);
    QueryLoader *queries = query_loader_new(data_path(VELMORA_PLUGIN_QUERIES_FILE).c_str());
    DBInterface *db = nullptr;
    FileWatcher *watcher = nullptr;
    ensure_database(&db, &watcher, database_path().c_str(), queries);
    gchar *delete_all = query_loader_load_query(queries, "del_item_all");
    db_interface_execute_update(db, delete_all);
    g_free(delete_all);

    VelmoraItemArray *items = velmora_item_array_new();
    for (int i = 1; i <= count; ++i) {
        auto *item = g_new0(VelmoraItem, 1);
        item->rank = g_strdup_printf("%d", i);
        item->title = g_strdup_printf("%s %d", prefix.c_str(), i);
        item->link = g_strdup_printf("http://127.0.0.1:9/item/%d", i);
        item->store = g_strdup("Books");
        item->our_price = g_strdup("9.99");
        g_array_append_val(items->items, item);
    }
    do_velmora_item_save(items, db, queries);
    velmora_item_array_free(items);
    db_interface_free(db);
    file_watcher_free(watcher);
    query_loader_free(queries);
}

// Records in the item database what its items were fetched for, as a run does.
inline void record_store_origin(const char *region, const char *categories) {
    QueryLoader *queries = query_loader_new(data_path(VELMORA_PLUGIN_QUERIES_FILE).c_str());
    DBInterface *db = nullptr;
    FileWatcher *watcher = nullptr;
    ensure_database(&db, &watcher, database_path().c_str(), queries);
    gchar *statement = query_loader_load_query(queries, "set_store_origin");
    DBSymTable *table = db_symtable_new();
    gchar *region_param = db_make_string_param(region);
    gchar *categories_param = db_make_string_param(categories);
    db_add_symbol(table, region_param);
    db_add_symbol(table, categories_param);
    gchar *sql = db_format_query(table, statement);
    db_interface_execute_update(db, sql);
    g_free(sql);
    g_free(region_param);
    g_free(categories_param);
    db_symtable_free(table);
    g_free(statement);
    db_interface_free(db);
    file_watcher_free(watcher);
    query_loader_free(queries);
}

// Removes the item database with its journal files, as if it had never been.
inline void remove_database() {
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        g_unlink((database_path() + suffix).c_str());
}

// Removes the whole item store (database, picture cache and their directory), as
// on a device where the widget and the plug-in have never run.
inline void remove_store() {
    test_support::remove_tree(std::string(g_get_home_dir()) + "/.feedservice");
}

// ---- GConf ----
constexpr const char *kRegionKey = VELMORA_GCONF_REGION_KEY;
constexpr const char *kCategoriesKey = VELMORA_GCONF_CATEGORIES_KEY;

inline GConfClient *gconf() {
    static GConfClient *client = gconf_client_get_default();
    return client;
}

inline void unset_settings() {
    gconf_client_unset(gconf(), kRegionKey, nullptr);
    gconf_client_unset(gconf(), kCategoriesKey, nullptr);
}

inline void set_region(const char *region) {
    gconf_client_set_string(gconf(), kRegionKey, region, nullptr);
}

inline void set_categories(const std::vector<std::string> &categories) {
    GSList *list = nullptr;
    for (const auto &c : categories)
        list = g_slist_append(list, const_cast<gchar *>(c.c_str()));
    gconf_client_set_list(gconf(), kCategoriesKey, GCONF_VALUE_STRING, list, nullptr);
    g_slist_free(list);
}

// The stored region, or "<unset>".
inline std::string stored_region() {
    gchar *value = gconf_client_get_string(gconf(), kRegionKey, nullptr);
    std::string result = value != nullptr ? value : "<unset>";
    g_free(value);
    return result;
}

inline std::vector<std::string> stored_categories() {
    std::vector<std::string> result;
    GSList *list = gconf_client_get_list(gconf(), kCategoriesKey, GCONF_VALUE_STRING, nullptr);
    for (GSList *l = list; l != nullptr; l = l->next)
        result.emplace_back(static_cast<gchar *>(l->data));
    g_slist_free_full(list, g_free);
    return result;
}

// ---- The card ----

// The text that the card shows for a message key in the given region.
inline std::string message_text(const char *region, const char *key) {
    QueryLoader *texts = query_loader_new(data_path(VELMORA_APPLET_TEXTS_FILE).c_str());
    gchar *text = query_loader_load_query_by_section(texts, region, key);
    std::string result = text != nullptr ? text : "";
    g_free(text);
    query_loader_free(texts);
    return result;
}

inline std::string shown_message(VelmoraPlugin *plugin) {
    if (!plugin->view->message_shown || plugin->view->message_label == nullptr)
        return "";
    return gtk_label_get_text(GTK_LABEL(plugin->view->message_label));
}

inline int stored_item_count() {
    return stored_data != nullptr && stored_data->items != nullptr ? int(stored_data->items->len)
                                                                   : -1;
}

inline std::string stored_title(int index) {
    auto *item = g_array_index(stored_data->items, VelmoraItemData *, index);
    return item->title != nullptr ? item->title : "";
}

// ---- The daemon's run signal, as the widget's own connection delivers it ----

// Counts "plugin_executed" signals on the shared session connection that the
// widget also uses. dbus-glib hands one signal to every proxy that wants it in the
// same dispatch, so once the count has grown the widget has handled the signal.
// The watcher registers no marshaller: that would replace the widget's registration
// for the signature; until the widget registers, dbus-glib uses its generic one.
class RunSignalWatcher {
  public:
    RunSignalWatcher() {
        connection_ = dbus_g_bus_get(DBUS_BUS_SESSION, nullptr);
        proxy_ = dbus_g_proxy_new_for_name(connection_, feed_service::kBusName,
                                           feed_service::kObjectPath, feed_service::kInterface);
        dbus_g_proxy_add_signal(proxy_, feed_service::kRunSignal, G_TYPE_STRING, G_TYPE_INT,
                                G_TYPE_INVALID);
        dbus_g_proxy_connect_signal(proxy_, feed_service::kRunSignal, G_CALLBACK(on_signal), this,
                                    nullptr);
    }
    ~RunSignalWatcher() {
        dbus_g_proxy_disconnect_signal(proxy_, feed_service::kRunSignal, G_CALLBACK(on_signal),
                                       this);
        g_object_unref(proxy_);
        dbus_g_connection_unref(connection_);
    }
    RunSignalWatcher(const RunSignalWatcher &) = delete;
    RunSignalWatcher &operator=(const RunSignalWatcher &) = delete;

    int count() const { return int(statuses_.size()); }
    const std::vector<int> &statuses() const { return statuses_; }

    // Runs the main loop until n signals in all have arrived.
    bool wait_for(int n, int timeout_ms = 5000) {
        return run_until([&] { return count() >= n; }, timeout_ms);
    }

  private:
    static void on_signal(DBusGProxy *, const gchar *, gint status, gpointer data) {
        static_cast<RunSignalWatcher *>(data)->statuses_.push_back(status);
    }
    DBusGConnection *connection_ = nullptr;
    DBusGProxy *proxy_ = nullptr;
    std::vector<int> statuses_;
};

// ---- The settings dialog ----

// Open toplevel dialogs titled like the widget's settings dialog, newest first.
inline std::vector<GtkDialog *> settings_dialogs(const char *title = "Velmora settings") {
    std::vector<GtkDialog *> found;
    GList *toplevels = gtk_window_list_toplevels();
    for (GList *l = toplevels; l != nullptr; l = l->next) {
        if (GTK_IS_DIALOG(l->data) &&
            g_strcmp0(gtk_window_get_title(GTK_WINDOW(l->data)), title) == 0)
            found.insert(found.begin(), GTK_DIALOG(l->data));
    }
    g_list_free(toplevels);
    return found;
}

// Asks the widget for its settings as the window manager does (the
// _HILDON_APPLET_SHOW_SETTINGS client message, sent only when the widget's window
// offers settings) and returns the dialog that appeared.
inline GtkDialog *open_settings(VelmoraPlugin *plugin, const char *title = "Velmora settings") {
    const auto before = settings_dialogs(title);
    gtk_widget_realize(GTK_WIDGET(plugin));
    if (!hd_home_host::request_settings(GTK_WIDGET(plugin)))
        return nullptr;
    GtkDialog *opened = nullptr;
    test_support::run_until([&] {
        for (GtkDialog *dialog : settings_dialogs(title)) {
            bool is_new = true;
            for (GtkDialog *old : before)
                is_new = is_new && old != dialog;
            if (is_new)
                opened = dialog;
        }
        return opened != nullptr;
    });
    return opened;
}

// The dialog's action button with the given label, or null.
inline GtkButton *dialog_button(GtkDialog *dialog, const char *label) {
    GtkButton *match = nullptr;
    GList *buttons = gtk_container_get_children(GTK_CONTAINER(dialog->action_area));
    for (GList *l = buttons; l != nullptr; l = l->next) {
        if (GTK_IS_BUTTON(l->data) &&
            g_strcmp0(gtk_button_get_label(GTK_BUTTON(l->data)), label) == 0)
            match = GTK_BUTTON(l->data);
    }
    g_list_free(buttons);
    return match;
}

inline std::string current_text(HildonTouchSelector *selector) {
    gchar *text = hildon_touch_selector_get_current_text(selector);
    std::string result = text != nullptr ? text : "<none>";
    g_free(text);
    return result;
}

} // namespace widget_test

#endif // VELMORA_WIDGET_TEST_SUPPORT_H
