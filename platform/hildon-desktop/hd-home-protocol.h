/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hd-home-protocol.h - what both sides of the home window manager protocol share:
 * the home item (hd-home-plugin-item-x11.cpp) and the host that plays the window
 * manager for it (hd-home-host-gadget.cpp). Not installed.
 */
#ifndef HD_HOME_PROTOCOL_H
#define HD_HOME_PROTOCOL_H

#include <gdk/gdk.h>

namespace hd_home_protocol {

/* Set by the window manager while the item is on the view shown. */
constexpr const char *kOnCurrentDesktop = "_HILDON_APPLET_ON_CURRENT_DESKTOP";
/* Set by the item while it offers settings. */
constexpr const char *kSettings = "_HILDON_APPLET_SETTINGS";
/* The client message by which the window manager asks the item for its settings. */
constexpr const char *kShowSettings = "_HILDON_APPLET_SHOW_SETTINGS";

/* A CARDINAL 1 under name, or no property when on is FALSE. */
static inline void write_flag(GdkWindow *window, const char *name, gboolean on) {
    if (on) {
        /* Format 32 data is an array of longs at the GDK (Xlib) interface. */
        const long one = 1;
        gdk_property_change(window, gdk_atom_intern_static_string(name),
                            gdk_atom_intern_static_string("CARDINAL"), 32, GDK_PROP_MODE_REPLACE,
                            reinterpret_cast<const guchar *>(&one), 1);
    } else {
        gdk_property_delete(window, gdk_atom_intern_static_string(name));
    }
}

} // namespace hd_home_protocol

#endif /* HD_HOME_PROTOCOL_H */
