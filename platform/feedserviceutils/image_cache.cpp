/*
 * image_cache.cpp - directories and the picture cache.
 *
 * A picture is a file "<picture id>.img" in the cache directory; its name never comes
 * from the picture's address. It is cached when its picture row records a path whose
 * file exists ("sel_image_path" of the catalogue reads that path); a cached picture is
 * not fetched again unless the caller forces it. A fetched picture (4 MiB at most) is
 * written to a temporary file beside its final name and renamed into place, so a reader
 * never finds a partial picture under the final name; it is not synced to disk. The path is then
 * recorded with the "update_image_paths" template handed in by the caller: the library binds two
 * parameters, 1. the file's path (text), 2. the picture id (integer). A failed download
 * writes no file and records no path.
 *
 * Failed downloads are remembered in the process, since the item store checks every
 * stored item's picture after each item it stores: a picture that failed (and so
 * records no path) would otherwise be asked for again after every later item, 1 + 2 +
 * ... + n requests in a run, each perhaps waiting for a time-out.
 *   - A picture address whose download failed gets no new request for 10 minutes;
 *     the daemon runs the plug-in hourly, so the next run tries it again.
 *   - A host where a download failed only after 5 seconds or more (a connect or stall
 *     time-out, or a host that slow) gets no request for 2 minutes, so that the many
 *     pictures of a dead host do not each wait for the time-out.
 *   - force skips both checks; a download that succeeds clears both entries.
 * Each set keeps at most 1,024 entries (the oldest are dropped) behind one mutex: the
 * daemon runs plug-ins on a worker thread.
 */
#include "feedserviceutils_internal.h"

#include <glib/gstdio.h>

#include <cerrno>
#include <deque>
#include <initializer_list>
#include <string>
#include <unordered_map>
#include <utility>

namespace {

constexpr int kDirectoryMode = 0700;
constexpr int kPictureMode = 0644;

constexpr gint64 kPictureRetryAfter = 10 * 60 * G_USEC_PER_SEC;
constexpr gint64 kHostRetryAfter = 2 * 60 * G_USEC_PER_SEC;
constexpr gint64 kSlowFailure = 5 * G_USEC_PER_SEC;
constexpr gsize kMaxRemembered = 1024;

/* Keys (picture addresses, or hosts) that failed lately, each forgotten after a while.
 * Not locked itself: failure_lock guards every use. */
class RecentFailures {
  public:
    explicit RecentFailures(gint64 lifetime) : lifetime_(lifetime) {}

    /* Whether key failed less than the lifetime ago; forgets it when longer ago. */
    bool failed_lately(const std::string &key, gint64 now) {
        auto found = failed_at_.find(key);
        if (found == failed_at_.end())
            return false;
        if (now - found->second < lifetime_)
            return true;
        failed_at_.erase(found);
        return false;
    }

    void add(const std::string &key, gint64 now) {
        failed_at_[key] = now;
        order_.emplace_back(key, now);
        /* order_ holds every key's latest failure (and older ones of keys that failed
         * again), so capping it caps the set; an older entry removes nothing. */
        while (order_.size() > kMaxRemembered) {
            auto found = failed_at_.find(order_.front().first);
            if (found != failed_at_.end() && found->second == order_.front().second)
                failed_at_.erase(found);
            order_.pop_front();
        }
    }

    void remove(const std::string &key) { failed_at_.erase(key); }

    void clear() {
        failed_at_.clear();
        order_.clear();
    }

