/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hd-home-plugin-item.h - HDHomePluginItem, the abstract top-level window a home
 * widget derives from. The window manager tells it over X whether it is on the
 * desktop view shown ("is-on-current-desktop") and when the user asked for its
 * settings (signal "show-settings").
 */
#ifndef HD_HOME_PLUGIN_ITEM_H
#define HD_HOME_PLUGIN_ITEM_H

#include <gtk/gtk.h>
#include <dbus/dbus.h>
#include <dbus/dbus-glib.h>
#include <libhildondesktop/hd-plugin-item.h>

G_BEGIN_DECLS

#define HD_TYPE_HOME_PLUGIN_ITEM (hd_home_plugin_item_get_type())
#define HD_HOME_PLUGIN_ITEM(obj)                                                                   \
    (G_TYPE_CHECK_INSTANCE_CAST((obj), HD_TYPE_HOME_PLUGIN_ITEM, HDHomePluginItem))
#define HD_HOME_PLUGIN_ITEM_CLASS(klass)                                                           \
    (G_TYPE_CHECK_CLASS_CAST((klass), HD_TYPE_HOME_PLUGIN_ITEM, HDHomePluginItemClass))
#define HD_IS_HOME_PLUGIN_ITEM(obj) (G_TYPE_CHECK_INSTANCE_TYPE((obj), HD_TYPE_HOME_PLUGIN_ITEM))
#define HD_IS_HOME_PLUGIN_ITEM_CLASS(klass)                                                        \
    (G_TYPE_CHECK_CLASS_TYPE((klass), HD_TYPE_HOME_PLUGIN_ITEM))
#define HD_HOME_PLUGIN_ITEM_GET_CLASS(obj)                                                         \
    (G_TYPE_INSTANCE_GET_CLASS((obj), HD_TYPE_HOME_PLUGIN_ITEM, HDHomePluginItemClass))

typedef struct _HDHomePluginItem HDHomePluginItem;
typedef struct _HDHomePluginItemClass HDHomePluginItemClass;
typedef struct _HDHomePluginItemPrivate HDHomePluginItemPrivate;

typedef enum {
    HD_HOME_PLUGIN_ITEM_RESIZE_NONE = 0,
    HD_HOME_PLUGIN_ITEM_RESIZE_VERTICAL = 1,
    HD_HOME_PLUGIN_ITEM_RESIZE_HORIZONTAL = 2,
    HD_HOME_PLUGIN_ITEM_RESIZE_BOTH = 3
} HDHomePluginItemResizeType;

/* The long-standing layout, one pointer longer than the newest: a widget built
 * against it runs on libraries that keep their private pointer here and on those
 * that do not. This library never touches the field and registers the type with
 * the newer size, so widgets built against either layout derive from it. */
struct _HDHomePluginItem {
    GtkWindow parent;
    HDHomePluginItemPrivate *priv;
};

struct _HDHomePluginItemClass {
    GtkWindowClass parent;
    /* The id the window manager knows the item by (new string); the default is
     * "plugin-id" with '/' and '#' replaced by '_'. */
    gchar *(*get_applet_id)(HDHomePluginItem *item);
};

GType hd_home_plugin_item_get_type(void);

/* Asks the window manager to offer a settings button for this widget (written to
 * the item's window as _HILDON_APPLET_SETTINGS). */
void hd_home_plugin_item_set_settings(HDHomePluginItem *item, gboolean settings);

/* The shared dbus-glib connection of the given bus; NULL with error set on failure.
 * The caller drops its reference with dbus_g_connection_unref(). */
DBusGConnection *hd_home_plugin_item_get_dbus_g_connection(HDHomePluginItem *item, DBusBusType type,
                                                           GError **error);
/* The shared libdbus connection of the given bus, or NULL; the caller unrefs it. */
DBusConnection *hd_home_plugin_item_get_dbus_connection(HDHomePluginItem *item, DBusBusType type,
                                                        DBusError *error);

/* The item's applet id through the class slot (new string). */
gchar *hd_home_plugin_item_get_applet_id(HDHomePluginItem *item);
/* The file name of the module the item's type came from, or NULL; not to be freed. */
const gchar *hd_home_plugin_item_get_dl_filename(HDHomePluginItem *item);

G_END_DECLS

#endif /* HD_HOME_PLUGIN_ITEM_H */
