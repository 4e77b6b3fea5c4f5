/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_widget.cpp - the home widget's shell: the module entry points the
 * home desktop calls, the VelmoraPlugin class, the order in which one widget
 * is built and torn down, the dialogue with the feed service daemon on D-Bus,
 * the reaction to its run signal, pausing while the widget cannot be seen and
 * the settings button.
 *
 * The activation tick asks the daemon to run the plug-in until it answers 1,
 * first after a second and then, while it keeps failing (a missing plug-in, a
 * daemon that cannot be started), after twice the wait each time, up to a
 * minute. The widget watches the daemon's bus name: when its owner goes away the
 * tick starts again after twice the last wait, so that activation starts a new
 * daemon and periodic runs resume, but a daemon that its runs crash is not
 * restarted every second; only a pass that ended (status 2) makes the wait short
 * again (ActivationBackoff). When an owner appears while the tick waits, it asks
 * again soon, unless the name was lost since the last pass ended. "activate" is a
 * blocking call with a time-out of two seconds: a daemon that is stopped but still
 * owns its name holds the home screen no longer than that.
 *
 * Everything runs on the desktop's GLib main loop. The run flags are
 * module-level, so one widget instance per loaded module is supported.
 */
#include "velmora_widget.h"

#include <clocale>
#include <libintl.h>

#include "velmora_activation_backoff.h"
#include "velmora_card_part.h"
#include "velmora_marshal.h"
#include "velmora_refresh_fold.h"
#include "velmora_settings_dialog.h"
#include "velmora_store_origin.h"
#include "velmora_contract.h"

