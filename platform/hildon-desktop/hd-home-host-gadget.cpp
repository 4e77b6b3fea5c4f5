/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hd-home-host-gadget.cpp - how the home host shows a widget and plays the
 * window manager for it: the window is a translucent gadget below the others;
 * the item learns whether it is on the view shown from
 * _HILDON_APPLET_ON_CURRENT_DESKTOP and gets a _HILDON_APPLET_SHOW_SETTINGS
 * client message when the user picks "Settings", offered only while the item's
 * window carries _HILDON_APPLET_SETTINGS.
 */
#include "hd-home-host.h"
#include "hd-home-protocol.h"

#include <gdk/gdkx.h>

namespace hd_home_host {

namespace {

/* The host's own texts; hd-home-host binds it at start. */
constexpr const char *kTextDomain = "hd-home-host";

using hd_home_protocol::kSettings;
using hd_home_protocol::kShowSettings;

/* Shown means mapped and neither iconified nor withdrawn. */
void follow_state(GtkWidget *widget, GdkWindowState state) {
    gboolean shown = gtk_widget_get_mapped(widget) &&
                     (state & (GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_WITHDRAWN)) == 0;
    set_on_current_desktop(widget, shown);
}

gboolean on_map_event(GtkWidget *widget, GdkEvent *, gpointer) {
    follow_state(widget, widget->window != nullptr ? gdk_window_get_state(widget->window)
                                                   : GdkWindowState(0));
    return FALSE;
}

gboolean on_unmap_event(GtkWidget *widget, GdkEvent *, gpointer) {
    set_on_current_desktop(widget, FALSE);
    return FALSE;
}

gboolean on_window_state_event(GtkWidget *widget, GdkEventWindowState *event, gpointer) {
    follow_state(widget, event->new_window_state);
    return FALSE;
}

void on_settings_activate(GtkMenuItem *, gpointer item) {
    request_settings(GTK_WIDGET(item));
}

/* A menu whose popup never took hold (no pointer grab) is replaced. */
void drop_earlier_menus(GtkWidget *widget) {
    GList *earlier = g_list_copy(gtk_menu_get_for_attach_widget(widget));
    for (GList *menu = earlier; menu != nullptr; menu = menu->next)
        gtk_widget_destroy(GTK_WIDGET(menu->data));
    g_list_free(earlier);
}

/* A right click on the widget offers its settings, when it asked for them. */
gboolean on_button_press(GtkWidget *widget, GdkEventButton *event, gpointer) {
    if (event->type != GDK_BUTTON_PRESS || event->button != 3 || !offers_settings(widget))
        return FALSE;
    drop_earlier_menus(widget);
    GtkWidget *menu = gtk_menu_new();
    GtkWidget *entry = gtk_menu_item_new_with_label(g_dgettext(kTextDomain, "Settings"));
    g_signal_connect_object(entry, "activate", G_CALLBACK(on_settings_activate), widget,
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

void set_on_current_desktop(GtkWidget *item_window, gboolean on) {
    GdkWindow *window = item_window->window;
    g_return_if_fail(window != nullptr);
    hd_home_protocol::write_flag(window, hd_home_protocol::kOnCurrentDesktop, on);
}

gboolean offers_settings(GtkWidget *item_window) {
    GdkWindow *window = item_window->window;
    if (window == nullptr)
        return FALSE;
    GdkAtom type = GDK_NONE;
    gint format = 0;
    gint length = 0;
    guchar *data = nullptr;
    gboolean found = gdk_property_get(window, gdk_atom_intern_static_string(kSettings),
                                      gdk_atom_intern_static_string("CARDINAL"), 0, 1, FALSE, &type,
                                      &format, &length, &data);
    gboolean offered = found && format == 32 && data != nullptr && length >= gint(sizeof(long)) &&
                       *reinterpret_cast<long *>(data) != 0;
    g_free(data);
    return offered;
}

gboolean request_settings(GtkWidget *item_window) {
    if (!offers_settings(item_window))
        return FALSE;
    GdkEventClient message = {};
    message.type = GDK_CLIENT_EVENT;
    message.window = item_window->window;
    message.send_event = TRUE;
    message.message_type = gdk_atom_intern_static_string(kShowSettings);
    message.data_format = 32;
    return gdk_event_send_client_message(reinterpret_cast<GdkEvent *>(&message),
                                         GDK_WINDOW_XID(item_window->window));
}

void present_as_gadget(HDHomePluginItem *item, gint x, gint y) {
    GtkWindow *window = GTK_WINDOW(item);
    GtkWidget *widget = GTK_WIDGET(item);
    if (!gtk_widget_get_realized(widget)) {
        GdkColormap *rgba = gdk_screen_get_rgba_colormap(gtk_widget_get_screen(widget));
        if (rgba != nullptr)
            gtk_widget_set_colormap(widget, rgba);
    }
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

gboolean write_screenshot(GtkWidget *window, const gchar *path, GError **error) {
    if (window->window == nullptr || !gtk_widget_get_mapped(window)) {
        g_set_error(error, G_FILE_ERROR, G_FILE_ERROR_FAILED, "the widget window is not shown");
        return FALSE;
    }
    gint width = 0;
    gint height = 0;
    gdk_drawable_get_size(window->window, &width, &height);
    g_autoptr(GdkPixbuf) shot = gdk_pixbuf_get_from_drawable(
        nullptr, window->window, gtk_widget_get_colormap(window), 0, 0, 0, 0, width, height);
    if (shot == nullptr) {
        g_set_error(error, G_FILE_ERROR, G_FILE_ERROR_FAILED, "cannot read the widget window");
        return FALSE;
    }
    return gdk_pixbuf_save(shot, path, "png", error, nullptr);
}

} // namespace hd_home_host
