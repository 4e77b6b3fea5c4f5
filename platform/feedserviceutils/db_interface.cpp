/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * db_interface.cpp - connections to the item database and their single pending result.
 *
 * One process writes the database while another reads it, so every connection is set
 * up for that: WAL journaling (readers never block the writer and always see whole
 * rows), synchronous=NORMAL (safe under WAL, and fast enough for autocommit inserts)
 * and a busy time-out of 200 ms, short enough that a reader on a main loop never
 * stalls visibly. A statement that still meets SQLITE_BUSY is retried from the start
 * within a bounded window (kBusyRetryWindowUs); if it cannot run, the call reports
 * failure - "locked" never comes back as an empty result posing as success.
 *
 * A symbolic link at the path is never followed (SQLITE_OPEN_NOFOLLOW; SQLite opens its
 * log files with O_NOFOLLOW too): the store is the file at the path, or nothing.
 *
 * A handle has at most one pending result. db_interface_execute_query runs the first
 * step itself, so that every failure shows in its return value; the result is
 * finalized as soon as its rows run out or the caller closes it, because an open read
 * keeps its WAL snapshot and holds the log from being checkpointed. Failures are logged
 * once, with the SQL and SQLite's message, at debug level.
 */
#include "feedserviceutils_internal.h"

#include <sqlite3.h>

#include <cstring>
#include <string>

struct _DBInterface {
    sqlite3 *connection = nullptr;
    sqlite3_stmt *result = nullptr; /* the pending result, if any */
    bool first_row_waiting = false; /* execute_query fetched a row not yet handed out */
    bool row_current = false;
    bool store_checked = false; /* ensure_database found the file sound */
    std::string writable_path;  /* opened for reading: where its first write reopens */
    std::string last_error;     /* SQLite's message of the latest failure */
};

