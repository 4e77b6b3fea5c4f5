/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hildon-helper.h - logical fonts: fonts named by role, defined by the theme.
 */
#ifndef HILDON_HELPER_H
#define HILDON_HELPER_H

#include <gtk/gtk.h>

G_BEGIN_DECLS

/* Applies the font of the theme's rc style at widget path logicalfontname
 * ("SmallSystemFont", "EmpSmallSystemFont", ...), if the theme defines one, to
 * widget and its current descendants, and again whenever the widget's style is
 * set. Returns the id of that "style-set" handler. */
gulong hildon_helper_set_logical_font(GtkWidget *widget, const gchar *logicalfontname);

G_END_DECLS

#endif /* HILDON_HELPER_H */
