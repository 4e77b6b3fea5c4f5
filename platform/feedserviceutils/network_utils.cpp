/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * network_utils.cpp - downloads over http and https with libcurl.
 *
 * What every download guarantees:
 *   [x] only http and https, also for every redirect; at most 5 redirects
 *   [x] a connect time-out (10 s) and a stall time-out (no byte for 20 s), each cut
 *       down to the caller's overall time-out; overall 60 s unless the caller says;
 *       a picture ends after 30 s, or after 10 s below 100 bytes a second (a stall or
 *       a trickle), cut to what the run's picture budget has left (fetch_policy.cpp)
 *   [x] feedserviceutils_cancel_downloads ends every transfer under way within about a
 *       second
 *   [x] a size cap (8 MiB unless the caller says; pictures use 4 MiB) - a body that
 *       grows past it counts as nothing arrived
 *   [x] only a 2xx answer counts: an error page never reaches the caller
 *   [x] a failed or refused download leaves the caller's array as it was
 *   [x] one connection cache per thread (a share handle), so that the requests of a
 *       run share their connections; a new easy handle per request
 *   [x] a user agent that names the system
 *   [x] conditional requests from the persistent HTTP cache (http_cache.cpp): a 304
 *       hands back the remembered body of a feed, or tells the caller that its copy
 *       of a picture is good; a new ETag or Last-Modified is taken over; a 2xx without
 *       validators or with "Cache-Control: no-store" (any case) removes the entry
 *       (switched off by FEEDSERVICEUTILS_NO_CONDITIONAL_REQUESTS, to fetch as a
 *       library without an HTTP cache does)
 *   [x] loopback, link-local and private addresses only where fetch_policy.cpp allows,
 *       checked on the address actually connected to (through a proxy: on the target
 *       host, fetch_target.cpp), for every hop and reused connection (libcurl's
 *       pre-request hook)
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
#include <atomic>
#include <climits>
#include <cstring>
#include <cstdlib>
#include <mutex>
#include <set>
#include <vector>

namespace {

std::atomic<bool> cancelled{false};

constexpr long kDefaultTimeoutSeconds = 60;
constexpr long kConnectTimeoutSeconds = 10;
constexpr long kStallTimeoutSeconds = 20;
constexpr long kMaxRedirects = 5;
constexpr long kPictureStallSeconds = 10;
constexpr long kPictureLowSpeedBytes = 100;
constexpr char kUserAgent[] = "Velmora/1.0 (feed service utilities; libcurl)";
/* The longest a server may make a host wait with Retry-After: the plug-in's run interval.
 * Longer values are cut to it before any arithmetic. */
constexpr gint64 kLongestServerWaitSeconds = 3600;

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
    CURL *easy = nullptr;
    GArray *body = nullptr;
    guint start_length = 0;
    gsize max_bytes = 0;
    fsu::FetchKind kind = fsu::FetchKind::Feed;
    std::set<std::string> local_allowed; /* for pictures: local endpoints of the run's feeds */
    bool too_big = false;
    int hops = 0; /* requests made (the first, then each redirect) */
    bool origin_local = false;
    std::vector<std::string> origin_endpoints;
    std::string refused; /* the address or host a request was refused for */

