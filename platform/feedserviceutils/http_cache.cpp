/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * http_cache.cpp - the persistent HTTP cache behind conditional requests.
 *
 * For every address whose answer carried an ETag or a Last-Modified (and no
 * "Cache-Control: no-store"), the validators are kept, with the body of a feed, so that
 * the next request can ask "changed since?" and a 304 answer hands back the remembered
 * body. A picture's body is not kept: its file in the picture cache is the one copy,
 * and a 304 for it tells that file is still good. An answer without validators, or
 * with no-store, removes the address's entry (network_utils.cpp): a later 304 must
 * never hand back an older body. The cache lives in
 * "<XDG cache dir>/feedserviceutils/http", one file per address, named by the SHA-256
 * of the address (never by the address itself):
 *
 *   feedserviceutils-http-cache 1\n
 *   url <address>\n  etag <value>\n  last-modified <value>\n
 *   size <body bytes>\n  sha256 <of the body>\n  [body no\n]
 *   \n
 *   <body>
 *
 * Each file is written whole (fsu::write_file_at, without a disk flush per answer); a
 * file that does not read back whole after a crash (wrong magic,
 * address, size or checksum) is removed and the address fetched unconditionally.
 * The cache is bounded (5 MiB unless set for tests): the entries used least lately
 * (file modification time, refreshed on every use) are removed first, and a body
 * larger than half the bound is not kept. One mutex guards the index.
 */
#include "feedserviceutils_internal.h"

#include <glib/gstdio.h>
#include <sys/stat.h>
#include <utime.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

constexpr char kMagic[] = "feedserviceutils-http-cache 1";
constexpr gsize kDefaultLimit = 5 * 1024 * 1024;

struct IndexEntry {
    gsize size = 0;
    gint64 last_used = 0; /* microseconds, as the file's modification time */
};

struct Cache {
    std::mutex lock;
    std::string dir; /* the directory the index describes; "" before the first use */
    std::map<std::string, IndexEntry> index;
    gsize total = 0;
    gsize limit = kDefaultLimit;
};

Cache &cache() {
    static Cache instance;
    return instance;
}

/* Read from the environment on every use, so that a process (a test) may move it. */
std::string cache_dir() {
    const char *xdg = g_getenv("XDG_CACHE_HOME");
    g_autofree gchar *base = nullptr;
    if (xdg != nullptr && g_path_is_absolute(xdg))
        base = g_strdup(xdg);
    else
        base = g_build_filename(g_getenv("HOME") ? g_getenv("HOME") : g_get_home_dir(), ".cache",
                                nullptr);
    g_autofree gchar *dir = g_build_filename(base, "feedserviceutils", "http", nullptr);
    return dir;
}

std::string entry_name(const std::string &url) {
    g_autofree gchar *hash = g_compute_checksum_for_string(G_CHECKSUM_SHA256, url.c_str(), -1);
    return hash;
}

