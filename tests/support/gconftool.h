// SPDX-License-Identifier: LGPL-2.1-or-later
// gconftool.h - writes the Velmora settings through gconftool-2, another process, as
// the widget's dialog would: the code under test must see a change through gconfd,
// not through a cache it shares with the test. Header-only; needs GLib and GoogleTest.
#ifndef VELMORA_GCONFTOOL_H
#define VELMORA_GCONFTOOL_H

#include <glib.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>
#include "velmora_contract.h"

namespace gconftool {

constexpr char kRegionKey[] = VELMORA_GCONF_REGION_KEY;
constexpr char kCategoriesKey[] = VELMORA_GCONF_CATEGORIES_KEY;

inline void run(std::vector<std::string> args) {
    args.insert(args.begin(), "gconftool-2");
    std::vector<gchar *> argv;
    for (auto &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    gint status = 0;
    ASSERT_TRUE(g_spawn_sync(nullptr, argv.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
                             nullptr, nullptr, &status, nullptr));
    ASSERT_TRUE(g_spawn_check_wait_status(status, nullptr));
}

inline void set_region(const std::string &region) {
    run({"--type", "string", "--set", kRegionKey, region});
}

inline void set_categories(const std::vector<std::string> &categories) {
    std::string list = "[";
    for (size_t i = 0; i < categories.size(); ++i)
        list += (i ? "," : "") + categories[i];
    list += "]";
    run({"--type", "list", "--list-type", "string", "--set", kCategoriesKey, list});
}

inline void unset_settings() {
    run({"--unset", kRegionKey});
    run({"--unset", kCategoriesKey});
}

} // namespace gconftool

#endif // VELMORA_GCONFTOOL_H