    /* Whether a request may go where reach says; a feed's first request goes anywhere. */
    bool may_reach(const fsu::Reach &reach) const {
        if (!reach.local)
            return true;
        if (kind == fsu::FetchKind::Feed)
            return hops == 0 || origin_local;
        if (reach.local_endpoints.empty())
            return false;
        for (const std::string &at : reach.local_endpoints)
            if (local_allowed.count(at) == 0)
                return false;
        return true;
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

/* Called at least once a second during a transfer: a cancellation ends it. */
int check_cancelled(void *, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return cancelled.load() ? 1 : 0;
}

/* Called before every new connection: one to an address not to be reached is never
 * made. A proxy's connection is judged by its requests' targets (check_peer). */
curl_socket_t open_socket(void *user_data, curlsocktype, struct curl_sockaddr *address) {
    auto *transfer = static_cast<Transfer *>(user_data);
    char ip[INET6_ADDRSTRLEN] = "";
    long port = 0;
    if (address->family == AF_INET) {
        const auto *in = reinterpret_cast<sockaddr_in *>(&address->addr);
        inet_ntop(AF_INET, &in->sin_addr, ip, sizeof ip);
        port = ntohs(in->sin_port);
    } else if (address->family == AF_INET6) {
        const auto *in6 = reinterpret_cast<sockaddr_in6 *>(&address->addr);
        inet_ntop(AF_INET6, &in6->sin6_addr, ip, sizeof ip);
        port = ntohs(in6->sin6_port);
    }
    if (!fsu::is_proxy_endpoint(ip, port)) {
        const fsu::Reach reach = fsu::reach_of_peer(ip, port);
        if (!transfer->may_reach(reach)) {
            transfer->refused = reach.shown;
            return CURL_SOCKET_BAD;
        }
    }
    return socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

/* Called before every request, on the connection it goes out on (new or reused). */
int check_peer(void *user_data, char *peer_ip, char *, int peer_port, int) {
    auto *transfer = static_cast<Transfer *>(user_data);
    const std::string ip = peer_ip != nullptr ? peer_ip : "";
    fsu::Reach reach;
    if (fsu::is_proxy_endpoint(ip, peer_port)) {
        char *url = nullptr;
        curl_easy_getinfo(transfer->easy, CURLINFO_EFFECTIVE_URL, &url);
        reach = fsu::reach_of_target(url);
    } else {
        reach = fsu::reach_of_peer(ip, peer_port);
    }
    if (!transfer->may_reach(reach)) {
        transfer->refused = reach.shown;
        return CURL_PREREQFUNC_ABORT;
    }
    if (transfer->hops++ == 0) {
        transfer->origin_local = reach.local;
        transfer->origin_endpoints = reach.local_endpoints;
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

/* Whether a comma-separated header value holds token (without regard to case). */
bool has_token(const std::string &value, const char *token) {
    g_auto(GStrv) parts = g_strsplit(value.c_str(), ",", -1);
    for (gchar **part = parts; *part != nullptr; ++part) {
        g_strstrip(*part);
        const gchar *equals = strchr(*part, '=');
        const std::string name =
            equals != nullptr ? std::string(*part, static_cast<size_t>(equals - *part)) : *part;
        if (g_ascii_strcasecmp(name.c_str(), token) == 0)
            return true;
    }
    return false;
}

/* Seconds a Retry-After value asks to wait (delta seconds or an HTTP date), within
 * [0, the longest wait]; clamped before any arithmetic. */
gint64 retry_after_seconds(const std::string &value) {
    if (value.empty())
        return 0;
    char *end = nullptr;
    const long long seconds = std::strtoll(value.c_str(), &end, 10);
    if (end != value.c_str() && *end == '\0')
        return std::clamp<long long>(seconds, 0, kLongestServerWaitSeconds);
    const gint64 when = curl_getdate(value.c_str(), nullptr);
    const gint64 now = g_get_real_time() / G_USEC_PER_SEC;
    if (when <= now)
        return 0;
    return std::min<gint64>(when - now, kLongestServerWaitSeconds);
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

/* What a request needs besides the handle: the remembered answer, the conditions
 * made from it and the transfer's state. */
struct Request {
    fsu::CachedResponse cached;
    bool have_cached = false;
    /* Whether the HTTP cache is used at all, and whether the caller has a copy of the
     * picture that a 304 may confirm. */
    bool conditional = false;
    bool picture_copy = false;
    HeaderList conditions;
    Transfer transfer;
    char error_text[CURL_ERROR_SIZE] = "";
};

/* What the last answer said. */
struct Answer {
    CURLcode rc = CURLE_OK;
    long status = 0;
    std::string etag;
    std::string last_modified;
    std::string retry_after;
    bool no_store = false;
};

/* The request's set-up: conditions from the HTTP cache, limits and every option. */
void set_up_request(CURL *easy, const gchar *address, long timeout_ms, Request *request) {
    /* A picture's validators serve only a caller that has the picture; a feed's only
     * with its body. */
    const bool picture = request->transfer.kind == fsu::FetchKind::Picture;
    request->have_cached = request->conditional && (!picture || request->picture_copy) &&
                           fsu::http_cache_lookup(address, &request->cached) &&
                           (picture || request->cached.has_body);
    if (request->have_cached && !request->cached.etag.empty())
        request->conditions.add("If-None-Match: " + request->cached.etag);
    if (request->have_cached && !request->cached.last_modified.empty())
        request->conditions.add("If-Modified-Since: " + request->cached.last_modified);
    const long seconds = std::max(1L, timeout_ms / 1000);
    const long stall = std::min(seconds, picture ? kPictureStallSeconds : kStallTimeoutSeconds);

    curl_easy_setopt(easy, CURLOPT_URL, address);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, timeout_ms);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     std::min(timeout_ms, kConnectTimeoutSeconds * 1000));
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, picture ? kPictureLowSpeedBytes : 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, stall);
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(request->transfer.max_bytes));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, request->conditions.list);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, append_body);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &request->transfer);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, open_socket);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, &request->transfer);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, check_peer);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, &request->transfer);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, check_cancelled);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, request->error_text);
}

