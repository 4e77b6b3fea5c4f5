/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hd-home-host-loader.cpp - how the home host loads a widget, as the desktop's
 * default loader does: the .desktop file's Type must name the default loader
 * and its X-Path the library; one plug-in module per library is used while the
 * instance is made with its plug-in id, and released again afterwards.
 */
#include "hd-home-host.h"

namespace hd_home_host {

namespace {

constexpr const char *kDesktopGroup = "Desktop Entry";
constexpr const char *kTypeKey = "Type";
constexpr const char *kPathKey = "X-Path";
constexpr const char *kDefaultLoader = "default";

/* The stripped string under key, or NULL with error set. */
gchar *read_key(GKeyFile *file, const gchar *key, GError **error) {
    gchar *value = g_key_file_get_string(file, kDesktopGroup, key, error);
    return value != nullptr ? g_strstrip(value) : nullptr;
}

/* Only the built-in loader is here: any other Type names a loader module. */
bool has_default_loader(GKeyFile *file, const gchar *desktop_file, GError **error) {
    g_autofree gchar *type = read_key(file, kTypeKey, error);
    if (type == nullptr)
        return false;
    if (g_ascii_strcasecmp(type, kDefaultLoader) == 0)
        return true;
    g_set_error(error, G_KEY_FILE_ERROR, G_KEY_FILE_ERROR_INVALID_VALUE,
                "%s wants the loader \"%s\", which this desktop does not have", desktop_file, type);
    return false;
}

gchar *library_path_of(GKeyFile *file, const gchar *desktop_file, const gchar *module_dir,
                       GError **error) {
    if (!has_default_loader(file, desktop_file, error))
        return nullptr;
    g_autofree gchar *library = read_key(file, kPathKey, error);
    if (library == nullptr)
        return nullptr;
    if (*library == '\0') {
        g_set_error(error, G_KEY_FILE_ERROR, G_KEY_FILE_ERROR_INVALID_VALUE,
                    "%s names no library in %s", desktop_file, kPathKey);
        return nullptr;
    }
    if (g_path_is_absolute(library))
        return g_steal_pointer(&library);
    return g_build_filename(module_dir, library, nullptr);
}

GKeyFile *read_desktop_file(const gchar *desktop_file, GError **error) {
    g_autoptr(GKeyFile) file = g_key_file_new();
    if (!g_key_file_load_from_file(file, desktop_file, G_KEY_FILE_NONE, error))
        return nullptr;
    return g_steal_pointer(&file);
}

} // namespace

HDPluginModule *module_for(const gchar *library_path) {
    static GHashTable *modules = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, nullptr);
    auto *module = static_cast<HDPluginModule *>(g_hash_table_lookup(modules, library_path));
    if (module == nullptr) {
        module = hd_plugin_module_new(library_path);
        g_hash_table_insert(modules, g_strdup(library_path), module);
    }
    return module;
}

gchar *resolve_module_path(const gchar *desktop_file, const gchar *module_dir, GError **error) {
    g_autoptr(GKeyFile) file = read_desktop_file(desktop_file, error);
    return file != nullptr ? library_path_of(file, desktop_file, module_dir, error) : nullptr;
}

const gchar *choose_module_dir(const gchar *from_command_line) {
    if (from_command_line != nullptr && *from_command_line != '\0')
        return from_command_line;
    const gchar *from_env = g_getenv("HD_HOME_PLUGIN_DIR");
    if (from_env != nullptr && *from_env != '\0')
        return from_env;
    return HD_HOME_PLUGIN_DEFAULT_DIR;
}

gchar *plugin_id_for(const gchar *desktop_file) {
    return g_path_get_basename(desktop_file);
}

HDHomePluginItem *create_widget(const gchar *library_path, const gchar *plugin_id,
                                GKeyFile *desktop_keys, GError **error) {
    HDPluginModule *module = module_for(library_path);
    if (!g_type_module_use(G_TYPE_MODULE(module))) {
        g_set_error(error, G_FILE_ERROR, G_FILE_ERROR_FAILED, "cannot load the widget module %s",
                    library_path);
        return nullptr;
    }
    GObject *object = hd_plugin_module_new_object(module, plugin_id);
    if (object != nullptr && !HD_IS_HOME_PLUGIN_ITEM(object)) {
        g_object_unref(object);
        object = nullptr;
    }
    if (object != nullptr && desktop_keys != nullptr)
        hd_plugin_item_load_desktop_file(HD_PLUGIN_ITEM(object), desktop_keys);
    /* The instance's class now holds the module in use. */
    g_type_module_unuse(G_TYPE_MODULE(module));
    if (object == nullptr)
        g_set_error(error, G_FILE_ERROR, G_FILE_ERROR_FAILED,
                    "the module %s announces no home plug-in item type", library_path);
    return object != nullptr ? HD_HOME_PLUGIN_ITEM(object) : nullptr;
}

HDHomePluginItem *load_widget(const gchar *desktop_file, const gchar *plugin_id,
                              const gchar *module_dir, GError **error) {
    g_autoptr(GKeyFile) file = read_desktop_file(desktop_file, error);
    if (file == nullptr)
        return nullptr;
    g_autofree gchar *library = library_path_of(file, desktop_file, module_dir, error);
    if (library == nullptr)
        return nullptr;
    return create_widget(library, plugin_id, file, error);
}

} // namespace hd_home_host
