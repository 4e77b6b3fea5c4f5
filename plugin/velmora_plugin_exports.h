/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_plugin_exports.h - the one list of what libvelmoraserviceplugin exports.
 * The plug-in is compiled with hidden visibility and this header force-included
 * (-include), so that every name below, and nothing else, is visible to the daemon
 * and other callers. Each name is redeclared with the type of its own declaration,
 * so the list never repeats a signature.
 */
#ifndef VELMORA_PLUGIN_EXPORTS_H
#define VELMORA_PLUGIN_EXPORTS_H

#include "velmora_feed_parser.h"
#include "velmora_service_plugin.h"

#define VELMORA_EXPORT(name) extern "C" __attribute__((visibility("default"))) decltype(name) name

/* Entry points called by the daemon. */
VELMORA_EXPORT(init_plugin);
VELMORA_EXPORT(de_init_plugin);
VELMORA_EXPORT(execute_with_callback);
VELMORA_EXPORT(validate_credentials);
VELMORA_EXPORT(get_default_interval);
VELMORA_EXPORT(do_velmora_item_get);
/* Feed parser. */
VELMORA_EXPORT(do_velmora_item_parse_and_save);
VELMORA_EXPORT(do_velmora_item_parse);
VELMORA_EXPORT(parse_image);
VELMORA_EXPORT(set_image_scale);
/* Item store and picture cache. */
VELMORA_EXPORT(do_velmora_item_save);
VELMORA_EXPORT(load_velmora_items);
VELMORA_EXPORT(do_velmora_clear_image_data);
VELMORA_EXPORT(do_velmora_get_and_store_images);
/* Feed item records. */
VELMORA_EXPORT(velmora_item_free);
VELMORA_EXPORT(velmora_item_array_new);
VELMORA_EXPORT(do_velmora_item_array_free);
VELMORA_EXPORT(velmora_item_array_free);
VELMORA_EXPORT(velmora_item_raw_data_new);
VELMORA_EXPORT(velmora_item_raw_data_free);

#undef VELMORA_EXPORT

#endif /* VELMORA_PLUGIN_EXPORTS_H */
