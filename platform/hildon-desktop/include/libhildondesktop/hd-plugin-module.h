/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hd-plugin-module.h - HDPluginModule, a GTypeModule that opens a plug-in's
 * shared library and calls its hd_plugin_module_load / hd_plugin_module_unload,
 * and the macros with which a plug-in defines its type and those two entries.
 */
#ifndef HD_PLUGIN_MODULE_H
#define HD_PLUGIN_MODULE_H

#include <glib-object.h>
#include <gmodule.h>

G_BEGIN_DECLS

#define HD_TYPE_PLUGIN_MODULE (hd_plugin_module_get_type())
#define HD_PLUGIN_MODULE(obj)                                                                      \
    (G_TYPE_CHECK_INSTANCE_CAST((obj), HD_TYPE_PLUGIN_MODULE, HDPluginModule))
#define HD_PLUGIN_MODULE_CLASS(klass)                                                              \
    (G_TYPE_CHECK_CLASS_CAST((klass), HD_TYPE_PLUGIN_MODULE, HDPluginModuleClass))
#define HD_IS_PLUGIN_MODULE(obj) (G_TYPE_CHECK_INSTANCE_TYPE((obj), HD_TYPE_PLUGIN_MODULE))
#define HD_IS_PLUGIN_MODULE_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE((klass), HD_TYPE_PLUGIN_MODULE))
#define HD_PLUGIN_MODULE_GET_CLASS(obj)                                                            \
    (G_TYPE_INSTANCE_GET_CLASS((obj), HD_TYPE_PLUGIN_MODULE, HDPluginModuleClass))

/* Type qdata holding the file name of the module a type came from. */
#define HD_PLUGIN_MODULE_DL_FILENAME "hd-plugin-module-dl-filename"

typedef struct _HDPluginModule HDPluginModule;
typedef struct _HDPluginModuleClass HDPluginModuleClass;

struct _HDPluginModule {
    GTypeModule parent;
};

struct _HDPluginModuleClass {
    GTypeModuleClass parent_class;
};

GType hd_plugin_module_get_type(void);

/* A module for the shared library at path; nothing is opened until it is used. */
HDPluginModule *hd_plugin_module_new(const gchar *path);

/* Called by a plug-in from its hd_plugin_module_load: records its type. */
void hd_plugin_module_add_type(HDPluginModule *module, GType type);

/* While the module is in use: a new instance of the recorded type, given
 * "plugin-id" when the type is an HDPluginItem; NULL when none is recorded. */
GObject *hd_plugin_module_new_object(HDPluginModule *module, const gchar *plugin_id);

#ifdef __cplusplus
#define HD_PLUGIN_MODULE_ENTRY extern "C" G_MODULE_EXPORT
#else
#define HD_PLUGIN_MODULE_ENTRY G_MODULE_EXPORT
#endif

/* The two entries alone: load registers the type (t_n_register_type, as
 * G_DEFINE_DYNAMIC_TYPE makes it), records it and runs CODE_LOAD; unload runs
 * CODE_UNLOAD (the type stays registered with the module, reused on reload). */
#define HD_PLUGIN_MODULE_SYMBOLS_CODE(t_n, CODE_LOAD, CODE_UNLOAD)                                 \
    HD_PLUGIN_MODULE_ENTRY void hd_plugin_module_load(HDPluginModule *plugin);                     \
    HD_PLUGIN_MODULE_ENTRY void hd_plugin_module_load(HDPluginModule *plugin) {                    \
        t_n##_register_type(G_TYPE_MODULE(plugin));                                                \
        hd_plugin_module_add_type(plugin, t_n##_get_type());                                       \
        { CODE_LOAD }                                                                              \
    }                                                                                              \
    HD_PLUGIN_MODULE_ENTRY void hd_plugin_module_unload(HDPluginModule *plugin);                   \
    HD_PLUGIN_MODULE_ENTRY void hd_plugin_module_unload(HDPluginModule *plugin) {                  \
        (void)plugin;                                                                              \
        { CODE_UNLOAD }                                                                            \
    }
#define HD_PLUGIN_MODULE_SYMBOLS(t_n) HD_PLUGIN_MODULE_SYMBOLS_CODE(t_n, {}, {})

/* A dynamic type TN (t_n_get_type, parent T_P) with CODE run at registration
 * (type_module and g_define_type_id in scope), and the module's two entries. The
 * author writes t_n_init, t_n_class_init and t_n_class_finalize. */
#define HD_DEFINE_PLUGIN_MODULE_EXTENDED(TN, t_n, T_P, CODE, CODE_LOAD, CODE_UNLOAD)               \
    G_DEFINE_DYNAMIC_TYPE_EXTENDED(TN, t_n, T_P, 0, CODE)                                          \
    HD_PLUGIN_MODULE_SYMBOLS_CODE(t_n, CODE_LOAD, CODE_UNLOAD)
#define HD_DEFINE_PLUGIN_MODULE(TN, t_n, T_P)                                                      \
    HD_DEFINE_PLUGIN_MODULE_EXTENDED(TN, t_n, T_P, {}, {}, {})
#define HD_DEFINE_PLUGIN_MODULE_WITH_PRIVATE(TN, t_n, T_P)                                         \
    HD_DEFINE_PLUGIN_MODULE_EXTENDED(TN, t_n, T_P, G_ADD_PRIVATE_DYNAMIC(TN), {}, {})

/* For CODE: the type also implements the interface TYPE_IFACE. */
#define HD_DYNAMIC_IMPLEMENT_INTERFACE(TYPE_IFACE, iface_init)                                     \
    {                                                                                              \
        const GInterfaceInfo hd_implement_interface_info = {                                       \
            (GInterfaceInitFunc)(void (*)(void))(iface_init), NULL, NULL};                         \
        g_type_module_add_interface(type_module, g_define_type_id, TYPE_IFACE,                     \
                                    &hd_implement_interface_info);                                 \
    }

G_END_DECLS

#endif /* HD_PLUGIN_MODULE_H */
