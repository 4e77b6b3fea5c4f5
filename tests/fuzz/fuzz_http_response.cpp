/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * fuzz_http_response.cpp - the download function on fuzzed server answers.
 *
 * A server thread of this process plays the HTTP proxy for every request (the
 * proxy variables point at it, so a redirect to any host comes back here and
 * nothing leaves the machine). The input is the sequence of raw answers -
 * status line, headers, body, as they go on the wire - separated by "\n--next--\n":
 * the first connection gets the first answer, each further one (a redirect,
 * the second download) the next, the last one repeating; "$PORT" in an answer becomes the server's
 * port. The server reads the whole request, writes the answer and closes, so a
 * transfer never waits for a time-out: each run is deterministic and takes
 * about a millisecond.
 *
 * Each input is downloaded twice in a row, as the requests of a run reuse the
 * thread's handle and connections. A download either succeeds with at most the
 * size cap appended, or fails and leaves the caller's array as it was.
 *
 * Every download starts with nothing remembered of earlier inputs: the failures and
 * server waits are forgotten and a run begins (a failed input would otherwise hold
 * the fixed address back, and every later input would test nothing), and each input
 * gets an empty HTTP cache in a scratch directory of this process (never the user's
 * own cache). Each download must reach the server: one that made no request fails.
 */
#include "feedserviceutils_internal.h"
#include "fuzz_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr gint kMaxBytes = 2048;
constexpr char kSeparator[] = "\n--next--\n";
constexpr char kKept[] = "kept";

int listener = -1;
std::string port_text;
std::mutex answers_lock;
std::vector<std::string> answers;
size_t next_answer = 0;
std::atomic<unsigned> requests{0}; /* request heads the server has read */
std::string scratch;               /* this process's directory for the HTTP caches */
unsigned input_number = 0;

std::string take_answer() {
    std::lock_guard<std::mutex> lock(answers_lock);
    if (answers.empty())
        return {};
    std::string answer = answers[std::min(next_answer, answers.size() - 1)];
    next_answer++;
    for (size_t at = answer.find("$PORT"); at != std::string::npos; at = answer.find("$PORT", at))
        answer.replace(at, 5, port_text);
    return answer;
}

void serve() {
    for (;;) {
        const int connection = accept(listener, nullptr, nullptr);
        if (connection < 0)
            continue;
        timeval limit{2, 0};
        setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const ssize_t got = recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            request.append(buffer, static_cast<size_t>(got));
        }
        if (request.find("\r\n\r\n") != std::string::npos)
            requests++; /* before the answer goes out, so the client sees it counted */
        const std::string answer = take_answer();
        for (size_t sent = 0; sent < answer.size();) {
            const ssize_t put =
                send(connection, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
            if (put <= 0)
                break;
            sent += static_cast<size_t>(put);
        }
        shutdown(connection, SHUT_WR);
        close(connection);
    }
}

/* Removes the directory tree at path (the cache directories this target made). */
void remove_tree(const std::string &path) {
    if (GDir *listing = g_dir_open(path.c_str(), 0, nullptr)) {
        while (const gchar *name = g_dir_read_name(listing))
            remove_tree(path + "/" + name);
        g_dir_close(listing);
    }
    g_remove(path.c_str());
}

/* Points the HTTP cache at a new, empty directory (the cache reads its index again
 * whenever the directory changes) and removes the previous input's. */
void fresh_cache() {
    remove_tree(scratch + "/cache-" + std::to_string(input_number));
    input_number++;
    g_setenv("XDG_CACHE_HOME", (scratch + "/cache-" + std::to_string(input_number)).c_str(), TRUE);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::quiet_logs();
    scratch = fuzz::scratch_dir("http");
    listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    FUZZ_CHECK(bind(listener, reinterpret_cast<sockaddr *>(&address), length) == 0);
    FUZZ_CHECK(listen(listener, 16) == 0);
    FUZZ_CHECK(getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) == 0);
    port_text = std::to_string(ntohs(address.sin_port));
    const std::string proxy = "http://127.0.0.1:" + port_text;
    for (const char *name : {"http_proxy", "https_proxy", "all_proxy", "ALL_PROXY", "HTTPS_PROXY"})
        g_setenv(name, proxy.c_str(), TRUE);
    g_unsetenv("no_proxy");
    g_unsetenv("NO_PROXY");
    std::thread(serve).detach();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    {
        std::lock_guard<std::mutex> lock(answers_lock);
        answers.clear();
        next_answer = 0;
        const std::string input(reinterpret_cast<const char *>(data), size);
        for (size_t start = 0;;) {
            const size_t end = input.find(kSeparator, start);
            answers.push_back(input.substr(start, end == std::string::npos ? end : end - start));
            if (end == std::string::npos || answers.size() >= 8)
                break;
            start = end + std::strlen(kSeparator);
        }
    }
    fresh_cache();
    /* Twice: the second download goes on with the next answers and finds whatever
     * the first one left in the thread's handle, its connection cache and the HTTP
     * cache; only what the policy remembers is forgotten between the two. */
    const unsigned before = requests.load();
    for (int round = 0; round < 2; round++) {
        fsu::forget_failed_downloads();
        network_utils_begin_run(nullptr, nullptr);
        /* A documentation address, not a name: the library judges a proxied request
         * by its target host, and a name would cost a lookup on the machine's resolver
         * (off the machine, and up to its time-out) for every download. */
        GString *address = g_string_new("http://192.0.2.1/rss/bestsellers?format=mobile");
        GArray *body = g_array_new(FALSE, FALSE, 1);
        g_array_append_vals(body, kKept, std::strlen(kKept));
        const gint ok = network_utils_get(address, body, 0, 5, kMaxBytes);
        FUZZ_CHECK(body->len >= std::strlen(kKept) && std::memcmp(body->data, kKept, 4) == 0,
                   "the caller's bytes were changed");
        if (ok)
            FUZZ_CHECK(body->len - std::strlen(kKept) <= static_cast<guint>(kMaxBytes),
                       "%u bytes passed the cap", body->len);
        else
            FUZZ_CHECK(body->len == std::strlen(kKept), "a failed download left %u bytes",
                       body->len);
        g_array_free(body, TRUE);
        g_string_free(address, TRUE);
    }
    /* Held back by nothing, the downloads reach the server: an input that made no
     * request at all tested nothing. (Per input, not per download: a request of the
     * second download may still wait in the server's queue behind the first one's
     * last connection when the machine is loaded.) */
    FUZZ_CHECK(requests.load() > before, "the downloads made no request");
    return 0;
}
