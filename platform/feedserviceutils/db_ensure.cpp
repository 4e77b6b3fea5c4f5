/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * db_ensure.cpp - making sure the database file exists, with its tables, that it can be
 * read and written, and that the caller's connection and watcher serve it.
 *
 * Handles that still serve the file are kept. Otherwise (no connection, a read-only
 * connection, no watcher, a watcher on another path, or the watcher saw the file deleted
 * or replaced) both are replaced: the directory is made, the file is opened (and made, in
 * WAL mode), and the catalogue's "create_tables" statements run (they must be idempotent:
 * CREATE ... IF NOT EXISTS).
 * The first time a connection passes through here its file is checked: SQLite's quick
 * integrity check, and every column that "create_tables" defines must be in the file's
 * tables (an older store lacks some, and every insert or read of it would fail). A file
 * that is not a database, is damaged or is older is kept under "<name>.corrupt-<UTC time>"
 * for inspection and a new database made. A check that cannot run (the file is locked)
 * condemns nothing: it is made again through the next connection.
 * A symbolic link at the path (or at its log files) is never followed: a link in the
 * database's place is moved aside like a damaged file, and links at the log files removed.
 * On failure both handles are left NULL, so that the next call starts again.
 * When no database file exists, stale "-wal"/"-shm" files at the path are removed
 * first: SQLite would otherwise replay an old log into the new file.
 */
#include "feedserviceutils_internal.h"

#include <glib/gstdio.h>
#include <sqlite3.h>

#include <cerrno>
#include <initializer_list>
#include <memory>
#include <string>
#include <sys/stat.h>

