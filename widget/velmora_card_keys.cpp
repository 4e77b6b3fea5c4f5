/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_card_keys.cpp - the card's keyboard path. The logo, the item and the
 * two arrows take focus in that order (Tab, Shift+Tab); Up and Down step the
 * carousel wherever the focus is; Return, Enter or Space activate the focused
 * part (the item when nothing else is focused): the logo opens the home page,
 * the item its page, an arrow steps. The focused part is drawn with a ring
 * once the keyboard has been used, and each part's action is offered to
 * assistive technology as well.
 */
#include "velmora_view_internal.h"

#include <gdk/gdkkeysyms.h>
#include <initializer_list>
#include <libintl.h>

#include "velmora_card_part.h"
#include "velmora_taps.h"

namespace {

/* The focus ring: the logo band's orange, inside the part's edge. */
constexpr double kRingWidth = 2.0;
constexpr double kRingRed = 0xe4 / 255.0, kRingGreen = 0x79 / 255.0, kRingBlue = 0x11 / 255.0;

/* Set by a key, cleared by a pointer press: the ring shows only while the
 * card is worked with the keyboard. */
constexpr const char *kKeyboardUsedKey = "velmora-keyboard-used";

bool keyboard_used(VelmoraView *view) {
    return g_object_get_data(G_OBJECT(view->widget), kKeyboardUsedKey) != nullptr;
}

void set_keyboard_used(VelmoraView *view, bool used) {
    if (keyboard_used(view) == used)
        return;
    g_object_set_data(G_OBJECT(view->widget), kKeyboardUsedKey, used ? view : nullptr);
    if (view->fixed)
        gtk_widget_queue_draw(view->fixed);
}

GtkWidget *focused_part(VelmoraView *view) {
    GtkWidget *toplevel = gtk_widget_get_toplevel(view->widget);
    return GTK_IS_WINDOW(toplevel) ? gtk_window_get_focus(GTK_WINDOW(toplevel)) : nullptr;
}

void activate_logo(GtkWidget *, gpointer data) {
    open_home_page(static_cast<VelmoraView *>(data));
}

void activate_item(GtkWidget *, gpointer data) {
    open_current_item(static_cast<VelmoraView *>(data));
}

void activate_previous(GtkWidget *, gpointer data) {
    step_items(static_cast<VelmoraView *>(data), -1);
}

void activate_next(GtkWidget *, gpointer data) {
    step_items(static_cast<VelmoraView *>(data), 1);
}

/* "expose-event" (after the part's own drawing) of a focusable part. */
gboolean draw_focus_ring(GtkWidget *part, GdkEventExpose *event, gpointer data) {
    auto *view = static_cast<VelmoraView *>(data);
    if (!keyboard_used(view) || focused_part(view) != part)
        return FALSE;
    /* A part without a window of its own draws in its parent's. */
    const bool own_window = gtk_widget_get_has_window(part);
    const double x = own_window ? 0 : part->allocation.x;
    const double y = own_window ? 0 : part->allocation.y;
    cairo_t *cr = gdk_cairo_create(event->window);
    gdk_cairo_region(cr, event->region);
    cairo_clip(cr);
    cairo_set_source_rgb(cr, kRingRed, kRingGreen, kRingBlue);
    cairo_set_line_width(cr, kRingWidth);
    cairo_rectangle(cr, x + kRingWidth / 2, y + kRingWidth / 2, part->allocation.width - kRingWidth,
                    part->allocation.height - kRingWidth);
    cairo_stroke(cr);
    cairo_destroy(cr);
    return FALSE;
}

void make_focusable(VelmoraView *view, GtkWidget *part, VelmoraPartActivate activate,
                    const gchar *description) {
    if (!part)
        return;
    GTK_WIDGET_SET_FLAGS(part, GTK_CAN_FOCUS);
    velmora_card_part_set_action(part, activate, view, description);
    g_signal_connect_after(part, "expose-event", G_CALLBACK(draw_focus_ring), view);
}

bool is_activation_key(guint keyval) {
    return keyval == GDK_Return || keyval == GDK_KP_Enter || keyval == GDK_ISO_Enter ||
           keyval == GDK_space || keyval == GDK_KP_Space;
}

/* "key-press-event" of the card, before the window's own handling (which
 * moves the focus on Tab). */
gboolean on_card_key(GtkWidget *, GdkEventKey *event, gpointer data) {
    auto *view = static_cast<VelmoraView *>(data);
    set_keyboard_used(view, true);
    if (event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK))
        return FALSE;
    switch (event->keyval) {
    case GDK_Up:
    case GDK_KP_Up:
        step_items(view, -1);
        return TRUE;
    case GDK_Down:
    case GDK_KP_Down:
        step_items(view, 1);
        return TRUE;
    default:
        break;
    }
    if (!is_activation_key(event->keyval))
        return FALSE;
    GtkWidget *part = focused_part(view);
    if (!velmora_card_part_activate(part) && !view->message_shown)
        open_current_item(view);
    return TRUE;
}

gboolean on_card_pointer_press(GtkWidget *, GdkEventButton *, gpointer data) {
    set_keyboard_used(static_cast<VelmoraView *>(data), false);
    return FALSE;
}

} // namespace

void listen_to_card_keys(VelmoraView *view) {
    gtk_widget_add_events(view->widget, GDK_KEY_PRESS_MASK | GDK_BUTTON_PRESS_MASK);
    g_signal_connect(view->widget, "key-press-event", G_CALLBACK(on_card_key), view);
    g_signal_connect(view->widget, "button-press-event", G_CALLBACK(on_card_pointer_press), view);
}

void forget_card_keys(VelmoraView *view) {
    g_signal_handlers_disconnect_by_data(view->widget, view);
}

void connect_card_keys(VelmoraView *view) {
    make_focusable(view, view->logo_box, activate_logo,
                   dgettext("velmora", "Opens the store's home page"));
    make_focusable(view, view->item_box, activate_item,
                   dgettext("velmora", "Opens the item in the browser"));
    make_focusable(view, view->up_button, activate_previous,
                   dgettext("velmora", "Shows the previous item"));
    make_focusable(view, view->down_button, activate_next,
                   dgettext("velmora", "Shows the next item"));
    GList *chain = nullptr;
    for (GtkWidget *part : {view->logo_box, view->item_box, view->up_button, view->down_button})
        if (part)
            chain = g_list_append(chain, part);
    gtk_container_set_focus_chain(GTK_CONTAINER(view->fixed), chain);
    g_list_free(chain);
}
