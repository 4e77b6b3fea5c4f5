/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * test_widget_module.cpp - a home widget module for the platform tests, written
 * the documented way with HD_DEFINE_PLUGIN_MODULE: "PlatformTestWidget", an
 * HDHomePluginItem holding a solid red 120 by 80 box. Built a second time with
 * only hd_plugin_module_load, to test that such a module is refused.
 */
#include <libhildondesktop/libhildondesktop.h>

typedef struct {
    HDHomePluginItem parent;
} PlatformTestWidget;

typedef struct {
    HDHomePluginItemClass parent;
} PlatformTestWidgetClass;

#ifndef TEST_WIDGET_WITHOUT_UNLOAD
HD_DEFINE_PLUGIN_MODULE(PlatformTestWidget, platform_test_widget, HD_TYPE_HOME_PLUGIN_ITEM)
#else
G_DEFINE_DYNAMIC_TYPE(PlatformTestWidget, platform_test_widget, HD_TYPE_HOME_PLUGIN_ITEM)
extern "C" G_MODULE_EXPORT void hd_plugin_module_load(HDPluginModule *module) {
    platform_test_widget_register_type(G_TYPE_MODULE(module));
    hd_plugin_module_add_type(module, platform_test_widget_get_type());
}
#endif

static void platform_test_widget_init(PlatformTestWidget *widget) {
    GtkWidget *box = gtk_event_box_new();
    GdkColor red = {0, 0xffff, 0, 0};
    gtk_widget_modify_bg(box, GTK_STATE_NORMAL, &red);
    gtk_widget_set_size_request(box, 120, 80);
    gtk_container_add(GTK_CONTAINER(widget), box);
    gtk_widget_show(box);
}

static void platform_test_widget_class_init(PlatformTestWidgetClass *) {}
static void platform_test_widget_class_finalize(PlatformTestWidgetClass *) {}
