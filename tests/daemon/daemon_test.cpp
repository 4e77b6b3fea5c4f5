// SPDX-License-Identifier: LGPL-2.1-or-later
// The feed service daemon end to end: the built daemon runs as a child process on the
// test's session bus, loads the built plug-in, and a GDBus client activates it and follows
// its "plugin_executed" signals while the plug-in fetches the demo storefront.
#include "storefront_server.h"
#include "feed_service.h"
#include "file_helpers.h"
#include "gconftool.h"
#include "item_database.h"
#include "main_loop.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>
#include "velmora_contract.h"

namespace {

using namespace feed_service;
using gconftool::set_categories;
using test_support::read_file;
using test_support::run_until;

int milliseconds(double seconds) {
    return static_cast<int>(seconds * 1000);
}

// A client of the daemon on a bus: calls its methods and records its signals.
class DaemonClient {
  public:
    explicit DaemonClient(GDBusConnection *connection)
        : connection_(G_DBUS_CONNECTION(g_object_ref(connection))) {
        subscription_ = g_dbus_connection_signal_subscribe(
            connection_, nullptr, kInterface, kRunSignal, kObjectPath, nullptr,
            G_DBUS_SIGNAL_FLAGS_NONE, on_signal, this, nullptr);
    }
    ~DaemonClient() {
        g_dbus_connection_signal_unsubscribe(connection_, subscription_);
        g_object_unref(connection_);
    }

    // The answer of "activate", or -1 when the call failed.
    int activate(const char *plugin, GDBusCallFlags flags = G_DBUS_CALL_FLAGS_NO_AUTO_START) {
        GVariant *reply = g_dbus_connection_call_sync(
            connection_, kBusName, kObjectPath, kInterface, VELMORA_FEEDSERVICE_ACTIVATE,
            g_variant_new("(s)", plugin), G_VARIANT_TYPE("(i)"), flags, 20000, nullptr, nullptr);
        if (!reply)
            return -1;
        gint32 result = -1;
        g_variant_get(reply, "(i)", &result);
        g_variant_unref(reply);
        return result;
    }
    bool deactivate(const char *plugin) {
        GVariant *reply = g_dbus_connection_call_sync(
            connection_, kBusName, kObjectPath, kInterface, VELMORA_FEEDSERVICE_DEACTIVATE,
            g_variant_new("(s)", plugin), nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, 20000, nullptr,
            nullptr);
        if (reply)
            g_variant_unref(reply);
        return reply != nullptr;
    }

    std::vector<int> statuses;
    std::vector<std::string> names;

    int count(int status) const {
        int n = 0;
        for (int s : statuses)
            n += s == status;
        return n;
    }
    bool wait_for_status(int status, int occurrences, double seconds) {
        return run_until([&] { return count(status) >= occurrences; }, milliseconds(seconds));
    }

  private:
    static void on_signal(GDBusConnection *, const gchar *, const gchar *, const gchar *,
                          const gchar *, GVariant *parameters, gpointer user_data) {
        auto *self = static_cast<DaemonClient *>(user_data);
        const gchar *name = nullptr;
        gint32 status = 0;
        g_variant_get(parameters, "(&si)", &name, &status);
        self->names.push_back(name);
        self->statuses.push_back(status);
    }

    GDBusConnection *connection_;
    guint subscription_ = 0;
};

bool name_has_owner(GDBusConnection *connection, const char *name) {
    GVariant *reply = g_dbus_connection_call_sync(
        connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE,
        5000, nullptr, nullptr);
    gboolean owned = FALSE;
    if (reply) {
        g_variant_get(reply, "(b)", &owned);
        g_variant_unref(reply);
    }
    return owned;
}

class FeedServiceDaemon : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { store_ = new StorefrontServer(); }
    static void TearDownTestSuite() {
        delete store_;
        store_ = nullptr;
    }

    void SetUp() override {
        connection_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        ASSERT_NE(connection_, nullptr);
        client_ = std::make_unique<DaemonClient>(connection_);
        gconftool::unset_settings();
    }
    void TearDown() override {
        if (daemon_) {
            g_subprocess_send_signal(daemon_, SIGKILL);
            g_subprocess_wait(daemon_, nullptr, nullptr);
            g_object_unref(daemon_);
        }
        client_.reset();
        g_object_unref(connection_);
    }

