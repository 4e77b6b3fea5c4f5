/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_title_fit.h - fitting the card's texts into the text column: the
 * price line, always on one line and whole, and the title line with store and
 * rank, whole where it can be and otherwise cut and ended by "…".
 */
#ifndef VELMORA_TITLE_FIT_H
#define VELMORA_TITLE_FIT_H

#include <gtk/gtk.h>

#include "velmora_datautils.h"

/* Size of markup laid out in a label's font, wrapped to a width as the card's
 * labels wrap (at words, and between characters in a word longer than a line). */
struct TextExtent {
    int width;
    int height;
    int lines;
};
TextExtent measure_markup(GtkWidget *label, const gchar *markup, int width);

/* The text with a word joiner after every hyphen that joins two parts of a
 * word ("E-Reader", "2-Pack"), so that no line breaks inside the word. */
gchar *join_hyphenated_words(const gchar *text);

/* The price line's markup for caption and price, on one line of width pixels:
 * in the label's font, else in a smaller one, else the price alone in the
 * smaller font. The price itself is never cut. */
gchar *fitted_price_line(GtkWidget *label, const gchar *caption, const gchar *price, int width);

/* The title line's markup (store, rank and title; rank and title without a
 * store) for a block of width by max_height pixels: whole in the label's font,
 * else whole in a smaller one, else cut at a character and ended by "…". */
gchar *fitted_title_line(GtkWidget *label, const VelmoraItemData *item, int width, int max_height);

#endif /* VELMORA_TITLE_FIT_H */
