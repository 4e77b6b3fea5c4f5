/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hd-home-plugin-item-x11.cpp - the home item's side of the window manager
 * protocol: at realize the item marks its window as a home applet and writes its
 * id, settings wish and all-views wish; it learns from the window manager's
 * _HILDON_APPLET_ON_CURRENT_DESKTOP whether it is on the view shown and from a
 * _HILDON_APPLET_SHOW_SETTINGS client message that its settings were asked for.
 */
#include "hd-home-plugin-item-private.h"
#include "hd-home-protocol.h"

#include <cairo.h>
#include <gdk/gdkx.h>

#include <cstring>

namespace {

constexpr const char *kWindowType = "_NET_WM_WINDOW_TYPE";
constexpr const char *kHomeAppletType = "_HILDON_WM_WINDOW_TYPE_HOME_APPLET";
constexpr const char *kAppletId = "_HILDON_APPLET_ID";
constexpr const char *kAllViews = "_HILDON_APPLET_DISPLAY_ON_ALL_VIEWS";

using hd_home_protocol::kOnCurrentDesktop;
using hd_home_protocol::kSettings;
using hd_home_protocol::kShowSettings;
using hd_home_protocol::write_flag;

Atom atom(GdkWindow *window, const char *name) {
    return gdk_x11_get_xatom_by_name_for_display(gdk_drawable_get_display(window), name);
}

void write_identity(HDHomePluginItem *item, GdkWindow *window) {
    GdkAtom type = gdk_atom_intern_static_string(kHomeAppletType);
    gdk_property_change(window, gdk_atom_intern_static_string(kWindowType),
                        gdk_atom_intern_static_string("ATOM"), 32, GDK_PROP_MODE_REPLACE,
                        reinterpret_cast<const guchar *>(&type), 1);
    g_autofree gchar *applet_id = hd_home_plugin_item_get_applet_id(item);
    gdk_property_change(window, gdk_atom_intern_static_string(kAppletId),
                        gdk_atom_intern_static_string("UTF8_STRING"), 8, GDK_PROP_MODE_REPLACE,
                        reinterpret_cast<const guchar *>(applet_id), gint(std::strlen(applet_id)));
}

/* A 1 by 1 pixmap of the window's depth, cleared to transparent. */
void clear_background(GdkWindow *window) {
    GdkPixmap *pixmap = gdk_pixmap_new(window, 1, 1, -1);
    cairo_t *cr = gdk_cairo_create(pixmap);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_destroy(cr);
    gdk_window_set_back_pixmap(window, pixmap, FALSE);
    g_object_unref(pixmap);
}

GdkFilterReturn follow_window_manager(GdkXEvent *native, GdkEvent *, gpointer data) {
    auto *event = static_cast<XEvent *>(native);
    auto *item = HD_HOME_PLUGIN_ITEM(data);
    GdkWindow *window = GTK_WIDGET(item)->window;
    if (window == nullptr)
        return GDK_FILTER_CONTINUE;
    if (event->type == PropertyNotify && event->xproperty.atom == atom(window, kOnCurrentDesktop)) {
        hd_home_plugin_item_current_desktop_changed(item,
                                                    event->xproperty.state == PropertyNewValue);
        return GDK_FILTER_REMOVE;
    }
    if (event->type == ClientMessage &&
        event->xclient.message_type == atom(window, kShowSettings)) {
        hd_home_plugin_item_emit_show_settings(item);
        return GDK_FILTER_REMOVE;
    }
    return GDK_FILTER_CONTINUE;
}

} // namespace

void hd_home_plugin_item_x11_realize(HDHomePluginItem *item) {
    GdkWindow *window = GTK_WIDGET(item)->window;
    gdk_window_set_decorations(window, GdkWMDecoration(0));
    write_identity(item, window);
    hd_home_plugin_item_x11_write_settings(item);
    write_flag(window, kAllViews, hd_home_plugin_item_private(item)->display_on_all_views);
    clear_background(window);
    gdk_window_add_filter(window, follow_window_manager, item);
}

void hd_home_plugin_item_x11_unrealize(HDHomePluginItem *item) {
    GdkWindow *window = GTK_WIDGET(item)->window;
    if (window != nullptr)
        gdk_window_remove_filter(window, follow_window_manager, item);
}

void hd_home_plugin_item_x11_write_settings(HDHomePluginItem *item) {
    GdkWindow *window = GTK_WIDGET(item)->window;
    if (window != nullptr)
        write_flag(window, kSettings, hd_home_plugin_item_private(item)->settings);
}
