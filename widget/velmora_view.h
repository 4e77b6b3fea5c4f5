/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_view.h - the widget's card (item and message layouts) and the
 * carousel that steps through the stored items.
 */
#ifndef VELMORA_VIEW_H
#define VELMORA_VIEW_H

#include <gtk/gtk.h>
#include <libosso.h>

#include "feedserviceutils.h"
#include "velmora_datautils.h"
#include "velmora_settings.h"

G_BEGIN_DECLS

typedef struct {
    GtkWidget *widget;
    GtkWidget *fixed;
    GtkWidget *item_image;
    GtkWidget *text_column;
    GtkWidget *background;
    GtkWidget *logo_image;
    GtkWidget *logo_box;
    GtkWidget *feed_title_box;
    GtkWidget *item_box;
    GtkWidget *up_button;
    GtkWidget *down_button;
    GtkWidget *feed_title_label;
    GtkWidget *title_label;
    GtkWidget *price_label;
    guint timer_id;
    gchar *our_price_text;
    gboolean message_shown;
    GtkWidget *message_label;
    QueryLoader *url_catalogue;
    /* The arrow buttons' backgrounds (up, up pressed, down, down pressed),
     * each read from disk at its first drawing and kept for the view's life. */
    cairo_surface_t *button_pictures[4];
    /* The text catalogue, read again only when the region setting has
     * changed since text_region, the region it was last read for. */
    QueryLoader *text_catalogue;
    gchar *text_region;
    /* Shown for an item without a picture or whose picture does not decode. */
    GdkPixbuf *placeholder_picture;
    /* The feed title row shows a notice (no browser could be started) until
     * this timeout puts the feed title back; 0 when none is shown. */
    guint notice_timer_id;
} VelmoraView;

/* Carousel state, one copy per loaded module. */
extern VelmoraItemDataArray *stored_data;
extern int current_index;
extern int item_count;

/* The widget's libosso context, used by launch_browser. */
extern osso_context_t *osso_context;

/* Item view */
VelmoraView *initialize_view(GtkWidget *widget);
void create_item_view(VelmoraView *view, VelmoraSettings *settings);
void create_message_view(VelmoraView *view, VelmoraSettings *settings, const gchar *key);
void set_logo(VelmoraView *view, VelmoraSettings *settings);
void set_feed_title_and_our_price_string(VelmoraView *view, VelmoraSettings *settings);
void show_current_item(VelmoraView *view);
void de_initialize_view(VelmoraView *view);
gint launch_browser(const gchar *address);
gboolean event_inside_widget(GtkWidget *widget, GdkEventButton *event);

/* Carousel */
void restart_scrolling(VelmoraView *view);
void pause_scrolling(VelmoraView *view);
void remove_timeout(VelmoraView *view);
void clear_stored_data(void);
void update_view(VelmoraView *view, VelmoraSettings *settings, VelmoraItemDataArray *items,
                 gboolean restart);

G_END_DECLS

#endif /* VELMORA_VIEW_H */
