// SPDX-License-Identifier: LGPL-2.1-or-later
// utils_test_helpers.h - small helpers of the utilities library's tests: a fresh
// directory per test, files, the staged catalogues, and owners of the library's handles.
#ifndef VELMORA_UTILS_TEST_HELPERS_H
#define VELMORA_UTILS_TEST_HELPERS_H

#include "feedserviceutils.h"
#include "file_helpers.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <memory>
#include <string>
#include <vector>
#include "velmora_contract.h"

namespace utils_test {

using test_support::file_exists;
using test_support::list_dir;
using test_support::make_temp_dir;
using test_support::read_file;
using test_support::write_file;

inline std::string plugin_catalogue() {
    return std::string(VELMORA_BUILD_DATA_DIR) + "/" VELMORA_PLUGIN_QUERIES_FILE;
}
inline std::string widget_catalogue() {
    return std::string(VELMORA_BUILD_DATA_DIR) + "/" VELMORA_APPLET_QUERIES_FILE;
}

struct DbDeleter {
    void operator()(DBInterface *db) const { db_interface_free(db); }
};
struct LoaderDeleter {
    void operator()(QueryLoader *loader) const { query_loader_free(loader); }
};
struct WatcherDeleter {
    void operator()(FileWatcher *watcher) const { file_watcher_free(watcher); }
};
struct SymTableDeleter {
    void operator()(DBSymTable *table) const { db_symtable_free(table); }
};
using DbPtr = std::unique_ptr<DBInterface, DbDeleter>;
using LoaderPtr = std::unique_ptr<QueryLoader, LoaderDeleter>;
using WatcherPtr = std::unique_ptr<FileWatcher, WatcherDeleter>;
using SymTablePtr = std::unique_ptr<DBSymTable, SymTableDeleter>;

// A GLib string taken over by a std::string ("" stands for NULL, see is_null).
struct Owned {
    explicit Owned(gchar *text) : null(text == nullptr), value(text != nullptr ? text : "") {
        g_free(text);
    }
    bool null;
    std::string value;
};

// One statement parameter: a text (nullptr for SQL NULL) or an integer.
struct Param {
    Param(const char *text) : text(text) {}
    Param(const std::string &text) : text(text.c_str()) {}
    Param(gint32 number) : is_number(true), number(number) {}
    const char *text = nullptr;
    bool is_number = false;
    gint32 number = 0;
};

// The named statement of the catalogue filled with params, made as the plug-in makes
// them. Returns "" when the formatter refuses.
inline std::string format_statement(QueryLoader *catalogue, const char *name,
                                    const std::vector<Param> &params) {
    gchar *statement = query_loader_load_query(catalogue, name);
    SymTablePtr table(db_symtable_new());
    std::vector<gchar *> literals;
    for (const Param &param : params) {
        literals.push_back(param.is_number ? db_make_string_param_from_int(param.number)
                                           : db_make_string_param(param.text));
        db_add_symbol(table.get(), literals.back());
    }
    Owned sql(db_format_query(table.get(), statement));
    for (gchar *literal : literals)
        g_free(literal);
    g_free(statement);
    return sql.value;
}

// Opens the database at path with its tables made from the plug-in catalogue.
inline bool make_database(const std::string &path, DbPtr &db, WatcherPtr &watcher,
                          QueryLoader *catalogue) {
    DBInterface *raw_db = db.release();
    FileWatcher *raw_watcher = watcher.release();
    const gint ok = ensure_database(&raw_db, &raw_watcher, path.c_str(), catalogue);
    db.reset(raw_db);
    watcher.reset(raw_watcher);
    return ok != 0;
}

} // namespace utils_test

#endif // VELMORA_UTILS_TEST_HELPERS_H
