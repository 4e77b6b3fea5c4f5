/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_settings_dialog.h - the "Velmora settings" dialog with its Site and
 * Feed pickers.
 */
#ifndef VELMORA_SETTINGS_DIALOG_H
#define VELMORA_SETTINGS_DIALOG_H

#include <gtk/gtk.h>

#include "velmora_widget.h"

G_BEGIN_DECLS

/* Response id of the dialog's "Save" button. */
#define VELMORA_RESPONSE_SAVE 1

GtkWidget *create_settings_dialog(VelmoraPlugin *plugin);

G_END_DECLS

#endif /* VELMORA_SETTINGS_DIALOG_H */
