/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hd-plugin-item.cpp - HDPluginItem: the interface that carries the
 * construct-only "plugin-id" property and the hook that reads a plug-in's own
 * .desktop keys.
 */
#include "libhildondesktop/hd-plugin-item.h"

/* The interface struct keeps the name the platform's headers give it. */
typedef HDPluginItemIface HDPluginItemInterface;
G_DEFINE_INTERFACE(HDPluginItem, hd_plugin_item, G_TYPE_OBJECT)

static void hd_plugin_item_default_init(HDPluginItemIface *iface) {
    g_object_interface_install_property(
        iface,
        g_param_spec_string(
            "plugin-id", "Plug-in id", "The id the desktop knows this instance of the plug-in by",
            nullptr,
            GParamFlags(G_PARAM_READWRITE | G_PARAM_CONSTRUCT_ONLY | G_PARAM_STATIC_STRINGS)));
}

gchar *hd_plugin_item_get_plugin_id(HDPluginItem *item) {
    g_return_val_if_fail(HD_IS_PLUGIN_ITEM(item), nullptr);
    gchar *plugin_id = nullptr;
    g_object_get(item, "plugin-id", &plugin_id, nullptr);
    return plugin_id;
}

void hd_plugin_item_load_desktop_file(HDPluginItem *item, GKeyFile *key_file) {
    g_return_if_fail(HD_IS_PLUGIN_ITEM(item));
    HDPluginItemIface *iface = HD_PLUGIN_ITEM_GET_IFACE(item);
    if (iface->load_desktop_file != nullptr)
        iface->load_desktop_file(item, key_file);
}
