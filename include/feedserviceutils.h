/*
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

/* Opens (creating if needed) the SQLite file at path; NULL on failure. */
DBInterface *db_interface_new(const gchar *path);
void db_interface_free(DBInterface *db);

/* Starts a query; a pending result of the same handle is closed first.
 * Non-zero on success. */
gint db_interface_execute_query(DBInterface *db, const gchar *sql);
/* Non-zero while a row is current; closes the result when the rows run out. */
gint db_interface_step_result(DBInterface *db);
void db_interface_close_result(DBInterface *db);
/* Current row's text of the named column, or NULL; valid until the next step.
 * reserved: pass 0. */
const gchar *db_get_text_column(DBInterface *db, const gchar *column, gint reserved);
/* Current row's integer of the named column; 0 without a current row. */
gint32 db_get_int_column(DBInterface *db, const gchar *column, gint reserved);

/* Runs a statement that returns no rows. Non-zero on success. */
gint db_interface_execute_update(DBInterface *db, const gchar *sql);
/* As above, and stores the new row's id in *row_id (left untouched on failure). */
gint db_interface_execute_update_get_row_id(DBInterface *db, const gchar *sql, gint64 *row_id);

/* Afterwards *db and *watcher serve the database file at path, which exists
 * with its tables (statements "create_tables" etc. of the catalogue). Either
 * handle may be replaced. Non-zero on success. */
gint ensure_database(DBInterface **db, FileWatcher **watcher, const gchar *path,
                     QueryLoader *queries);

/* ---- Statements ---- */

DBSymTable *db_symtable_new(void);
/* Appends value; the table does not take ownership. */
void db_add_symbol(DBSymTable *table, const gchar *value);
/* Frees the table only, not the values added to it. */
void db_symtable_free(DBSymTable *table);
/* A new SQL literal that reads back as text unchanged; NULL text gives NULL. */
gchar *db_make_string_param(const gchar *text);
gchar *db_make_string_param_from_int(gint32 value);
/* A new statement with the template's placeholders filled in order, or NULL
 * when the count of placeholders and symbols differ. */
gchar *db_format_query(DBSymTable *table, const gchar *template_text);

/* ---- Catalogues ---- */

QueryLoader *query_loader_new(const gchar *path);
void query_loader_free(QueryLoader *loader);
gchar *query_loader_load_query(QueryLoader *loader, const gchar *name);
gchar *query_loader_load_query_by_section(QueryLoader *loader, const gchar *section,
                                          const gchar *name);

/* ---- Files and network ---- */

FileWatcher *file_watcher_new(const gchar *path);
void file_watcher_free(FileWatcher *watcher);
/* Non-zero once the watched file has been deleted (or replaced by a new file). */
gint file_watcher_is_file_deleted(FileWatcher *watcher);

/* Fetches address (http or https) and appends the response body to body, a
 * GArray of 1-byte elements. An empty array afterwards means nothing arrived.
 * flags, timeout_seconds and max_bytes: 0 selects the defaults. Non-zero on success. */
gint network_utils_get(GString *address, GArray *body, gint flags, gint timeout_seconds,
                       gint max_bytes);

/* Creates the directory (path ends in "/") with its parents if absent. */
gint ensure_directory(const gchar *path);

/* Makes sure the picture of image_id is a file in cache_dir and that its
 * picture row records the file's path (update_template is the
 * "update_image_paths" statement). force: non-zero fetches even when cached. */
gint check_and_download_image(DBInterface *db, const gchar *cache_dir, QueryLoader *queries,
                              gint32 item_id, gint32 image_id, const gchar *image_url,
                              const gchar *update_template, gint force);

/* Deletes the stored picture rows (statement "del_image_all"). */
gint delete_image_data_from_database(DBInterface *db, QueryLoader *queries);

G_END_DECLS

#endif /* FEEDSERVICEUTILS_H */
