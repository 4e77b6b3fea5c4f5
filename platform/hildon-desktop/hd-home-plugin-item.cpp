/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hd-home-plugin-item.cpp - HDHomePluginItem: the abstract top-level window a
 * home widget derives from, an HDPluginItem named by its construct-only
 * "plugin-id". It keeps the "settings" wish (written to X at realize and on
 * change), reads "X-Display-On-All-Views" from its .desktop file, and exposes
 * what the window manager tells it: "is-on-current-desktop" and "show-settings".
 */
#include "hd-home-plugin-item-private.h"

#include "libhildondesktop/hd-plugin-module.h"

#include <dbus/dbus-glib-lowlevel.h>

namespace {

enum { PROP_0, PROP_PLUGIN_ID, PROP_SETTINGS, PROP_IS_ON_CURRENT_DESKTOP };
enum { SHOW_SETTINGS, LAST_SIGNAL };

constexpr const char *kDesktopGroup = "Desktop Entry";
constexpr const char *kAllViewsKey = "X-Display-On-All-Views";

guint item_signals[LAST_SIGNAL];
GParamSpec *is_on_current_desktop_pspec;

void load_desktop_file(HDPluginItem *plugin_item, GKeyFile *key_file) {
    HDHomePluginItemPrivate *priv = hd_home_plugin_item_private(HD_HOME_PLUGIN_ITEM(plugin_item));
    GError *error = nullptr;
    gboolean all_views = g_key_file_get_boolean(key_file, kDesktopGroup, kAllViewsKey, &error);
    g_clear_error(&error);
    priv->display_on_all_views = all_views;
}

void plugin_item_init(gpointer g_iface, gpointer) {
    static_cast<HDPluginItemIface *>(g_iface)->load_desktop_file = load_desktop_file;
}

gpointer hd_home_plugin_item_parent_class = nullptr;
gint private_offset = 0;

void hd_home_plugin_item_class_init(HDHomePluginItemClass *klass);
void hd_home_plugin_item_init(GTypeInstance *instance, gpointer klass);

void class_intern_init(gpointer klass, gpointer) {
    hd_home_plugin_item_parent_class = g_type_class_peek_parent(klass);
    g_type_class_adjust_private_offset(klass, &private_offset);
    hd_home_plugin_item_class_init(static_cast<HDHomePluginItemClass *>(klass));
}

} // namespace

/* Registered by hand, with the instance size of today's device library (GtkWindow
 * alone, the header's pointer not counted): a widget built against the header's
 * long-standing layout and one built against the newer, shorter one both derive
 * from it, and the library keeps its data in the private part only. */
GType hd_home_plugin_item_get_type(void) {
    static gsize type_id = 0;
    if (g_once_init_enter(&type_id)) {
        GType type = g_type_register_static_simple(
            GTK_TYPE_WINDOW, g_intern_static_string("HDHomePluginItem"),
            sizeof(HDHomePluginItemClass), class_intern_init, sizeof(GtkWindow),
            hd_home_plugin_item_init, G_TYPE_FLAG_ABSTRACT);
        private_offset = g_type_add_instance_private(type, sizeof(HDHomePluginItemPrivate));
        const GInterfaceInfo plugin_item = {plugin_item_init, nullptr, nullptr};
        g_type_add_interface_static(type, HD_TYPE_PLUGIN_ITEM, &plugin_item);
        g_once_init_leave(&type_id, type);
    }
    return GType(type_id);
}

HDHomePluginItemPrivate *hd_home_plugin_item_private(HDHomePluginItem *item) {
    return static_cast<HDHomePluginItemPrivate *>(G_STRUCT_MEMBER_P(item, private_offset));
}

namespace {

/* The default applet id: the plug-in id with '/' and '#' (which the window
 * manager's configuration cannot hold) replaced by '_'. */
gchar *default_applet_id(HDHomePluginItem *item) {
    const gchar *plugin_id = hd_home_plugin_item_private(item)->plugin_id;
    /* The device's library crashes here; the stand-in says why and goes on. */
    g_return_val_if_fail(plugin_id != nullptr, g_strdup(""));
    gchar *id = g_strdup(plugin_id);
    for (gchar *c = id; *c != '\0'; ++c) {
        if (*c == '/' || *c == '#') {
            g_warning("plug-in id %s holds '%c'; it becomes '_' in the applet id", id, *c);
            *c = '_';
        }
    }
    return id;
}

void item_get_property(GObject *object, guint property_id, GValue *value, GParamSpec *pspec) {
    HDHomePluginItemPrivate *priv = hd_home_plugin_item_private(HD_HOME_PLUGIN_ITEM(object));
    switch (property_id) {
    case PROP_PLUGIN_ID:
        g_value_set_string(value, priv->plugin_id);
        break;
    case PROP_IS_ON_CURRENT_DESKTOP:
        g_value_set_boolean(value, priv->is_on_current_desktop);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, property_id, pspec);
    }
}

void item_set_property(GObject *object, guint property_id, const GValue *value, GParamSpec *pspec) {
    HDHomePluginItem *item = HD_HOME_PLUGIN_ITEM(object);
    switch (property_id) {
    case PROP_PLUGIN_ID:
        g_free(hd_home_plugin_item_private(item)->plugin_id);
        hd_home_plugin_item_private(item)->plugin_id = g_value_dup_string(value);
        break;
    case PROP_SETTINGS:
        hd_home_plugin_item_set_settings(item, g_value_get_boolean(value));
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, property_id, pspec);
    }
}

void item_constructed(GObject *object) {
    G_OBJECT_CLASS(hd_home_plugin_item_parent_class)->constructed(object);
    /* A home item never takes the keyboard focus from the desktop. */
    gtk_window_set_accept_focus(GTK_WINDOW(object), FALSE);
}