  private:
    gint64 lifetime_;
    std::unordered_map<std::string, gint64> failed_at_;
    std::deque<std::pair<std::string, gint64>> order_; /* oldest first */
};

GMutex failure_lock;

RecentFailures &failed_pictures() {
    static RecentFailures pictures(kPictureRetryAfter);
    return pictures;
}

RecentFailures &failed_hosts() {
    static RecentFailures hosts(kHostRetryAfter);
    return hosts;
}

/* "scheme://host:port" of an address, or "" when it cannot be told. */
std::string host_of(const gchar *address) {
    GUri *uri = g_uri_parse(address, G_URI_FLAGS_PARSE_RELAXED, nullptr);
    if (uri == nullptr)
        return std::string();
    std::string host;
    if (g_uri_get_host(uri) != nullptr && g_uri_get_scheme(uri) != nullptr)
        host = std::string(g_uri_get_scheme(uri)) + "://" + g_uri_get_host(uri) + ":" +
               std::to_string(g_uri_get_port(uri));
    g_uri_unref(uri);
    return host;
}

/* Whether a download of address (on host) is to be left out for now. */
bool failed_lately(const std::string &address, const std::string &host) {
    g_autoptr(GMutexLocker) locker = g_mutex_locker_new(&failure_lock);
    const gint64 now = g_get_monotonic_time();
    return failed_pictures().failed_lately(address, now) ||
           (!host.empty() && failed_hosts().failed_lately(host, now));
}

/* Notes how a download of address (on host) that took elapsed microseconds ended. */
void note_download(const std::string &address, const std::string &host, bool fetched,
                   gint64 elapsed) {
    g_autoptr(GMutexLocker) locker = g_mutex_locker_new(&failure_lock);
    const gint64 now = g_get_monotonic_time();
    if (fetched) {
        failed_pictures().remove(address);
        failed_hosts().remove(host);
        return;
    }
    failed_pictures().add(address, now);
    if (!host.empty() && elapsed >= kSlowFailure)
        failed_hosts().add(host, now);
}

/* Fills template_text with the given parameters (SQL literals, see db_statements.cpp). */
gchar *format_with(const gchar *template_text, std::initializer_list<const gchar *> values) {
    fsu::SymTablePtr table(db_symtable_new());
    for (const gchar *value : values)
        db_add_symbol(table.get(), value);
    return db_format_query(table.get(), template_text);
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

/* Writes a fetched picture to a temporary file beside its final name and renames
 * it into place, so that no reader ever finds part of a picture under that name.
 * Not synced to disk: a picture is a cache entry that the next run fetches anew,
 * and syncing file and directory cost more per picture than its download. */
bool store_picture(const gchar *path, const GArray *picture, GError **error) {
    g_autofree gchar *partial = g_strconcat(path, ".part", nullptr);
    if (!g_file_set_contents_full(partial, picture->data, picture->len, G_FILE_SET_CONTENTS_NONE,
                                  kPictureMode, error))
        return false;
    if (g_rename(partial, path) != 0) {
        const int saved = errno;
        g_remove(partial);
        g_set_error_literal(error, G_FILE_ERROR, g_file_error_from_errno(saved), g_strerror(saved));
        return false;
    }
    return true;
}

} // namespace

void fsu::forget_failed_downloads() {
    g_autoptr(GMutexLocker) locker = g_mutex_locker_new(&failure_lock);
    failed_pictures().clear();
    failed_hosts().clear();
}

gint ensure_directory(const gchar *path) {
    if (path == nullptr || *path == '\0')
        return 0;
    if (g_mkdir_with_parents(path, kDirectoryMode) != 0) {
        g_debug("Cannot create the directory %s: %s", path, g_strerror(errno));
        return 0;
    }
    return g_file_test(path, G_FILE_TEST_IS_DIR) ? 1 : 0;
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
    if (!force && recorded != nullptr && g_file_test(recorded, G_FILE_TEST_IS_REGULAR))
        return 1;
    const std::string host = host_of(image_url);
    if (!force && failed_lately(image_url, host))
        return 0;
    if (!ensure_directory(cache_dir))
        return 0;

    GString *address = g_string_new(image_url);
    GArray *picture = g_array_new(FALSE, FALSE, 1);
    const gint64 start = g_get_monotonic_time();
    const bool fetched =
        network_utils_get(address, picture, 0, 0, fsu::kPictureMaxBytes) && picture->len > 0;
    note_download(image_url, host, fetched, g_get_monotonic_time() - start);
    g_string_free(address, TRUE);

    g_autofree gchar *name = g_strdup_printf("%d.img", image_id);
    g_autofree gchar *path = g_build_filename(cache_dir, name, nullptr);
    GError *error = nullptr;
    const bool stored = fetched && store_picture(path, picture, &error);
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
        g_remove(path);
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
