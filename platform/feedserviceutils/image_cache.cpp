/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * image_cache.cpp - directories and the picture cache.
 *
 * A picture is a file "<picture id>.img" in the cache directory; its name never comes
 * from the picture's address. It is cached when its picture row records a path whose
 * file exists ("sel_image_path" of the catalogue reads that path); a cached picture is
 * not fetched again unless the caller forces it. A fetched picture (4 MiB at most) is
 * written whole (fsu::write_file_at: a partial file beside its final name, renamed into
 * place), so a reader never finds a partial picture under the final name; it is not
 * synced to disk. Every file is reached through the cache directory's descriptor, never
 * through a path that a row names (cache_files.cpp), and a failed write removes its
 * partial file. The path is then recorded with the "update_image_paths" template handed
 * in by the caller: the library binds two
 * parameters, 1. the file's path (text), 2. the picture id (integer). A failed download
 * writes no file and records no path.
 *
 * Downloads go through fsu::fetch (network_utils.cpp): a forced picture whose file is in
 * place is asked for conditionally, and a 304 writes nothing at all (the HTTP cache keeps
 * only a picture's validators: its file here is its one copy); and the failure memory
 * of fetch_policy.cpp, since the item store checks every stored item's picture after
 * each item it stores: a picture that failed (and so records no path) would otherwise
 * be asked for again after every later item, 1 + 2 + ... + n requests in a run.
 */
#include "feedserviceutils_internal.h"

#include <glib/gstdio.h>

#include <cerrno>
#include <initializer_list>
#include <unistd.h>

namespace {

constexpr int kPictureMode = 0644;

/* Fills template_text with the given parameters (SQL literals, see db_statements.cpp). */
gchar *format_with(const gchar *template_text, std::initializer_list<const gchar *> values) {
    g_autoptr(DBSymTable) table = db_symtable_new();
    for (const gchar *value : values)
        db_add_symbol(table, value);
    return db_format_query(table, template_text);
}

/* Reads the path recorded in the picture row of image_id into *path (NULL when none).
 * Without the catalogue's "sel_image_path" it cannot tell, and reports Failed. */
fsu::FirstRow recorded_picture_path(DBInterface *db, QueryLoader *queries, gint32 image_id,
                                    gchar **path) {
    *path = nullptr;
    g_autofree gchar *query = query_loader_load_query(queries, "sel_image_path");
    if (query == nullptr)
        return fsu::FirstRow::Failed;
    g_autofree gchar *id = db_make_string_param_from_int(image_id);
    g_autofree gchar *sql = format_with(query, {id});
    return fsu::query_first_text(db, sql, "image_path", path);
}

bool record_picture_path(DBInterface *db, const gchar *update_template, const gchar *path,
                         gint32 image_id) {
    g_autofree gchar *path_param = db_make_string_param(path);
    g_autofree gchar *id_param = db_make_string_param_from_int(image_id);
    g_autofree gchar *sql = format_with(update_template, {path_param, id_param});
    return sql != nullptr && db_interface_execute_update(db, sql) != 0;
}

} // namespace

gint ensure_directory(const gchar *path) {
    if (path == nullptr || *path == '\0')
        return 0;
    /* A cache must never lead outside itself: a link in the directory's place goes. */
    if (!fsu::replace_link_by_directory(path)) {
        g_debug("Cannot create the directory %s: %s", path, g_strerror(errno));
        return 0;
    }
    return 1;
}

gint check_and_download_image(DBInterface *db, const gchar *cache_dir, QueryLoader *queries,
                              gint32 /*item_id: pictures are per picture row, not per item*/,
                              gint32 image_id, const gchar *image_url, const gchar *update_template,
                              gint force) {
    if (db == nullptr || cache_dir == nullptr || *cache_dir == '\0' || image_url == nullptr ||
        *image_url == '\0' || update_template == nullptr || image_id < 1)
        return 0;

    g_autofree gchar *recorded = nullptr;
    const fsu::FirstRow row = recorded_picture_path(db, queries, image_id, &recorded);
    if (row == fsu::FirstRow::None)
        return 0; /* no picture row to record a path in: fetching would leave an orphan */
    const fsu::DirectoryFd dir{fsu::open_cache_directory(cache_dir)};
    if (dir.fd < 0)
        return 0;
    g_autofree gchar *name = g_strdup_printf("%d.img", image_id);
    g_autofree gchar *path = g_build_filename(cache_dir, name, nullptr);
    /* Cached only under its own name in this directory: a row naming another path
     * (a store copied from elsewhere, or edited) gets the picture fetched anew. */
    const bool in_place = g_strcmp0(recorded, path) == 0 && fsu::regular_file_at(dir.fd, name);
    if (!force && in_place)
        return 1;

    GArray *picture = g_array_new(FALSE, FALSE, 1);
    bool unchanged = false;
    const bool fetched =
        fsu::fetch(image_url, picture, fsu::FetchKind::Picture, 0, fsu::kPictureMaxBytes,
                   force != 0, in_place ? &unchanged : nullptr) &&
        (unchanged || picture->len > 0);
    if (fetched && unchanged) {
        g_array_free(picture, TRUE);
        return 1; /* the file in place is the server's picture still */
    }

    GError *error = nullptr;
    const bool stored = fetched && fsu::write_file_at(dir.fd, name, picture->data, picture->len,
                                                      kPictureMode, &error);
    g_array_free(picture, TRUE);
    if (!fetched)
        return 0;
    if (!stored) {
        g_debug("Cannot store the picture %s: %s", path, error ? error->message : "?");
        g_clear_error(&error);
        return 0;
    }
    if (!record_picture_path(db, update_template, path, image_id)) {
        /* A file whose path is recorded nowhere would only be an orphan in the cache. */
        unlinkat(dir.fd, name, 0);
        return 0;
    }
    return 1;
}

gint delete_image_data_from_database(DBInterface *db, QueryLoader *queries) {
    if (db == nullptr)
        return 0;
    g_autofree gchar *sql = query_loader_load_query(queries, "del_image_all");
    if (sql == nullptr) {
        g_debug("The catalogue has no \"del_image_all\" statement");
        return 0;
    }
    return db_interface_execute_update(db, sql);
}
