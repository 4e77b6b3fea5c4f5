/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_view_internal.h - what the item view and the carousel share inside
 * the widget library: the arrow buttons' pressed flag, the side of the item
 * picture, the carousel tick and the arrow step handlers, and the carousel's
 * window of decoded pictures.
 */
#ifndef VELMORA_VIEW_INTERNAL_H
#define VELMORA_VIEW_INTERNAL_H

#include "velmora_view.h"

/* Side of the square in which an item's picture is shown. */
constexpr int kItemPictureSize = 100;

/* TRUE while an arrow button is held down; one flag serves both buttons. */
extern gboolean button_pressed;

/* The carousel's 5000 ms tick: shows the next item, wrapping after the last.
 * data is the VelmoraView. Always keeps the source. */
gboolean carousel_tick(gpointer data);

/* "button-release-event" and "leave-notify-event" handlers of the arrow
 * buttons; data is the VelmoraView. */
gboolean up_step_handler(GtkWidget *button, GdkEvent *event, gpointer data);
gboolean down_step_handler(GtkWidget *button, GdkEvent *event, gpointer data);

/* Gives the stored records around the shown one (current_index) their decoded
 * pictures and takes them from the others; called before an item is shown. */
void carousel_fill_window(void);

#endif /* VELMORA_VIEW_INTERNAL_H */
