// SPDX-License-Identifier: LGPL-2.1-or-later
// utils_network_test.cpp - downloads from the local test server: a body arrives whole
// or not at all (error statuses, a cut-off body, a body over the cap, too many
// redirects, a stalled server within the time-out), only http and https are fetched,
// one connection serves a run's requests, and the user agent names the system; answers
// are remembered and asked for conditionally, a host that asked to wait is left alone,
// and local addresses are reached only from a local feed.
#include "utils_test_helpers.h"

#include "feedserviceutils_internal.h"
#include "http_test_server.h"
#include "scoped_environment.h"

#include <gtest/gtest.h>
#include <optional>

#include <glib/gstdio.h>
#include <unistd.h>
#include <functional>
#include <thread>

using namespace utils_test;
using test_support::ScopedEnvironment;

namespace {

class NetworkTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::string feed;
        for (int i = 0; i < 2000; ++i)
            feed += "<item><title>Item " + std::to_string(i) + "</title></item>\n";
        server_ = new_file_server({{"feed.xml", feed}});
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }

    static std::string served(const std::string &name) { return server_->root() + "/" + name; }

    // Each case is a run of its own with an HTTP cache of its own: nothing that failed
    // or was remembered in an earlier case (or a failed one) changes what it sees.
    void SetUp() override {
        fsu::forget_failed_downloads();
        network_utils_begin_run(nullptr, nullptr);
        const std::string cache = make_temp_dir("http-cache");
        ASSERT_FALSE(cache.empty());
        g_setenv("XDG_CACHE_HOME", cache.c_str(), TRUE);
    }

    // Fetches path from the test server; returns the call's result, body in *body.
    static gint get(const std::string &address, std::string *body, gint timeout = 0,
                    gint max_bytes = 0) {
        GString *url = g_string_new(address.c_str());
        GArray *array = g_array_new(FALSE, FALSE, 1);
        const gint ok = network_utils_get(url, array, 0, timeout, max_bytes);
        body->assign(array->data, array->len);
        g_array_free(array, TRUE);
        g_string_free(url, TRUE);
        return ok;
    }

    static HttpTestServer *server_;
};

HttpTestServer *NetworkTest::server_ = nullptr;

TEST_F(NetworkTest, FetchesABodyWhole) {
    std::string body;
    ASSERT_NE(get(server_->url("/feed.xml"), &body), 0);
    EXPECT_EQ(body, read_file(served("feed.xml")));
    EXPECT_EQ(server_->last_user_agent().rfind("Velmora/1.0", 0), 0u) << server_->last_user_agent();

    // Appends to what the array holds, and leaves it as it was on failure.
    GString *url = g_string_new(server_->url("/feed.xml").c_str());
    GArray *array = g_array_new(FALSE, FALSE, 1);
    g_array_append_vals(array, "head:", 5);
    ASSERT_NE(network_utils_get(url, array, 0, 0, 0), 0);
    EXPECT_EQ(std::string(array->data, array->len), "head:" + body);
    g_string_assign(url, server_->url("/status/404/x").c_str());
    g_array_set_size(array, 5);
    EXPECT_EQ(network_utils_get(url, array, 0, 0, 0), 0);
    EXPECT_EQ(std::string(array->data, array->len), "head:");
    g_array_free(array, TRUE);
    g_string_free(url, TRUE);
}

TEST_F(NetworkTest, NothingArrivesFromErrorsAndBrokenBodies) {
    std::string body;
    for (const char *path : {"/status/404/x", "/status/500/x", "/status/302/x", "/absent.xml",
                             "/cut/feed.xml", "/huge/x", "/huge/x?declared"}) {
        EXPECT_EQ(get(server_->url(path), &body), 0) << path;
        EXPECT_TRUE(body.empty()) << path;
    }
    // The cap: a body over it counts as nothing, one within it arrives.
    const size_t feed_size = read_file(served("feed.xml")).size();
    EXPECT_EQ(get(server_->url("/feed.xml"), &body, 0, static_cast<gint>(feed_size - 1)), 0);
    EXPECT_TRUE(body.empty());
    network_utils_begin_run(nullptr, nullptr);
    EXPECT_NE(get(server_->url("/feed.xml"), &body, 0, static_cast<gint>(feed_size)), 0);
    EXPECT_EQ(body.size(), feed_size);
    EXPECT_EQ(get(server_->url("/huge/x"), &body, 0, 1024 * 1024), 0);
}

