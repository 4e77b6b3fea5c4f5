/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hd-home-host.h - the home host's steps, shared by the hd-home-host program
 * and its tests: loading a widget from its .desktop file the way the desktop's
 * loader does, presenting it as a desktop gadget, and speaking the window
 * manager's side of the home item protocol (X properties and client messages
 * on the item's window), plus screenshots.
 */
#ifndef HD_HOME_HOST_H
#define HD_HOME_HOST_H

#include <libhildondesktop/libhildondesktop.h>

namespace hd_home_host {

/* The widget's library named by X-Path in the [Desktop Entry] group of
 * desktop_file: relative names are taken inside module_dir. NULL with error set
 * when the file cannot be read, names no library or asks for another loader
 * than the default one (Type). Free with g_free. */
gchar *resolve_module_path(const gchar *desktop_file, const gchar *module_dir, GError **error);

/* The module directory: the one given on the command line, else
 * $HD_HOME_PLUGIN_DIR, else the installed default. */
const gchar *choose_module_dir(const gchar *from_command_line);

/* The plug-in id the desktop gives a widget loaded from desktop_file alone: the
 * file's base name. Free with g_free. */
gchar *plugin_id_for(const gchar *desktop_file);

/* The plug-in module of library_path: one per library for the life of the process
 * (a GTypeModule that registered types is never freed; it reloads on demand). */
HDPluginModule *module_for(const gchar *library_path);

/* Uses the plug-in module of library_path (one per library, kept for the life of
 * the process), makes an instance of its type with plugin_id, lets it read
 * desktop_keys (may be NULL) and releases the module again: the instance's class
 * keeps it loaded. NULL with error set when the library fails to load or
 * announces no home plug-in item type. */
HDHomePluginItem *create_widget(const gchar *library_path, const gchar *plugin_id,
                                GKeyFile *desktop_keys, GError **error);

/* resolve_module_path and create_widget for a .desktop file. */
HDHomePluginItem *load_widget(const gchar *desktop_file, const gchar *plugin_id,
                              const gchar *module_dir, GError **error);

/* Shows the widget as a desktop gadget at (x, y): translucent where the screen
 * allows, below other windows, on every workspace. As the window manager, sets
 * _HILDON_APPLET_ON_CURRENT_DESKTOP while the window is mapped and not iconified
 * and offers the settings entry on a right click when the item asks for it. */
void present_as_gadget(HDHomePluginItem *item, gint x, gint y);

/* The window manager's side of the protocol, on the item's (realized) window:
 * sets or deletes _HILDON_APPLET_ON_CURRENT_DESKTOP; whether the item wrote
 * _HILDON_APPLET_SETTINGS; sends it the _HILDON_APPLET_SHOW_SETTINGS client
 * message when it did (returns whether it was sent). */
void set_on_current_desktop(GtkWidget *item_window, gboolean on);
gboolean offers_settings(GtkWidget *item_window);
gboolean request_settings(GtkWidget *item_window);

/* Writes a PNG of the widget's window to path. */
gboolean write_screenshot(GtkWidget *window, const gchar *path, GError **error);

} // namespace hd_home_host

#endif /* HD_HOME_HOST_H */