void item_finalize(GObject *object) {
    g_free(hd_home_plugin_item_private(HD_HOME_PLUGIN_ITEM(object))->plugin_id);
    G_OBJECT_CLASS(hd_home_plugin_item_parent_class)->finalize(object);
}

void item_realize(GtkWidget *widget) {
    GTK_WIDGET_CLASS(hd_home_plugin_item_parent_class)->realize(widget);
    hd_home_plugin_item_x11_realize(HD_HOME_PLUGIN_ITEM(widget));
}

void item_unrealize(GtkWidget *widget) {
    hd_home_plugin_item_x11_unrealize(HD_HOME_PLUGIN_ITEM(widget));
    GTK_WIDGET_CLASS(hd_home_plugin_item_parent_class)->unrealize(widget);
}

void install_properties(GObjectClass *object_class) {
    g_object_class_override_property(object_class, PROP_PLUGIN_ID, "plugin-id");
    g_object_class_install_property(
        object_class, PROP_SETTINGS,
        g_param_spec_boolean("settings", "Settings",
                             "Whether the window manager offers a settings button", FALSE,
                             GParamFlags(G_PARAM_WRITABLE | G_PARAM_STATIC_STRINGS)));
    is_on_current_desktop_pspec =
        g_param_spec_boolean("is-on-current-desktop", "Is on current desktop",
                             "Whether the widget is on the desktop view that is shown", FALSE,
                             GParamFlags(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS));
    g_object_class_install_property(object_class, PROP_IS_ON_CURRENT_DESKTOP,
                                    is_on_current_desktop_pspec);
}

void hd_home_plugin_item_class_init(HDHomePluginItemClass *klass) {
    GObjectClass *object_class = G_OBJECT_CLASS(klass);
    GtkWidgetClass *widget_class = GTK_WIDGET_CLASS(klass);
    object_class->get_property = item_get_property;
    object_class->set_property = item_set_property;
    object_class->constructed = item_constructed;
    object_class->finalize = item_finalize;
    widget_class->realize = item_realize;
    widget_class->unrealize = item_unrealize;
    klass->get_applet_id = default_applet_id;
    install_properties(object_class);
    item_signals[SHOW_SETTINGS] =
        g_signal_new("show-settings", G_TYPE_FROM_CLASS(klass), G_SIGNAL_RUN_LAST, 0, nullptr,
                     nullptr, g_cclosure_marshal_VOID__VOID, G_TYPE_NONE, 0);
}

void hd_home_plugin_item_init(GTypeInstance *instance, gpointer) {
    /* The window manager's _HILDON_APPLET_ON_CURRENT_DESKTOP arrives as PropertyNotify. */
    gtk_widget_add_events(GTK_WIDGET(instance), GDK_PROPERTY_CHANGE_MASK);
}

} // namespace

void hd_home_plugin_item_current_desktop_changed(HDHomePluginItem *item, gboolean on) {
    HDHomePluginItemPrivate *priv = hd_home_plugin_item_private(item);
    on = on ? TRUE : FALSE;
    if (priv->is_on_current_desktop == on)
        return;
    priv->is_on_current_desktop = on;
    g_object_notify_by_pspec(G_OBJECT(item), is_on_current_desktop_pspec);
}

void hd_home_plugin_item_emit_show_settings(HDHomePluginItem *item) {
    g_signal_emit(item, item_signals[SHOW_SETTINGS], 0);
}

void hd_home_plugin_item_set_settings(HDHomePluginItem *item, gboolean settings) {
    g_return_if_fail(HD_IS_HOME_PLUGIN_ITEM(item));
    hd_home_plugin_item_private(item)->settings = settings ? TRUE : FALSE;
    hd_home_plugin_item_x11_write_settings(item);
}

DBusGConnection *hd_home_plugin_item_get_dbus_g_connection(HDHomePluginItem *item, DBusBusType type,
                                                           GError **error) {
    g_return_val_if_fail(HD_IS_HOME_PLUGIN_ITEM(item), nullptr);
    /* The process-wide shared connection, one reference for the caller. */
    DBusGConnection *connection = dbus_g_bus_get(type, error);
    if (connection != nullptr)
        g_debug("home item on the bus as %s",
                dbus_bus_get_unique_name(dbus_g_connection_get_connection(connection)));
    return connection;
}

DBusConnection *hd_home_plugin_item_get_dbus_connection(HDHomePluginItem *item, DBusBusType type,
                                                        DBusError *error) {
    g_return_val_if_fail(HD_IS_HOME_PLUGIN_ITEM(item), nullptr);
    return dbus_bus_get(type, error);
}

gchar *hd_home_plugin_item_get_applet_id(HDHomePluginItem *item) {
    g_return_val_if_fail(HD_IS_HOME_PLUGIN_ITEM(item), nullptr);
    HDHomePluginItemClass *klass = HD_HOME_PLUGIN_ITEM_GET_CLASS(item);
    if (klass->get_applet_id == nullptr) {
        g_warning("%s has no get_applet_id; using the default", G_OBJECT_TYPE_NAME(item));
        return default_applet_id(item);
    }
    return klass->get_applet_id(item);
}

const gchar *hd_home_plugin_item_get_dl_filename(HDHomePluginItem *item) {
    g_return_val_if_fail(HD_IS_HOME_PLUGIN_ITEM(item), nullptr);
    return static_cast<const gchar *>(g_type_get_qdata(
        G_OBJECT_TYPE(item), g_quark_from_static_string(HD_PLUGIN_MODULE_DL_FILENAME)));
}
