/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hd-plugin-module.h - HDPluginModule, a GTypeModule that opens a widget's
 * shared library and calls its hd_plugin_module_load / hd_plugin_module_unload.
 */
#ifndef HD_PLUGIN_MODULE_H
#define HD_PLUGIN_MODULE_H

#include <glib-object.h>

G_BEGIN_DECLS

#define HD_TYPE_PLUGIN_MODULE (hd_plugin_module_get_type())
#define HD_PLUGIN_MODULE(obj)                                                                      \
    (G_TYPE_CHECK_INSTANCE_CAST((obj), HD_TYPE_PLUGIN_MODULE, HDPluginModule))
#define HD_IS_PLUGIN_MODULE(obj) (G_TYPE_CHECK_INSTANCE_TYPE((obj), HD_TYPE_PLUGIN_MODULE))

typedef struct _HDPluginModule HDPluginModule;
typedef struct _HDPluginModuleClass HDPluginModuleClass;
typedef struct _HDPluginModulePrivate HDPluginModulePrivate;

struct _HDPluginModule {
    GTypeModule parent;
    HDPluginModulePrivate *priv;
};

struct _HDPluginModuleClass {
    GTypeModuleClass parent_class;
};

GType hd_plugin_module_get_type(void);

/* A module for the shared library at path; nothing is opened until it is used. */
HDPluginModule *hd_plugin_module_new(const gchar *path);

/* Called by a widget from its hd_plugin_module_load: announces its type. */
void hd_plugin_module_add_type(HDPluginModule *module, GType type);

/* The type that the module announced (G_TYPE_INVALID when none). */
GType hd_plugin_module_get_added_type(HDPluginModule *module);

G_END_DECLS

#endif /* HD_PLUGIN_MODULE_H */
