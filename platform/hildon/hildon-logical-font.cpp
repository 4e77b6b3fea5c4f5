/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hildon-logical-font.cpp - logical fonts: names such as "SmallSystemFont"
 * that stand for a font of the desktop's theme. Each is a GTK rc style whose
 * widget path is the name itself; the theme's gtkrc defines them, this library
 * none. hildon_helper_set_logical_font looks the name up and applies the
 * style's font to a widget and its current descendants, and again whenever the
 * widget's style is set (a theme switch). The last logical font set on a widget
 * wins.
 */
#include "hildon/hildon.h"
#include "hildon-private.h"

namespace {

/* Per widget: the logical font name it follows and its "style-set" handler. */
constexpr const char *kFontNameKey = "hildon-logical-font-name";
constexpr const char *kStyleHandlerKey = "hildon-logical-font-style-handler";

/* The theme's font for name, or NULL when the theme does not define it. */
const PangoFontDescription *theme_font(GtkWidget *widget, const gchar *name) {
    GtkStyle *logical =
        gtk_rc_get_style_by_paths(gtk_widget_get_settings(widget), name, nullptr, G_TYPE_NONE);
    return logical != nullptr ? logical->font_desc : nullptr;
}

struct AppliedFont {
    const gchar *name;
    PangoFontDescription *font;
};

/* Modifying the font sets the style again; once the font is in place nothing is
 * done, so the "style-set" handler comes to rest. A descendant that follows a
 * logical font of its own follows this one from now on: the last set wins. */
void apply_font(GtkWidget *widget, gpointer data) {
    auto *applied = static_cast<AppliedFont *>(data);
    GObject *object = G_OBJECT(widget);
    const auto *own = static_cast<const gchar *>(g_object_get_data(object, kFontNameKey));
    if (own != nullptr && own != applied->name && g_strcmp0(own, applied->name) != 0)
        g_object_set_data_full(object, kFontNameKey, g_strdup(applied->name), g_free);
    GtkRcStyle *modifier = gtk_widget_get_modifier_style(widget);
    if (modifier->font_desc == nullptr ||
        !pango_font_description_equal(modifier->font_desc, applied->font))
        gtk_widget_modify_font(widget, applied->font);
    if (GTK_IS_CONTAINER(widget))
        gtk_container_forall(GTK_CONTAINER(widget), apply_font, applied);
}

void refresh_font(GtkWidget *widget) {
    const auto *name =
        static_cast<const gchar *>(g_object_get_data(G_OBJECT(widget), kFontNameKey));
    const PangoFontDescription *font = name != nullptr ? theme_font(widget, name) : nullptr;
    if (font == nullptr)
        return;
    /* The theme's description, copied: modifying a style may replace the theme's. */
    AppliedFont applied{name, pango_font_description_copy(font)};
    apply_font(widget, &applied);
    pango_font_description_free(applied.font);
}

void on_style_set(GtkWidget *widget, GtkStyle *, gpointer) {
    refresh_font(widget);
}

} // namespace

gulong hildon_helper_set_logical_font(GtkWidget *widget, const gchar *logicalfontname) {
    g_return_val_if_fail(GTK_IS_WIDGET(widget), 0);
    g_return_val_if_fail(logicalfontname != nullptr, 0);
    GObject *object = G_OBJECT(widget);
    /* A name the theme does not define yet is still followed: a later theme may. */
    g_object_set_data_full(object, kFontNameKey, g_strdup(logicalfontname), g_free);
    auto handler = gulong(GPOINTER_TO_SIZE(g_object_get_data(object, kStyleHandlerKey)));
    if (handler == 0) {
        handler = g_signal_connect_after(widget, "style-set", G_CALLBACK(on_style_set), nullptr);
        g_object_set_data(object, kStyleHandlerKey, GSIZE_TO_POINTER(handler));
    }
    refresh_font(widget);
    return handler;
}