TEST_F(NetworkTest, FollowsAtMostFiveRedirects) {
    std::string body;
    EXPECT_NE(get(server_->url("/redirect/5/feed.xml"), &body), 0);
    EXPECT_EQ(body, read_file(served("feed.xml")));
    EXPECT_EQ(get(server_->url("/redirect/6/feed.xml"), &body), 0);
    EXPECT_TRUE(body.empty());
}

TEST_F(NetworkTest, FetchesOnlyHttpAndHttps) {
    const std::string secret = served("secret.txt");
    write_file(secret, "local file");
    std::string body;
    for (const std::string &address :
         {"file://" + secret, std::string("ftp://127.0.0.1/x"), std::string("gopher://127.0.0.1/"),
          std::string("dict://127.0.0.1/x"), std::string("not a url"), std::string()}) {
        EXPECT_EQ(get(address, &body), 0) << address;
        EXPECT_TRUE(body.empty()) << address;
    }
    // Nor through a redirect.
    gchar *target = g_uri_escape_string(("file://" + secret).c_str(), nullptr, FALSE);
    EXPECT_EQ(get(server_->url(std::string("/goto?to=") + target), &body), 0);
    g_free(target);
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(network_utils_get(nullptr, nullptr, 0, 0, 0), 0);
}

TEST_F(NetworkTest, AStalledServerEndsWithinTheTimeOut) {
    std::string body;
    const gint64 start = g_get_monotonic_time();
    EXPECT_EQ(get(server_->url("/stall/x"), &body, 2), 0);
    const gint64 elapsed = g_get_monotonic_time() - start;
    EXPECT_TRUE(body.empty());
    EXPECT_LT(elapsed, 15 * G_USEC_PER_SEC) << "a 2 s time-out must not hang the run";
    EXPECT_EQ(server_->request_count("/stall/x"), 1);
}

TEST_F(NetworkTest, ReusesOneConnection) {
    std::string body;
    ASSERT_NE(get(server_->url("/feed.xml"), &body), 0); // a warm connection, counted below
    server_->reset_counts();
    for (int i = 0; i < 5; ++i)
        ASSERT_NE(get(server_->url("/feed.xml"), &body), 0);
    EXPECT_EQ(get(server_->url("/status/404/x"), &body), 0);
    ASSERT_NE(get(server_->url("/feed.xml"), &body), 0);
    EXPECT_EQ(server_->request_count(), 7);
    EXPECT_EQ(server_->connection_count(), 1);
}

TEST_F(NetworkTest, AsksConditionallyAndHandsBackTheRememberedBody) {
    const std::string url = server_->url("/feed.xml");
    const std::string whole = read_file(served("feed.xml"));
    std::string body;
    ASSERT_NE(get(url, &body), 0); // remembered
    EXPECT_TRUE(file_exists(fsu::http_cache_path(url)));
    server_->reset_counts();
    ASSERT_NE(get(url, &body), 0);
    EXPECT_EQ(body, whole);
    EXPECT_EQ(server_->request_count("/feed.xml"), 1);
    EXPECT_LT(server_->bytes_sent(), 400) << "a 304 carries no body";

    // A damaged entry is dropped and the address fetched whole.
    const std::string entry = fsu::http_cache_path(url);
    std::string damaged = read_file(entry);
    damaged[damaged.size() - 10] ^= 1;
    write_file(entry, damaged);
    server_->reset_counts();
    network_utils_begin_run(nullptr, nullptr);
    ASSERT_NE(get(url, &body), 0);
    EXPECT_EQ(body, whole);
    EXPECT_GT(server_->bytes_sent(), static_cast<long>(whole.size()));
    EXPECT_EQ(read_file(entry).substr(read_file(entry).size() - whole.size()), whole);

    // Least lately used out: with room for one entry, the newer answer stays.
    write_file(served("other.xml"), "<rss/>");
    ASSERT_NE(get(server_->url("/other.xml"), &body), 0);
    fsu::http_cache_set_limit(read_file(entry).size());
    EXPECT_FALSE(file_exists(entry));
    EXPECT_TRUE(file_exists(fsu::http_cache_path(server_->url("/other.xml"))));
    fsu::http_cache_set_limit(0);
}