namespace {

constexpr int kBusyTimeoutMs = 200;
constexpr gint64 kBusyRetryWindowUs = 500 * 1000;
constexpr gulong kBusyRetryPauseUs = 5 * 1000;

void log_failure(DBInterface *db, const char *what, const char *sql) {
    db->last_error = db->connection != nullptr ? sqlite3_errmsg(db->connection) : "no connection";
    /* The first failure of a run reaches the log with SQLite's message; later ones of
     * the same run (often the same cause) only the debug log. */
    if (fsu::first_statement_failure())
        g_warning("%s failed: %s", what, db->last_error.c_str());
    g_debug("%s failed: %s [SQL: %s]", what, db->last_error.c_str(), sql != nullptr ? sql : "");
}

/* Prepares the first statement of sql; *tail points past it. SQLITE_OK with a NULL
 * statement means sql held only blanks or comments. */
int prepare_with_retry(sqlite3 *connection, const char *sql, sqlite3_stmt **statement,
                       const char **tail) {
    const gint64 deadline = g_get_monotonic_time() + kBusyRetryWindowUs;
    for (;;) {
        int rc = sqlite3_prepare_v2(connection, sql, -1, statement, tail);
        if (rc != SQLITE_BUSY || g_get_monotonic_time() >= deadline)
            return rc;
        g_usleep(kBusyRetryPauseUs);
    }
}

/* Steps a statement that has produced no row yet; on SQLITE_BUSY starts it again, for
 * as long as the retry window lasts. */
int first_step_with_retry(sqlite3_stmt *statement) {
    const gint64 deadline = g_get_monotonic_time() + kBusyRetryWindowUs;
    for (;;) {
        int rc = sqlite3_step(statement);
        if (rc != SQLITE_BUSY || g_get_monotonic_time() >= deadline)
            return rc;
        sqlite3_reset(statement);
        g_usleep(kBusyRetryPauseUs);
    }
}

/* Runs every statement of sql in order, stepping each to its end; stops at the first
 * failure. */
bool run_statements(DBInterface *db, const char *sql) {
    const char *next = sql;
    while (next != nullptr && *next != '\0') {
        sqlite3_stmt *statement = nullptr;
        const char *tail = nullptr;
        if (prepare_with_retry(db->connection, next, &statement, &tail) != SQLITE_OK) {
            log_failure(db, "Preparing a statement", sql);
            return false;
        }
        if (statement == nullptr) /* only blanks or comments left */
            break;
        int rc = first_step_with_retry(statement);
        while (rc == SQLITE_ROW)
            rc = sqlite3_step(statement);
        if (rc != SQLITE_DONE)
            log_failure(db, "Executing a statement", sql);
        sqlite3_finalize(statement);
        if (rc != SQLITE_DONE)
            return false;
        next = tail;
    }
    return true;
}

int find_column(sqlite3_stmt *statement, const char *column) {
    const int count = sqlite3_column_count(statement);
    for (int i = 0; i < count; ++i) {
        const char *name = sqlite3_column_name(statement, i);
        if (name != nullptr && g_ascii_strcasecmp(name, column) == 0)
            return i;
    }
    return -1;
}

/* The column's index in the current row of db's result, or -1. */
int current_column(DBInterface *db, const gchar *column) {
    if (db == nullptr || column == nullptr || !db->row_current || db->result == nullptr)
        return -1;
    return find_column(db->result, column);
}

/* A connection on name (a path, or a URI with SQLITE_OPEN_URI) whose schema could be read;
 * NULL otherwise, *rc then holding SQLite's result code. */
DBInterface *open_readable(const char *name, int flags, int *rc) {
    auto db = std::make_unique<DBInterface>();
    *rc = sqlite3_open_v2(name, &db->connection, flags, nullptr);
    if (*rc != SQLITE_OK) {
        g_debug("Opening the database %s failed: %s", name,
                db->connection != nullptr ? sqlite3_errmsg(db->connection) : "out of memory");
        sqlite3_close(db->connection);
        return nullptr;
    }
    sqlite3_busy_timeout(db->connection, kBusyTimeoutMs);
    sqlite3_exec(db->connection, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);

    /* Reading the schema tells whether the file is a database at all. */
    g_autofree gchar *journal_mode = nullptr;
    const bool readable = run_statements(db.get(), "SELECT count(*) FROM sqlite_master") &&
                          fsu::query_first_text(db.get(), "PRAGMA journal_mode", "journal_mode",
                                                &journal_mode) == fsu::FirstRow::Found;
    *rc = readable ? SQLITE_OK : sqlite3_errcode(db->connection);
    if (*rc == SQLITE_BUSY) {
        /* A database, locked by another connection for longer than we wait: the
         * handle is good, its statements will report failure until the lock goes. */
        return db.release();
    }
    if (*rc != SQLITE_OK) {
        db_interface_free(db.release());
        return nullptr;
    }
    /* The journal mode persists in the file: set once, when the database is made (or
     * found in another mode). */
    if (!sqlite3_db_readonly(db->connection, "main") &&
        (journal_mode == nullptr || g_ascii_strcasecmp(journal_mode, "wal") != 0))
        run_statements(db.get(), "PRAGMA journal_mode=WAL");
    return db.release();
}

/* A read-only connection on a store that cannot be written (a read-only file system,
 * say): first one that still sees other writers, which needs the WAL index beside the
 * file; then one that takes the file as unchanging, which needs nothing beside it. */
DBInterface *open_read_only(const gchar *path, int *rc) {
    g_autofree gchar *uri = g_filename_to_uri(path, nullptr, nullptr);
    if (uri == nullptr)
        return nullptr;
    for (const char *mode : {"?mode=ro", "?immutable=1"}) {
        const std::string name = std::string(uri) + mode;
        if (DBInterface *db = open_readable(
                name.c_str(), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOFOLLOW, rc))
            return db;
    }
    return nullptr;
}

/* A connection that db_interface_new opened for reading is opened again for writing
 * before its first write (a read-only file system keeps the reading one). */
void upgrade_for_writing(DBInterface *db) {
    if (db->writable_path.empty())
        return;
    const std::string path = std::move(db->writable_path);
    db->writable_path.clear();
    DBInterface *writing = fsu::open_database(path.c_str(), nullptr, true);
    if (writing == nullptr)
        return;
    db_interface_close_result(db);
    std::swap(db->connection, writing->connection);
    db_interface_free(writing); /* closes the reading connection */
}

} // namespace

namespace fsu {

DBInterface *open_database(const gchar *path, int *probe_result, bool read_only_fallback) {
    if (probe_result != nullptr)
        *probe_result = SQLITE_MISUSE;
    if (path == nullptr || *path == '\0')
        return nullptr;

    int rc = SQLITE_OK;
    DBInterface *db =
        open_readable(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW, &rc);
    const int primary = rc & 0xff;
    if (db == nullptr && read_only_fallback &&
        (primary == SQLITE_CANTOPEN || primary == SQLITE_READONLY || primary == SQLITE_PERM)) {
        int read_only_rc = SQLITE_OK;
        db = open_read_only(path, &read_only_rc);
        if (db != nullptr)
            rc = read_only_rc;
    }
    if (probe_result != nullptr)
        *probe_result = rc;
    return db;
}

sqlite3 *connection_of(DBInterface *db) {
    return db->connection;
}

bool store_checked(DBInterface *db) {
    return db->store_checked;
}

void mark_store_checked(DBInterface *db) {
    db->store_checked = true;
}

FirstRow query_first_text(DBInterface *db, const gchar *sql, const gchar *column, gchar **value) {
    *value = nullptr;
    if (db == nullptr || sql == nullptr || column == nullptr)
        return FirstRow::Failed;
    sqlite3_stmt *statement = nullptr;
    if (prepare_with_retry(db->connection, sql, &statement, nullptr) != SQLITE_OK ||
        statement == nullptr) {
        log_failure(db, "Preparing a query", sql);
        return FirstRow::Failed;
    }
    const int rc = first_step_with_retry(statement);
    if (rc == SQLITE_ROW) {
        const int index = find_column(statement, column);
        if (index >= 0)
            *value =
                g_strdup(reinterpret_cast<const gchar *>(sqlite3_column_text(statement, index)));
    } else if (rc != SQLITE_DONE) {
        log_failure(db, "Executing a query", sql);
    }
    sqlite3_finalize(statement);
    return rc == SQLITE_ROW    ? FirstRow::Found
           : rc == SQLITE_DONE ? FirstRow::None
                               : FirstRow::Failed;
}

} // namespace fsu

