/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * feedserviceutils_internal.h - helpers shared between the library's own source files;
 * not installed, not part of the library's interface.
 */
#ifndef FEEDSERVICEUTILS_INTERNAL_H
#define FEEDSERVICEUTILS_INTERNAL_H

#include "feedserviceutils.h"
#include "feedserviceutils_runs.h"

#include <unistd.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

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

/* ---- Files of a cache directory (cache_files.cpp) ---- */

/* Makes the directory at path (and its parents); a symbolic link in its place is removed
 * first (not what it points to). True when a real directory is there afterwards. */
bool replace_link_by_directory(const gchar *path);
/* Makes the directory dir (and its parents) and opens it as a descriptor without
 * following a link: a link in its place is left there and gives -1 (errno set). The
 * caller closes it. */
int open_directory_nofollow(const gchar *dir);
/* The directory dir as a descriptor opened without following a link (made, or a link in
 * its place replaced, when needed); -1 on failure. The caller closes it. */
int open_cache_directory(const gchar *dir);
/* Whether name in the directory is a regular file (a link is not). */
bool regular_file_at(int dirfd, const std::string &name);

/* Closes a directory descriptor when it goes. */
struct DirectoryFd {
    int fd;
    explicit DirectoryFd(int descriptor) : fd(descriptor) {}
    DirectoryFd(const DirectoryFd &) = delete;
    DirectoryFd &operator=(const DirectoryFd &) = delete;
    ~DirectoryFd() {
        if (fd >= 0)
            close(fd);
    }
};

/* ---- Writing a file whole (atomic_file.cpp) ---- */

/* What the name of every partial file ends in: "<name>.XXXXXX.part". */
constexpr char kPartialSuffix[] = ".part";
/* Writes data[0, length) as the file name in the directory dirfd (mode for a new file):
 * to a new partial file beside it first, then renamed into place, each by name relative
 * to the directory and without following a link. False, with *error set, when it could
 * not; a failed write removes its partial file. */
bool write_file_at(int dirfd, const std::string &name, const void *data, gsize length, int mode,
                   GError **error);

/* ---- Downloads (network_utils.cpp) ---- */

/* A feed (a document asked for through network_utils_get) or a picture. */
enum class FetchKind { Feed, Picture };

/* Fetches address through the HTTP cache and the fetch policy and appends the body
 * (within max_bytes) to body; true when it arrived (or a 304 handed back the
 * remembered body). Every failure is logged once per run as a warning. force asks even
 * for what failed lately (not for a host that asked to wait). For pictures the cache
 * keeps only the validators: a picture is asked for conditionally only when the caller
 * has it (gives not_modified), and a 304 then sets *not_modified and appends nothing. */
bool fetch(const gchar *address, GArray *body, FetchKind kind, long timeout_seconds,
           gsize max_bytes, bool force, bool *not_modified = nullptr);

/* Whether requests may be conditional (and answers are kept for them): not when
 * FEEDSERVICEUTILS_NO_CONDITIONAL_REQUESTS is set to anything but "" or "0", which makes
 * the library fetch as one without an HTTP cache does. Read at every request. */
bool conditional_requests();

/* ---- What downloads remember (fetch_policy.cpp) ---- */

struct FetchOutcome {
    bool arrived = false;
    bool connected = false;  /* a connection to the first host was made */
    bool from_local = false; /* ... and its target is loopback, link-local or private */
    std::vector<std::string> origin_endpoints; /* that target's local endpoints ("ip port") */
    bool unreachable = false;       /* refused, unresolvable or timed out while connecting */
    bool timed_out = false;         /* ended by a time-out (a stall, a trickle, the limit) */
    gint64 elapsed_us = 0;          /* how long the transfer took */
    gint64 server_wait_seconds = 0; /* Retry-After of a 429 or 503, at most an hour */
};

/* Whether a statement failing now is the first of the run the daemon marked
 * (run_marks.cpp): true once per run, never outside a run. */
bool first_statement_failure();

/* Starts a run fetching for settings (any text naming what the run fetches). */
void begin_run(const std::string &settings);
/* Why address (on host, "scheme://name:port") is not to be asked for now, or "".
 * *picture_limit_ms (if given) gets picture_time_limit_ms() read under the same lock. */
std::string held_back(const std::string &address, const std::string &host, FetchKind kind,
                      bool force, long *picture_limit_ms = nullptr);
void note_outcome(const std::string &address, const std::string &host, FetchKind kind,
                  const FetchOutcome &outcome);
/* The local endpoints ("ip port") that feeds of the current run came from: pictures may
 * be fetched there. */
std::set<std::string> local_picture_addresses();
/* Milliseconds a picture may take now: its own limit, cut to what is left of the time
 * that the run's pictures may lose to failures (0 once that is used up). */
long picture_time_limit_ms();
/* Whether the textual IP address is loopback, link-local, private, unspecified or
 * multicast (or cannot be read). */
bool is_local_address(const char *ip);
/* Forgets every failure and server wait, so that everything is tried again at once, and
 * lifts a cancellation. For tests. */
void forget_failed_downloads();

/* Sets or lifts the cancellation of feedserviceutils_cancel_downloads (network_utils.cpp). */
void set_downloads_cancelled(bool cancelled);

/* ---- Where a request goes (fetch_target.cpp) ---- */

/* What a connection reaches: whether it is local, and if so at which endpoints. */
struct Reach {
    bool local = true;
    std::vector<std::string> local_endpoints; /* "ip port" of each local address */
    std::string shown;                        /* the address or host, for the log */
};

/* "ip port", the form in which local endpoints are remembered. */
std::string endpoint(const std::string &ip, long port);
/* Whether ip and port are those of a proxy that the environment names. */
bool is_proxy_endpoint(const std::string &ip, long port);
/* A connection judged by its peer. */
Reach reach_of_peer(const std::string &ip, long port);
/* A request through a proxy, judged by the target host of url as it resolves here. */
Reach reach_of_target(const char *url);

/* ---- The persistent HTTP cache (http_cache.cpp) ---- */

struct CachedResponse {
    std::string etag;
    std::string last_modified;
    std::string body;
    bool has_body = true; /* false: only the validators are kept (pictures) */
};

/* The remembered answer for url; false when there is none or it was damaged (then
 * removed). Marks the entry as used. */
bool http_cache_lookup(const std::string &url, CachedResponse *out);
/* Remembers (or replaces) the answer for url when it carries a validator. */
void http_cache_store(const std::string &url, const CachedResponse &response);
/* Removes the entry of url, if any. */
void http_cache_forget(const std::string &url);
/* Bounds the cache's total size (0: the default, 5 MiB), removing entries at once. */
void http_cache_set_limit(gsize bytes);
/* The file that holds url's entry. For tests. */
std::string http_cache_path(const std::string &url);

} // namespace fsu

#endif /* FEEDSERVICEUTILS_INTERNAL_H */
