// SPDX-License-Identifier: LGPL-2.1-or-later
// http_test_server.h - runs tests/support/http_server.py as a child process for one test
// (or one fixture) and asks it for its request counts. Header-only; needs only GLib.
//
//   HttpTestServer server(root_dir);            // serves root_dir on 127.0.0.1:<port>
//   server.url("/feed.xml")                     // "http://127.0.0.1:<port>/feed.xml"
//   server.request_count("/feed.xml")           // requests for that path so far
//   server.request_count()                      // all requests so far
//   server.connection_count()                   // TCP connections that carried requests
//   server.last_user_agent()                    // User-Agent of the last counted request
//   server.bytes_sent()                         // bytes of counted answers, headers included
//   server.reset_counts();
//   server.go_down(); server.come_back();       // stops serving; serves again on the same port
//   new_file_server({{"a.jpg", "picture A"}})  // a server over a fresh directory of files
//
// The counts live in the server, so requests made by other processes count too.
// The constructor throws std::runtime_error when the server does not come up
// within 10 seconds; the destructor stops it.
#ifndef VELMORA_HTTP_TEST_SERVER_H
#define VELMORA_HTTP_TEST_SERVER_H

#include "file_helpers.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

#ifndef VELMORA_TEST_SUPPORT_DIR
#error "VELMORA_TEST_SUPPORT_DIR must name tests/support"
#endif

class HttpTestServer {
  public:
    explicit HttpTestServer(std::string root) : root_(std::move(root)) { start(0); }

    ~HttpTestServer() { stop(); }

    HttpTestServer(const HttpTestServer &) = delete;
    HttpTestServer &operator=(const HttpTestServer &) = delete;

    // Stops the server (connections are refused); come_back() serves the same root on
    // the same port again, with fresh counts.
    void go_down() {
        keep_port_ = port_;
        stop();
    }
    void come_back() { start(keep_port_); }

    int port() const { return port_; }
    const std::string &root() const { return root_; }

  private:
    void start(int port) {
        gchar *dir = g_dir_make_tmp("http-server-XXXXXX", nullptr);
        if (dir == nullptr)
            throw std::runtime_error("HttpTestServer: cannot make a temporary directory");
        work_dir_ = dir;
        g_free(dir);
        const std::string port_file = work_dir_ + "/port";
        const std::string script = std::string(VELMORA_TEST_SUPPORT_DIR) + "/http_server.py";

        const std::string port_text = std::to_string(port);
        const gchar *argv[] = {"/usr/bin/python3", script.c_str(),    "--root",
                               root_.c_str(),      "--port-file",     port_file.c_str(),
                               "--port",           port_text.c_str(), nullptr};
        GError *error = nullptr;
        if (!g_spawn_async(nullptr, const_cast<gchar **>(argv), nullptr, G_SPAWN_DO_NOT_REAP_CHILD,
                           &HttpTestServer::stop_with_parent, nullptr, &pid_, &error)) {
            std::string message = std::string("HttpTestServer: cannot start the server: ") +
                                  (error != nullptr ? error->message : "?");
            g_clear_error(&error);
            remove_work_dir();
            throw std::runtime_error(message);
        }

        const gint64 deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
        while (g_get_monotonic_time() < deadline) {
            gchar *text = nullptr;
            if (g_file_get_contents(port_file.c_str(), &text, nullptr, nullptr)) {
                port_ = std::atoi(text);
                g_free(text);
                if (port_ > 0)
                    return;
            }
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = 0;
                break;
            }
            g_usleep(10 * 1000);
        }
        stop();
        throw std::runtime_error("HttpTestServer: the server did not start");
    }

  public:
    // The address of path on this server; path starts with "/" (added when missing).
    std::string url(std::string_view path) const {
        std::string result = "http://127.0.0.1:" + std::to_string(port_);
        if (path.empty() || path.front() != '/')
            result += '/';
        result += path;
        return result;
    }

    // Requests served so far for path (query strings ignored), or all requests when
    // path is empty. -1 when the server cannot be asked.
    int request_count(std::string_view path = {}) const {
        std::string query = "/__requests";
        if (!path.empty())
            query += "?path=" + escape(path);
        return std::atoi(fetch(query).c_str());
    }

    // TCP connections that carried at least one counted request (the count queries
    // themselves are not counted).
    int connection_count() const { return std::atoi(fetch("/__connections").c_str()); }

    void reset_counts() { fetch("/__reset"); }

    // Bytes sent for counted requests (status lines, headers and bodies).
    long bytes_sent() const { return std::atol(fetch("/__bytes").c_str()); }

    // The User-Agent header of the last counted request.
    std::string last_user_agent() const { return fetch("/__user-agent"); }

    // How files are answered from now on: with or without ETag and Last-Modified, and
    // with the given Cache-Control header (none when empty).
    void set_answer_style(bool validators, std::string_view cache_control = {}) {
        fetch(std::string("/__style?validators=") + (validators ? "1" : "0") +
              "&cache-control=" + escape(cache_control));
    }

  private:
    static void stop_with_parent(gpointer) { prctl(PR_SET_PDEATHSIG, SIGTERM); }

    static std::string escape(std::string_view text) {
        gchar *escaped = g_uri_escape_string(std::string(text).c_str(), "/", FALSE);
        std::string result = escaped;
        g_free(escaped);
        return result;
    }

    // Body of a plain HTTP/1.0 GET of path (the server closes after answering); "-1"
    // when the request fails.
    std::string fetch(const std::string &path) const {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return "-1";
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port_));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        std::string response;
        if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
            const std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
            if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
                static_cast<ssize_t>(request.size())) {
                char buffer[4096];
                ssize_t got;
                while ((got = recv(fd, buffer, sizeof buffer, 0)) > 0)
                    response.append(buffer, static_cast<size_t>(got));
            }
        }
        close(fd);
        const size_t body = response.find("\r\n\r\n");
        return body == std::string::npos ? "-1" : response.substr(body + 4);
    }

    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            const gint64 deadline = g_get_monotonic_time() + 5 * G_USEC_PER_SEC;
            while (waitpid(pid_, nullptr, WNOHANG) == 0) {
                if (g_get_monotonic_time() > deadline) {
                    kill(pid_, SIGKILL);
                    waitpid(pid_, nullptr, 0);
                    break;
                }
                g_usleep(5 * 1000);
            }
            g_spawn_close_pid(pid_);
            pid_ = 0;
        }
        remove_work_dir();
    }

    void remove_work_dir() {
        if (work_dir_.empty())
            return;
        g_remove((work_dir_ + "/port").c_str());
        g_remove((work_dir_ + "/port.tmp").c_str());
        g_rmdir(work_dir_.c_str());
        work_dir_.clear();
    }

    std::string root_;
    std::string work_dir_;
    GPid pid_ = 0;
    int port_ = 0;
    int keep_port_ = 0;
};

// A server over a fresh directory below the test's temporary directory holding files
// (name -> contents); the directory is its root(). The caller owns the server.
inline HttpTestServer *new_file_server(const std::map<std::string, std::string> &files) {
    const std::string root = test_support::make_temp_dir("www");
    if (root.empty())
        throw std::runtime_error("new_file_server: cannot make a directory");
    for (const auto &[name, contents] : files)
        test_support::write_file(root + "/" + name, contents);
    return new HttpTestServer(root);
}

#endif // VELMORA_HTTP_TEST_SERVER_H
