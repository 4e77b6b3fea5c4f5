/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * test_widget_module.cpp - a home widget module for the platform tests: it
 * registers "PlatformTestWidget", an HDHomePluginItem holding a solid red
 * 120 by 80 box, the way a real widget registers its type. Built a second time
 * without hd_plugin_module_unload to test that such a module is refused.
 */
#include <libhildondesktop/libhildondesktop.h>

namespace {

GType test_widget_type = G_TYPE_INVALID;

void test_widget_init(GTypeInstance *instance, gpointer) {
    GtkWidget *box = gtk_event_box_new();
    GdkColor red = {0, 0xffff, 0, 0};
    gtk_widget_modify_bg(box, GTK_STATE_NORMAL, &red);
    gtk_widget_set_size_request(box, 120, 80);
    gtk_container_add(GTK_CONTAINER(instance), box);
    gtk_widget_show(box);
}

} // namespace

extern "C" G_MODULE_EXPORT void hd_plugin_module_load(HDPluginModule *module) {
    const GTypeInfo info = {
        sizeof(HDHomePluginItemClass), nullptr, nullptr,          nullptr, nullptr, nullptr,
        sizeof(HDHomePluginItem),      0,       test_widget_init, nullptr};
    test_widget_type = g_type_module_register_type(G_TYPE_MODULE(module), HD_TYPE_HOME_PLUGIN_ITEM,
                                                   "PlatformTestWidget", &info, GTypeFlags(0));
    hd_plugin_module_add_type(module, test_widget_type);
}

#ifndef TEST_WIDGET_WITHOUT_UNLOAD
extern "C" G_MODULE_EXPORT void hd_plugin_module_unload(HDPluginModule *) {}
#endif