namespace {

constexpr int kDirectoryMode = 0700;

bool is_link(const std::string &path) {
    GStatBuf status;
    return g_lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

/* Links in the place of the log files are removed (only the links): SQLite refuses to
 * follow them, and they lead elsewhere. */
void remove_linked_logs(const std::string &path) {
    for (const char *suffix : {"-wal", "-shm"}) {
        if (is_link(path + suffix))
            g_remove((path + suffix).c_str());
    }
}

void remove_stale_logs(const std::string &path) {
    g_remove((path + "-wal").c_str());
    g_remove((path + "-shm").c_str());
}

/* Renames the file (and its log, if any) to a name of its own beside it. */
bool move_aside(const std::string &path, const std::string &reason) {
    g_autoptr(GDateTime) now = g_date_time_new_now_utc();
    g_autofree gchar *stamp = g_date_time_format(now, "%Y%m%dT%H%M%SZ");
    std::string aside = path + ".corrupt-" + stamp;
    for (int n = 2; g_file_test(aside.c_str(), G_FILE_TEST_EXISTS); ++n)
        aside = aside.substr(0, aside.rfind('Z') + 1) + "-" + std::to_string(n);

    if (g_rename(path.c_str(), aside.c_str()) != 0) {
        g_message("Cannot move the database %s aside: %s", path.c_str(), g_strerror(errno));
        return false;
    }
    if (g_file_test((path + "-wal").c_str(), G_FILE_TEST_EXISTS))
        g_rename((path + "-wal").c_str(), (aside + "-wal").c_str());
    g_remove((path + "-shm").c_str());
    g_message("The database %s %s; kept as %s", path.c_str(), reason.c_str(), aside.c_str());
    return true;
}

void close_handles(DBInterface **db, FileWatcher **watcher) {
    file_watcher_free(*watcher);
    *watcher = nullptr;
    db_interface_free(*db);
    *db = nullptr;
}

/* A connection of this file's own (the model database), closed when it goes out of
 * scope. Declared before the statements on it, so that they are finalized first:
 * sqlite3_close refuses (SQLITE_BUSY) a connection with a live statement and would
 * leave it open. */
struct ConnectionCloser {
    void operator()(sqlite3 *connection) const { sqlite3_close(connection); }
};
using Connection = std::unique_ptr<sqlite3, ConnectionCloser>;

/* A statement's rows, one column's text each. */
struct Statement {
    sqlite3_stmt *handle = nullptr;
    Statement(sqlite3 *connection, const std::string &sql) {
        sqlite3_prepare_v2(connection, sql.c_str(), -1, &handle, nullptr);
    }
    ~Statement() { sqlite3_finalize(handle); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    bool next() { return handle != nullptr && sqlite3_step(handle) == SQLITE_ROW; }
    std::string text(int column) {
        const auto *value = sqlite3_column_text(handle, column);
        return value != nullptr ? reinterpret_cast<const char *>(value) : "";
    }
};

enum class Verdict { Sound, Unsound, Unknown };

bool is_damage(int code) {
    code &= 0xff;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

/* text as an SQL string literal. */
std::string quoted(const std::string &text) {
    std::string literal = "'";
    for (char c : text)
        literal += c == '\'' ? std::string("''") : std::string(1, c);
    return literal + "'";
}

/* The first column a table made by create_tables has and the file's table of that name
 * lacks, as "table.column"; "" when none. The tables are made in a database in memory,
 * so the catalogue alone says which columns there must be. */
std::string missing_column(sqlite3 *file, const gchar *create_tables) {
    sqlite3 *opened = nullptr;
    const int open_result = sqlite3_open(":memory:", &opened);
    const Connection model(opened); /* sqlite3_open hands out a handle even on failure */
    if (open_result != SQLITE_OK ||
        sqlite3_exec(model.get(), create_tables, nullptr, nullptr, nullptr) != SQLITE_OK)
        return "";
    std::string missing;
    Statement tables(model.get(), "SELECT name FROM sqlite_master WHERE type = 'table' "
                                  "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'");
    while (missing.empty() && tables.next()) {
        const std::string table = tables.text(0);
        const std::string columns = "SELECT name FROM pragma_table_info(" + quoted(table) + ")";
        Statement wanted(model.get(), columns);
        while (missing.empty() && wanted.next()) {
            const std::string column = wanted.text(0);
            Statement present(file, columns + " WHERE name = " + quoted(column));
            if (!present.next())
                missing = table + "." + column;
        }
    }
    return missing;
}

/* Checks the file of a writable connection and makes its tables. */
Verdict check_store(DBInterface *db, const gchar *create_tables, std::string *reason) {
    sqlite3 *connection = fsu::connection_of(db);
    g_autofree gchar *integrity = nullptr;
    const fsu::FirstRow checked =
        fsu::query_first_text(db, "PRAGMA quick_check", "quick_check", &integrity);
    if (checked == fsu::FirstRow::Found && g_strcmp0(integrity, "ok") != 0) {
        *reason = std::string("is damaged (") + (integrity != nullptr ? integrity : "?") + ")";
        return Verdict::Unsound;
    }
    if (checked != fsu::FirstRow::Found || !db_interface_execute_update(db, create_tables)) {
        if (!is_damage(sqlite3_errcode(connection)))
            return Verdict::Unknown;
        *reason = std::string("is damaged (") + sqlite3_errmsg(connection) + ")";
        return Verdict::Unsound;
    }
    const std::string missing = missing_column(connection, create_tables);
    if (!missing.empty()) {
        *reason = "is older than its catalogue (no column " + missing + ")";
        return Verdict::Unsound;
    }
    fsu::mark_store_checked(db);
    return Verdict::Sound;
}

bool writable(DBInterface *db) {
    return sqlite3_db_readonly(fsu::connection_of(db), "main") == 0;
}

/* A writable connection to a sound store at path with its tables, or NULL. A file that
 * is not a database, or is damaged or older, is moved aside once and a new one made. */
DBInterface *open_sound_store(const std::string &path, const gchar *create_tables) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        remove_linked_logs(path);
        if (is_link(path)) {
            /* Never followed: the link goes aside like a damaged file. */
            if (attempt > 0 || !move_aside(path, "is a symbolic link"))
                return nullptr;
            continue;
        }
        if (!g_file_test(path.c_str(), G_FILE_TEST_EXISTS))
            remove_stale_logs(path);
        int probe = SQLITE_OK;
        g_autoptr(DBInterface) db = fsu::open_database(path.c_str(), &probe, false);
        std::string reason = "is not a database";
        if (db != nullptr && !writable(db)) {
            g_message("The database %s cannot be written", path.c_str());
            return nullptr;
        }
        if (db != nullptr) {
            const Verdict verdict = check_store(db, create_tables, &reason);
            if (verdict == Verdict::Sound)
                return static_cast<DBInterface *>(g_steal_pointer(&db));
            g_clear_pointer(&db, db_interface_free); /* closed before the file moves aside */
            if (verdict == Verdict::Unknown)
                return nullptr; /* not made: the next call starts again */
        } else if (!is_damage(probe)) {
            return nullptr;
        }
        if (attempt > 0 || !move_aside(path, reason))
            return nullptr;
    }
    return nullptr;
}

} // namespace

gint ensure_database(DBInterface **db, FileWatcher **watcher, const gchar *path,
                     QueryLoader *queries) {
    if (db == nullptr || watcher == nullptr || path == nullptr || *path == '\0')
        return 0;
    g_autofree gchar *create_tables = query_loader_load_query(queries, "create_tables");
    if (*db != nullptr && *watcher != nullptr && create_tables != nullptr &&
        g_strcmp0(fsu::watched_path(*watcher), path) == 0 &&
        !file_watcher_is_file_deleted(*watcher) && writable(*db)) {
        /* The file may have been made by a reader that opened the path first (an
         * empty database): its tables are made here all the same. The statements
         * are idempotent; handles on which they fail are replaced below. */
        if (fsu::store_checked(*db)) {
            if (db_interface_execute_update(*db, create_tables))
                return 1;
        } else {
            std::string reason;
            switch (check_store(*db, create_tables, &reason)) {
            case Verdict::Sound:
                return 1;
            case Verdict::Unsound:
                close_handles(db, watcher);
                move_aside(path, reason);
                break;
            case Verdict::Unknown:
                if (db_interface_execute_update(*db, create_tables))
                    return 1;
                break;
            }
        }
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
    *db = open_sound_store(path, create_tables);
    if (*db == nullptr)
        return 0;
    *watcher = file_watcher_new(path);
    return 1;
}