    void start_daemon(const char *run_interval = nullptr, const char *retry_seconds = nullptr) {
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        log_path_ = test_support::temp_path("daemon-" + test + ".log");
        GSubprocessLauncher *launcher = g_subprocess_launcher_new(G_SUBPROCESS_FLAGS_NONE);
        // Each test's daemon starts with an HTTP cache of its own.
        g_subprocess_launcher_setenv(launcher, "XDG_CACHE_HOME",
                                     test_support::temp_path("cache-" + test).c_str(), TRUE);
        if (retry_seconds)
            g_subprocess_launcher_setenv(launcher, "FEEDSERVICE_RETRY_SECONDS", retry_seconds,
                                         TRUE);
        g_subprocess_launcher_setenv(launcher, "VELMORA_DATA_DIR", store_->data_dir().c_str(),
                                     TRUE);
        g_subprocess_launcher_setenv(launcher, "FEEDSERVICE_PLUGIN_DIR",
                                     FEEDSERVICE_BUILD_PLUGIN_DIR, TRUE);
        if (run_interval)
            g_subprocess_launcher_setenv(launcher, "FEEDSERVICE_RUN_INTERVAL", run_interval, TRUE);
        g_subprocess_launcher_set_stderr_file_path(launcher, log_path_.c_str());
        daemon_ = g_subprocess_launcher_spawn(launcher, nullptr, FEEDSERVICE_DAEMON_PATH, nullptr);
        g_object_unref(launcher);
        ASSERT_NE(daemon_, nullptr);
        ASSERT_TRUE(run_until([&] { return name_has_owner(connection_, kBusName); }, 10000))
            << daemon_log();
    }

    std::string daemon_log() const { return read_file(log_path_); }

    // The storefront's US bestsellers feed, to be rewritten by a test.
    static std::string us_feed() {
        return read_file(store_->root() +
                         StorefrontServer::feed_path(VELMORA_REGION_US, VELMORA_DEFAULT_CATEGORY));
    }

    // Serves feed as the bestsellers of a region of its own, which becomes the setting.
    static void serve_feed_as_region(const std::string &region, const std::string &feed) {
        const std::string path = "/feeds/" + region + ".xml";
        ASSERT_TRUE(test_support::write_file(store_->root() + path, feed));
        store_->add_catalogue_section("[" + region +
                                      "]\nbestsellers=" + store_->server().url(path) + "\n");
        gconftool::set_region(region.c_str());
    }

    // Waits for the daemon to exit; its exit status, or -1 when it did not exit normally.
    int wait_for_exit(double seconds) {
        // GSubprocess notices the exit through a child watch on the test's main context.
        if (!run_until([&] { return g_subprocess_get_identifier(daemon_) == nullptr; },
                       milliseconds(seconds)))
            return -1;
        g_subprocess_wait(daemon_, nullptr, nullptr);
        return g_subprocess_get_if_exited(daemon_) ? g_subprocess_get_exit_status(daemon_) : -1;
    }

    // Starts the daemon on four feeds of the US storefront, a run long enough to act while
    // it is under way, and activates it; returns once the run has begun, with the number
    // of items the run stores in *items.
    void start_long_run(int *items) {
        const std::vector<std::string> categories = {VELMORA_DEFAULT_CATEGORY, "movers_shakers",
                                                     "bestsellers_book", "hotnew_books"};
        set_categories(categories);
        start_daemon();
        *items = 0;
        for (const std::string &category : categories)
            *items += store_->item_count("velmora.com", category);
        ASSERT_EQ(client_->activate(kPluginName), 1);
        ASSERT_TRUE(client_->wait_for_status(0, 1, 60)) << daemon_log();
    }

    static StorefrontServer *store_;
    GDBusConnection *connection_ = nullptr;
    std::unique_ptr<DaemonClient> client_;
    GSubprocess *daemon_ = nullptr;
    std::string log_path_;
};
StorefrontServer *FeedServiceDaemon::store_ = nullptr;