/* Reads what the answer said and unhooks the handle, which outlives this call, from
 * the request. */
Answer take_answer(CURL *easy, CURLcode rc) {
    Answer answer;
    answer.rc = rc;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &answer.status);
    answer.etag = header_value(easy, "ETag");
    answer.last_modified = header_value(easy, "Last-Modified");
    answer.retry_after = header_value(easy, "Retry-After");
    answer.no_store = has_token(header_value(easy, "Cache-Control"), "no-store");
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, nullptr);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, nullptr);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);
    return answer;
}

/* The outcome's classification: fills *outcome (and, for a 304, appends the
 * remembered body); returns why nothing arrived, or "". */
std::string classify(const Answer &answer, Request *request, fsu::FetchOutcome *outcome) {
    const Transfer &transfer = request->transfer;
    const CURLcode rc = answer.rc;
    outcome->connected = transfer.hops > 0;
    outcome->from_local = transfer.origin_local;
    outcome->origin_endpoints = transfer.origin_endpoints;
    outcome->timed_out = rc == CURLE_OPERATION_TIMEDOUT;
    outcome->unreachable = !outcome->connected && transfer.refused.empty() &&
                           (rc == CURLE_COULDNT_CONNECT || rc == CURLE_COULDNT_RESOLVE_HOST ||
                            rc == CURLE_OPERATION_TIMEDOUT);
    if (rc == CURLE_OK && answer.status >= 200 && answer.status < 300) {
        outcome->arrived = true;
        return std::string();
    }
    if (rc == CURLE_OK && answer.status == 304 && request->have_cached) {
        if (transfer.kind == fsu::FetchKind::Picture) {
            /* The caller's copy of the picture is good. */
            outcome->arrived = true;
            return std::string();
        }
        if (request->cached.body.size() > transfer.max_bytes)
            return "larger than the size cap";
        outcome->arrived = true;
        g_array_append_vals(transfer.body, request->cached.body.data(),
                            static_cast<guint>(request->cached.body.size()));
        return std::string();
    }
    if (!transfer.refused.empty())
        return "refused to connect to " + transfer.refused +
               ", an address on a loopback, link-local or private network";
    if (transfer.too_big || rc == CURLE_FILESIZE_EXCEEDED)
        return "larger than the size cap";
    if (rc == CURLE_ABORTED_BY_CALLBACK)
        return "cancelled";
    if (rc != CURLE_OK) {
        std::string reason =
            request->error_text[0] != '\0' ? request->error_text : curl_easy_strerror(rc);
        if (answer.status != 0)
            reason += " (HTTP status " + std::to_string(answer.status) + ")";
        return reason;
    }
    std::string reason =
        "HTTP status " + std::to_string(answer.status) + " (" + status_words(answer.status) + ")";
    if (answer.status == 429 || answer.status == 503) {
        outcome->server_wait_seconds = retry_after_seconds(answer.retry_after);
        if (outcome->server_wait_seconds > 0)
            reason +=
                ", not asked again for " + std::to_string(outcome->server_wait_seconds) + " s";
    }
    return reason;
}

/* The cache update after an answer arrived: a 2xx replaces the entry (or removes it
 * when it carries no validator or forbids storing; a picture's entry keeps no body);
 * a 304 takes over new validators. */