namespace {

constexpr guint kActivationIntervalMs = ActivationBackoff::kFirstWaitMs;
/* The longest the widget waits for the daemon's answer to "activate". */
constexpr int kActivateTimeoutMs = 2000;

GType velmora_plugin_type = 0;
gpointer parent_class = nullptr;

/* A status-1 run signal arrived and no status-0 signal since. */
gboolean run_started = FALSE;
/* Restart argument of the refresh of the first status 0 after a status 1. */
gboolean restart_carousel = FALSE;
/* The user saved new settings: status-0 signals wait for the next status 1. */
gboolean awaiting_new_run = FALSE;

/* What may call back into the instance after its creation: the activation tick,
 * the run-signal connection and the settings dialogs still open. Teardown uses
 * these to cut every path to the instance before it is freed. */
guint activation_tick_id = 0;
guint activation_tick_wait_ms = kActivationIntervalMs; /* the pending tick's wait */
ActivationBackoff activation_backoff;
gboolean run_signal_connected = FALSE;
/* The bus itself, whose NameOwnerChanged tells when the daemon comes and goes. */
DBusGProxy *bus_proxy = nullptr;
GSList *open_dialogs = nullptr;

/* "One item stored" statuses come as fast as the plug-in stores items (every
 * few milliseconds on a fast network), and each refresh reads every row: they
 * are folded into at most one refresh per 100 ms, the last status always
 * followed by one. */
RefreshFold *item_refreshes = nullptr;

/* The hardware-state indications the widget listens to: system inactivity only. */
osso_hw_state_t inactivity_mask() {
    osso_hw_state_t mask = {};
    mask.system_inactivity_ind = TRUE;
    return mask;
}

/* Asks the daemon to run the service plug-in. TRUE only when the call completed
 * and the daemon answered 1; otherwise *error may hold the failure. */
gboolean activate_plugin(VelmoraPlugin *plugin, GError **error) {
    if (plugin->proxy == nullptr)
        return FALSE;
    gint answer = 0;
    if (!dbus_g_proxy_call_with_timeout(
            plugin->proxy, VELMORA_FEEDSERVICE_ACTIVATE, kActivateTimeoutMs, error, G_TYPE_STRING,
            VELMORA_SERVICE_PLUGIN_NAME, G_TYPE_INVALID, G_TYPE_INT, &answer, G_TYPE_INVALID))
        return FALSE;
    return answer == 1;
}

void refresh_items(gboolean restart, gpointer data) {
    auto *plugin = static_cast<VelmoraPlugin *>(data);
    g_autoptr(VelmoraItemDataArray) items = get_velmora_items(plugin->data_utils);
    /* Items fetched for other settings are not shown under this heading. */
    if (!stored_items_belong_to_settings(plugin->data_utils, plugin->settings)) {
        if (!plugin->view->message_shown)
            create_message_view(plugin->view, plugin->settings, "loading");
        return;
    }
    update_view(plugin->view, plugin->settings, items, restart);
}

void on_plugin_executed(DBusGProxy *, const gchar *name, gint status, gpointer data) {
    auto *plugin = static_cast<VelmoraPlugin *>(data);
    if (g_strcmp0(name, VELMORA_SERVICE_PLUGIN_NAME) != 0) /* a null name differs too */
        return;

    switch (status) {
    case VELMORA_STATUS_RUN_STARTED:
        run_started = TRUE;
        restart_carousel = FALSE;
        awaiting_new_run = FALSE;
        break;
    case VELMORA_STATUS_ITEM_STORED:
        if (run_started)
            restart_carousel = TRUE;
        if (!awaiting_new_run)
            item_refreshes->request(run_started ? restart_carousel : FALSE);
        run_started = FALSE;
        restart_carousel = FALSE;
        break;
    case VELMORA_STATUS_NOTHING_DOWNLOADED:
        if (plugin->view->message_shown)
            create_message_view(plugin->view, plugin->settings, "no_connection");
        break;
    case VELMORA_STATUS_PASS_ENDED:
        activation_backoff.after_pass_ended(); /* the daemon works */
        break;
    default:
        break;
    }
}

void connect_run_signal(VelmoraPlugin *plugin) {
    dbus_g_object_register_marshaller(g_cclosure_user_marshal_VOID__STRING_INT, G_TYPE_NONE,
                                      G_TYPE_STRING, G_TYPE_INT, G_TYPE_INVALID);
    dbus_g_proxy_add_signal(plugin->proxy, VELMORA_FEEDSERVICE_RUN_SIGNAL, G_TYPE_STRING,
                            G_TYPE_INT, G_TYPE_INVALID);
    dbus_g_proxy_connect_signal(plugin->proxy, VELMORA_FEEDSERVICE_RUN_SIGNAL,
                                G_CALLBACK(on_plugin_executed), plugin, nullptr);
    run_signal_connected = TRUE;
}

gboolean activation_tick(gpointer data);

/* (Re)starts the activation tick, interval_ms from now. */
void start_activation_tick(VelmoraPlugin *plugin, guint interval_ms) {
    if (activation_tick_id != 0)
        g_source_remove(activation_tick_id);
    activation_tick_wait_ms = interval_ms;
    activation_tick_id = g_timeout_add(interval_ms, activation_tick, plugin);
}

/* Runs from instance creation (and whenever the daemon went away) until
 * "activate" succeeds, waiting longer after each failure. */
gboolean activation_tick(gpointer data) {
    auto *plugin = static_cast<VelmoraPlugin *>(data);
    if (!run_signal_connected)
        connect_run_signal(plugin);

    GError *error = nullptr;
    const gboolean activated = activate_plugin(plugin, &error);
    g_clear_error(&error);
    activation_tick_id = 0;
    if (!activated)
        start_activation_tick(plugin, activation_backoff.after_failure());
    return G_SOURCE_REMOVE;
}

void on_name_owner_changed(DBusGProxy *, const gchar *name, const gchar *, const gchar *new_owner,
                           gpointer data) {
    if (g_strcmp0(name, VELMORA_FEEDSERVICE_NAME) != 0)
        return;
    auto *plugin = static_cast<VelmoraPlugin *>(data);
    const bool gone = new_owner == nullptr || *new_owner == '\0';
    /* Gone: activation starts a daemon again, after a longer wait each time. Come
     * while the tick waits: ask soon, unless the daemon was lost since the last pass.
     * A daemon that the tick's own call started needs nothing: the tick has ended. */
    if (gone && activation_tick_id == 0)
        start_activation_tick(plugin, activation_backoff.after_name_lost());
    else if (!gone && activation_tick_id != 0 && activation_tick_wait_ms > kActivationIntervalMs &&
             activation_backoff.ask_soon_on_appearance())
        start_activation_tick(plugin, kActivationIntervalMs);
}

void watch_daemon_name(VelmoraPlugin *plugin, DBusGConnection *connection) {
    bus_proxy = dbus_g_proxy_new_for_name(connection, DBUS_SERVICE_DBUS, DBUS_PATH_DBUS,
                                          DBUS_INTERFACE_DBUS);
    if (bus_proxy == nullptr)
        return;
    dbus_g_object_register_marshaller(g_cclosure_user_marshal_VOID__STRING_STRING_STRING,
                                      G_TYPE_NONE, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING,
                                      G_TYPE_INVALID);
    dbus_g_proxy_add_signal(bus_proxy, "NameOwnerChanged", G_TYPE_STRING, G_TYPE_STRING,
                            G_TYPE_STRING, G_TYPE_INVALID);
    dbus_g_proxy_connect_signal(bus_proxy, "NameOwnerChanged", G_CALLBACK(on_name_owner_changed),
                                plugin, nullptr);
}

void on_hw_state(osso_hw_state_t *state, gpointer data) {
    auto *plugin = static_cast<VelmoraPlugin *>(data);
    if (plugin == nullptr || state == nullptr)
        return;
    if (state->system_inactivity_ind == FALSE) {
        plugin->device_inactive = FALSE;
        if (plugin->is_on_current_desktop == TRUE)
            restart_scrolling(plugin->view);
    } else if (state->system_inactivity_ind == TRUE) {
        plugin->device_inactive = TRUE;
        pause_scrolling(plugin->view);
    }
}

void on_desktop_changed(GObject *, GParamSpec *, gpointer data) {
    auto *plugin = static_cast<VelmoraPlugin *>(data);
    if (plugin == nullptr)
        return;
    gboolean on_current = FALSE;
    g_object_get(plugin, "is-on-current-desktop", &on_current, nullptr);
    plugin->is_on_current_desktop = on_current;
    if (!on_current)
        pause_scrolling(plugin->view);
    else if (!plugin->device_inactive)
        restart_scrolling(plugin->view);
}

/* Maps the selector's current row to an identifier and stores it. A selector
 * without an active row stores nothing: there is no identifier to write. */
void store_selected(VelmoraPlugin *plugin, HildonTouchSelector *selector, const gchar *kind,
                    void (*store)(const gchar *)) {
    if (selector == nullptr)
        return;
    g_autofree gchar *text = hildon_touch_selector_get_current_text(selector);
    const gchar *value = get_value_for_item_key(plugin->settings, text, kind);
    if (value != nullptr)
        store(value);
}

/* Keys under which a dialog keeps its own selectors, so that the answer of an
 * older dialog reads its own pickers rather than those of a newer one. */
constexpr const char *kRegionSelectorKey = "velmora-region-selector";
constexpr const char *kCategorySelectorKey = "velmora-category-selector";

void on_dialog_response(GtkDialog *dialog, gint response_id, gpointer data) {
    auto *plugin = static_cast<VelmoraPlugin *>(data);
    if (response_id == VELMORA_RESPONSE_SAVE) {
        plugin->region_selector = static_cast<HildonTouchSelector *>(
            g_object_get_data(G_OBJECT(dialog), kRegionSelectorKey));
        plugin->category_selector = static_cast<HildonTouchSelector *>(
            g_object_get_data(G_OBJECT(dialog), kCategorySelectorKey));

        clear_stored_data();
        awaiting_new_run = TRUE;
        item_refreshes->cancel(); /* it would read the items of the old run */
        store_selected(plugin, plugin->region_selector, "region", store_region_to_gconf);
        store_selected(plugin, plugin->category_selector, "category", store_categories_to_gconf);
        create_message_view(plugin->view, plugin->settings, "loading");

        GError *error = nullptr;
        activate_plugin(plugin, &error);
        g_clear_error(&error);
    }
    gtk_widget_destroy(GTK_WIDGET(dialog));
}

void on_dialog_destroyed(GtkObject *dialog, gpointer) {
    open_dialogs = g_slist_remove(open_dialogs, dialog);
}

void on_show_settings(HDHomePluginItem *item, gpointer) {
    auto *plugin = VELMORA_PLUGIN(item);
    /* One settings dialog at a time: a second request brings the open one up. */
    if (open_dialogs != nullptr) {
        gtk_window_present(GTK_WINDOW(open_dialogs->data));
        return;
    }
    GtkWidget *dialog = create_settings_dialog(plugin);
    g_object_set_data(G_OBJECT(dialog), kRegionSelectorKey, plugin->region_selector);
    g_object_set_data(G_OBJECT(dialog), kCategorySelectorKey, plugin->category_selector);
    g_signal_connect(dialog, "response", G_CALLBACK(on_dialog_response), plugin);
    g_signal_connect(dialog, "destroy", G_CALLBACK(on_dialog_destroyed), nullptr);
    open_dialogs = g_slist_prepend(open_dialogs, dialog);
    gtk_widget_show(dialog);
}

/* A dialog still open when the widget goes away would answer into a freed
 * instance: cut its response handler and close it with the widget. */
void close_open_dialogs(VelmoraPlugin *plugin) {
    while (open_dialogs != nullptr) {
        auto *dialog = static_cast<GtkWidget *>(open_dialogs->data);
        g_signal_handlers_disconnect_by_func(dialog, reinterpret_cast<gpointer>(on_dialog_response),
                                             plugin);
        gtk_widget_destroy(dialog); /* its "destroy" handler unlinks it */
    }
}

void show_initial_items(VelmoraPlugin *plugin) {
    g_autoptr(VelmoraItemDataArray) items = get_velmora_items(plugin->data_utils);
    if (items != nullptr && items->items != nullptr && items->items->len > 0 &&
        stored_items_belong_to_settings(plugin->data_utils, plugin->settings)) {
        create_item_view(plugin->view, plugin->settings);
        update_view(plugin->view, plugin->settings, items, TRUE);
    } else {
        create_message_view(plugin->view, plugin->settings, "loading");
    }
}

void create_daemon_proxy(VelmoraPlugin *plugin) {
    GError *error = nullptr;
    DBusGConnection *connection = hd_home_plugin_item_get_dbus_g_connection(
        HD_HOME_PLUGIN_ITEM(plugin), DBUS_BUS_SESSION, &error);
    g_clear_error(&error);
    if (connection == nullptr)
        return;
    plugin->proxy =
        dbus_g_proxy_new_for_name(connection, VELMORA_FEEDSERVICE_NAME, VELMORA_FEEDSERVICE_PATH,
                                  VELMORA_FEEDSERVICE_INTERFACE);
    if (plugin->proxy != nullptr) {
        start_activation_tick(plugin, kActivationIntervalMs);
        watch_daemon_name(plugin, connection);
    }
    dbus_g_connection_unref(connection);
}

void velmora_plugin_init(GTypeInstance *instance, gpointer) {
    auto *plugin = VELMORA_PLUGIN(instance);
    /* A widget made after an earlier one of this module was torn down starts
     * afresh, not with the flags that the earlier one left behind. */
    run_started = FALSE;
    restart_carousel = FALSE;
    awaiting_new_run = FALSE;
    run_signal_connected = FALSE;
    activation_backoff = ActivationBackoff();
    delete item_refreshes;
    item_refreshes = new RefreshFold(refresh_items, plugin);

    hd_home_plugin_item_set_settings(HD_HOME_PLUGIN_ITEM(plugin), TRUE);
    g_signal_connect(plugin, "show-settings", G_CALLBACK(on_show_settings), nullptr);

    plugin->view = initialize_view(GTK_WIDGET(plugin));
    plugin->settings = initialize_settings();
    plugin->data_utils = velmora_datautils_init();
    show_initial_items(plugin);

    create_daemon_proxy(plugin);

    plugin->osso_context = osso_initialize("velmorawidget", "1.0", FALSE, nullptr);
    osso_context = plugin->osso_context;

    osso_hw_state_t mask = inactivity_mask();
    if (plugin->osso_context != nullptr)
        osso_hw_set_event_cb(plugin->osso_context, &mask, on_hw_state, plugin);

    g_signal_connect(plugin, "notify::is-on-current-desktop", G_CALLBACK(on_desktop_changed),
                     plugin);
}

void velmora_plugin_finalize(GObject *object) {
    auto *plugin = VELMORA_PLUGIN(object);

    /* Nothing started by this instance may run once it is gone. */
    if (activation_tick_id != 0) {
        g_source_remove(activation_tick_id);
        activation_tick_id = 0;
    }
    if (bus_proxy != nullptr) {
        dbus_g_proxy_disconnect_signal(bus_proxy, "NameOwnerChanged",
                                       G_CALLBACK(on_name_owner_changed), plugin);
        g_object_unref(bus_proxy);
        bus_proxy = nullptr;
    }
    close_open_dialogs(plugin);
    delete item_refreshes;
    item_refreshes = nullptr;

    remove_timeout(plugin->view);

    if (plugin->osso_context != nullptr) {
        osso_hw_state_t mask = inactivity_mask();
        osso_hw_unset_event_cb(plugin->osso_context, &mask);
    }

    if (plugin->proxy != nullptr) {
        if (run_signal_connected)
            dbus_g_proxy_disconnect_signal(plugin->proxy, VELMORA_FEEDSERVICE_RUN_SIGNAL,
                                           G_CALLBACK(on_plugin_executed), plugin);
        run_signal_connected = FALSE;
        dbus_g_proxy_call_no_reply(plugin->proxy, VELMORA_FEEDSERVICE_DEACTIVATE, G_TYPE_STRING,
                                   VELMORA_SERVICE_PLUGIN_NAME, G_TYPE_INVALID);
        g_object_unref(plugin->proxy);
        plugin->proxy = nullptr;
    }

    deinitialize_settings(plugin->settings);
    plugin->settings = nullptr;
    de_initialize_view(plugin->view);
    plugin->view = nullptr;

    if (plugin->osso_context != nullptr)
        osso_deinitialize(plugin->osso_context);
    osso_context = nullptr;
    plugin->osso_context = nullptr;

    velmora_datautils_free(plugin->data_utils);
    plugin->data_utils = nullptr;

    G_OBJECT_CLASS(parent_class)->finalize(object);
}

void velmora_plugin_class_init(gpointer klass, gpointer) {
    parent_class = g_type_class_peek_parent(klass);

    setlocale(LC_ALL, "");
    bindtextdomain("velmora", VELMORA_LOCALE_DIR);
    bind_textdomain_codeset("velmora", "UTF-8");
    /* The widget looks its texts up in its own domain (dgettext); the host's
     * current text domain belongs to the host and its other widgets. */

    G_OBJECT_CLASS(klass)->finalize = velmora_plugin_finalize;
}

} // namespace

extern "C" {

GType velmora_plugin_get_type(void) {
    return velmora_plugin_type;
}

void hd_plugin_module_load(HDPluginModule *module) {
    static const GTypeInfo info = {
        sizeof(VelmoraPluginClass),
        nullptr, /* base_init */
        nullptr, /* base_finalize */
        velmora_plugin_class_init,
        nullptr, /* class_finalize */
        nullptr, /* class_data */
        sizeof(VelmoraPlugin),
        0, /* n_preallocs */
        velmora_plugin_init,
        nullptr, /* value_table */
    };
    velmora_plugin_type = g_type_module_register_type(
        G_TYPE_MODULE(module), HD_TYPE_HOME_PLUGIN_ITEM, "VelmoraPlugin", &info, GTypeFlags(0));
    hd_plugin_module_add_type(module, velmora_plugin_type);
    velmora_card_part_register_types(G_TYPE_MODULE(module));
}

void hd_plugin_module_unload(HDPluginModule *) {}

} // extern "C"
