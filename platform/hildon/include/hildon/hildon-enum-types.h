/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hildon-enum-types.h - the GTypes of the library's enums and flags, for the
 * properties that carry them.
 */
#ifndef HILDON_ENUM_TYPES_H
#define HILDON_ENUM_TYPES_H

#include <glib-object.h>

G_BEGIN_DECLS

GType hildon_size_type_get_type(void);
#define HILDON_TYPE_SIZE_TYPE (hildon_size_type_get_type())
GType hildon_ui_mode_get_type(void);
#define HILDON_TYPE_UI_MODE (hildon_ui_mode_get_type())
GType hildon_button_arrangement_get_type(void);
#define HILDON_TYPE_BUTTON_ARRANGEMENT (hildon_button_arrangement_get_type())
GType hildon_button_style_get_type(void);
#define HILDON_TYPE_BUTTON_STYLE (hildon_button_style_get_type())

G_END_DECLS

#endif /* HILDON_ENUM_TYPES_H */
