/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hd-plugin-module.cpp - HDPluginModule: a GTypeModule that opens a plug-in's
 * shared library when first used, calls its hd_plugin_module_load, records the
 * type it announces (with the library's file name as type qdata), makes
 * instances of it, and on the last release calls hd_plugin_module_unload and
 * closes the library again; a later use loads it afresh.
 */
#include "libhildondesktop/hd-plugin-module.h"
#include "libhildondesktop/hd-plugin-item.h"

struct HDPluginModulePrivate {
    gchar *path;
    GModule *library;
    GType added_type;
};

namespace {

using ModulePrivate = HDPluginModulePrivate;

using ModuleEntry = void (*)(HDPluginModule *module);

enum { PROP_0, PROP_PATH };

} // namespace

G_DEFINE_TYPE_WITH_PRIVATE(HDPluginModule, hd_plugin_module, G_TYPE_TYPE_MODULE)

namespace {

ModulePrivate *private_of(HDPluginModule *module) {
    return static_cast<ModulePrivate *>(hd_plugin_module_get_instance_private(module));
}

/* Both entries, or neither (a warning says which library lacks them). */
bool find_entries(GModule *library, const gchar *path, gpointer *load, gpointer *unload) {
    if (g_module_symbol(library, "hd_plugin_module_load", load) && *load != nullptr &&
        g_module_symbol(library, "hd_plugin_module_unload", unload) && *unload != nullptr)
        return true;
    g_warning("%s lacks hd_plugin_module_load or hd_plugin_module_unload", path);
    return false;
}

gboolean plugin_module_load(GTypeModule *type_module) {
    HDPluginModule *module = HD_PLUGIN_MODULE(type_module);
    ModulePrivate *priv = private_of(module);
    if (priv->path == nullptr) {
        g_warning("plug-in module without a library path");
        return FALSE;
    }
    /* Not made resident: a plug-in that must stay mapped says so itself
     * (g_module_make_resident in its g_module_check_init). */
    GModule *library =
        g_module_open(priv->path, GModuleFlags(G_MODULE_BIND_LAZY | G_MODULE_BIND_LOCAL));
    if (library == nullptr) {
        g_warning("cannot open %s: %s", priv->path, g_module_error());
        return FALSE;
    }
    gpointer load = nullptr;
    gpointer unload = nullptr;
    if (!find_entries(library, priv->path, &load, &unload)) {
        g_module_close(library);
        return FALSE;
    }
    priv->library = library;
    reinterpret_cast<ModuleEntry>(load)(module);
    return TRUE;
}

void plugin_module_unload(GTypeModule *type_module) {
    HDPluginModule *module = HD_PLUGIN_MODULE(type_module);
    ModulePrivate *priv = private_of(module);
    if (priv->library == nullptr)
        return;
    gpointer unload = nullptr;
    if (g_module_symbol(priv->library, "hd_plugin_module_unload", &unload) && unload != nullptr)
        reinterpret_cast<ModuleEntry>(unload)(module);
    g_module_close(priv->library);
    priv->library = nullptr;
    /* The type stays registered with the module; the next load records it again. */
    priv->added_type = G_TYPE_INVALID;
}

void plugin_module_set_property(GObject *object, guint property_id, const GValue *value,
                                GParamSpec *pspec) {
    ModulePrivate *priv = private_of(HD_PLUGIN_MODULE(object));
    switch (property_id) {
    case PROP_PATH:
        g_free(priv->path);
        priv->path = g_value_dup_string(value);
        g_type_module_set_name(G_TYPE_MODULE(object), priv->path);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, property_id, pspec);
    }
}

void plugin_module_get_property(GObject *object, guint property_id, GValue *value,
                                GParamSpec *pspec) {
    switch (property_id) {
    case PROP_PATH:
        g_value_set_string(value, private_of(HD_PLUGIN_MODULE(object))->path);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, property_id, pspec);
    }
}

void plugin_module_finalize(GObject *object) {
    g_free(private_of(HD_PLUGIN_MODULE(object))->path);
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
            "path", "Path", "File name of the plug-in's shared library", nullptr,
            GParamFlags(G_PARAM_READWRITE | G_PARAM_CONSTRUCT_ONLY | G_PARAM_STATIC_STRINGS)));
}

static void hd_plugin_module_init(HDPluginModule *module) {
    private_of(module)->added_type = G_TYPE_INVALID;
}

HDPluginModule *hd_plugin_module_new(const gchar *path) {
    g_return_val_if_fail(path != nullptr, nullptr);
    return HD_PLUGIN_MODULE(g_object_new(HD_TYPE_PLUGIN_MODULE, "path", path, nullptr));
}

void hd_plugin_module_add_type(HDPluginModule *module, GType type) {
    g_return_if_fail(HD_IS_PLUGIN_MODULE(module));
    ModulePrivate *priv = private_of(module);
    if (priv->added_type != G_TYPE_INVALID) {
        g_warning("%s announces a second type %s; keeping %s", priv->path, g_type_name(type),
                  g_type_name(priv->added_type));
        return;
    }
    priv->added_type = type;
    /* A reload records the type again: the earlier copy of the path goes. */
    const GQuark dl_filename = g_quark_from_static_string(HD_PLUGIN_MODULE_DL_FILENAME);
    g_free(g_type_get_qdata(type, dl_filename));
    g_type_set_qdata(type, dl_filename, g_strdup(priv->path));
}

GObject *hd_plugin_module_new_object(HDPluginModule *module, const gchar *plugin_id) {
    g_return_val_if_fail(HD_IS_PLUGIN_MODULE(module), nullptr);
    GType type = private_of(module)->added_type;
    if (type == G_TYPE_INVALID)
        return nullptr;
    if (g_type_is_a(type, HD_TYPE_PLUGIN_ITEM))
        return G_OBJECT(g_object_new(type, "plugin-id", plugin_id, nullptr));
    return G_OBJECT(g_object_new(type, nullptr));
}
