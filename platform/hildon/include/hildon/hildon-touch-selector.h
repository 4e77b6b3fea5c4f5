/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hildon-touch-selector.h - HildonTouchSelector: rows in columns, one row
 * selected per column, and its text-column shorthand.
 */
#ifndef HILDON_TOUCH_SELECTOR_H
#define HILDON_TOUCH_SELECTOR_H

#include <hildon/hildon-gtk.h>

G_BEGIN_DECLS

#define HILDON_TYPE_TOUCH_SELECTOR (hildon_touch_selector_get_type())
#define HILDON_TOUCH_SELECTOR(obj)                                                                 \
    (G_TYPE_CHECK_INSTANCE_CAST((obj), HILDON_TYPE_TOUCH_SELECTOR, HildonTouchSelector))
#define HILDON_TOUCH_SELECTOR_CLASS(klass)                                                         \
    (G_TYPE_CHECK_CLASS_CAST((klass), HILDON_TYPE_TOUCH_SELECTOR, HildonTouchSelectorClass))
#define HILDON_IS_TOUCH_SELECTOR(obj)                                                              \
    (G_TYPE_CHECK_INSTANCE_TYPE((obj), HILDON_TYPE_TOUCH_SELECTOR))
#define HILDON_IS_TOUCH_SELECTOR_CLASS(klass)                                                      \
    (G_TYPE_CHECK_CLASS_TYPE((klass), HILDON_TYPE_TOUCH_SELECTOR))
#define HILDON_TOUCH_SELECTOR_GET_CLASS(obj)                                                       \
    (G_TYPE_INSTANCE_GET_CLASS((obj), HILDON_TYPE_TOUCH_SELECTOR, HildonTouchSelectorClass))

typedef struct _HildonTouchSelector HildonTouchSelector;
typedef struct _HildonTouchSelectorClass HildonTouchSelectorClass;
typedef struct _HildonTouchSelectorPrivate HildonTouchSelectorPrivate;

typedef enum {
    HILDON_TOUCH_SELECTOR_SELECTION_MODE_SINGLE = 0,
    HILDON_TOUCH_SELECTOR_SELECTION_MODE_MULTIPLE = 1
} HildonTouchSelectorSelectionMode;

struct _HildonTouchSelector {
    GtkVBox parent_instance;
    /* The library's private data, set when the instance is made. */
    HildonTouchSelectorPrivate *priv;
};

struct _HildonTouchSelectorClass {
    GtkVBoxClass parent_class;
    /* Class closure of "changed". */
    void (*changed)(HildonTouchSelector *selector, gint column);
    void (*set_model)(HildonTouchSelector *selector, gint column, GtkTreeModel *model);
    gboolean (*has_multiple_selection)(HildonTouchSelector *selector);
};

GType hildon_touch_selector_get_type(void);
/* A selector with one centred text column. */
GtkWidget *hildon_touch_selector_new_text(void);
void hildon_touch_selector_append_text(HildonTouchSelector *selector, const gchar *text);
/* index -1 selects no row. */
void hildon_touch_selector_set_active(HildonTouchSelector *selector, gint column, gint index);
gint hildon_touch_selector_get_active(HildonTouchSelector *selector, gint column);
/* A new string with the selected rows' texts, NULL when no row is selected. */
gchar *hildon_touch_selector_get_current_text(HildonTouchSelector *selector);

G_END_DECLS

#endif /* HILDON_TOUCH_SELECTOR_H */
