// utils_network_test.cpp - downloads from the local test server: a body arrives whole
// or not at all (error statuses, a cut-off body, a body over the cap, too many
// redirects, a stalled server within the time-out), only http and https are fetched,
// one connection serves a run's requests, and the user agent names the system.
#include "utils_test_helpers.h"

#include "http_test_server.h"

#include <gtest/gtest.h>

using namespace utils_test;

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

} // namespace
