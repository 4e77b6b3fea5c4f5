/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * feedserviceutils.h - the feed-service utilities library: database access and
 * statement building, catalogues, file watching, downloads and the picture cache.
 *
 * Every function has C linkage. Strings passed in stay the caller's; every
 * gchar* returned as "new" is owned by the caller and freed with g_free().
 * Every *_free accepts NULL.
 */
#ifndef FEEDSERVICEUTILS_H
#define FEEDSERVICEUTILS_H

#include <glib.h>

G_BEGIN_DECLS

typedef struct _DBInterface DBInterface;
typedef struct _DBSymTable DBSymTable;
typedef struct _QueryLoader QueryLoader;
typedef struct _FileWatcher FileWatcher;

/* ---- Database: one result at a time per handle; a NULL handle gives no rows
 * and writes nothing. ---- */

/* Opens (creating if needed) the SQLite file at path; NULL on failure, also when the
 * file is not a database or path is a symbolic link (never followed). An existing file
 * is opened for reading only, so that a process that only reads it never writes it (no
 * checkpoint, no journal mode); the handle's first update opens it again for writing.
 * A store that cannot be written (read-only file system or directory) stays read-only.
 * Every connection uses WAL journaling (set when the file is made), synchronous=NORMAL
 * and a busy time-out of 200 ms, so that one writing and several reading processes
 * share the file; a statement still meeting "locked" is retried for a bounded time and
 * then reported as a failure, never as an empty result.
 * The first statement that fails during an update run is logged as a warning with
 * SQLite's message; every failure goes to the debug log. */
DBInterface *db_interface_new(const gchar *path);
void db_interface_free(DBInterface *db);

/* Starts a query (one statement); a pending result of the same handle is closed
 * first. Non-zero on success, also when the query yields no rows; 0 when it cannot run. */
gint db_interface_execute_query(DBInterface *db, const gchar *sql);
/* Non-zero while a row is current; closes the result when the rows run out (an open
 * result holds the database's log from being checkpointed). */
gint db_interface_step_result(DBInterface *db);
void db_interface_close_result(DBInterface *db);
/* Current row's text of the result column named column (as the query names it), or
 * NULL; valid until the next step. reserved: pass 0. */
const gchar *db_get_text_column(DBInterface *db, const gchar *column, gint reserved);
/* Current row's integer (its low 32 bits) of the named column; 0 without a current
 * row. */
gint32 db_get_int_column(DBInterface *db, const gchar *column, gint reserved);

/* Runs the statements of sql in order (stopping at the first failure); does not touch
 * the pending result. Non-zero on success. */
gint db_interface_execute_update(DBInterface *db, const gchar *sql);
/* As above, and stores the new row's id in *row_id (left untouched on failure, and when
 * no row was inserted). */
gint db_interface_execute_update_get_row_id(DBInterface *db, const gchar *sql, gint64 *row_id);

/* Afterwards *db and *watcher serve the database file at path, which exists
 * with its tables (statement "create_tables" of the catalogue) and can be written.
 * Both handles are replaced when either is absent, the connection is read-only or the
 * watcher reports the file deleted; the directory is made if needed. The first time a
 * connection is used here the file is checked: a file that is not a database, fails
 * SQLite's quick integrity check or has a table that lacks a column "create_tables"
 * defines (an older store) is kept aside as "<path>.corrupt-<UTC time>" and a new one
 * made; so is a symbolic link at path (links at its "-wal"/"-shm" are removed). Non-zero
 * on success. */
gint ensure_database(DBInterface **db, FileWatcher **watcher, const gchar *path,
                     QueryLoader *queries);

/* ---- Statements ----
 * Placeholder notation: a question mark "?" in the template stands for the next
 * symbol; marks inside quoted text ('..', "..", `..`, [..]) or comments (from -- to the
 * line's end, and C-style comments) are not placeholders. Symbols are inserted in one pass and
 * never re-scanned. Every symbol must be one literal made by db_make_string_param* (or NULL, which
 * gives SQL NULL); anything else makes db_format_query refuse the template. */

DBSymTable *db_symtable_new(void);
/* Appends value; the table does not take ownership. */
void db_add_symbol(DBSymTable *table, const gchar *value);
/* Frees the table only, not the values added to it. */
void db_symtable_free(DBSymTable *table);
/* A new SQL literal (quoted, every ' doubled) that reads back as text byte for byte
 * unchanged; NULL text gives the literal NULL. */
gchar *db_make_string_param(const gchar *text);
/* A new decimal integer literal. */
gchar *db_make_string_param_from_int(gint32 value);
/* A new statement with the template's placeholders filled in order, or NULL
 * when the count of placeholders and symbols differ. */
gchar *db_format_query(DBSymTable *table, const gchar *template_text);