// The HTTP cache writes its entries through its directory: a link in the directory's
// place keeps answers out of the cache (nothing is written where it points), and a
// partial file a crash left behind is removed when the cache is first read.
TEST_F(NetworkTest, TheHttpCacheWritesOnlyInsideItsOwnDirectory) {
    const std::string url = server_->url("/feed.xml");
    for (bool linked : {true, false}) {
        SCOPED_TRACE(linked ? "a link in the directory's place" : "a partial file left over");
        const std::string xdg = make_temp_dir(), outside = make_temp_dir();
        ASSERT_EQ(g_mkdir_with_parents((xdg + "/feedserviceutils").c_str(), 0700), 0);
        const std::string dir = xdg + "/feedserviceutils/http";
        const std::string partial = dir + "/" + std::string(64, 'a') + ".Ab12Cd.part";
        if (linked)
            ASSERT_EQ(symlink(outside.c_str(), dir.c_str()), 0);
        else
            ASSERT_TRUE(g_mkdir(dir.c_str(), 0700) == 0 && write_file(partial, "part"));
        const ScopedEnvironment cache_home("XDG_CACHE_HOME", xdg.c_str());
        std::string body;
        EXPECT_NE(get(url, &body), 0);
        EXPECT_EQ(body, read_file(served("feed.xml")));
        EXPECT_TRUE(list_dir(outside).empty());
        EXPECT_EQ(file_exists(fsu::http_cache_path(url)), !linked);
        EXPECT_FALSE(file_exists(partial));
    }
}

TEST_F(NetworkTest, AHostThatAskedToWaitIsNotAskedBeforeTheTime) {
    std::unique_ptr<HttpTestServer> busy(new_file_server({{"feed.xml", "<rss/>"}}));
    std::string body;
    EXPECT_EQ(get(busy->url("/wait/503/120/x"), &body), 0);
    EXPECT_EQ(get(busy->url("/feed.xml"), &body), 0);
    network_utils_begin_run(nullptr, nullptr); // the same settings: still waiting
    EXPECT_EQ(get(busy->url("/feed.xml"), &body), 0);
    EXPECT_EQ(busy->request_count(), 1);
    EXPECT_NE(get(server_->url("/feed.xml"), &body), 0) << "other hosts are asked";
    fsu::forget_failed_downloads();

    // A wait longer than any clock counts holds the host as the longest wait does.
    EXPECT_EQ(get(busy->url("/wait/429/99999999999999999999/x"), &body), 0);
    EXPECT_EQ(get(busy->url("/feed.xml"), &body), 0);
    EXPECT_EQ(busy->request_count(), 2);
    fsu::forget_failed_downloads();
}

// A failure is logged once per run, as a warning in the library's domain, with the address
// and the status in words; asked for again in the same run, it is neither asked nor logged.
TEST_F(NetworkTest, AFailureIsLoggedOncePerRunInWords) {
    std::vector<std::string> logged;
    const guint handler = g_log_set_handler(
        "feedserviceutils", G_LOG_LEVEL_WARNING,
        [](const gchar *, GLogLevelFlags, const gchar *message, gpointer into) {
            static_cast<std::vector<std::string> *>(into)->push_back(message);
        },
        &logged);
    std::string body;
    const std::string address = server_->url("/status/502/x");
    EXPECT_EQ(get(address, &body), 0);
    EXPECT_EQ(get(address, &body), 0);
    g_log_remove_handler("feedserviceutils", handler);
    EXPECT_EQ(server_->request_count("/status/502/x"), 1);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0],
              "Download of the feed " + address + " failed: HTTP status 502 (Bad Gateway)");
}

