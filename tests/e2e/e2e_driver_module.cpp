// SPDX-License-Identifier: LGPL-2.1-or-later
// e2e_driver_module.cpp - a GTK module that the end-to-end test loads into the
// home host (GTK_MODULES) to see and drive the widget the way a user does. It owns
// "com.velmora.test.Driver" on the session bus, object "/driver", interface
// "com.velmora.test.Driver":
//   Describe() -> (b message_shown, s message, s feed_title, s item_title)
//       what the card shows now
//   OpenSettings() -> (b opened)
//       what the window manager's settings button does: sends the widget's window
//       the _HILDON_APPLET_SHOW_SETTINGS client message; answers once the dialog is up
//   ChooseAndSave(s site_text, s feed_text) -> (b saved)
//       picks the rows with these texts in the open settings dialog's two pickers
//       and clicks its "Save" button
//   Screenshot(s path) -> (b written)
//       a PNG of the widget's window as the X server has it
// Everything runs on the host's main loop.
#include <gio/gio.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <vector>

#include "velmora_widget.h"

namespace {

constexpr const char *kIntrospection =
    "<node><interface name='com.velmora.test.Driver'>"
    "<method name='Describe'><arg type='b' direction='out'/><arg type='s' direction='out'/>"
    "<arg type='s' direction='out'/><arg type='s' direction='out'/></method>"
    "<method name='OpenSettings'><arg type='b' direction='out'/></method>"
    "<method name='ChooseAndSave'><arg type='s' direction='in'/><arg type='s' direction='in'/>"
    "<arg type='b' direction='out'/></method>"
    "<method name='Screenshot'><arg type='s' direction='in'/><arg type='b' direction='out'/>"
    "</method>"
    "</interface></node>";

GDBusNodeInfo *node_info = nullptr;

// The first toplevel that satisfies pred, or null.
template <typename Pred> GtkWidget *find_toplevel(Pred pred) {
    GtkWidget *found = nullptr;
    GList *toplevels = gtk_window_list_toplevels();
    for (GList *l = toplevels; l != nullptr && found == nullptr; l = l->next) {
        if (pred(GTK_WIDGET(l->data)))
            found = GTK_WIDGET(l->data);
    }
    g_list_free(toplevels);
    return found;
}

VelmoraPlugin *find_widget() {
    return reinterpret_cast<VelmoraPlugin *>(find_toplevel(
        [](GtkWidget *w) { return g_strcmp0(G_OBJECT_TYPE_NAME(w), "VelmoraPlugin") == 0; }));
}

GtkDialog *find_settings_dialog() {
    return reinterpret_cast<GtkDialog *>(find_toplevel([](GtkWidget *w) {
        return GTK_IS_DIALOG(w) && gtk_widget_get_visible(w) &&
               g_strcmp0(gtk_window_get_title(GTK_WINDOW(w)), "Velmora settings") == 0;
    }));
}

const gchar *label_text(GtkWidget *label) {
    return label != nullptr && GTK_IS_LABEL(label) ? gtk_label_get_text(GTK_LABEL(label)) : "";
}

GVariant *describe() {
    VelmoraPlugin *plugin = find_widget();
    if (plugin == nullptr || plugin->view == nullptr)
        return g_variant_new("(bsss)", TRUE, "", "", "");
    VelmoraView *view = plugin->view;
    if (view->message_shown)
        return g_variant_new("(bsss)", TRUE, label_text(view->message_label), "", "");
    return g_variant_new("(bsss)", FALSE, "", label_text(view->feed_title_label),
                         label_text(view->title_label));
}

// Makes the row whose text is text active; FALSE when no row has it.
gboolean choose_row(HildonTouchSelector *selector, const gchar *text) {
    for (gint row = 0; row < 64; ++row) {
        hildon_touch_selector_set_active(selector, 0, row);
        gchar *current = hildon_touch_selector_get_current_text(selector);
        const gboolean match = g_strcmp0(current, text) == 0;
        const gboolean past_end = current == nullptr;
        g_free(current);
        if (match)
            return TRUE;
        if (past_end)
            return FALSE;
    }
    return FALSE;
}

gboolean choose_and_save(const gchar *site, const gchar *feed) {
    GtkDialog *dialog = find_settings_dialog();
    if (dialog == nullptr)
        return FALSE;
    std::vector<HildonTouchSelector *> selectors;
    GList *children = gtk_container_get_children(GTK_CONTAINER(dialog->vbox));
    for (GList *l = children; l != nullptr; l = l->next) {
        if (HILDON_IS_PICKER_BUTTON(l->data))
            selectors.push_back(hildon_picker_button_get_selector(HILDON_PICKER_BUTTON(l->data)));
    }
    g_list_free(children);
    if (selectors.size() != 2 || !choose_row(selectors[0], site) || !choose_row(selectors[1], feed))
        return FALSE;

    GtkWidget *save = nullptr;
    GList *buttons = gtk_container_get_children(GTK_CONTAINER(dialog->action_area));
    for (GList *l = buttons; l != nullptr; l = l->next) {
        if (GTK_IS_BUTTON(l->data) &&
            g_strcmp0(gtk_button_get_label(GTK_BUTTON(l->data)), "Save") == 0)
            save = GTK_WIDGET(l->data);
    }
    g_list_free(buttons);
    if (save == nullptr)
        return FALSE;
    gtk_button_clicked(GTK_BUTTON(save));
    return TRUE;
}

gboolean screenshot(const gchar *path) {
    GtkWidget *widget = reinterpret_cast<GtkWidget *>(find_widget());
    if (widget == nullptr || widget->window == nullptr || !gtk_widget_get_mapped(widget))
        return FALSE;
    gdk_display_sync(gtk_widget_get_display(widget));
    gint width = 0;
    gint height = 0;
    gdk_drawable_get_size(widget->window, &width, &height);
    GdkPixbuf *shot = gdk_pixbuf_get_from_drawable(
        nullptr, widget->window, gtk_widget_get_colormap(widget), 0, 0, 0, 0, width, height);
    if (shot == nullptr)
        return FALSE;
    const gboolean written = gdk_pixbuf_save(shot, path, "png", nullptr, nullptr);
    g_object_unref(shot);
    return written;
}

// The window manager's settings button: a _HILDON_APPLET_SHOW_SETTINGS client
// message to the widget's window; true once the dialog it opens is up (2 s at most).
bool ask_for_settings() {
    VelmoraPlugin *plugin = find_widget();
    GtkWidget *widget = plugin != nullptr ? GTK_WIDGET(plugin) : nullptr;
    if (widget == nullptr || widget->window == nullptr)
        return false;
    GdkEventClient message = {};
    message.type = GDK_CLIENT_EVENT;
    message.window = widget->window;
    message.send_event = TRUE;
    message.message_type = gdk_atom_intern_static_string("_HILDON_APPLET_SHOW_SETTINGS");
    message.data_format = 32;
    if (!gdk_event_send_client_message(reinterpret_cast<GdkEvent *>(&message),
                                       GDK_WINDOW_XID(widget->window)))
        return false;
    const gint64 deadline = g_get_monotonic_time() + 2 * G_USEC_PER_SEC;
    while (find_settings_dialog() == nullptr && g_get_monotonic_time() < deadline) {
        if (!g_main_context_iteration(nullptr, FALSE))
            g_usleep(10000);
    }
    return find_settings_dialog() != nullptr;
}

void on_method_call(GDBusConnection *, const gchar *, const gchar *, const gchar *,
                    const gchar *method, GVariant *parameters, GDBusMethodInvocation *invocation,
                    gpointer) {
    if (g_strcmp0(method, "Describe") == 0) {
        g_dbus_method_invocation_return_value(invocation, describe());
    } else if (g_strcmp0(method, "OpenSettings") == 0) {
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", ask_for_settings()));
    } else if (g_strcmp0(method, "ChooseAndSave") == 0) {
        const gchar *site = nullptr;
        const gchar *feed = nullptr;
        g_variant_get(parameters, "(&s&s)", &site, &feed);
        g_dbus_method_invocation_return_value(invocation,
                                              g_variant_new("(b)", choose_and_save(site, feed)));
    } else if (g_strcmp0(method, "Screenshot") == 0) {
        const gchar *path = nullptr;
        g_variant_get(parameters, "(&s)", &path);
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", screenshot(path)));
    }
}

void on_bus_acquired(GDBusConnection *connection, const gchar *, gpointer) {
    static const GDBusInterfaceVTable vtable = {on_method_call, nullptr, nullptr, {}};
    g_dbus_connection_register_object(connection, "/driver", node_info->interfaces[0], &vtable,
                                      nullptr, nullptr, nullptr);
}

} // namespace

extern "C" G_MODULE_EXPORT void gtk_module_init(gint *, gchar ***) {
    node_info = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
    g_bus_own_name(G_BUS_TYPE_SESSION, "com.velmora.test.Driver", G_BUS_NAME_OWNER_FLAGS_NONE,
                   on_bus_acquired, nullptr, nullptr, nullptr, nullptr);
}