/* ---- Catalogues ----
 * A catalogue is a key file: "name=value" entries, optionally under "[section]"
 * headers; entries before the first header are the un-sectioned ones. A value goes on
 * over the following lines that start with a blank (joined with newlines); '#' starts a
 * comment line; values are literal. Full description: platform/feedserviceutils/README.md.
 * A missing file or a file that does not parse gives a NULL loader; a missing name or
 * section gives NULL. */

QueryLoader *query_loader_new(const gchar *path);
void query_loader_free(QueryLoader *loader);
gchar *query_loader_load_query(QueryLoader *loader, const gchar *name);
gchar *query_loader_load_query_by_section(QueryLoader *loader, const gchar *section,
                                          const gchar *name);

/* ---- Files and network ---- */

FileWatcher *file_watcher_new(const gchar *path);
void file_watcher_free(FileWatcher *watcher);
/* Non-zero once the watched file has been deleted, or replaced by a new file at the
 * same path (seen through an inotify watch on its directory and by comparing device,
 * inode and birth time). A watcher made on a path with no file, and a NULL watcher,
 * report non-zero. Needs no main loop; never opens the watched file. */
gint file_watcher_is_file_deleted(FileWatcher *watcher);

/* Fetches address (http or https only, also across at most 5 redirects) and appends
 * the response body to body, a GArray of 1-byte elements. Only a 2xx answer within the
 * size cap counts; otherwise the array is left as it was (empty: nothing arrived).
 * Answers with an ETag or Last-Modified are remembered on disk (under the user's cache
 * directory, "feedserviceutils/http"), the next request for the address is
 * conditional, and a 304 appends the remembered body; an answer without validators or
 * with "Cache-Control: no-store" removes what was remembered. A 429 or 503 with
 * Retry-After keeps the host from being asked before that time, an hour at most, or
 * until a run with other settings begins. A redirect to a loopback, link-local or
 * private address is refused unless address itself is on one; through a proxy the
 * target host is judged, not the proxy. A failure
 * is logged once per run (the daemon marks the runs) as a warning, with the address and
 * the HTTP status or transfer error in words; an address that failed is not asked for
 * again in the same run.
 * flags: reserved, pass 0. timeout_seconds: the whole download's limit (default 60; the
 * connect time-out is 10 s and a stall of 20 s ends it, each cut to this limit).
 * max_bytes: the size cap (default 8 MiB; pictures use 4 MiB). One connection per
 * thread is kept and reused across calls. Non-zero on success. */
gint network_utils_get(GString *address, GArray *body, gint flags, gint timeout_seconds,
                       gint max_bytes);

/* Creates the directory (path ends in "/") with its parents (mode 0700) if absent; a
 * symbolic link in its place is removed first (only the link). Non-zero when a real
 * directory exists afterwards. */
gint ensure_directory(const gchar *path);

/* Makes sure the picture of image_id is a file "<image_id>.img" in cache_dir and
 * that its picture row records the file's path. It counts as cached when the
 * catalogue's "sel_image_path" (parameter: picture id; column "image_path") gives
 * exactly that path and it is a regular file; then nothing is fetched. Otherwise the
 * picture (4 MiB at most) is written to a temporary file in cache_dir and renamed into
 * place, both through the directory itself without following a link (a link in the
 * directory's place is replaced by a directory; a failed write removes its temporary
 * file), and
 * update_template (the "update_image_paths" statement) is filled with 1. the file's
 * path and 2. the picture id, and run. A failed download leaves no file and records no
 * path; without a picture row of image_id nothing is fetched. item_id is not used.
 * A picture whose download failed is not asked for again in the same run, nor (for 2
 * minutes) is a host that could not be connected to, nor (in the same run) a host whose
 * picture timed out; the pictures of a run may lose at most 20 s to failed transfers.
 * A picture on a loopback, link-local or private address is fetched only at an address
 * and port that a feed of the run came from.
 * A 304 to the conditional request writes the remembered picture.
 * force: non-zero fetches even when cached or failed lately. Non-zero when the picture
 * is cached. */
gint check_and_download_image(DBInterface *db, const gchar *cache_dir, QueryLoader *queries,
                              gint32 item_id, gint32 image_id, const gchar *image_url,
                              const gchar *update_template, gint force);

/* Deletes the stored picture rows (statement "del_image_all"). */
gint delete_image_data_from_database(DBInterface *db, QueryLoader *queries);

G_END_DECLS

/* g_autoptr() support; each *_free accepts NULL. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC(DBInterface, db_interface_free)
G_DEFINE_AUTOPTR_CLEANUP_FUNC(DBSymTable, db_symtable_free)
G_DEFINE_AUTOPTR_CLEANUP_FUNC(QueryLoader, query_loader_free)
G_DEFINE_AUTOPTR_CLEANUP_FUNC(FileWatcher, file_watcher_free)

#endif /* FEEDSERVICEUTILS_H */
