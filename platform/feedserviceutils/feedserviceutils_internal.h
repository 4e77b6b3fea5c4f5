/*
 * feedserviceutils_internal.h - helpers shared between the library's own source files;
 * not installed, not part of the library's interface.
 */
#ifndef FEEDSERVICEUTILS_INTERNAL_H
#define FEEDSERVICEUTILS_INTERNAL_H

#include "feedserviceutils.h"

#include <memory>

struct sqlite3;

namespace fsu {

/* Size caps of downloads: a feed document, and one picture. */
constexpr gint kFeedMaxBytes = 8 * 1024 * 1024;
constexpr gint kPictureMaxBytes = 4 * 1024 * 1024;

/* Opens the SQLite file at path (creating it) configured for one writer and readers in
 * other processes: WAL journaling, synchronous=NORMAL, a short busy time-out. Returns
 * NULL when the file cannot be opened or read as a database; *probe_result (if given)
 * then holds SQLite's result code (SQLITE_NOTADB for a file that is not a database).
 * A database locked for longer than the busy wait gives a handle (and SQLITE_BUSY).
 * With read_only_fallback, a store that cannot be opened for writing (a read-only file
 * system) is opened read-only. */
DBInterface *open_database(const gchar *path, int *probe_result, bool read_only_fallback);

/* The handle's SQLite connection. */
sqlite3 *connection_of(DBInterface *db);
/* Whether ensure_database has found the handle's file sound, and marking it so. */
bool store_checked(DBInterface *db);
void mark_store_checked(DBInterface *db);

/* What query_first_text found. */
enum class FirstRow { Failed, None, Found };

/* Runs sql (one statement) on a statement of its own, apart from the handle's pending
 * result, and stores in *value a new copy of the named column of the first row (NULL
 * when there is no row or the value is NULL). */
FirstRow query_first_text(DBInterface *db, const gchar *sql, const gchar *column, gchar **value);

/* The path the watcher was made on. */
const char *watched_path(FileWatcher *watcher);

/* Forgets the picture downloads and hosts that failed lately, so that they are tried
 * again at once (see image_cache.cpp). For tests. */
void forget_failed_downloads();

/* Owners of the library's handles, for early returns inside the C functions. */
struct SymTableDeleter {
    void operator()(DBSymTable *table) const { db_symtable_free(table); }
};
using SymTablePtr = std::unique_ptr<DBSymTable, SymTableDeleter>;

} // namespace fsu

#endif /* FEEDSERVICEUTILS_INTERNAL_H */
