/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_view_internal.h - what the item view, the carousel, the taps and the
 * card's keyboard path share inside the widget library: the arrow buttons'
 * pressed state, the side of the item picture, the carousel tick and steps, and
 * the carousel's window of decoded pictures.
 */
#ifndef VELMORA_VIEW_INTERNAL_H
#define VELMORA_VIEW_INTERNAL_H

#include "velmora_view.h"

/* Side of the square in which an item's picture is shown. */
constexpr int kItemPictureSize = 100;

/* TRUE while an arrow button is held down (pressed_arrow is that button). */
extern gboolean button_pressed;
extern GtkWidget *pressed_arrow;

/* Draws the arrow pressed; an arrow drawn pressed before is restored. */
void press_arrow(GtkWidget *button);
/* Restores the pressed arrow's normal look, if one is drawn pressed. */
void release_arrow(void);

/* The carousel's 5000 ms tick: shows the next item, wrapping after the last.
 * data is the VelmoraView. Always keeps the source. */
gboolean carousel_tick(gpointer data);

/* Steps the carousel by step items (wrapping), shows the item and restarts
 * the timer; does nothing without items. */
void step_items(VelmoraView *view, int step);

/* "button-release-event" and "leave-notify-event" handlers of the arrow
 * buttons; data is the VelmoraView. */
gboolean up_step_handler(GtkWidget *button, GdkEvent *event, gpointer data);
gboolean down_step_handler(GtkWidget *button, GdkEvent *event, gpointer data);

/* Gives the stored records around the shown one (current_index) their decoded
 * pictures and takes them from the others; called before an item is shown. */
void carousel_fill_window(void);

/* The stored record shown now (at current_index), or null when there is none. */
VelmoraItemData *carousel_current_item(void);

/* Puts the feed title (or nothing, while a message is shown) back into the
 * feed title row. */
void show_feed_title(VelmoraView *view);

/* The card's keyboard path: makes the logo, the item and the arrows of the
 * layout just built focusable in that order and offers their actions to
 * assistive technology. */
void connect_card_keys(VelmoraView *view);

/* Connects and disconnects the card's key handling on the view's widget. */
void listen_to_card_keys(VelmoraView *view);
void forget_card_keys(VelmoraView *view);

#endif /* VELMORA_VIEW_INTERNAL_H */
