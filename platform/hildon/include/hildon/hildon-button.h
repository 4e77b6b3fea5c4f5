/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hildon-button.h - HildonButton: a button with a title and a value.
 */
#ifndef HILDON_BUTTON_H
#define HILDON_BUTTON_H

#include <hildon/hildon-gtk.h>

G_BEGIN_DECLS

#define HILDON_TYPE_BUTTON (hildon_button_get_type())
#define HILDON_BUTTON(obj) (G_TYPE_CHECK_INSTANCE_CAST((obj), HILDON_TYPE_BUTTON, HildonButton))
#define HILDON_BUTTON_CLASS(klass)                                                                 \
    (G_TYPE_CHECK_CLASS_CAST((klass), HILDON_TYPE_BUTTON, HildonButtonClass))
#define HILDON_IS_BUTTON(obj) (G_TYPE_CHECK_INSTANCE_TYPE((obj), HILDON_TYPE_BUTTON))
#define HILDON_IS_BUTTON_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE((klass), HILDON_TYPE_BUTTON))
#define HILDON_BUTTON_GET_CLASS(obj)                                                               \
    (G_TYPE_INSTANCE_GET_CLASS((obj), HILDON_TYPE_BUTTON, HildonButtonClass))

typedef struct _HildonButton HildonButton;
typedef struct _HildonButtonClass HildonButtonClass;

typedef enum {
    HILDON_BUTTON_ARRANGEMENT_HORIZONTAL = 0,
    HILDON_BUTTON_ARRANGEMENT_VERTICAL = 1
} HildonButtonArrangement;

typedef enum { HILDON_BUTTON_STYLE_NORMAL = 0, HILDON_BUTTON_STYLE_PICKER = 1 } HildonButtonStyle;

/* No public fields: the private data is looked up per use. */
struct _HildonButton {
    GtkButton parent;
};

struct _HildonButtonClass {
    GtkButtonClass parent_class;
};

GType hildon_button_get_type(void);
GtkWidget *hildon_button_new(HildonSizeType size, HildonButtonArrangement arrangement);
void hildon_button_set_title(HildonButton *button, const gchar *title);
const gchar *hildon_button_get_title(HildonButton *button);
void hildon_button_set_value(HildonButton *button, const gchar *value);
const gchar *hildon_button_get_value(HildonButton *button);
void hildon_button_set_alignment(HildonButton *button, gfloat xalign, gfloat yalign, gfloat xscale,
                                 gfloat yscale);

G_END_DECLS

#endif /* HILDON_BUTTON_H */
