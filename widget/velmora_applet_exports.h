/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_applet_exports.h - the one list of what libvelmoraapplet exports. The
 * widget module is compiled with hidden visibility and this header force-included
 * (-include), so that every name below, and nothing else, is visible to the home
 * host and other modules in its process: the carousel's position and counters, the
 * libosso context and the C++ helpers stay inside. Each name is redeclared with
 * the type of its own declaration, so the list never repeats a signature.
 */
#ifndef VELMORA_APPLET_EXPORTS_H
#define VELMORA_APPLET_EXPORTS_H

#include "velmora_datautils.h"
#include "velmora_widget.h"
#include "velmora_settings.h"
#include "velmora_settings_dialog.h"
#include "velmora_view.h"

#define VELMORA_EXPORT(name) extern "C" __attribute__((visibility("default"))) decltype(name) name

/* Module entries and the widget's type. */
VELMORA_EXPORT(hd_plugin_module_load);
VELMORA_EXPORT(hd_plugin_module_unload);
VELMORA_EXPORT(velmora_plugin_get_type);
/* Item view. */
VELMORA_EXPORT(initialize_view);
VELMORA_EXPORT(create_item_view);
VELMORA_EXPORT(create_message_view);
VELMORA_EXPORT(set_logo);
VELMORA_EXPORT(set_feed_title_and_our_price_string);
VELMORA_EXPORT(show_current_item);
VELMORA_EXPORT(de_initialize_view);
VELMORA_EXPORT(launch_browser);
/* Carousel. */
VELMORA_EXPORT(stored_data);
VELMORA_EXPORT(restart_scrolling);
VELMORA_EXPORT(pause_scrolling);
VELMORA_EXPORT(remove_timeout);
VELMORA_EXPORT(clear_stored_data);
VELMORA_EXPORT(update_view);
/* Item reader. */
VELMORA_EXPORT(velmora_datautils_init);
VELMORA_EXPORT(velmora_datautils_free);
VELMORA_EXPORT(get_velmora_items);
VELMORA_EXPORT(do_get_velmora_items);
VELMORA_EXPORT(velmora_item_data_new);
VELMORA_EXPORT(velmora_item_data_free);
VELMORA_EXPORT(velmora_item_data_array_new);
VELMORA_EXPORT(velmora_item_data_array_free);
/* Settings store. */
VELMORA_EXPORT(get_region_from_gconf);
VELMORA_EXPORT(store_region_to_gconf);
VELMORA_EXPORT(get_categories_from_gconf);
VELMORA_EXPORT(store_categories_to_gconf);
VELMORA_EXPORT(ensure_gconf_validity);
VELMORA_EXPORT(initialize_settings);
VELMORA_EXPORT(deinitialize_settings);
VELMORA_EXPORT(get_value_for_item_key);
VELMORA_EXPORT(get_item_key_from_value);
VELMORA_EXPORT(get_setting_item_index);
/* Settings dialog. */
VELMORA_EXPORT(create_settings_dialog);

#undef VELMORA_EXPORT

#endif /* VELMORA_APPLET_EXPORTS_H */