void update_cache(const gchar *address, const Answer &answer, const Request &request) {
    if (!request.conditional)
        return;
    const Transfer &transfer = request.transfer;
    const bool picture = transfer.kind == fsu::FetchKind::Picture;
    if (answer.status != 304) {
        if (answer.no_store || (answer.etag.empty() && answer.last_modified.empty())) {
            fsu::http_cache_forget(address);
            return;
        }
        fsu::http_cache_store(
            address,
            fsu::CachedResponse{answer.etag, answer.last_modified,
                                picture ? std::string()
                                        : std::string(transfer.body->data + transfer.start_length,
                                                      transfer.body->len - transfer.start_length),
                                !picture});
        return;
    }
    const fsu::CachedResponse &cached = request.cached;
    if (picture) {
        keep_picture_validators(address, cached, answer.etag, answer.last_modified);
        return;
    }
    const bool changed =
        (!answer.etag.empty() && answer.etag != cached.etag) ||
        (!answer.last_modified.empty() && answer.last_modified != cached.last_modified);
    if (!changed)
        return;
    fsu::CachedResponse updated = cached;
    if (!answer.etag.empty())
        updated.etag = answer.etag;
    if (!answer.last_modified.empty())
        updated.last_modified = answer.last_modified;
    fsu::http_cache_store(address, updated);
}

/* Milliseconds the transfer may take; a picture's are cut to picture_limit_ms. A huge
 * time-out is cut before it is multiplied (a 32-bit long would overflow). */
long time_limit_ms(fsu::FetchKind kind, long timeout_seconds, long picture_limit_ms) {
    const long seconds = timeout_seconds > 0 ? timeout_seconds : kDefaultTimeoutSeconds;
    const long limit = std::min(seconds, LONG_MAX / 1000) * 1000;
    return kind == fsu::FetchKind::Picture ? std::min(limit, picture_limit_ms) : limit;
}

} // namespace

bool fsu::conditional_requests() {
    const gchar *off = g_getenv("FEEDSERVICEUTILS_NO_CONDITIONAL_REQUESTS");
    return off == nullptr || *off == '\0' || g_str_equal(off, "0");
}

void fsu::set_downloads_cancelled(bool value) {
    cancelled.store(value);
}

bool fsu::fetch(const gchar *address, GArray *body, FetchKind kind, long timeout_seconds,
                gsize max_bytes, bool force, bool *not_modified) {
    if (not_modified != nullptr)
        *not_modified = false;
    const std::string host = host_of(address);
    long picture_limit_ms = 0;
    const std::string held = cancelled.load()
                                 ? "downloads were cancelled"
                                 : held_back(address, host, kind, force, &picture_limit_ms);
    if (!held.empty()) {
        /* Skipped, not failed: the failure behind it was logged when it happened. */
        g_debug("Not asking for %s: %s", address, held.c_str());
        return false;
    }
    CURL *easy = thread_easy_handle();
    if (easy == nullptr)
        return false;

    Request request;
    request.transfer.easy = easy;
    request.transfer.body = body;
    request.transfer.start_length = body->len;
    request.transfer.max_bytes = max_bytes;
    request.transfer.kind = kind;
    request.conditional = conditional_requests();
    request.picture_copy = not_modified != nullptr;
    if (kind == FetchKind::Picture)
        request.transfer.local_allowed = local_picture_addresses();
    set_up_request(easy, address, time_limit_ms(kind, timeout_seconds, picture_limit_ms), &request);

    const gint64 started = g_get_monotonic_time();
    const Answer answer = take_answer(easy, curl_easy_perform(easy));
    FetchOutcome outcome;
    const std::string reason = classify(answer, &request, &outcome);
    outcome.elapsed_us = g_get_monotonic_time() - started;
    if (outcome.arrived)
        update_cache(address, answer, request);
    if (outcome.arrived && answer.status == 304 && kind == FetchKind::Picture && not_modified)
        *not_modified = true;
    if (answer.rc != CURLE_ABORTED_BY_CALLBACK)
        note_outcome(address, host, kind, outcome);
    if (!outcome.arrived) {
        log_failure(address, kind, reason);
        g_array_set_size(body, request.transfer.start_length);
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

void feedserviceutils_cancel_downloads(void) {
    fsu::set_downloads_cancelled(true);
}
