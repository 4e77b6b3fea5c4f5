/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_paths.h - where the plug-in finds its installed catalogues and keeps
 * the item database and the picture cache.
 */
#ifndef VELMORA_PLUGIN_PATHS_H
#define VELMORA_PLUGIN_PATHS_H

#include <string>
#include <string_view>

/* <data dir>/<file>: the data dir is $VELMORA_DATA_DIR when set, else the
 * installed <prefix>/share/velmora. */
std::string velmora_data_path(std::string_view file);

/* $HOME/.feedservice/velmora/<file>; with an empty file, the directory itself. */
std::string velmora_store_path(std::string_view file);

#endif /* VELMORA_PLUGIN_PATHS_H */