TEST_F(FeedServiceDaemon, ActivateRunsThePluginAndRelaysEveryStatusInOrder) {
    start_daemon();
    const int count = store_->item_count(VELMORA_REGION_US, VELMORA_DEFAULT_CATEGORY);
    EXPECT_EQ(client_->activate(kPluginName), 1);
    ASSERT_TRUE(client_->wait_for_status(2, 1, 60)) << daemon_log();
    EXPECT_EQ(client_->statuses, pass(count));
    for (const auto &name : client_->names)
        EXPECT_EQ(name, kPluginName);

    const auto stored = stored_items();
    ASSERT_EQ(static_cast<int>(stored.size()), count);
    int pictures = 0;
    for (const auto &item : stored) {
        if (!item.image_path.empty()) {
            ++pictures;
            EXPECT_TRUE(g_file_test(item.image_path.c_str(), G_FILE_TEST_IS_REGULAR));
        }
    }
    EXPECT_GT(pictures, 0);
    // No further run without a request (the periodic interval is an hour).
    EXPECT_FALSE(client_->wait_for_status(1, 2, 1.0));

    // A second run of the unchanged storefront asks for the feed alone (and gets a 304):
    // the same items keep their pictures, which are not asked for again.
    const long first_bytes = store_->server().bytes_sent();
    store_->server().reset_counts();
    EXPECT_EQ(client_->activate(kPluginName), 1);
    ASSERT_TRUE(client_->wait_for_status(2, 2, 60)) << daemon_log();
    EXPECT_EQ(store_->server().request_count(), 1);
    EXPECT_LE(store_->server().bytes_sent() * 20, first_bytes);
    const auto again = stored_items();
    ASSERT_EQ(again.size(), stored.size());
    for (size_t i = 0; i < again.size(); i++) {
        EXPECT_EQ(again[i].title, stored[i].title);
        EXPECT_EQ(again[i].image_path, stored[i].image_path);
        EXPECT_TRUE(again[i].image_path.empty() ||
                    g_file_test(again[i].image_path.c_str(), G_FILE_TEST_IS_REGULAR));
    }
}

// The storefront is down: the run finds nothing (-1022) and is retried after 1 s, 2 s,
// ...; once the storefront is back the next retry stores the items, and then the daemon
// keeps to its normal interval.
TEST_F(FeedServiceDaemon, RetriesWithBackoffUntilTheStorefrontIsBack) {
    store_->server().go_down();
    start_daemon(nullptr, "1");
    ASSERT_EQ(client_->activate(kPluginName), 1);
    ASSERT_TRUE(client_->wait_for_status(VELMORA_STATUS_NOTHING_DOWNLOADED, 2, 10)) << daemon_log();
    store_->server().come_back();
    ASSERT_TRUE(client_->wait_for_status(2, 1, 20)) << daemon_log();
    EXPECT_EQ(static_cast<int>(stored_items().size()),
              store_->item_count(VELMORA_REGION_US, VELMORA_DEFAULT_CATEGORY));
    EXPECT_FALSE(client_->wait_for_status(1, 2, 3.0)) << "no retry after a success";
    const std::string log = daemon_log();
    EXPECT_NE(log.find("trying again in 1 s"), std::string::npos) << log;
    EXPECT_NE(log.find("trying again in 2 s"), std::string::npos) << log;
    EXPECT_NE(log.find("failed: Failed to connect to 127.0.0.1"), std::string::npos) << log;
}

// Fails, succeeds, fails again: the backoff after the success starts at its first wait.
TEST_F(FeedServiceDaemon, ASuccessStartsTheBackoffOver) {
    store_->server().go_down();
    start_daemon(nullptr, "1");
    ASSERT_EQ(client_->activate(kPluginName), 1);
    ASSERT_TRUE(client_->wait_for_status(VELMORA_STATUS_NOTHING_DOWNLOADED, 2, 10)) << daemon_log();
    store_->server().come_back();
    ASSERT_TRUE(client_->wait_for_status(2, 1, 20)) << daemon_log();
    store_->server().go_down();
    const int failed = client_->count(VELMORA_STATUS_NOTHING_DOWNLOADED);
    ASSERT_EQ(client_->activate(kPluginName), 1);
    ASSERT_TRUE(client_->wait_for_status(VELMORA_STATUS_NOTHING_DOWNLOADED, failed + 1, 10))
        << daemon_log();
    store_->server().come_back();
    const std::string log = daemon_log();
    size_t first_waits = 0;
    for (size_t at = log.find("trying again in 1 s"); at != std::string::npos;
         at = log.find("trying again in 1 s", at + 1))
        ++first_waits;
    EXPECT_EQ(first_waits, 2u) << log;
}

TEST_F(FeedServiceDaemon, ActivateDuringARunQueuesExactlyOneMoreRun) {
    int count = 0;
    ASSERT_NO_FATAL_FAILURE(start_long_run(&count));
    // The bus answers at once during the run, and the three requests fold into one run.
    EXPECT_EQ(client_->activate(kPluginName), 1);
    EXPECT_EQ(client_->activate(kPluginName), 1);
    EXPECT_EQ(client_->activate(kPluginName), 1);
    ASSERT_TRUE(client_->wait_for_status(2, 2, 120)) << daemon_log();
    EXPECT_FALSE(client_->wait_for_status(1, 3, 2.0));
    EXPECT_EQ(client_->statuses, pass(count) + pass(count));
}

