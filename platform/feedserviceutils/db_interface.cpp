/*
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
 * A handle has at most one pending result. db_interface_execute_query runs the first
 * step itself, so that every failure shows in its return value; the result is
 * finalized as soon as its rows run out or the caller closes it, because an open read
 * keeps its WAL snapshot and holds the log from being checkpointed. Failures are logged
 * once, with the SQL and SQLite's message, at debug level.
 */
#include "feedserviceutils_internal.h"

#include <sqlite3.h>

#include <cstring>

struct _DBInterface {
    sqlite3 *connection = nullptr;
    sqlite3_stmt *result = nullptr; /* the pending result, if any */
    bool first_row_waiting = false; /* execute_query fetched a row not yet handed out */
    bool row_current = false;
};

namespace {

constexpr int kBusyTimeoutMs = 200;
constexpr gint64 kBusyRetryWindowUs = 500 * 1000;
constexpr gulong kBusyRetryPauseUs = 5 * 1000;

void log_failure(sqlite3 *connection, const char *what, const char *sql) {
    g_debug("%s failed: %s [SQL: %s]", what,
            connection != nullptr ? sqlite3_errmsg(connection) : "no connection",
            sql != nullptr ? sql : "");
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
            log_failure(db->connection, "Preparing a statement", sql);
            return false;
        }
        if (statement == nullptr) /* only blanks or comments left */
            break;
        int rc = first_step_with_retry(statement);
        while (rc == SQLITE_ROW)
            rc = sqlite3_step(statement);
        if (rc != SQLITE_DONE)
            log_failure(db->connection, "Executing a statement", sql);
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

} // namespace

namespace fsu {

DBInterface *open_database(const gchar *path, int *probe_result) {
    if (probe_result != nullptr)
        *probe_result = SQLITE_MISUSE;
    if (path == nullptr || *path == '\0')
        return nullptr;

    auto db = std::make_unique<DBInterface>();
    int rc =
        sqlite3_open_v2(path, &db->connection, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        g_debug("Opening the database %s failed: %s", path,
                db->connection != nullptr ? sqlite3_errmsg(db->connection) : "out of memory");
        if (probe_result != nullptr)
            *probe_result = rc;
        sqlite3_close(db->connection);
        return nullptr;
    }
    sqlite3_busy_timeout(db->connection, kBusyTimeoutMs);
    sqlite3_exec(db->connection, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);

    /* Reading the schema tells whether the file is a database at all. */
    g_autofree gchar *journal_mode = nullptr;
    const bool readable = run_statements(db.get(), "SELECT count(*) FROM sqlite_master") &&
                          query_first_text(db.get(), "PRAGMA journal_mode", "journal_mode",
                                           &journal_mode) == FirstRow::Found;
    rc = readable ? SQLITE_OK : sqlite3_errcode(db->connection);
    if (probe_result != nullptr)
        *probe_result = rc;
    if (rc == SQLITE_BUSY) {
        /* A database, locked by another connection for longer than we wait: the
         * handle is good, its statements will report failure until the lock goes. */
        return db.release();
    }
    if (rc != SQLITE_OK) {
        db_interface_free(db.release());
        return nullptr;
    }
    /* The journal mode persists in the file: set once, when the database is made (or
     * found in another mode). */
    if (journal_mode == nullptr || g_ascii_strcasecmp(journal_mode, "wal") != 0)
        run_statements(db.get(), "PRAGMA journal_mode=WAL");
    return db.release();
}

FirstRow query_first_text(DBInterface *db, const gchar *sql, const gchar *column, gchar **value) {
    *value = nullptr;
    if (db == nullptr || sql == nullptr || column == nullptr)
        return FirstRow::Failed;
    sqlite3_stmt *statement = nullptr;
    if (prepare_with_retry(db->connection, sql, &statement, nullptr) != SQLITE_OK ||
        statement == nullptr) {
        log_failure(db->connection, "Preparing a query", sql);
        return FirstRow::Failed;
    }
    const int rc = first_step_with_retry(statement);
    if (rc == SQLITE_ROW) {
        const int index = find_column(statement, column);
        if (index >= 0)
            *value =
                g_strdup(reinterpret_cast<const gchar *>(sqlite3_column_text(statement, index)));
    } else if (rc != SQLITE_DONE) {
        log_failure(db->connection, "Executing a query", sql);
    }
    sqlite3_finalize(statement);
    return rc == SQLITE_ROW    ? FirstRow::Found
           : rc == SQLITE_DONE ? FirstRow::None
                               : FirstRow::Failed;
}

} // namespace fsu

DBInterface *db_interface_new(const gchar *path) {
    return fsu::open_database(path, nullptr);
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
        log_failure(db->connection, "Preparing a query", sql);
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
        log_failure(db->connection, "Executing a query", sql);
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
        log_failure(db->connection, "Stepping a query", sqlite3_sql(db->result));
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
    return run_statements(db, sql) ? 1 : 0;
}

gint db_interface_execute_update_get_row_id(DBInterface *db, const gchar *sql, gint64 *row_id) {
    if (db == nullptr || sql == nullptr)
        return 0;
    /* Zeroed first, so that a statement that inserted nothing reports no row id. */
    sqlite3_set_last_insert_rowid(db->connection, 0);
    if (!run_statements(db, sql))
        return 0;
    const sqlite3_int64 inserted = sqlite3_last_insert_rowid(db->connection);
    if (inserted != 0 && row_id != nullptr)
        *row_id = inserted;
    return 1;
}
