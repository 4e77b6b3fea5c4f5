/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hd-home-plugin-item-private.h - what the home plug-in item's GObject side and
 * its X side (the window manager protocol) share inside libhildondesktop-1.
 */
#ifndef HD_HOME_PLUGIN_ITEM_PRIVATE_H
#define HD_HOME_PLUGIN_ITEM_PRIVATE_H

#include "libhildondesktop/hd-home-plugin-item.h"

struct _HDHomePluginItemPrivate {
    gchar *plugin_id;
    gboolean settings;
    gboolean is_on_current_desktop;
    gboolean display_on_all_views;
};

HDHomePluginItemPrivate *hd_home_plugin_item_private(HDHomePluginItem *item);

/* Called by the X side: the window manager set or deleted
 * _HILDON_APPLET_ON_CURRENT_DESKTOP (notifies on change), or asked for settings. */
void hd_home_plugin_item_current_desktop_changed(HDHomePluginItem *item, gboolean on);
void hd_home_plugin_item_emit_show_settings(HDHomePluginItem *item);

/* The X side: after GtkWindow's realize, writes the item's properties, clears
 * the background to transparent and starts following the window manager. */
void hd_home_plugin_item_x11_realize(HDHomePluginItem *item);
/* Before GtkWindow's unrealize: stops following the window manager. */
void hd_home_plugin_item_x11_unrealize(HDHomePluginItem *item);
/* Writes _HILDON_APPLET_SETTINGS (or deletes it) on a realized item. */
void hd_home_plugin_item_x11_write_settings(HDHomePluginItem *item);

#endif /* HD_HOME_PLUGIN_ITEM_PRIVATE_H */
