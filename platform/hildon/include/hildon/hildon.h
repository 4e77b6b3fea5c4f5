/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hildon.h - the parts of the handheld widget library that home widgets use:
 * touch selectors, buttons, picker buttons and logical fonts.
 */
#ifndef HILDON_H
#define HILDON_H

#include <gtk/gtk.h>

G_BEGIN_DECLS

typedef enum {
    HILDON_SIZE_AUTO_WIDTH = 0 << 0,
    HILDON_SIZE_HALFSCREEN_WIDTH = 1 << 0,
    HILDON_SIZE_FULLSCREEN_WIDTH = 2 << 0,
    HILDON_SIZE_AUTO_HEIGHT = 0 << 2,
    HILDON_SIZE_FINGER_HEIGHT = 1 << 2,
    HILDON_SIZE_THUMB_HEIGHT = 2 << 2,
    HILDON_SIZE_AUTO = (HILDON_SIZE_AUTO_WIDTH | HILDON_SIZE_AUTO_HEIGHT)
} HildonSizeType;

typedef enum {
    HILDON_BUTTON_ARRANGEMENT_HORIZONTAL,
    HILDON_BUTTON_ARRANGEMENT_VERTICAL
} HildonButtonArrangement;

/* ---- HildonTouchSelector: a list of rows in columns, one row active per column ---- */
#define HILDON_TYPE_TOUCH_SELECTOR (hildon_touch_selector_get_type())
#define HILDON_TOUCH_SELECTOR(obj)                                                                 \
    (G_TYPE_CHECK_INSTANCE_CAST((obj), HILDON_TYPE_TOUCH_SELECTOR, HildonTouchSelector))
#define HILDON_IS_TOUCH_SELECTOR(obj)                                                              \
    (G_TYPE_CHECK_INSTANCE_TYPE((obj), HILDON_TYPE_TOUCH_SELECTOR))

typedef struct _HildonTouchSelector HildonTouchSelector;
typedef struct _HildonTouchSelectorClass HildonTouchSelectorClass;
typedef struct _HildonTouchSelectorPrivate HildonTouchSelectorPrivate;
struct _HildonTouchSelector {
    GtkVBox parent;
    HildonTouchSelectorPrivate *priv;
};
struct _HildonTouchSelectorClass {
    GtkVBoxClass parent_class;
    void (*changed)(HildonTouchSelector *selector, gint column);
};

GType hildon_touch_selector_get_type(void);
/* A selector with one text column. */
GtkWidget *hildon_touch_selector_new_text(void);
void hildon_touch_selector_append_text(HildonTouchSelector *selector, const gchar *text);
/* index -1 makes no row active. */
void hildon_touch_selector_set_active(HildonTouchSelector *selector, gint column, gint index);
gint hildon_touch_selector_get_active(HildonTouchSelector *selector, gint column);
/* A new string with the active row's text, NULL when no row is active. */
gchar *hildon_touch_selector_get_current_text(HildonTouchSelector *selector);

/* ---- HildonButton: a button with a title and a value ---- */
#define HILDON_TYPE_BUTTON (hildon_button_get_type())
#define HILDON_BUTTON(obj) (G_TYPE_CHECK_INSTANCE_CAST((obj), HILDON_TYPE_BUTTON, HildonButton))
#define HILDON_IS_BUTTON(obj) (G_TYPE_CHECK_INSTANCE_TYPE((obj), HILDON_TYPE_BUTTON))

typedef struct _HildonButton HildonButton;
typedef struct _HildonButtonClass HildonButtonClass;
typedef struct _HildonButtonPrivate HildonButtonPrivate;
struct _HildonButton {
    GtkButton parent;
    HildonButtonPrivate *priv;
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

/* ---- HildonPickerButton: a button that opens a touch selector ---- */
#define HILDON_TYPE_PICKER_BUTTON (hildon_picker_button_get_type())
#define HILDON_PICKER_BUTTON(obj)                                                                  \
    (G_TYPE_CHECK_INSTANCE_CAST((obj), HILDON_TYPE_PICKER_BUTTON, HildonPickerButton))
#define HILDON_IS_PICKER_BUTTON(obj) (G_TYPE_CHECK_INSTANCE_TYPE((obj), HILDON_TYPE_PICKER_BUTTON))

typedef struct _HildonPickerButton HildonPickerButton;
typedef struct _HildonPickerButtonClass HildonPickerButtonClass;
struct _HildonPickerButton {
    HildonButton parent;
};
struct _HildonPickerButtonClass {
    HildonButtonClass parent_class;
};

GType hildon_picker_button_get_type(void);
GtkWidget *hildon_picker_button_new(HildonSizeType size, HildonButtonArrangement arrangement);
void hildon_picker_button_set_selector(HildonPickerButton *button, HildonTouchSelector *selector);
HildonTouchSelector *hildon_picker_button_get_selector(HildonPickerButton *button);

/* ---- Logical fonts ---- */
/* Applies the font of the GTK rc style named logicalfontname ("SmallSystemFont",
 * "EmpSmallSystemFont", ...) to widget and its children. */
gulong hildon_helper_set_logical_font(GtkWidget *widget, const gchar *logicalfontname);

G_END_DECLS

#endif /* HILDON_H */
