/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * network_utils.cpp - downloads over http and https with libcurl.
 *
 * What every download guarantees:
 *   [x] only http and https, also for every redirect; at most 5 redirects
 *   [x] a connect time-out (10 s) and a stall time-out (no byte for 20 s), each cut
 *       down to the caller's overall time-out; overall 60 s unless the caller says
 *   [x] a size cap (8 MiB unless the caller says; pictures use 4 MiB) - a body that
 *       grows past it counts as nothing arrived
 *   [x] only a 2xx answer counts: an error page never reaches the caller
 *   [x] a failed or refused download leaves the caller's array as it was
 *   [x] one connection cache per thread (a share handle), so that the requests of a
 *       run share their connections; a new easy handle per request
 *   [x] a user agent that names the system
 *   [x] conditional requests from the persistent HTTP cache (http_cache.cpp): a 304
 *       hands back the remembered body of a feed, or tells the caller that its copy
 *       of a picture is good; a new ETag or Last-Modified is taken over (switched off
 *       by FEEDSERVICEUTILS_NO_CONDITIONAL_REQUESTS, to fetch as a library without
 *       an HTTP cache does)
 *   [x] loopback, link-local and private addresses only where fetch_policy.cpp allows,
 *       checked on the address actually connected to, for every hop and reused
 *       connection (libcurl's pre-request hook)
 *   [x] what fetch_policy.cpp holds back is not asked for
 * A failure is logged once per run as a warning, with the address and the HTTP status
 * or the transfer error in words.
 */
#include "feedserviceutils_internal.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <set>
#include <vector>

namespace {

constexpr long kDefaultTimeoutSeconds = 60;
constexpr long kConnectTimeoutSeconds = 10;
constexpr long kStallTimeoutSeconds = 20;
constexpr long kMaxRedirects = 5;
constexpr char kUserAgent[] = "Velmora/1.0 (feed service utilities; libcurl)";

/* The thread's easy handle and the share handle that keeps its connections; freed when
 * the thread ends. Each request gets a new easy handle: a reused one (even after
 * curl_easy_reset) keeps a pointer to the last header of the previous response, and
 * libcurl 7.88 appends a response's first header line that starts with a blank (a
 * continuation) to that freed header. The connections stay in the share handle, so
 * the requests of a run still share them. */
class ThreadHandle {
  public:
    ThreadHandle() = default;
    ~ThreadHandle() {
        if (easy_ != nullptr)
            curl_easy_cleanup(easy_);
        if (share_ != nullptr)
            curl_share_cleanup(share_);
    }
    ThreadHandle(const ThreadHandle &) = delete;
    ThreadHandle &operator=(const ThreadHandle &) = delete;

    /* A new easy handle with every option at its default, on the thread's connections. */
    CURL *fresh() {
        if (share_ == nullptr) {
            share_ = curl_share_init();
            if (share_ != nullptr)
                curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
        }
        if (easy_ != nullptr)
            curl_easy_cleanup(easy_);
        easy_ = curl_easy_init();
        if (easy_ != nullptr && share_ != nullptr)
            curl_easy_setopt(easy_, CURLOPT_SHARE, share_);
        return easy_;
    }

  private:
    CURLSH *share_ = nullptr;
    CURL *easy_ = nullptr;
};

CURL *thread_easy_handle() {
    static std::once_flag global_init;
    std::call_once(global_init, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    thread_local ThreadHandle handle;
    return handle.fresh();
}

struct Transfer {
    GArray *body = nullptr;
    guint start_length = 0;
    gsize max_bytes = 0;
    fsu::FetchKind kind = fsu::FetchKind::Feed;
    std::set<std::string> local_allowed; /* for pictures: local addresses of the run's feeds */
    bool too_big = false;
    int hops = 0; /* requests made (the first, then each redirect) */
    bool origin_local = false;
    std::string origin_ip;
    std::string refused_ip;

    /* Whether a request may go to ip; a feed's first request goes anywhere. */
    bool may_reach(const std::string &ip) const {
        if (!fsu::is_local_address(ip.c_str()))
            return true;
        if (kind == fsu::FetchKind::Feed)
            return hops == 0 || origin_local;
        return local_allowed.count(ip) > 0;
    }
};

size_t append_body(char *data, size_t size, size_t count, void *user_data) {
    auto *transfer = static_cast<Transfer *>(user_data);
    const size_t bytes = size * count;
    const gsize received = transfer->body->len - transfer->start_length;
    if (bytes > transfer->max_bytes - received) {
        transfer->too_big = true;
        return 0; /* ends the transfer with CURLE_WRITE_ERROR */
    }
    g_array_append_vals(transfer->body, data, static_cast<guint>(bytes));
    return bytes;
}

/* Called before every new connection: one to an address not to be reached is never
 * made. */
curl_socket_t open_socket(void *user_data, curlsocktype, struct curl_sockaddr *address) {
    auto *transfer = static_cast<Transfer *>(user_data);
    char ip[INET6_ADDRSTRLEN] = "";
    if (address->family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in *>(&address->addr)->sin_addr, ip,
                  sizeof ip);
    else if (address->family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6 *>(&address->addr)->sin6_addr, ip,
                  sizeof ip);
    if (!transfer->may_reach(ip)) {
        transfer->refused_ip = ip;
        return CURL_SOCKET_BAD;
    }
    return socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

/* Called before every request, on the connection it goes out on (new or reused). */
int check_peer(void *user_data, char *peer_ip, char *, int, int) {
    auto *transfer = static_cast<Transfer *>(user_data);
    const std::string ip = peer_ip != nullptr ? peer_ip : "";
    if (!transfer->may_reach(ip)) {
        transfer->refused_ip = ip;
        return CURL_PREREQFUNC_ABORT;
    }
    if (transfer->hops++ == 0) {
        transfer->origin_ip = ip;
        transfer->origin_local = fsu::is_local_address(ip.c_str());
    }
    return CURL_PREREQFUNC_OK;
}

/* The value of a header of the last answer, or "". */
std::string header_value(CURL *easy, const char *name) {
    struct curl_header *header = nullptr;
    if (curl_easy_header(easy, name, 0, CURLH_HEADER, -1, &header) != CURLHE_OK ||
        header == nullptr || header->value == nullptr)
        return std::string();
    return header->value;
}

/* Seconds a Retry-After value asks to wait (delta seconds or an HTTP date); 0 for none. */
gint64 retry_after_seconds(const std::string &value) {
    if (value.empty())
        return 0;
    char *end = nullptr;
    const long long seconds = std::strtoll(value.c_str(), &end, 10);
    if (end != value.c_str() && *end == '\0')
        return seconds > 0 ? seconds : 0;
    const time_t when = curl_getdate(value.c_str(), nullptr);
    const gint64 now = g_get_real_time() / G_USEC_PER_SEC;
    return when > now ? when - now : 0;
}

const char *status_words(long status) {
    switch (status) {
    case 304:
        return "Not Modified, but nothing was remembered";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 410:
        return "Gone";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        break;
    }
    if (status >= 300 && status < 400)
        return "a redirect without a usable target";
    if (status >= 400 && status < 500)
        return "a client error";
    return status >= 500 ? "a server error" : "an unexpected answer";
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

void log_failure(const gchar *address, fsu::FetchKind kind, const std::string &reason) {
    g_warning("Download of the %s %s failed: %s", kind == fsu::FetchKind::Feed ? "feed" : "picture",
              address, reason.c_str());
}

struct HeaderList {
    curl_slist *list = nullptr;
    ~HeaderList() { curl_slist_free_all(list); }
    void add(const std::string &line) { list = curl_slist_append(list, line.c_str()); }
};

/* After a 304 for a picture: validators that come with it replace the remembered ones,
 * and an entry written while pictures kept their bodies is made small too. */
void keep_picture_validators(const gchar *address, const fsu::CachedResponse &cached,
                             const std::string &etag, const std::string &last_modified) {
    const bool changed = (!etag.empty() && etag != cached.etag) ||
                         (!last_modified.empty() && last_modified != cached.last_modified);
    if (changed || cached.has_body)
        fsu::http_cache_store(
            address,
            fsu::CachedResponse{etag.empty() ? cached.etag : etag,
                                last_modified.empty() ? cached.last_modified : last_modified,
                                std::string(), false});
}

} // namespace

bool fsu::conditional_requests() {
    const gchar *off = g_getenv("FEEDSERVICEUTILS_NO_CONDITIONAL_REQUESTS");
    return off == nullptr || *off == '\0' || g_str_equal(off, "0");
}

bool fsu::fetch(const gchar *address, GArray *body, FetchKind kind, long timeout_seconds,
                gsize max_bytes, bool force, bool *not_modified) {
    if (not_modified != nullptr)
        *not_modified = false;
    const std::string host = host_of(address);
    const std::string held = held_back(address, host, kind, force);
    if (!held.empty()) {
        /* Skipped, not failed: the failure behind it was logged when it happened. */
        g_debug("Not asking for %s: %s", address, held.c_str());
        return false;
    }
    CURL *easy = thread_easy_handle();
    if (easy == nullptr)
        return false;

    /* A picture's validators serve only a caller that has the picture; a feed's only
     * with its body. */
    const bool conditional = conditional_requests();
    const bool picture = kind == FetchKind::Picture;
    CachedResponse cached;
    const bool have_cached = conditional && (!picture || not_modified != nullptr) &&
                             http_cache_lookup(address, &cached) && (picture || cached.has_body);
    HeaderList conditions;
    if (have_cached && !cached.etag.empty())
        conditions.add("If-None-Match: " + cached.etag);
    if (have_cached && !cached.last_modified.empty())
        conditions.add("If-Modified-Since: " + cached.last_modified);

    const long timeout = timeout_seconds > 0 ? timeout_seconds : kDefaultTimeoutSeconds;
    Transfer transfer;
    transfer.body = body;
    transfer.start_length = body->len;
    transfer.max_bytes = max_bytes;
    transfer.kind = kind;
    if (kind == FetchKind::Picture)
        transfer.local_allowed = local_picture_addresses();
    char error_text[CURL_ERROR_SIZE] = "";

    curl_easy_setopt(easy, CURLOPT_URL, address);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT, timeout);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, std::min(timeout, kConnectTimeoutSeconds));
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, std::min(timeout, kStallTimeoutSeconds));
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(max_bytes));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, conditions.list);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, append_body);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, open_socket);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, check_peer);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, error_text);

    const CURLcode rc = curl_easy_perform(easy);
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    const std::string etag = header_value(easy, "ETag");
    const std::string last_modified = header_value(easy, "Last-Modified");
    const std::string retry_after = header_value(easy, "Retry-After");
    const bool no_store = header_value(easy, "Cache-Control").find("no-store") != std::string::npos;
    /* The handle outlives this call: it must not keep pointers into this frame. */
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, nullptr);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, nullptr);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);

    FetchOutcome outcome;
    outcome.connected = transfer.hops > 0;
    outcome.from_local = transfer.origin_local;
    outcome.origin_ip = transfer.origin_ip;
    outcome.unreachable = !outcome.connected && transfer.refused_ip.empty() &&
                          (rc == CURLE_COULDNT_CONNECT || rc == CURLE_COULDNT_RESOLVE_HOST ||
                           rc == CURLE_OPERATION_TIMEDOUT);
    std::string reason;
    if (rc == CURLE_OK && status >= 200 && status < 300) {
        outcome.arrived = true;
        if (conditional && !no_store)
            http_cache_store(
                address, CachedResponse{etag, last_modified,
                                        picture ? std::string()
                                                : std::string(body->data + transfer.start_length,
                                                              body->len - transfer.start_length),
                                        !picture});
    } else if (rc == CURLE_OK && status == 304 && have_cached) {
        if (picture) {
            outcome.arrived = true;
            *not_modified = true;
            keep_picture_validators(address, cached, etag, last_modified);
        } else if (cached.body.size() > max_bytes) {
            reason = "larger than the size cap";
        } else {
            outcome.arrived = true;
            g_array_append_vals(body, cached.body.data(), static_cast<guint>(cached.body.size()));
            /* Validators that come with the 304 replace the remembered ones. */
            const bool changed = (!etag.empty() && etag != cached.etag) ||
                                 (!last_modified.empty() && last_modified != cached.last_modified);
            if (changed) {
                if (!etag.empty())
                    cached.etag = etag;
                if (!last_modified.empty())
                    cached.last_modified = last_modified;
                http_cache_store(address, cached);
            }
        }
    } else if (!transfer.refused_ip.empty()) {
        reason = "refused to connect to " + transfer.refused_ip +
                 ", an address on a loopback, link-local or private network";
    } else if (transfer.too_big || rc == CURLE_FILESIZE_EXCEEDED) {
        reason = "larger than the size cap";
    } else if (rc == CURLE_OK) {
        reason = "HTTP status " + std::to_string(status) + " (" + status_words(status) + ")";
        if (status == 429 || status == 503) {
            outcome.server_wait_seconds = retry_after_seconds(retry_after);
            if (outcome.server_wait_seconds > 0)
                reason +=
                    ", not asked again for " + std::to_string(outcome.server_wait_seconds) + " s";
        }
    } else {
        reason = error_text[0] != '\0' ? error_text : curl_easy_strerror(rc);
        if (status != 0)
            reason += " (HTTP status " + std::to_string(status) + ")";
    }
    note_outcome(address, host, kind, outcome);
    if (!outcome.arrived) {
        log_failure(address, kind, reason);
        g_array_set_size(body, transfer.start_length);
    }
    return outcome.arrived;
}

gint network_utils_get(GString *address, GArray *body, gint /*flags*/, gint timeout_seconds,
                       gint max_bytes) {
    if (address == nullptr || address->len == 0 || body == nullptr ||
        g_array_get_element_size(body) != 1)
        return 0;
    return fsu::fetch(address->str, body, fsu::FetchKind::Feed, timeout_seconds,
                      static_cast<gsize>(max_bytes > 0 ? max_bytes : fsu::kFeedMaxBytes), false)
               ? 1
               : 0;
}

void network_utils_begin_run(const gchar *region, GSList *categories) {
    /* The same region and the same categories in any order are the same settings. */
    std::set<std::string> sorted;
    for (GSList *entry = categories; entry != nullptr; entry = entry->next)
        if (entry->data != nullptr)
            sorted.insert(static_cast<const gchar *>(entry->data));
    std::string settings = region != nullptr ? std::string("region ") + region : "no region";
    for (const std::string &category : sorted)
        settings += "\ncategory " + category;
    fsu::begin_run(settings);
}
