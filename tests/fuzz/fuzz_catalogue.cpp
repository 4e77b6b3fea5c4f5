/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * fuzz_catalogue.cpp - the catalogue loader on any key-file text: loading and
 * every look-up are safe, and what a look-up gives is UTF-8 text (the widget
 * shows catalogue texts and SQLite runs catalogue statements).
 */
#include "feedserviceutils.h"
#include "fuzz_support.h"
#include "velmora_contract.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string catalogue_path;

/* The names the system looks up, and the names the text itself offers. */
std::vector<std::string> names_in(const std::string &text) {
    std::vector<std::string> names = {
        "create_tables",          "ins_item", "homepage",      "link_url_suffix",
        VELMORA_DEFAULT_CATEGORY, "",         "<unsectioned>", VELMORA_DEFAULT_REGION};
    gchar **lines = g_strsplit(text.c_str(), "\n", 16);
    for (gchar **line = lines; *line; line++) {
        gchar *stripped = g_strstrip(g_strdup(*line));
        const gchar *equals = std::strchr(stripped, '=');
        if (stripped[0] == '[' && std::strchr(stripped, ']'))
            names.emplace_back(stripped + 1, std::strchr(stripped, ']') - stripped - 1);
        else if (equals)
            names.emplace_back(stripped, equals - stripped); /* "name =" keeps its blank */
        g_free(stripped);
    }
    g_strfreev(lines);
    return names;
}

void check_value(gchar *value) {
    if (value)
        FUZZ_CHECK(g_utf8_validate(value, -1, nullptr), "value is not UTF-8");
    g_free(value);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::quiet_logs();
    catalogue_path = fuzz::scratch_dir("catalogue") + "/catalogue.dat";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::write_bytes(catalogue_path, data, size);
    QueryLoader *loader = query_loader_new(catalogue_path.c_str());
    const std::string text(reinterpret_cast<const char *>(data), size);
    const std::vector<std::string> names = names_in(text.c_str());
    for (const std::string &name : names) {
        check_value(query_loader_load_query(loader, name.c_str()));
        for (const std::string &section : names)
            check_value(query_loader_load_query_by_section(loader, section.c_str(), name.c_str()));
        check_value(query_loader_load_query_by_section(loader, nullptr, name.c_str()));
        check_value(query_loader_load_query_by_section(loader, name.c_str(), nullptr));
    }
    check_value(query_loader_load_query(loader, nullptr));
    query_loader_free(loader);
    return 0;
}
