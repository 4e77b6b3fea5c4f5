/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hildon-gtk.h - the size classes of the platform's widgets and the user
 * interface modes, as a GTK+ without the platform's own patches lacks them.
 */
#ifndef HILDON_GTK_H
#define HILDON_GTK_H

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

typedef enum { HILDON_UI_MODE_NORMAL = 0, HILDON_UI_MODE_EDIT = 1 } HildonUIMode;

G_END_DECLS

#endif /* HILDON_GTK_H */