/* Under the lock: the index of the current directory, read from the disk once. */
void load_index(Cache &c) {
    const std::string dir = cache_dir();
    if (dir == c.dir)
        return;
    c.dir = dir;
    c.index.clear();
    c.total = 0;
    GDir *listing = g_dir_open(dir.c_str(), 0, nullptr);
    if (listing == nullptr)
        return;
    while (const gchar *name = g_dir_read_name(listing)) {
        g_autofree gchar *path = g_build_filename(dir.c_str(), name, nullptr);
        if (strlen(name) > 64 && name[64] == '.' && g_str_has_suffix(name, fsu::kPartialSuffix)) {
            g_remove(path); /* a temporary file a crash left behind */
            continue;
        }
        if (strlen(name) != 64)
            continue;
        GStatBuf st;
        if (g_stat(path, &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        /* In 64 bits: a 32-bit time_t times a million overflows. */
        const gint64 used =
            static_cast<gint64>(st.st_mtim.tv_sec) * G_USEC_PER_SEC + st.st_mtim.tv_nsec / 1000;
        c.index[name] = IndexEntry{static_cast<gsize>(st.st_size), used};
        c.total += static_cast<gsize>(st.st_size);
    }
    g_dir_close(listing);
}

void forget(Cache &c, const std::string &name) {
    auto found = c.index.find(name);
    if (found == c.index.end())
        return;
    c.total -= found->second.size;
    c.index.erase(found);
}

void remove_entry(Cache &c, const std::string &name) {
    forget(c, name);
    g_autofree gchar *path = g_build_filename(c.dir.c_str(), name.c_str(), nullptr);
    g_remove(path);
}

/* Writes the entry's file whole through the cache directory, opened without following a
 * link (a link in its place keeps the answer out of the cache). */
bool write_entry(const Cache &c, const std::string &name, const std::string &text) {
    const fsu::DirectoryFd dir{fsu::open_directory_nofollow(c.dir.c_str())};
    if (dir.fd < 0) {
        g_debug("Cannot open the HTTP cache %s: %s", c.dir.c_str(), g_strerror(errno));
        return false;
    }
    GError *error = nullptr;
    const bool written = fsu::write_file_at(dir.fd, name, text.data(), text.size(), 0600, &error);
    if (!written) {
        g_debug("Cannot write the cache entry %s: %s", name.c_str(), error->message);
        g_error_free(error);
    }
    return written;
}

/* Removes the least lately used entries until the total fits the bound. */
void evict(Cache &c) {
    while (c.total > c.limit && !c.index.empty()) {
        auto oldest = c.index.begin();
        for (auto it = c.index.begin(); it != c.index.end(); ++it)
            if (it->second.last_used < oldest->second.last_used)
                oldest = it;
        remove_entry(c, std::string(oldest->first));
    }
}

/* Now, and later than every use the index knows of: uses within one clock tick keep
 * their order. */
gint64 use_time(const Cache &c) {
    gint64 now = g_get_real_time();
    for (const auto &entry : c.index)
        now = std::max(now, entry.second.last_used + 1);
    return now;
}

void touch(Cache &c, const std::string &name) {
    const gint64 now = use_time(c);
    auto found = c.index.find(name);
    if (found != c.index.end())
        found->second.last_used = now;
    g_autofree gchar *path = g_build_filename(c.dir.c_str(), name.c_str(), nullptr);
    g_utime(path, nullptr);
}

/* Splits "key value" header lines of an entry; false when a line is malformed. */
bool read_fields(const std::string &head, std::map<std::string, std::string> *fields) {
    size_t at = 0;
    bool first = true;
    while (at < head.size()) {
        size_t end = head.find('\n', at);
        if (end == std::string::npos)
            end = head.size();
        const std::string line = head.substr(at, end - at);
        at = end + 1;
        if (first) {
            if (line != kMagic)
                return false;
            first = false;
            continue;
        }
        const size_t space = line.find(' ');
        if (space == std::string::npos)
            return false;
        (*fields)[line.substr(0, space)] = line.substr(space + 1);
    }
    return !first;
}

bool parse_entry(const std::string &url, const gchar *data, gsize length,
                 fsu::CachedResponse *out) {
    const std::string text(data, length);
    const size_t split = text.find("\n\n");
    if (split == std::string::npos)
        return false;
    std::map<std::string, std::string> fields;
    if (!read_fields(text.substr(0, split), &fields) || fields["url"] != url)
        return false;
    const std::string body = text.substr(split + 2);
    if (fields["size"] != std::to_string(body.size()))
        return false;
    g_autofree gchar *sum = g_compute_checksum_for_data(
        G_CHECKSUM_SHA256, reinterpret_cast<const guchar *>(body.data()), body.size());
    if (fields["sha256"] != sum)
        return false;
    out->etag = fields["etag"];
    out->last_modified = fields["last-modified"];
    out->body = body;
    out->has_body = fields["body"] != "no";
    return !out->etag.empty() || !out->last_modified.empty();
}

/* A header value as it may stand on one line of an entry. */
bool storable(const std::string &value) {
    return value.find('\n') == std::string::npos && value.find('\r') == std::string::npos;
}

} // namespace

bool fsu::http_cache_lookup(const std::string &url, CachedResponse *out) {
    Cache &c = cache();
    std::lock_guard<std::mutex> guard(c.lock);
    load_index(c);
    const std::string name = entry_name(url);
    auto known = c.index.find(name);
    if (known == c.index.end())
        return false;
    if (known->second.size > c.limit) {
        remove_entry(c, name); /* not one this cache wrote: never read it whole */
        return false;
    }
    g_autofree gchar *path = g_build_filename(c.dir.c_str(), name.c_str(), nullptr);
    gchar *data = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(path, &data, &length, nullptr)) {
        forget(c, name);
        return false;
    }
    const bool whole = parse_entry(url, data, length, out);
    g_free(data);
    if (!whole) {
        g_message("Dropping the damaged cache entry of %s", url.c_str());
        remove_entry(c, name);
        return false;
    }
    touch(c, name);
    return true;
}

void fsu::http_cache_store(const std::string &url, const CachedResponse &response) {
    if ((response.etag.empty() && response.last_modified.empty()) || !storable(url) ||
        !storable(response.etag) || !storable(response.last_modified))
        return;
    Cache &c = cache();
    std::lock_guard<std::mutex> guard(c.lock);
    load_index(c);
    const std::string name = entry_name(url);
    if (response.body.size() > c.limit / 2) {
        remove_entry(c, name);
        return;
    }
    g_autofree gchar *sum = g_compute_checksum_for_data(
        G_CHECKSUM_SHA256, reinterpret_cast<const guchar *>(response.body.data()),
        response.body.size());
    std::string text = std::string(kMagic) + "\nurl " + url + "\netag " + response.etag +
                       "\nlast-modified " + response.last_modified + "\nsize " +
                       std::to_string(response.body.size()) + "\nsha256 " + sum + "\n" +
                       (response.has_body ? "" : "body no\n") + "\n";
    text += response.body;

    if (!write_entry(c, name, text))
        return;
    forget(c, name);
    const gint64 now = use_time(c);
    c.index[name] = IndexEntry{text.size(), now};
    c.total += text.size();
    evict(c);
}

void fsu::http_cache_forget(const std::string &url) {
    Cache &c = cache();
    std::lock_guard<std::mutex> guard(c.lock);
    load_index(c);
    remove_entry(c, entry_name(url));
}

void fsu::http_cache_set_limit(gsize bytes) {
    Cache &c = cache();
    std::lock_guard<std::mutex> guard(c.lock);
    c.limit = bytes > 0 ? bytes : kDefaultLimit;
    load_index(c);
    evict(c);
}

std::string fsu::http_cache_path(const std::string &url) {
    g_autofree gchar *path =
        g_build_filename(cache_dir().c_str(), entry_name(url).c_str(), nullptr);
    return path;
}
