/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hildon-logical-font.cpp - logical fonts: names such as "SmallSystemFont"
 * that stand for a font of the desktop's theme. Each is a GTK rc style whose
 * widget path is the name itself, so a theme may redefine it; this library
 * declares the defaults on first use. hildon_helper_set_logical_font looks the
 * name up and applies the style's font to a widget and everything below it,
 * again when a widget's style changes (a theme switch) and to children added
 * later with gtk_container_add. The last logical font set on a widget wins.
 */
#include "hildon/hildon.h"
#include "hildon-private.h"

namespace {

/* The desktop's sans family at 13 points, plain and emphasised. */
constexpr const char *kLogicalFontStyles =
    "style \"SmallSystemFont\" { font_name = \"Sans 13\" }\n"
    "widget \"SmallSystemFont\" style \"SmallSystemFont\"\n"
    "style \"EmpSmallSystemFont\" { font_name = \"Sans Bold 13\" }\n"
    "widget \"EmpSmallSystemFont\" style \"EmpSmallSystemFont\"\n";

/* Per widget: the logical font name it follows and its "style-set" handler;
 * per container: whether it passes its font on to children it gains. */
constexpr const char *kFontNameKey = "hildon-logical-font-name";
constexpr const char *kStyleHandlerKey = "hildon-logical-font-style-handler";
constexpr const char *kAddHandlerKey = "hildon-logical-font-add-handler";

const gchar *followed_font(GtkWidget *widget) {
    return static_cast<const gchar *>(g_object_get_data(G_OBJECT(widget), kFontNameKey));
}

/* Sets the font of the widget's logical font on the widget alone. Modifying
 * the font sets the style again; once the font is in place nothing is done, so
 * the "style-set" handler comes to rest. */
void refresh_font(GtkWidget *widget) {
    const gchar *name = followed_font(widget);
    if (name == nullptr)
        return;
    GtkStyle *logical =
        gtk_rc_get_style_by_paths(gtk_widget_get_settings(widget), name, nullptr, G_TYPE_NONE);
    if (logical == nullptr || logical->font_desc == nullptr)
        return;
    GtkRcStyle *modifier = gtk_widget_get_modifier_style(widget);
    if (modifier->font_desc != nullptr &&
        pango_font_description_equal(modifier->font_desc, logical->font_desc))
        return;
    gtk_widget_modify_font(widget, logical->font_desc);
}

void on_style_set(GtkWidget *widget, GtkStyle *, gpointer) {
    refresh_font(widget);
}

void follow_font(GtkWidget *widget, const gchar *name);

void follow_font_in_child(GtkWidget *child, gpointer name) {
    follow_font(child, static_cast<const gchar *>(name));
}

void on_child_added(GtkContainer *container, GtkWidget *child, gpointer) {
    const gchar *name = followed_font(GTK_WIDGET(container));
    if (name != nullptr)
        follow_font(child, name);
}

void follow_font(GtkWidget *widget, const gchar *name) {
    GObject *object = G_OBJECT(widget);
    g_object_set_data_full(object, kFontNameKey, g_strdup(name), g_free);
    if (g_object_get_data(object, kStyleHandlerKey) == nullptr) {
        gulong handler =
            g_signal_connect_after(widget, "style-set", G_CALLBACK(on_style_set), nullptr);
        g_object_set_data(object, kStyleHandlerKey, GSIZE_TO_POINTER(handler));
    }
    if (GTK_IS_CONTAINER(widget)) {
        if (g_object_get_data(object, kAddHandlerKey) == nullptr) {
            gulong handler =
                g_signal_connect_after(widget, "add", G_CALLBACK(on_child_added), nullptr);
            g_object_set_data(object, kAddHandlerKey, GSIZE_TO_POINTER(handler));
        }
        gtk_container_forall(GTK_CONTAINER(widget), follow_font_in_child,
                             const_cast<gchar *>(name));
    }
    refresh_font(widget);
}

} // namespace

void hildon_ensure_logical_fonts(void) {
    static gsize declared = 0;
    if (g_once_init_enter(&declared)) {
        gtk_rc_parse_string(kLogicalFontStyles);
        g_once_init_leave(&declared, 1);
    }
}

gulong hildon_helper_set_logical_font(GtkWidget *widget, const gchar *logicalfontname) {
    g_return_val_if_fail(GTK_IS_WIDGET(widget), 0);
    g_return_val_if_fail(logicalfontname != nullptr, 0);
    hildon_ensure_logical_fonts();
    /* A name the theme does not define yet is still followed: a later theme
     * may define it. */
    follow_font(widget, logicalfontname);
    return GPOINTER_TO_SIZE(g_object_get_data(G_OBJECT(widget), kStyleHandlerKey));
}