DBInterface *db_interface_new(const gchar *path) {
    /* An existing store is opened for reading: a process that only reads it (the widget)
     * never writes it, not a checkpoint nor a journal mode. Its first write reopens it
     * for writing (upgrade_for_writing). A missing store is made, as always. */
    if (path != nullptr && !g_file_test(path, G_FILE_TEST_IS_SYMLINK) &&
        g_file_test(path, G_FILE_TEST_IS_REGULAR)) {
        int rc = SQLITE_OK;
        if (DBInterface *db = open_read_only(path, &rc)) {
            db->writable_path = path;
            return db;
        }
    }
    return fsu::open_database(path, nullptr, true);
}

void db_interface_free(DBInterface *db) {
    if (db == nullptr)
        return;
    db_interface_close_result(db);
    sqlite3_close_v2(db->connection);
    delete db;
}

gint db_interface_execute_query(DBInterface *db, const gchar *sql) {
    if (db == nullptr)
        return 0;
    db_interface_close_result(db);
    if (sql == nullptr)
        return 0;

    sqlite3_stmt *statement = nullptr;
    const char *tail = nullptr;
    if (prepare_with_retry(db->connection, sql, &statement, &tail) != SQLITE_OK ||
        statement == nullptr) {
        log_failure(db, "Preparing a query", sql);
        return 0;
    }
    /* A query is one statement; anything after it would silently not run. */
    sqlite3_stmt *second = nullptr;
    if (tail != nullptr && *tail != '\0' &&
        (sqlite3_prepare_v2(db->connection, tail, -1, &second, nullptr) != SQLITE_OK ||
         second != nullptr)) {
        g_debug("Refusing a query of several statements [SQL: %s]", sql);
        sqlite3_finalize(second);
        sqlite3_finalize(statement);
        return 0;
    }

    const int rc = first_step_with_retry(statement);
    if (rc == SQLITE_ROW) {
        db->result = statement;
        db->first_row_waiting = true;
        return 1;
    }
    if (rc != SQLITE_DONE)
        log_failure(db, "Executing a query", sql);
    sqlite3_finalize(statement);
    return rc == SQLITE_DONE ? 1 : 0;
}

gint db_interface_step_result(DBInterface *db) {
    if (db == nullptr)
        return 0;
    db->row_current = false;
    if (db->first_row_waiting) {
        db->first_row_waiting = false;
        db->row_current = true;
        return 1;
    }
    if (db->result == nullptr)
        return 0;
    /* Past the first row a WAL read holds its snapshot, so it meets no SQLITE_BUSY. */
    const int rc = sqlite3_step(db->result);
    if (rc == SQLITE_ROW) {
        db->row_current = true;
        return 1;
    }
    if (rc != SQLITE_DONE)
        log_failure(db, "Stepping a query", sqlite3_sql(db->result));
    db_interface_close_result(db);
    return 0;
}

void db_interface_close_result(DBInterface *db) {
    if (db == nullptr)
        return;
    sqlite3_finalize(db->result);
    db->result = nullptr;
    db->first_row_waiting = false;
    db->row_current = false;
}

const gchar *db_get_text_column(DBInterface *db, const gchar *column, gint /*reserved*/) {
    const int index = current_column(db, column);
    if (index < 0)
        return nullptr;
    return reinterpret_cast<const gchar *>(sqlite3_column_text(db->result, index));
}

gint32 db_get_int_column(DBInterface *db, const gchar *column, gint /*reserved*/) {
    const int index = current_column(db, column);
    if (index < 0)
        return 0;
    /* The low 32 bits of the stored integer. */
    return static_cast<gint32>(sqlite3_column_int64(db->result, index));
}

gint db_interface_execute_update(DBInterface *db, const gchar *sql) {
    if (db == nullptr || sql == nullptr)
        return 0;
    upgrade_for_writing(db);
    return run_statements(db, sql) ? 1 : 0;
}

gint db_interface_execute_update_get_row_id(DBInterface *db, const gchar *sql, gint64 *row_id) {
    if (db == nullptr || sql == nullptr)
        return 0;
    upgrade_for_writing(db);
    /* Zeroed first, so that a statement that inserted nothing reports no row id. */
    sqlite3_set_last_insert_rowid(db->connection, 0);
    if (!run_statements(db, sql))
        return 0;
    const sqlite3_int64 inserted = sqlite3_last_insert_rowid(db->connection);
    if (inserted != 0 && row_id != nullptr)
        *row_id = inserted;
    return 1;
}
