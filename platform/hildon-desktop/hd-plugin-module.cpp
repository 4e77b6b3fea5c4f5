/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hd-plugin-module.cpp - HDPluginModule: a GTypeModule that opens a home
 * widget's shared library, calls its hd_plugin_module_load when the module is
 * first used and hd_plugin_module_unload when it is last released, and records
 * the widget type the library announces.
 */
#include "libhildondesktop/hd-plugin-module.h"

#include <gmodule.h>

struct _HDPluginModulePrivate {
    gchar *path;
    GModule *library;
    GType added_type;
};

using ModuleEntry = void (*)(HDPluginModule *module);

G_DEFINE_TYPE_WITH_PRIVATE(HDPluginModule, hd_plugin_module, G_TYPE_TYPE_MODULE)

namespace {

enum { PROP_0, PROP_PATH };

gboolean plugin_module_load(GTypeModule *type_module) {
    HDPluginModule *module = HD_PLUGIN_MODULE(type_module);
    HDPluginModulePrivate *priv = module->priv;
    if (priv->path == nullptr) {
        g_warning("hd-plugin-module: no library path given");
        return FALSE;
    }
    GModule *library =
        g_module_open(priv->path, GModuleFlags(G_MODULE_BIND_LAZY | G_MODULE_BIND_LOCAL));
    if (library == nullptr) {
        g_warning("hd-plugin-module: cannot open %s: %s", priv->path, g_module_error());
        return FALSE;
    }
    gpointer load_symbol = nullptr;
    gpointer unload_symbol = nullptr;
    if (!g_module_symbol(library, "hd_plugin_module_load", &load_symbol) ||
        load_symbol == nullptr ||
        !g_module_symbol(library, "hd_plugin_module_unload", &unload_symbol) ||
        unload_symbol == nullptr) {
        g_warning("hd-plugin-module: %s lacks hd_plugin_module_load or hd_plugin_module_unload",
                  priv->path);
        g_module_close(library);
        return FALSE;
    }
    /* Classes, signal closures and instances of the widget type point into the
     * library; GTK+ cannot guarantee that all of them are gone when the type
     * module is released, so the code stays mapped for the life of the process. */
    g_module_make_resident(library);
    priv->library = library;
    reinterpret_cast<ModuleEntry>(load_symbol)(module);
    return TRUE;
}

void plugin_module_unload(GTypeModule *type_module) {
    HDPluginModule *module = HD_PLUGIN_MODULE(type_module);
    HDPluginModulePrivate *priv = module->priv;
    if (priv->library == nullptr)
        return;
    gpointer unload_symbol = nullptr;
    if (g_module_symbol(priv->library, "hd_plugin_module_unload", &unload_symbol) &&
        unload_symbol != nullptr)
        reinterpret_cast<ModuleEntry>(unload_symbol)(module);
    g_module_close(priv->library);
    priv->library = nullptr;
}

void plugin_module_set_property(GObject *object, guint property_id, const GValue *value,
                                GParamSpec *pspec) {
    HDPluginModule *module = HD_PLUGIN_MODULE(object);
    switch (property_id) {
    case PROP_PATH:
        g_free(module->priv->path);
        module->priv->path = g_value_dup_string(value);
        g_type_module_set_name(G_TYPE_MODULE(module), module->priv->path);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, property_id, pspec);
    }
}

void plugin_module_get_property(GObject *object, guint property_id, GValue *value,
                                GParamSpec *pspec) {
    HDPluginModule *module = HD_PLUGIN_MODULE(object);
    switch (property_id) {
    case PROP_PATH:
        g_value_set_string(value, module->priv->path);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, property_id, pspec);
    }
}

void plugin_module_finalize(GObject *object) {
    HDPluginModule *module = HD_PLUGIN_MODULE(object);
    g_free(module->priv->path);
    G_OBJECT_CLASS(hd_plugin_module_parent_class)->finalize(object);
}

} // namespace

static void hd_plugin_module_class_init(HDPluginModuleClass *klass) {
    GObjectClass *object_class = G_OBJECT_CLASS(klass);
    GTypeModuleClass *type_module_class = G_TYPE_MODULE_CLASS(klass);
    object_class->set_property = plugin_module_set_property;
    object_class->get_property = plugin_module_get_property;
    object_class->finalize = plugin_module_finalize;
    type_module_class->load = plugin_module_load;
    type_module_class->unload = plugin_module_unload;
    g_object_class_install_property(
        object_class, PROP_PATH,
        g_param_spec_string(
            "path", "Path", "File name of the widget's shared library", nullptr,
            GParamFlags(G_PARAM_READWRITE | G_PARAM_CONSTRUCT_ONLY | G_PARAM_STATIC_STRINGS)));
}

static void hd_plugin_module_init(HDPluginModule *module) {
    module->priv =
        static_cast<HDPluginModulePrivate *>(hd_plugin_module_get_instance_private(module));
    module->priv->added_type = G_TYPE_INVALID;
}

HDPluginModule *hd_plugin_module_new(const gchar *path) {
    g_return_val_if_fail(path != nullptr, nullptr);
    return HD_PLUGIN_MODULE(g_object_new(HD_TYPE_PLUGIN_MODULE, "path", path, nullptr));
}

void hd_plugin_module_add_type(HDPluginModule *module, GType type) {
    g_return_if_fail(HD_IS_PLUGIN_MODULE(module));
    if (module->priv->added_type != G_TYPE_INVALID && module->priv->added_type != type)
        g_warning("hd-plugin-module: %s announces a second widget type %s; keeping %s",
                  module->priv->path, g_type_name(type), g_type_name(module->priv->added_type));
    else
        module->priv->added_type = type;
}

GType hd_plugin_module_get_added_type(HDPluginModule *module) {
    g_return_val_if_fail(HD_IS_PLUGIN_MODULE(module), G_TYPE_INVALID);
    return module->priv->added_type;
}
