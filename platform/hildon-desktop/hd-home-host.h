/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hd-home-host.h - the home host's steps, shared by the hd-home-host program
 * and its tests: finding a widget's library from its .desktop file, loading the
 * module and creating the widget, presenting it as a desktop gadget, following
 * the window manager's view of it, the settings menu, and screenshots.
 */
#ifndef HD_HOME_HOST_H
#define HD_HOME_HOST_H

#include <libhildondesktop/libhildondesktop.h>

namespace hd_home_host {

/* The widget's library named by X-Path in the [Desktop Entry] group of
 * desktop_file: relative names are taken inside module_dir. NULL with error set
 * when the file cannot be read or names no library. Free with g_free. */
gchar *resolve_module_path(const gchar *desktop_file, const gchar *module_dir, GError **error);

/* The module directory: the one given on the command line, else
 * $HD_HOME_PLUGIN_DIR, else the installed default. */
const gchar *choose_module_dir(const gchar *from_command_line);

/* Opens the library as a plug-in module, keeps the module in use for the life of
 * the process and creates an instance of the widget type it announced. NULL with
 * error set when the library fails to load or announces no home plug-in type. */
HDHomePluginItem *create_widget(const gchar *library_path, GError **error);

/* Shows the widget as a desktop gadget at (x, y): undecorated, translucent where
 * the screen allows, below other windows, on every workspace. Follows map,
 * unmap and iconify to keep "is-on-current-desktop" and offers the settings
 * entry on a right click. */
void present_as_gadget(HDHomePluginItem *item, gint x, gint y);

/* What the settings entry does: emits "show-settings" when the widget asked
 * for a settings entry. Returns whether it was emitted. */
gboolean activate_settings(HDHomePluginItem *item);

/* Recomputes "is-on-current-desktop" from the window's mapped and iconified
 * state (new_state: the window state just reported by the window manager). */
void update_on_current_desktop(HDHomePluginItem *item, GdkWindowState new_state);

/* Writes a PNG of the widget's window to path. */
gboolean write_screenshot(GtkWidget *window, const gchar *path, GError **error);

} // namespace hd_home_host

#endif /* HD_HOME_HOST_H */
