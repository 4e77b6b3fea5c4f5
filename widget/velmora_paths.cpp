/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_paths.cpp - locations of the widget's data and the item store.
 */
#include "velmora_paths.h"

#include <glib.h>

namespace {

std::string join(std::string_view dir, std::string_view file) {
    std::string path(dir);
    if (!file.empty()) {
        path += '/';
        path += file;
    }
    return path;
}

} // namespace

std::string velmora_data_path(std::string_view file) {
    const char *dir = g_getenv("VELMORA_DATA_DIR");
    return join(dir && *dir ? dir : VELMORA_DEFAULT_DATA_DIR, file);
}

std::string velmora_store_path(std::string_view file) {
    return join(std::string(g_get_home_dir()) + "/.feedservice/velmora", file);
}
