/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_cache_sweep.cpp - at the start of a run, before anything is written, the
 * picture cache loses what no stored row refers to: pictures of a run that was killed
 * between writing a file and recording it, of rows replaced by a store moved aside, and
 * partial files of writes that never finished. The run holds the store's run lock, so
 * no other run is writing into the cache meanwhile.
 */
#include "velmora_cache_sweep.h"
#include "velmora_cache_files.h"

#include <set>
#include <string>

bool velmora_referenced_picture_names(DBInterface *db, QueryLoader *queries, const std::string &dir,
                                      std::set<std::string> *names) {
    g_autofree gchar *sql = query_loader_load_query(queries, "select_all_tmp_query");
    if (!db || !sql || !db_interface_execute_query(db, sql))
        return false;
    while (db_interface_step_result(db)) {
        const gchar *path = db_get_text_column(db, "image_path", 0);
        if (path)
            names->insert(velmora_cache_file_name(dir, path));
    }
    db_interface_close_result(db);
    names->erase(""); /* a path that is no file of the cache's own names */
    return true;
}

guint velmora_sweep_picture_cache(DBInterface *db, QueryLoader *queries,
                                  const gchar *image_cache_dir) {
    if (!image_cache_dir || !*image_cache_dir)
        return 0;
    const std::string dir(image_cache_dir);
    std::set<std::string> referenced;
    if (!velmora_referenced_picture_names(db, queries, dir, &referenced))
        return 0;
    const VelmoraCacheDir cache(dir);
    guint removed = 0;
    for (const std::string &name : cache.file_names()) {
        const bool picture = !velmora_cache_file_name(dir, dir + "/" + name).empty();
        if (velmora_is_partial_file_name(name) || (picture && referenced.count(name) == 0))
            removed += cache.remove(name) ? 1 : 0;
    }
    if (removed > 0)
        g_debug("Removed %u leftover files from the picture cache", removed);
    return removed;
}
