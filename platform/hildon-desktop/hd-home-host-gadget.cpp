/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hd-home-host-gadget.cpp - how the home host loads a widget and shows it: the
 * .desktop file names the library, the plug-in module registers the widget type,
 * and the widget's window is presented as a desktop gadget whose
 * "is-on-current-desktop" follows what the window manager reports.
 */
#include "hd-home-host.h"

#include <memory>

namespace hd_home_host {

namespace {

/* The host's own texts; hd-home-host binds it at start. */
constexpr const char *kTextDomain = "hd-home-host";

constexpr const char *kDesktopGroup = "Desktop Entry";
constexpr const char *kPathKey = "X-Path";

struct KeyFileDeleter {
    void operator()(GKeyFile *file) const { g_key_file_free(file); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, KeyFileDeleter>;

gboolean on_map_event(GtkWidget *widget, GdkEvent *, gpointer) {
    GdkWindowState state =
        widget->window != nullptr ? gdk_window_get_state(widget->window) : GdkWindowState(0);
    update_on_current_desktop(HD_HOME_PLUGIN_ITEM(widget), state);
    return FALSE;
}

gboolean on_unmap_event(GtkWidget *widget, GdkEvent *, gpointer) {
    hd_home_plugin_item_set_is_on_current_desktop(HD_HOME_PLUGIN_ITEM(widget), FALSE);
    return FALSE;
}

gboolean on_window_state_event(GtkWidget *widget, GdkEventWindowState *event, gpointer) {
    update_on_current_desktop(HD_HOME_PLUGIN_ITEM(widget), event->new_window_state);
    return FALSE;
}

void on_settings_activate(GtkMenuItem *, gpointer item) {
    activate_settings(HD_HOME_PLUGIN_ITEM(item));
}

/* A right click on the widget offers its settings, when it asked for them. */
gboolean on_button_press(GtkWidget *widget, GdkEventButton *event, gpointer) {
    if (event->type != GDK_BUTTON_PRESS || event->button != 3)
        return FALSE;
    HDHomePluginItem *item = HD_HOME_PLUGIN_ITEM(widget);
    if (!hd_home_plugin_item_get_settings(item))
        return FALSE;
    /* A menu whose popup never took hold (no pointer grab) is replaced. */
    GList *earlier = g_list_copy(gtk_menu_get_for_attach_widget(widget));
    for (GList *menu = earlier; menu != nullptr; menu = menu->next)
        gtk_widget_destroy(GTK_WIDGET(menu->data));
    g_list_free(earlier);
    GtkWidget *menu = gtk_menu_new();
    GtkWidget *entry = gtk_menu_item_new_with_label(g_dgettext(kTextDomain, "Settings"));
    g_signal_connect_object(entry, "activate", G_CALLBACK(on_settings_activate), item,
                            GConnectFlags(0));
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), entry);
    gtk_widget_show_all(menu);
    /* The menu destroys itself once it is closed. */
    g_signal_connect(menu, "selection-done", G_CALLBACK(gtk_widget_destroy), nullptr);
    gtk_menu_attach_to_widget(GTK_MENU(menu), widget, nullptr);
    gtk_menu_popup(GTK_MENU(menu), nullptr, nullptr, nullptr, nullptr, event->button, event->time);
    return TRUE;
}

} // namespace

gchar *resolve_module_path(const gchar *desktop_file, const gchar *module_dir, GError **error) {
    KeyFilePtr file(g_key_file_new());
    if (!g_key_file_load_from_file(file.get(), desktop_file, G_KEY_FILE_NONE, error))
        return nullptr;
    g_autofree gchar *library = g_key_file_get_string(file.get(), kDesktopGroup, kPathKey, error);
    if (library == nullptr)
        return nullptr;
    g_strstrip(library);
    if (*library == '\0') {
        g_set_error(error, G_KEY_FILE_ERROR, G_KEY_FILE_ERROR_INVALID_VALUE,
                    "%s names no library in %s", desktop_file, kPathKey);
        return nullptr;
    }
    if (g_path_is_absolute(library))
        return g_strdup(library);
    return g_build_filename(module_dir, library, nullptr);
}

const gchar *choose_module_dir(const gchar *from_command_line) {
    if (from_command_line != nullptr && *from_command_line != '\0')
        return from_command_line;
    const gchar *from_env = g_getenv("HD_HOME_PLUGIN_DIR");
    if (from_env != nullptr && *from_env != '\0')
        return from_env;
    return HD_HOME_PLUGIN_DEFAULT_DIR;
}

HDHomePluginItem *create_widget(const gchar *library_path, GError **error) {
    /* One module per library, loaded once and used for the rest of the process:
     * instances of its type may exist at any time, a GTypeModule that registered
     * types is never freed, and a type name can be registered only once. */
    static GHashTable *loaded_modules =
        g_hash_table_new_full(g_str_hash, g_str_equal, g_free, nullptr);
    auto *module = static_cast<HDPluginModule *>(g_hash_table_lookup(loaded_modules, library_path));
    if (module == nullptr) {
        module = hd_plugin_module_new(library_path);
        if (!g_type_module_use(G_TYPE_MODULE(module))) {
            g_set_error(error, G_FILE_ERROR, G_FILE_ERROR_FAILED,
                        "cannot load the widget module %s", library_path);
            g_object_unref(module);
            return nullptr;
        }
        g_hash_table_insert(loaded_modules, g_strdup(library_path), module);
    }
    GType type = hd_plugin_module_get_added_type(module);
    if (type == G_TYPE_INVALID || !g_type_is_a(type, HD_TYPE_HOME_PLUGIN_ITEM) ||
        G_TYPE_IS_ABSTRACT(type)) {
        g_set_error(error, G_FILE_ERROR, G_FILE_ERROR_FAILED,
                    "the module %s announces no home plug-in item type", library_path);
        return nullptr;
    }
    return HD_HOME_PLUGIN_ITEM(g_object_new(type, nullptr));
}

void update_on_current_desktop(HDHomePluginItem *item, GdkWindowState new_state) {
    gboolean shown = gtk_widget_get_mapped(GTK_WIDGET(item)) &&
                     (new_state & (GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_WITHDRAWN)) == 0;
    hd_home_plugin_item_set_is_on_current_desktop(item, shown);
}

void present_as_gadget(HDHomePluginItem *item, gint x, gint y) {
    GtkWindow *window = GTK_WINDOW(item);
    GtkWidget *widget = GTK_WIDGET(item);
    if (!gtk_widget_get_realized(widget)) {
        GdkColormap *rgba = gdk_screen_get_rgba_colormap(gtk_widget_get_screen(widget));
        if (rgba != nullptr)
            gtk_widget_set_colormap(widget, rgba);
    }
    gtk_window_set_decorated(window, FALSE);
    gtk_window_set_skip_taskbar_hint(window, TRUE);
    gtk_window_set_skip_pager_hint(window, TRUE);
    gtk_window_set_keep_below(window, TRUE);
    gtk_window_stick(window);
    gtk_window_move(window, x, y);
    gtk_widget_add_events(widget, GDK_BUTTON_PRESS_MASK | GDK_STRUCTURE_MASK);
    g_signal_connect(item, "map-event", G_CALLBACK(on_map_event), nullptr);
    g_signal_connect(item, "unmap-event", G_CALLBACK(on_unmap_event), nullptr);
    g_signal_connect(item, "window-state-event", G_CALLBACK(on_window_state_event), nullptr);
    g_signal_connect(item, "button-press-event", G_CALLBACK(on_button_press), nullptr);
    gtk_widget_show(widget);
}

gboolean activate_settings(HDHomePluginItem *item) {
    g_return_val_if_fail(HD_IS_HOME_PLUGIN_ITEM(item), FALSE);
    if (!hd_home_plugin_item_get_settings(item))
        return FALSE;
    g_signal_emit_by_name(item, "show-settings");
    return TRUE;
}

gboolean write_screenshot(GtkWidget *window, const gchar *path, GError **error) {
    if (window->window == nullptr || !gtk_widget_get_mapped(window)) {
        g_set_error(error, G_FILE_ERROR, G_FILE_ERROR_FAILED, "the widget window is not shown");
        return FALSE;
    }
    gint width = 0;
    gint height = 0;
    gdk_drawable_get_size(window->window, &width, &height);
    GdkPixbuf *shot = gdk_pixbuf_get_from_drawable(
        nullptr, window->window, gtk_widget_get_colormap(window), 0, 0, 0, 0, width, height);
    if (shot == nullptr) {
        g_set_error(error, G_FILE_ERROR, G_FILE_ERROR_FAILED, "cannot read the widget window");
        return FALSE;
    }
    gboolean saved = gdk_pixbuf_save(shot, path, "png", error, nullptr);
    g_object_unref(shot);
    return saved;
}

} // namespace hd_home_host
