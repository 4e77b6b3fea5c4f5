/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_card_part.h - the card's named parts (logo, item, arrows): event
 * boxes whose accessible objects offer one action to assistive technology.
 */
#ifndef VELMORA_CARD_PART_H
#define VELMORA_CARD_PART_H

#include <gtk/gtk.h>

/* What a part does when it is activated (by a key or through its action). */
typedef void (*VelmoraPartActivate)(GtkWidget *part, gpointer data);

/* A new event box that is a card part. */
GtkWidget *velmora_card_part_new(void);

/* Sets what activating the part does, and the description of its action. */
void velmora_card_part_set_action(GtkWidget *part, VelmoraPartActivate activate, gpointer data,
                                  const gchar *description);

/* Runs the part's action; FALSE when it has none (or is not a card part). */
gboolean velmora_card_part_activate(GtkWidget *part);

/* Registers the parts' types in the widget's type module, from its load
 * function. Without a module (the widget linked into a program) they are
 * registered statically at their first use. */
void velmora_card_part_register_types(GTypeModule *module);

#endif /* VELMORA_CARD_PART_H */