TEST_F(FeedServiceDaemon, UnknownOrMalformedPluginNamesAnswerZeroAndChangeNothing) {
    start_daemon();
    EXPECT_EQ(client_->activate("libnosuchplugin"), 0);
    EXPECT_EQ(client_->activate("libnosuchplugin"), 0);
    EXPECT_EQ(client_->activate("../plugins/" VELMORA_SERVICE_PLUGIN_NAME), 0);
    EXPECT_EQ(client_->activate(""), 0);
    EXPECT_TRUE(client_->deactivate("libnosuchplugin"));
    EXPECT_FALSE(client_->wait_for_status(1, 1, 0.5));
    EXPECT_TRUE(client_->statuses.empty());
    const std::string log = daemon_log();
    const size_t logged = log.find("no plug-in \"libnosuchplugin\"");
    EXPECT_NE(logged, std::string::npos) << log;
    EXPECT_EQ(log.find("no plug-in \"libnosuchplugin\"", logged + 1), std::string::npos)
        << "logged once";
    // The daemon goes on serving.
    EXPECT_EQ(client_->activate(kPluginName), 1);
    EXPECT_TRUE(client_->wait_for_status(2, 1, 60)) << daemon_log();
}

TEST_F(FeedServiceDaemon, PeriodicRunsFollowActivationAndStopOnDeactivate) {
    start_daemon("1");
    ASSERT_EQ(client_->activate(kPluginName), 1);
    // Runs go on without further requests.
    ASSERT_TRUE(client_->wait_for_status(2, 3, 60)) << daemon_log();
    ASSERT_TRUE(client_->deactivate(kPluginName));
    const int started = client_->count(1);
    // A run under way still ends (its signals may still be on their way); then the daemon
    // stays quiet: no status for 2.5 s, more than two periods.
    const gint64 give_up = g_get_monotonic_time() + 20 * G_USEC_PER_SEC;
    bool quiet = false;
    while (!quiet && g_get_monotonic_time() < give_up) {
        const size_t seen = client_->statuses.size();
        quiet = !run_until([&] { return client_->statuses.size() != seen; }, 2500);
    }
    EXPECT_TRUE(quiet);
    EXPECT_LE(client_->count(1), started + 1);
    EXPECT_EQ(client_->count(1), client_->count(2));
    EXPECT_EQ(client_->statuses.back(), 2);
}

TEST_F(FeedServiceDaemon, SigtermDuringARunFinishesTheRunAndExitsCleanly) {
    int count = 0;
    ASSERT_NO_FATAL_FAILURE(start_long_run(&count));
    g_subprocess_send_signal(daemon_, SIGTERM);
    EXPECT_EQ(wait_for_exit(120), 0) << daemon_log();
    // Every status of the run was relayed before the daemon left.
    run_until([&] { return client_->count(2) >= 1; }, 5000);
    EXPECT_EQ(client_->statuses, pass(count));
    EXPECT_EQ(static_cast<int>(stored_items().size()), count);
    EXPECT_NE(daemon_log().find("unloaded plug-in \"" VELMORA_SERVICE_PLUGIN_NAME "\""),
              std::string::npos)
        << daemon_log();
    EXPECT_FALSE(name_has_owner(connection_, kBusName));
}

// The storefront's feed with its first picture on a private network and its second one
// failing slowly (cut off after 6 s): each costs only itself, every other picture of the
// loopback storefront arrives.
TEST_F(FeedServiceDaemon, RefusesAPrivatePictureAndASlowFailureBlocksNothing) {
    const std::string images = store_->server().url("/images/I/");
    std::string feed = us_feed();
    int pictures = 0; // addresses the parser finds (the others are entity-escaped)
    for (size_t at = feed.find("src=\"" + images); at != std::string::npos;
         at = feed.find("src=\"" + images, at + 1))
        ++pictures;
    const size_t first = feed.find(images);
    ASSERT_NE(first, std::string::npos);
    const std::string port = std::to_string(store_->server().port());
    feed.replace(first, images.size(), "http://10.255.255.1:" + port + "/images/I/");
    const size_t second = feed.find(images);
    ASSERT_NE(second, std::string::npos);
    feed.replace(second, images.size(), store_->server().url("/delay/6000/cut/images/I/"));
    ASSERT_NO_FATAL_FAILURE(serve_feed_as_region("mixed.test", feed));

    start_daemon();
    ASSERT_EQ(client_->activate(kPluginName), 1);
    ASSERT_TRUE(client_->wait_for_status(2, 1, 90)) << daemon_log();
    const auto stored = stored_items();
    ASSERT_EQ(static_cast<int>(stored.size()),
              store_->item_count(VELMORA_REGION_US, VELMORA_DEFAULT_CATEGORY));
    int with = 0;
    for (const auto &item : stored)
        with += !item.image_path.empty();
    EXPECT_EQ(with, pictures - 2);
    const std::string log = daemon_log();
    EXPECT_NE(log.find("refused to connect to 10.255.255.1"), std::string::npos) << log;
    EXPECT_NE(log.find("/delay/6000/cut/"), std::string::npos) << log;
}

