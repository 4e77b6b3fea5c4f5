/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hildon-private.h - helpers shared inside libhildon-1.
 */
#ifndef HILDON_PRIVATE_H
#define HILDON_PRIVATE_H

#include "hildon/hildon.h"

/* Applies a button size class (finger or thumb height, half or full screen
 * width) as the widget's size request. */
void hildon_apply_size_type(GtkWidget *widget, HildonSizeType size);

/* The label that shows the button's value. */
GtkWidget *hildon_button_value_label(HildonButton *button);

/* Puts the button's title beside its value (horizontal) or above it (vertical). */
void hildon_button_arrange(HildonButton *button, HildonButtonArrangement arrangement);

#endif /* HILDON_PRIVATE_H */