TEST(FetchPolicy, TellsLocalAddressesAndFetchesLocalPicturesOnlyAfterALocalFeed) {
    for (const char *ip : {"127.0.0.1", "10.1.2.3", "172.16.0.1", "172.31.255.255", "192.168.1.1",
                           "169.254.169.254", "100.64.0.1", "0.0.0.0", "::1", "::", "fe80::1",
                           "fd00::1", "::ffff:127.0.0.1", "not an address", ""})
        EXPECT_TRUE(fsu::is_local_address(ip)) << ip;
    for (const char *ip :
         {"93.184.216.34", "172.32.0.1", "8.8.8.8", "2001:db8::1", "::ffff:8.8.8.8"})
        EXPECT_FALSE(fsu::is_local_address(ip)) << ip;

    std::unique_ptr<HttpTestServer> local(
        new_file_server({{"a.png", "A"}, {"feed.xml", "<rss/>"}}));
    GArray *picture = g_array_new(FALSE, FALSE, 1);
    network_utils_begin_run("local", nullptr);
    EXPECT_FALSE(
        fsu::fetch(local->url("/a.png").c_str(), picture, fsu::FetchKind::Picture, 0, 1024, false));
    EXPECT_EQ(local->request_count(), 0) << "refused before the request";
    network_utils_begin_run("local", nullptr);
    GString *feed = g_string_new(local->url("/feed.xml").c_str());
    EXPECT_NE(network_utils_get(feed, picture, 0, 0, 0), 0);
    g_array_set_size(picture, 0);
    EXPECT_TRUE(
        fsu::fetch(local->url("/a.png").c_str(), picture, fsu::FetchKind::Picture, 0, 1024, false));
    EXPECT_EQ(std::string(picture->data, picture->len), "A");
    // Another local address is refused before connecting (not held as unreachable).
    const std::string elsewhere = "http://127.0.0.2:" + std::to_string(local->port()) + "/a.png";
    EXPECT_FALSE(fsu::fetch(elsewhere.c_str(), picture, fsu::FetchKind::Picture, 0, 1024, false));
    EXPECT_EQ(fsu::held_back("http://127.0.0.2:1/b.png",
                             "http://127.0.0.2:" + std::to_string(local->port()),
                             fsu::FetchKind::Picture, false),
              "");
    g_string_free(feed, TRUE);
    g_array_free(picture, TRUE);
}

} // namespace

namespace {

// The warnings the library logs while it is alive.
class LoggedWarnings {
  public:
    LoggedWarnings() {
        handler_ = g_log_set_handler(
            "feedserviceutils", G_LOG_LEVEL_WARNING,
            [](const gchar *, GLogLevelFlags, const gchar *message, gpointer into) {
                static_cast<std::vector<std::string> *>(into)->push_back(message);
            },
            &messages_);
    }
    ~LoggedWarnings() { g_log_remove_handler("feedserviceutils", handler_); }
    bool any_contains(const std::string &text) const {
        for (const std::string &message : messages_)
            if (message.find(text) != std::string::npos)
                return true;
        return false;
    }

