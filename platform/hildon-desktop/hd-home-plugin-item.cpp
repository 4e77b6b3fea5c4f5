/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hd-home-plugin-item.cpp - HDHomePluginItem: the undecorated top-level window
 * a home widget derives from. It asks for an RGBA colormap where the screen has
 * one, keeps out of the task bar and pager, carries the "settings" wish that the
 * desktop turns into a settings entry, emits "show-settings" when the user picks
 * that entry, and exposes "is-on-current-desktop" as set by the desktop.
 */
#include "libhildondesktop/hd-home-plugin-item.h"

struct _HDHomePluginItemPrivate {
    gboolean settings;
    gboolean is_on_current_desktop;
};

G_DEFINE_TYPE_WITH_PRIVATE(HDHomePluginItem, hd_home_plugin_item, GTK_TYPE_WINDOW)

namespace {

enum { PROP_0, PROP_IS_ON_CURRENT_DESKTOP, PROP_SETTINGS };
enum { SHOW_SETTINGS, LAST_SIGNAL };

guint item_signals[LAST_SIGNAL];
GParamSpec *is_on_current_desktop_pspec;
GParamSpec *settings_pspec;

/* Stores a boolean property, notifying only when its value changes. */
void store_flag(HDHomePluginItem *item, gboolean *field, gboolean value, GParamSpec *pspec) {
    value = value ? TRUE : FALSE;
    if (*field == value)
        return;
    *field = value;
    g_object_notify_by_pspec(G_OBJECT(item), pspec);
}

/* Translucent widgets need the screen's RGBA colormap; it must be set before
 * the window is realized, and again when the window moves to another screen. */
void use_rgba_colormap(GtkWidget *widget) {
    if (gtk_widget_get_realized(widget))
        return;
    GdkScreen *screen = gtk_widget_get_screen(widget);
    GdkColormap *rgba = screen != nullptr ? gdk_screen_get_rgba_colormap(screen) : nullptr;
    if (rgba != nullptr)
        gtk_widget_set_colormap(widget, rgba);
}

void item_screen_changed(GtkWidget *widget, GdkScreen *previous) {
    GtkWidgetClass *parent = GTK_WIDGET_CLASS(hd_home_plugin_item_parent_class);
    if (parent->screen_changed != nullptr)
        parent->screen_changed(widget, previous);
    use_rgba_colormap(widget);
}

void item_get_property(GObject *object, guint property_id, GValue *value, GParamSpec *pspec) {
    HDHomePluginItem *item = HD_HOME_PLUGIN_ITEM(object);
    switch (property_id) {
    case PROP_IS_ON_CURRENT_DESKTOP:
        g_value_set_boolean(value, item->priv->is_on_current_desktop);
        break;
    case PROP_SETTINGS:
        g_value_set_boolean(value, item->priv->settings);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, property_id, pspec);
    }
}

void item_set_property(GObject *object, guint property_id, const GValue *value, GParamSpec *pspec) {
    HDHomePluginItem *item = HD_HOME_PLUGIN_ITEM(object);
    switch (property_id) {
    case PROP_SETTINGS:
        hd_home_plugin_item_set_settings(item, g_value_get_boolean(value));
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, property_id, pspec);
    }
}

} // namespace

static void hd_home_plugin_item_class_init(HDHomePluginItemClass *klass) {
    GObjectClass *object_class = G_OBJECT_CLASS(klass);
    GtkWidgetClass *widget_class = GTK_WIDGET_CLASS(klass);
    object_class->get_property = item_get_property;
    object_class->set_property = item_set_property;
    widget_class->screen_changed = item_screen_changed;

    is_on_current_desktop_pspec =
        g_param_spec_boolean("is-on-current-desktop", "Is on current desktop",
                             "Whether the widget is on the desktop view that is shown", FALSE,
                             GParamFlags(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS));
    g_object_class_install_property(object_class, PROP_IS_ON_CURRENT_DESKTOP,
                                    is_on_current_desktop_pspec);
    settings_pspec = g_param_spec_boolean(
        "settings", "Settings", "Whether the desktop offers a settings entry for the widget", FALSE,
        GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS));
    g_object_class_install_property(object_class, PROP_SETTINGS, settings_pspec);

    item_signals[SHOW_SETTINGS] =
        g_signal_new("show-settings", G_TYPE_FROM_CLASS(klass), G_SIGNAL_RUN_LAST,
                     G_STRUCT_OFFSET(HDHomePluginItemClass, show_settings), nullptr, nullptr,
                     g_cclosure_marshal_VOID__VOID, G_TYPE_NONE, 0);
}

static void hd_home_plugin_item_init(HDHomePluginItem *item) {
    item->priv =
        static_cast<HDHomePluginItemPrivate *>(hd_home_plugin_item_get_instance_private(item));
    GtkWindow *window = GTK_WINDOW(item);
    gtk_window_set_decorated(window, FALSE);
    gtk_window_set_skip_taskbar_hint(window, TRUE);
    gtk_window_set_skip_pager_hint(window, TRUE);
    use_rgba_colormap(GTK_WIDGET(item));
}

void hd_home_plugin_item_set_settings(HDHomePluginItem *item, gboolean settings) {
    g_return_if_fail(HD_IS_HOME_PLUGIN_ITEM(item));
    store_flag(item, &item->priv->settings, settings, settings_pspec);
}

gboolean hd_home_plugin_item_get_settings(HDHomePluginItem *item) {
    g_return_val_if_fail(HD_IS_HOME_PLUGIN_ITEM(item), FALSE);
    return item->priv->settings;
}

DBusGConnection *hd_home_plugin_item_get_dbus_g_connection(HDHomePluginItem *item, DBusBusType type,
                                                           GError **error) {
    g_return_val_if_fail(HD_IS_HOME_PLUGIN_ITEM(item), nullptr);
    /* dbus_g_bus_get hands out the process-wide shared connection of the bus
     * with one reference for the caller, and sets error when the bus is absent. */
    return dbus_g_bus_get(type, error);
}

void hd_home_plugin_item_set_is_on_current_desktop(HDHomePluginItem *item, gboolean on) {
    g_return_if_fail(HD_IS_HOME_PLUGIN_ITEM(item));
    store_flag(item, &item->priv->is_on_current_desktop, on, is_on_current_desktop_pspec);
}