// SIGTERM while a picture stalls: the daemon cancels the transfer, the run ends (its
// other pictures are not fetched) and the daemon exits within seconds, not after the
// stall's time-out.
TEST_F(FeedServiceDaemon, SigtermEndsAStalledTransferWithinSeconds) {
    const std::string images = store_->server().url("/images/I/");
    std::string feed = us_feed();
    const size_t first = feed.find(images);
    ASSERT_NE(first, std::string::npos);
    feed.replace(first, images.size(), store_->server().url("/stall/images/I/"));
    ASSERT_NO_FATAL_FAILURE(serve_feed_as_region("stalled.test", feed));

    start_daemon();
    ASSERT_EQ(client_->activate(kPluginName), 1);
    ASSERT_TRUE(client_->wait_for_status(1, 1, 60)) << daemon_log();
    // The first item's picture stalls: no item is reported stored meanwhile.
    EXPECT_FALSE(client_->wait_for_status(0, 1, 1.5)) << daemon_log();
    const gint64 asked = g_get_monotonic_time();
    g_subprocess_send_signal(daemon_, SIGTERM);
    EXPECT_EQ(wait_for_exit(30), 0) << daemon_log();
    EXPECT_LT(g_get_monotonic_time() - asked, 6 * G_USEC_PER_SEC)
        << "the stalled picture held the daemon" << daemon_log();
}

// A bus that knows the build tree's service file starts the daemon on the first call.
TEST(FeedServiceActivation, TheServiceFileStartsTheDaemonOnDemand) {
    const std::string dir = test_support::temp_path("activation-bus");
    g_mkdir_with_parents(dir.c_str(), 0700);
    const std::string config = dir + "/session.conf";
    const std::string text =
        "<busconfig><type>session</type><listen>unix:dir=" + dir +
        "</listen><servicedir>" FEEDSERVICE_BUILD_SERVICE_DIR "</servicedir>"
        "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
        "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>";
    ASSERT_TRUE(test_support::write_file(config, text));

    const std::string command =
        "dbus-daemon --config-file=" + config + " --fork --print-address=1 --print-pid=1";
    gchar *out = nullptr;
    gint status = 0;
    ASSERT_TRUE(g_spawn_command_line_sync(command.c_str(), &out, nullptr, &status, nullptr));
    gchar **lines = g_strsplit(out, "\n", -1);
    g_free(out);
    const std::string address = lines[0] ? lines[0] : "";
    const int bus_pid = lines[0] && lines[1] ? atoi(lines[1]) : 0;
    g_strfreev(lines);
    ASSERT_GT(bus_pid, 0);

    GDBusConnection *bus = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    ASSERT_NE(bus, nullptr);
    {
        DaemonClient client(bus);
        EXPECT_FALSE(name_has_owner(bus, kBusName));
        EXPECT_EQ(client.activate("libnosuchplugin", G_DBUS_CALL_FLAGS_NONE), 0);
        EXPECT_TRUE(name_has_owner(bus, kBusName));

        GVariant *reply = g_dbus_connection_call_sync(
            bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "GetConnectionUnixProcessID", g_variant_new("(s)", kBusName), G_VARIANT_TYPE("(u)"),
            G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
        ASSERT_NE(reply, nullptr);
        guint32 daemon_pid = 0;
        g_variant_get(reply, "(u)", &daemon_pid);
        g_variant_unref(reply);
        ASSERT_GT(daemon_pid, 0u);
        kill(static_cast<pid_t>(daemon_pid), SIGTERM);
        EXPECT_TRUE(run_until([&] { return !name_has_owner(bus, kBusName); }, 10000));
    }
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
    kill(bus_pid, SIGTERM);
}

} // namespace