  private:
    guint handler_ = 0;
    std::vector<std::string> messages_;
};

bool fetch_picture(const std::string &address, long timeout_seconds = 0) {
    GArray *body = g_array_new(FALSE, FALSE, 1);
    const bool arrived = fsu::fetch(address.c_str(), body, fsu::FetchKind::Picture, timeout_seconds,
                                    1024 * 1024, false);
    g_array_free(body, TRUE);
    return arrived;
}

bool fetch_feed(const std::string &address, std::string *body = nullptr) {
    GString *url = g_string_new(address.c_str());
    GArray *array = g_array_new(FALSE, FALSE, 1);
    const bool arrived = network_utils_get(url, array, 0, 0, 0) != 0;
    if (body != nullptr)
        body->assign(array->data, array->len);
    g_array_free(array, TRUE);
    g_string_free(url, TRUE);
    return arrived;
}

// Waits with bounds: what a server or a stalled host can make a run wait, and how a
// run is cut short. Each case starts with everything forgotten.
class BoundedWaits : public ::testing::Test {
  protected:
    void SetUp() override {
        fsu::forget_failed_downloads();
        network_utils_begin_run("bounded", nullptr);
        server_.reset(new_file_server({{"feed.xml", "<rss/>"}, {"a.png", "A"}, {"b.png", "B"}}));
    }
    void TearDown() override { fsu::forget_failed_downloads(); }
    std::unique_ptr<HttpTestServer> server_;
};

TEST_F(BoundedWaits, EachWaitIsBounded) {
    struct Case {
        const char *name;
        std::function<void(HttpTestServer &)> check;
    };
    const Case cases[] = {
        {"Retry-After beyond the interval is cut to an hour, clamped before any arithmetic",
         [](HttpTestServer &server) {
             for (const char *huge : {"999999", "99999999999999", "99999999999999999999999"}) {
                 LoggedWarnings warnings;
                 EXPECT_FALSE(fetch_feed(server.url(std::string("/wait/503/") + huge + "/x")));
                 EXPECT_TRUE(warnings.any_contains("not asked again for 3600 s")) << huge;
                 fsu::forget_failed_downloads();
             }
         }},
        {"a run with other settings lifts a server's wait",
         [](HttpTestServer &server) {
             EXPECT_FALSE(fetch_feed(server.url("/wait/429/600/x")));
             network_utils_begin_run("bounded", nullptr);
             EXPECT_FALSE(fetch_feed(server.url("/feed.xml"))) << "same settings: waits";
             network_utils_begin_run("the user chose another list", nullptr);
             EXPECT_TRUE(fetch_feed(server.url("/feed.xml")));
         }},
        {"a daemon's run whose first feed is another lifts a server's wait",
         [](HttpTestServer &server) {
             feedserviceutils_run_begin();
             EXPECT_FALSE(fetch_feed(server.url("/wait/503/600/x")));
             feedserviceutils_run_end();
             feedserviceutils_run_begin();
             EXPECT_FALSE(fetch_feed(server.url("/wait/503/600/x"))) << "the same first feed";
             EXPECT_EQ(server.request_count(), 1);
             feedserviceutils_run_end();
             feedserviceutils_run_begin();
             EXPECT_TRUE(fetch_feed(server.url("/feed.xml")));
             feedserviceutils_run_end();
         }},
        {"a host whose picture stalled is left alone for the rest of the run",
         [](HttpTestServer &server) {
             EXPECT_TRUE(fetch_feed(server.url("/feed.xml"))); // its pictures may be fetched
             EXPECT_FALSE(fetch_picture(server.url("/stall/x.png"), 1));
             EXPECT_FALSE(fetch_picture(server.url("/a.png")));
             EXPECT_EQ(server.request_count("/a.png"), 0);
             network_utils_begin_run("bounded", nullptr);
             EXPECT_TRUE(fetch_feed(server.url("/feed.xml")));
             EXPECT_TRUE(fetch_picture(server.url("/a.png"))) << "the next run asks again";
         }},
        {"the run's pictures lose at most 20 s to failures",
         [](HttpTestServer &server) {
             EXPECT_TRUE(fetch_feed(server.url("/feed.xml")));
             fsu::FetchOutcome slow;
             slow.elapsed_us = 20 * G_USEC_PER_SEC;
             fsu::note_outcome("http://192.0.2.1/slow.png", "http://192.0.2.1:80",
                               fsu::FetchKind::Picture, slow);
             EXPECT_EQ(fsu::picture_time_limit_ms(), 0);
             EXPECT_FALSE(fetch_picture(server.url("/a.png")));
             EXPECT_EQ(server.request_count("/a.png"), 0);
             network_utils_begin_run("bounded", nullptr);
             EXPECT_TRUE(fetch_feed(server.url("/feed.xml")));
             EXPECT_TRUE(fetch_picture(server.url("/a.png")));
         }},
        {"cancelling ends a stalled transfer at once and refuses later ones",
         [](HttpTestServer &server) {
             const gint64 start = g_get_monotonic_time();
             std::thread canceller([] {
                 g_usleep(300 * 1000);
                 feedserviceutils_cancel_downloads();
             });
             EXPECT_FALSE(fetch_feed(server.url("/stall/feed.xml")));
             canceller.join();
             EXPECT_LT(g_get_monotonic_time() - start, 5 * G_USEC_PER_SEC);
             server.reset_counts();
             EXPECT_FALSE(fetch_feed(server.url("/feed.xml")));
             EXPECT_EQ(server.request_count(), 0);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fsu::forget_failed_downloads();
        network_utils_begin_run("bounded", nullptr);
        server_->reset_counts();
        c.check(*server_);
    }
}

// Honest caches and local addresses, exactly: what is remembered follows the latest
// answer, and a local address is reached only at the very address and port allowed,
// judged on the target even through a proxy.
class HonestCachesAndLocalAddresses : public ::testing::Test {
  protected:
    void SetUp() override {
        fsu::forget_failed_downloads();
        network_utils_begin_run("exact", nullptr);
        server_.reset(new_file_server({{"feed.xml", "<rss>one</rss>"}, {"a.png", "A"}}));
        other_.reset(new_file_server({{"a.png", "A"}, {"secret.txt", "secret"}}));
    }
    void TearDown() override { fsu::forget_failed_downloads(); }
    std::unique_ptr<HttpTestServer> server_;
    std::unique_ptr<HttpTestServer> other_;
};

TEST_F(HonestCachesAndLocalAddresses, EachCaseHolds) {
    struct Case {
        const char *name;
        std::function<void(HttpTestServer &, HttpTestServer &)> check;
    };
    const Case cases[] = {
        {"a 2xx without validators removes the cache entry",
         [](HttpTestServer &server, HttpTestServer &) {
             const std::string url = server.url("/feed.xml");
             ASSERT_TRUE(fetch_feed(url));
             ASSERT_TRUE(file_exists(fsu::http_cache_path(url)));
             server.set_answer_style(false);
             EXPECT_TRUE(fetch_feed(url));
             EXPECT_FALSE(file_exists(fsu::http_cache_path(url)));
         }},
        {"Cache-Control: NO-STORE (any case) removes the cache entry",
         [](HttpTestServer &server, HttpTestServer &) {
             int n = 0;
             for (const char *header : {"NO-STORE", "private, No-Store", "no-store=\"x\""}) {
                 const std::string url = server.url("/feed.xml?" + std::to_string(n++));
                 server.set_answer_style(true);
                 ASSERT_TRUE(fetch_feed(url));
                 ASSERT_TRUE(file_exists(fsu::http_cache_path(url)));
                 write_file(server.root() + "/feed.xml", std::string("<rss>") + header + "</rss>");
                 server.set_answer_style(true, header);
                 EXPECT_TRUE(fetch_feed(url));
                 EXPECT_FALSE(file_exists(fsu::http_cache_path(url))) << header;
             }
         }},
        {"a local picture only at the feed's address and port",
         [](HttpTestServer &server, HttpTestServer &other) {
             ASSERT_TRUE(fetch_feed(server.url("/feed.xml")));
             EXPECT_TRUE(fetch_picture(server.url("/a.png")));
             EXPECT_FALSE(fetch_picture(other.url("/a.png")));
             EXPECT_EQ(other.request_count(), 0);
         }},
        {"through a local proxy a local picture is judged by its own address and port",
         [](HttpTestServer &server, HttpTestServer &other) {
             const ScopedEnvironment proxy("http_proxy", server.url("").c_str());
             const ScopedEnvironment no_proxy("no_proxy", nullptr);
             const ScopedEnvironment no_proxy_upper("NO_PROXY", nullptr);
             ASSERT_TRUE(fetch_feed(server.url("/feed.xml")));
             EXPECT_FALSE(fetch_picture(other.url("/a.png")));
             EXPECT_EQ(server.request_count("/a.png"), 0) << "not asked of the proxy";
         }},
        {"through a local proxy a public feed may not redirect to a local address",
         [](HttpTestServer &server, HttpTestServer &other) {
             const ScopedEnvironment proxy("http_proxy", server.url("").c_str());
             const ScopedEnvironment no_proxy("no_proxy", nullptr);
             const ScopedEnvironment no_proxy_upper("NO_PROXY", nullptr);
             gchar *target = g_uri_escape_string(other.url("/secret.txt").c_str(), nullptr, FALSE);
             std::string body;
             EXPECT_FALSE(fetch_feed(std::string("http://192.0.2.1/goto?to=") + target, &body));
             g_free(target);
             EXPECT_EQ(body, "");
             EXPECT_EQ(server.request_count("/goto"), 1) << "the feed was asked of the proxy";
             EXPECT_EQ(server.request_count("/secret.txt"), 0);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fsu::forget_failed_downloads();
        network_utils_begin_run("exact", nullptr);
        server_->set_answer_style(true);
        server_->reset_counts();
        other_->reset_counts();
        c.check(*server_, *other_);
    }
}

} // namespace
