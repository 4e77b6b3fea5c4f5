/*
 * hildon-logical-font.cpp - logical fonts: names such as "SmallSystemFont"
 * that stand for a font of the desktop's theme. Each is a GTK rc style whose
 * widget path is the name itself, so the theme may redefine it; this library
 * declares the defaults on first use. hildon_helper_set_logical_font looks the
 * name up and applies the style's font to a widget and its children, again
 * whenever the widget's style changes or a child is added.
 */
#include "hildon/hildon.h"
#include "hildon-private.h"

namespace {

void free_name(gpointer name, GClosure *) {
    g_free(name);
}

/* The desktop's sans family at 13 points, plain and emphasised. */
constexpr const char *kLogicalFontStyles =
    "style \"SmallSystemFont\" { font_name = \"Sans 13\" }\n"
    "widget \"SmallSystemFont\" style \"SmallSystemFont\"\n"
    "style \"EmpSmallSystemFont\" { font_name = \"Sans Bold 13\" }\n"
    "widget \"EmpSmallSystemFont\" style \"EmpSmallSystemFont\"\n";

void apply_font(GtkWidget *widget, const gchar *name);

void apply_font_to_child(GtkWidget *child, gpointer name) {
    apply_font(child, static_cast<const gchar *>(name));
}

void on_child_added(GtkContainer *, GtkWidget *child, gpointer name) {
    apply_font(child, static_cast<const gchar *>(name));
}

/* Sets the font of the logical font's rc style on widget and every widget
 * below it. Containers also pass the font on to children added later. */
void apply_font(GtkWidget *widget, const gchar *name) {
    GtkStyle *style =
        gtk_rc_get_style_by_paths(gtk_widget_get_settings(widget), name, nullptr, G_TYPE_NONE);
    if (style == nullptr || style->font_desc == nullptr)
        return;
    gtk_widget_modify_font(widget, style->font_desc);
    if (!GTK_IS_CONTAINER(widget))
        return;
    /* A container carries one handler per logical font name at most. */
    g_autofree gchar *key = g_strconcat("hildon-logical-font-add:", name, nullptr);
    if (g_object_get_data(G_OBJECT(widget), key) == nullptr) {
        g_signal_connect_data(widget, "add", G_CALLBACK(on_child_added), g_strdup(name), free_name,
                              G_CONNECT_AFTER);
        g_object_set_data(G_OBJECT(widget), key, GINT_TO_POINTER(1));
    }
    gtk_container_foreach(GTK_CONTAINER(widget), apply_font_to_child, const_cast<gchar *>(name));
}

/* A theme change replaces the widget's style; the logical font is looked up
 * again so that it follows the new theme. Modifying the font sets the style
 * again, so the handler keeps itself out meanwhile. */
void on_style_set(GtkWidget *widget, GtkStyle *, gpointer name) {
    g_signal_handlers_block_by_func(widget, (gpointer)on_style_set, name);
    apply_font(widget, static_cast<const gchar *>(name));
    g_signal_handlers_unblock_by_func(widget, (gpointer)on_style_set, name);
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
    gchar *name = g_strdup(logicalfontname);
    apply_font(widget, name);
    return g_signal_connect_data(widget, "style-set", G_CALLBACK(on_style_set), name, free_name,
                                 G_CONNECT_AFTER);
}
