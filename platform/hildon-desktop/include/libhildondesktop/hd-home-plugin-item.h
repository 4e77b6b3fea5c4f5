/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hd-home-plugin-item.h - HDHomePluginItem, the top-level window that a home
 * widget derives from. It holds one child, has the signal "show-settings" and
 * the boolean property "is-on-current-desktop".
 */
#ifndef HD_HOME_PLUGIN_ITEM_H
#define HD_HOME_PLUGIN_ITEM_H

#include <gtk/gtk.h>
#include <dbus/dbus.h>
#include <dbus/dbus-glib.h>

G_BEGIN_DECLS

#define HD_TYPE_HOME_PLUGIN_ITEM (hd_home_plugin_item_get_type())
#define HD_HOME_PLUGIN_ITEM(obj)                                                                   \
    (G_TYPE_CHECK_INSTANCE_CAST((obj), HD_TYPE_HOME_PLUGIN_ITEM, HDHomePluginItem))
#define HD_HOME_PLUGIN_ITEM_CLASS(klass)                                                           \
    (G_TYPE_CHECK_CLASS_CAST((klass), HD_TYPE_HOME_PLUGIN_ITEM, HDHomePluginItemClass))
#define HD_IS_HOME_PLUGIN_ITEM(obj) (G_TYPE_CHECK_INSTANCE_TYPE((obj), HD_TYPE_HOME_PLUGIN_ITEM))
#define HD_HOME_PLUGIN_ITEM_GET_CLASS(obj)                                                         \
    (G_TYPE_INSTANCE_GET_CLASS((obj), HD_TYPE_HOME_PLUGIN_ITEM, HDHomePluginItemClass))

typedef struct _HDHomePluginItem HDHomePluginItem;
typedef struct _HDHomePluginItemClass HDHomePluginItemClass;
typedef struct _HDHomePluginItemPrivate HDHomePluginItemPrivate;

struct _HDHomePluginItem {
    GtkWindow parent;
    HDHomePluginItemPrivate *priv;
};

struct _HDHomePluginItemClass {
    GtkWindowClass parent_class;
    /* Signal "show-settings": the user asked for the widget's settings. */
    void (*show_settings)(HDHomePluginItem *item);
};

GType hd_home_plugin_item_get_type(void);

/* Asks the desktop to offer a settings entry for this widget. */
void hd_home_plugin_item_set_settings(HDHomePluginItem *item, gboolean settings);
gboolean hd_home_plugin_item_get_settings(HDHomePluginItem *item);

/* The shared dbus-glib connection of the given bus; NULL with error set on failure.
 * The caller drops its reference with dbus_g_connection_unref(). */
DBusGConnection *hd_home_plugin_item_get_dbus_g_connection(HDHomePluginItem *item, DBusBusType type,
                                                           GError **error);

/* Used by the home host: sets "is-on-current-desktop", notifying only on change. */
void hd_home_plugin_item_set_is_on_current_desktop(HDHomePluginItem *item, gboolean on);

G_END_DECLS

#endif /* HD_HOME_PLUGIN_ITEM_H */
