/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_widget.h - VelmoraPlugin, the home widget's GObject class, and the
 * module entry points the home desktop calls.
 */
#ifndef VELMORA_WIDGET_H
#define VELMORA_WIDGET_H

#include <dbus/dbus-glib.h>
#include <libhildondesktop/libhildondesktop.h>
#include <hildon/hildon.h>
#include <libosso.h>

#include "velmora_datautils.h"
#include "velmora_settings.h"
#include "velmora_view.h"

G_BEGIN_DECLS

#define VELMORA_TYPE_PLUGIN (velmora_plugin_get_type())
#define VELMORA_PLUGIN(obj) (G_TYPE_CHECK_INSTANCE_CAST((obj), VELMORA_TYPE_PLUGIN, VelmoraPlugin))
#define VELMORA_IS_PLUGIN(obj) (G_TYPE_CHECK_INSTANCE_TYPE((obj), VELMORA_TYPE_PLUGIN))

typedef struct {
    HDHomePluginItem parent;
    DBusGProxy *proxy;
    VelmoraView *view;
    HildonTouchSelector *region_selector;
    HildonTouchSelector *category_selector;
    VelmoraSettings *settings;
    osso_context_t *osso_context;
    gboolean is_on_current_desktop;
    gboolean device_inactive;
    VelmoraDataUtils *data_utils;
} VelmoraPlugin;

typedef struct {
    HDHomePluginItemClass parent_class;
} VelmoraPluginClass;

GType velmora_plugin_get_type(void);

void hd_plugin_module_load(HDPluginModule *module);
void hd_plugin_module_unload(HDPluginModule *module);

G_END_DECLS

#endif /* VELMORA_WIDGET_H */
