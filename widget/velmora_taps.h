/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_taps.h - what a tap (or a key) on the card opens: the current item's
 * page or the region's home page, handed to the device's browser.
 */
#ifndef VELMORA_TAPS_H
#define VELMORA_TAPS_H

#include "velmora_view.h"

/* Opens the current item's page; FALSE when there is no item or no browser. */
gboolean open_current_item(VelmoraView *view);

/* Opens the region's home page from the URL catalogue; FALSE without a browser. */
gboolean open_home_page(VelmoraView *view);

/* "button-release-event" handlers of item_box and feed_title_box, and of
 * logo_box; data is the VelmoraView. */
gboolean on_item_tapped(GtkWidget *box, GdkEventButton *event, gpointer data);
gboolean on_logo_tapped(GtkWidget *box, GdkEventButton *event, gpointer data);

#endif /* VELMORA_TAPS_H */
