/*
 * db_ensure.cpp - making sure the database file exists, with its tables, and that the
 * caller's connection and watcher serve it.
 *
 * Handles that still serve the file are kept. Otherwise (no connection, no watcher, a
 * watcher on another path, or the watcher saw the file deleted or replaced) both are
 * replaced: the directory is
 * made, the file is opened (and made, in WAL mode), and the catalogue's "create_tables"
 * statements run (they must be idempotent: CREATE ... IF NOT EXISTS). A file that is
 * not a database is kept under "<name>.corrupt-<UTC time>" and a new database made.
 * On failure both handles are left NULL, so that the next call starts again.
 * When no database file exists, stale "-wal"/"-shm" files at the path are removed
 * first: SQLite would otherwise replay an old log into the new file.
 */
#include "feedserviceutils_internal.h"

#include <glib/gstdio.h>
#include <sqlite3.h>

#include <cerrno>
#include <string>

namespace {

constexpr int kDirectoryMode = 0700;

void remove_stale_logs(const std::string &path) {
    g_remove((path + "-wal").c_str());
    g_remove((path + "-shm").c_str());
}

/* Renames the file (and its log, if any) to a name of its own beside it. */
bool move_aside(const std::string &path) {
    g_autoptr(GDateTime) now = g_date_time_new_now_utc();
    g_autofree gchar *stamp = g_date_time_format(now, "%Y%m%dT%H%M%SZ");
    std::string aside = path + ".corrupt-" + stamp;
    for (int n = 2; g_file_test(aside.c_str(), G_FILE_TEST_EXISTS); ++n)
        aside = aside.substr(0, aside.rfind('Z') + 1) + "-" + std::to_string(n);

    if (g_rename(path.c_str(), aside.c_str()) != 0) {
        g_message("Cannot move the damaged database %s aside: %s", path.c_str(), g_strerror(errno));
        return false;
    }
    if (g_file_test((path + "-wal").c_str(), G_FILE_TEST_EXISTS))
        g_rename((path + "-wal").c_str(), (aside + "-wal").c_str());
    g_remove((path + "-shm").c_str());
    g_message("The file %s was not a database; kept as %s", path.c_str(), aside.c_str());
    return true;
}

void close_handles(DBInterface **db, FileWatcher **watcher) {
    file_watcher_free(*watcher);
    *watcher = nullptr;
    db_interface_free(*db);
    *db = nullptr;
}

DBInterface *open_or_replace(const std::string &path) {
    if (!g_file_test(path.c_str(), G_FILE_TEST_EXISTS))
        remove_stale_logs(path);
    int probe = SQLITE_OK;
    DBInterface *db = fsu::open_database(path.c_str(), &probe);
    if (db == nullptr && (probe == SQLITE_NOTADB || probe == SQLITE_CORRUPT) && move_aside(path))
        db = fsu::open_database(path.c_str(), &probe);
    return db;
}

} // namespace

gint ensure_database(DBInterface **db, FileWatcher **watcher, const gchar *path,
                     QueryLoader *queries) {
    if (db == nullptr || watcher == nullptr || path == nullptr || *path == '\0')
        return 0;
    g_autofree gchar *create_tables = query_loader_load_query(queries, "create_tables");
    if (*db != nullptr && *watcher != nullptr &&
        g_strcmp0(fsu::watched_path(*watcher), path) == 0 &&
        !file_watcher_is_file_deleted(*watcher)) {
        /* The file may have been made by a reader that opened the path first (an
         * empty database): its tables are made here all the same. The statements
         * are idempotent; handles on which they fail are replaced below. */
        if (create_tables != nullptr && db_interface_execute_update(*db, create_tables))
            return 1;
    }
    close_handles(db, watcher);

    g_autofree gchar *directory = g_path_get_dirname(path);
    if (g_mkdir_with_parents(directory, kDirectoryMode) != 0) {
        g_message("Cannot create the directory %s: %s", directory, g_strerror(errno));
        return 0;
    }
    if (create_tables == nullptr) {
        g_message("The catalogue has no \"create_tables\" statement");
        return 0;
    }
    *db = open_or_replace(path);
    if (*db == nullptr)
        return 0;
    *watcher = file_watcher_new(path);
    /* Without its tables the file does not serve: the next call starts again. */
    if (!db_interface_execute_update(*db, create_tables)) {
        close_handles(db, watcher);
        return 0;
    }
    return 1;
}
