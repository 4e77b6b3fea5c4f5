// SPDX-License-Identifier: LGPL-2.1-or-later
// file_helpers.h - files and directories in tests: the test's temporary directory
// ($VELMORA_TEST_TMP, set by run-isolated.sh), fresh directories below it, and whole
// files read and written at once. Header-only; needs GLib.
#ifndef VELMORA_FILE_HELPERS_H
#define VELMORA_FILE_HELPERS_H

#include <glib.h>
#include <glib/gstdio.h>

#include <algorithm>
#include <string>
#include <vector>

namespace test_support {

// $VELMORA_TEST_TMP, or the system's temporary directory outside run-isolated.sh.
inline std::string temp_dir() {
    const char *dir = g_getenv("VELMORA_TEST_TMP");
    return dir != nullptr && *dir != '\0' ? dir : g_get_tmp_dir();
}

inline std::string temp_path(const std::string &name) {
    return temp_dir() + "/" + name;
}

// A new empty directory below temp_dir(), named <prefix>-XXXXXX; "" when it cannot
// be made.
inline std::string make_temp_dir(const std::string &prefix = "test") {
    std::string pattern = temp_path(prefix + "-XXXXXX");
    return g_mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

inline bool write_file(const std::string &path, const std::string &contents) {
    return g_file_set_contents(path.c_str(), contents.data(), static_cast<gssize>(contents.size()),
                               nullptr);
}

// The whole file, or "" when it cannot be read.
inline std::string read_file(const std::string &path) {
    gchar *contents = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(path.c_str(), &contents, &length, nullptr))
        return std::string();
    std::string result(contents, length);
    g_free(contents);
    return result;
}

inline bool file_exists(const std::string &path) {
    return g_file_test(path.c_str(), G_FILE_TEST_EXISTS);
}

// The names in a directory, sorted.
inline std::vector<std::string> list_dir(const std::string &path) {
    std::vector<std::string> names;
    if (GDir *dir = g_dir_open(path.c_str(), 0, nullptr)) {
        while (const gchar *name = g_dir_read_name(dir))
            names.emplace_back(name);
        g_dir_close(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Removes path and, when it is a directory, all below it. A link is removed itself,
// never what it points to: stores in the tests hold links to directories outside.
inline void remove_tree(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back(); /* "link/" would name the directory it points to */
    GStatBuf status{};
    if (g_lstat(path.c_str(), &status) != 0)
        return;
    if (!S_ISDIR(status.st_mode)) {
        g_unlink(path.c_str());
        return;
    }
    for (const std::string &name : list_dir(path))
        remove_tree(path + "/" + name);
    g_rmdir(path.c_str());
}

} // namespace test_support

#endif // VELMORA_FILE_HELPERS_H
