/*
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
 *   [ ] no conditional GET: every run fetches the documents anew
 * Failures are logged once, with the address and the reason, at debug level.
 */
#include "feedserviceutils_internal.h"

#include <curl/curl.h>

#include <algorithm>
#include <mutex>

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
    GArray *body;
    guint start_length;
    gsize max_bytes;
    bool too_big = false;
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

} // namespace

gint network_utils_get(GString *address, GArray *body, gint /*flags*/, gint timeout_seconds,
                       gint max_bytes) {
    if (address == nullptr || address->len == 0 || body == nullptr ||
        g_array_get_element_size(body) != 1)
        return 0;
    CURL *easy = thread_easy_handle();
    if (easy == nullptr)
        return 0;

    const long timeout = timeout_seconds > 0 ? timeout_seconds : kDefaultTimeoutSeconds;
    Transfer transfer{body, body->len,
                      static_cast<gsize>(max_bytes > 0 ? max_bytes : fsu::kFeedMaxBytes)};
    char error_text[CURL_ERROR_SIZE] = "";

    curl_easy_setopt(easy, CURLOPT_URL, address->str);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT, timeout);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, std::min(timeout, kConnectTimeoutSeconds));
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, std::min(timeout, kStallTimeoutSeconds));
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(transfer.max_bytes));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, append_body);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, error_text);

    const CURLcode rc = curl_easy_perform(easy);
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    /* The handle outlives this call: it must not keep pointers into this frame. */
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);

    const bool arrived = rc == CURLE_OK && status >= 200 && status < 300;
    if (!arrived) {
        g_debug("Download of %s failed: %s (HTTP status %ld)", address->str,
                transfer.too_big        ? "larger than the size cap"
                : error_text[0] != '\0' ? error_text
                                        : curl_easy_strerror(rc),
                status);
        g_array_set_size(body, transfer.start_length);
        return 0;
    }
    return 1;
}
