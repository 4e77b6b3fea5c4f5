/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * osso_test.cpp - the libosso context, the browser RPC and its fallback, and
 * the hardware-state callback fed by the session's screensaver, all on the
 * test's private session bus.
 */
#include <libosso.h>

#include "file_helpers.h"
#include "main_loop.h"

#include <gio/gio.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using test_support::read_file;
using test_support::run_until;
using test_support::temp_path;

GDBusConnection *new_session_connection() {
    g_autofree gchar *address =
        g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    return g_dbus_connection_new_for_address_sync(
        address,
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                             G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
}

/* A browser on the session bus, in its own thread and main loop so that calls
 * made synchronously by the test thread are answered. */
class FakeBrowser {
  public:
    FakeBrowser() {
        g_mutex_init(&lock_);
        g_cond_init(&changed_);
        context_ = g_main_context_new();
        thread_ = g_thread_new("fake-browser", run, this);
        g_mutex_lock(&lock_);
        while (!ready_)
            g_cond_wait(&changed_, &lock_);
        g_mutex_unlock(&lock_);
    }
    ~FakeBrowser() {
        g_main_context_invoke(context_, stop, this);
        g_thread_join(thread_);
        g_main_context_unref(context_);
        g_cond_clear(&changed_);
        g_mutex_clear(&lock_);
    }

    /* The calls received so far, as "method args" lines, once n have come. */
    std::string wait_for_calls(size_t n) {
        gint64 deadline = g_get_monotonic_time() + 5 * G_TIME_SPAN_SECOND;
        g_mutex_lock(&lock_);
        while (calls_.size() < n)
            if (!g_cond_wait_until(&changed_, &lock_, deadline))
                break;
        std::string all;
        for (const std::string &call : calls_)
            all += call + "\n";
        g_mutex_unlock(&lock_);
        return all;
    }

  private:
    static gpointer run(gpointer data) {
        auto *self = static_cast<FakeBrowser *>(data);
        g_main_context_push_thread_default(self->context_);
        self->loop_ = g_main_loop_new(self->context_, FALSE);
        GDBusConnection *connection = new_session_connection();
        static const char *kIntrospection =
            "<node><interface name='com.corvane.osso_browser'>"
            "<method name='open_new_window'><arg type='s' direction='in'/>"
            "<arg type='b' direction='in'/></method>"
            "<method name='count_windows'><arg type='s' direction='in'/>"
            "<arg type='i' direction='out'/></method>"
            "</interface></node>";
        GDBusNodeInfo *node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
        static const GDBusInterfaceVTable vtable = {handle_call, nullptr, nullptr, {}};
        g_dbus_connection_register_object(connection, "/com/corvane/osso_browser",
                                          node->interfaces[0], &vtable, self, nullptr, nullptr);
        GVariant *owned = g_dbus_connection_call_sync(
            connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "RequestName", g_variant_new("(su)", "com.corvane.osso_browser", 4u), nullptr,
            G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
        g_variant_unref(owned);
        g_mutex_lock(&self->lock_);
        self->ready_ = true;
        g_cond_broadcast(&self->changed_);
        g_mutex_unlock(&self->lock_);
        g_main_loop_run(self->loop_);
        g_dbus_connection_close_sync(connection, nullptr, nullptr);
        g_object_unref(connection);
        g_dbus_node_info_unref(node);
        g_main_loop_unref(self->loop_);
        g_main_context_pop_thread_default(self->context_);
        return nullptr;
    }

    static gboolean stop(gpointer data) {
        g_main_loop_quit(static_cast<FakeBrowser *>(data)->loop_);
        return G_SOURCE_REMOVE;
    }

    static void handle_call(GDBusConnection *, const gchar *, const gchar *, const gchar *,
                            const gchar *method, GVariant *parameters,
                            GDBusMethodInvocation *invocation, gpointer data) {
        auto *self = static_cast<FakeBrowser *>(data);
        g_autofree gchar *args = g_variant_print(parameters, FALSE);
        g_mutex_lock(&self->lock_);
        self->calls_.push_back(std::string(method) + " " + args);
        g_cond_broadcast(&self->changed_);
        g_mutex_unlock(&self->lock_);
        if (g_strcmp0(method, "count_windows") == 0)
            g_dbus_method_invocation_return_value(invocation, g_variant_new("(i)", 3));
        else
            g_dbus_method_invocation_return_value(invocation, nullptr);
    }

    GMainContext *context_ = nullptr;
    GMainLoop *loop_ = nullptr;
    GThread *thread_ = nullptr;
    GMutex lock_;
    GCond changed_;
    bool ready_ = false;
    std::vector<std::string> calls_;
};

/* Whether name has an owner (or a queue) on the bus. */
bool name_requested(GBusType type, const char *name) {
    g_autoptr(GDBusConnection) bus = g_bus_get_sync(type, nullptr, nullptr);
    if (bus == nullptr)
        return false;
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE,
        -1, nullptr, nullptr);
    gboolean owned = FALSE;
    if (reply != nullptr)
        g_variant_get(reply, "(b)", &owned);
    return owned;
}

TEST(OssoTest, ContextNeedsAnApplicationNameAndVersionAndJoinsBothBuses) {
    const struct {
        const char *application, *version;
    } refused[] = {{nullptr, "1.0"},
                   {"", "1.0"},
                   {"velmora/widget", "1.0"},
                   {"velmorawidget", nullptr},
                   {"velmorawidget", "1/0"}};
    for (const auto &args : refused)
        EXPECT_EQ(osso_initialize(args.application, args.version, FALSE, nullptr), nullptr)
            << (args.application ? args.application : "NULL") << " "
            << (args.version ? args.version : "NULL");
    osso_context_t *osso = osso_initialize("velmorawidget", "1.0", FALSE, nullptr);
    ASSERT_NE(osso, nullptr);
    /* The service name on the session bus and on the (test's private) system bus. */
    EXPECT_TRUE(name_requested(G_BUS_TYPE_SESSION, "com.corvane.velmorawidget"));
    EXPECT_TRUE(name_requested(G_BUS_TYPE_SYSTEM, "com.corvane.velmorawidget"));
    osso_context_t *dotted = osso_initialize("org.example.tool", "1.0", FALSE, nullptr);
    ASSERT_NE(dotted, nullptr);
    EXPECT_TRUE(name_requested(G_BUS_TYPE_SESSION, "org.example.tool"));
    osso_deinitialize(dotted);
    EXPECT_FALSE(name_requested(G_BUS_TYPE_SESSION, "org.example.tool"));
    EXPECT_EQ(osso_rpc_run_with_defaults(nullptr, "osso_browser", "open_new_window", nullptr,
                                         DBUS_TYPE_INVALID),
              OSSO_INVALID);
    EXPECT_EQ(
        osso_rpc_run_with_defaults(osso, nullptr, "open_new_window", nullptr, DBUS_TYPE_INVALID),
        OSSO_INVALID);
    EXPECT_EQ(osso_rpc_run_with_defaults(osso, "bad name!", "open_new_window", nullptr,
                                         DBUS_TYPE_INVALID),
              OSSO_INVALID);
    EXPECT_EQ(osso_hw_set_event_cb(nullptr, nullptr, nullptr, nullptr), OSSO_INVALID);
    osso_deinitialize(osso);
    osso_deinitialize(nullptr);
}

TEST(OssoTest, BrowserRpcReachesTheBrowserServiceWithItsArguments) {
    FakeBrowser browser;
    osso_context_t *osso = osso_initialize("velmorawidget", "1.0", FALSE, nullptr);
    ASSERT_NE(osso, nullptr);
    EXPECT_EQ(osso_rpc_run_with_defaults(osso, "osso_browser", "open_new_window", nullptr,
                                         DBUS_TYPE_STRING, "http://127.0.0.1/item?id=1",
                                         DBUS_TYPE_BOOLEAN, FALSE, DBUS_TYPE_INVALID),
              OSSO_OK);
    EXPECT_EQ(browser.wait_for_calls(1), "open_new_window ('http://127.0.0.1/item?id=1', false)\n");

    /* With a return value the call waits for the reply. */
    osso_rpc_t reply;
    EXPECT_EQ(osso_rpc_run_with_defaults(osso, "osso_browser", "count_windows", &reply,
                                         DBUS_TYPE_STRING, "all", DBUS_TYPE_INVALID),
              OSSO_OK);
    EXPECT_EQ(reply.type, DBUS_TYPE_INT32);
    EXPECT_EQ(reply.value.i, 3);
    osso_rpc_free_val(&reply);

    /* An error reply comes back as its text. */
    EXPECT_EQ(osso_rpc_run_with_defaults(osso, "osso_browser", "no_such_method", &reply,
                                         DBUS_TYPE_INT32, 7, DBUS_TYPE_UINT32, 8u, DBUS_TYPE_DOUBLE,
                                         0.5, DBUS_TYPE_INVALID),
              OSSO_RPC_ERROR);
    EXPECT_EQ(reply.type, DBUS_TYPE_STRING);
    EXPECT_NE(reply.value.s, nullptr);
    osso_rpc_free_val(&reply);
    EXPECT_EQ(reply.type, DBUS_TYPE_INVALID);

    /* Unknown argument types and null strings are refused, not sent. */
    EXPECT_EQ(osso_rpc_run_with_defaults(osso, "osso_browser", "open_new_window", nullptr,
                                         DBUS_TYPE_STRING, nullptr, DBUS_TYPE_INVALID),
              OSSO_INVALID);
    EXPECT_EQ(osso_rpc_run_with_defaults(osso, "osso_browser", "open_new_window", nullptr,
                                         DBUS_TYPE_ARRAY, nullptr, DBUS_TYPE_INVALID),
              OSSO_INVALID);
    EXPECT_EQ(browser.wait_for_calls(2),
              "open_new_window ('http://127.0.0.1/item?id=1', false)\ncount_windows ('all',)\n");
    osso_deinitialize(osso);
}

TEST(OssoTest, WithoutABrowserServiceOnlyWebAddressesGoToTheDesktopBrowser) {
    std::string record = temp_path("opened.txt");
    std::string opener = temp_path("fake-opener.sh");
    std::string script = "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + record + "'\n";
    ASSERT_TRUE(g_file_set_contents(opener.c_str(), script.c_str(), -1, nullptr));
    ASSERT_EQ(g_chmod(opener.c_str(), 0755), 0);
    g_setenv("OSSO_BROWSER_FALLBACK", opener.c_str(), TRUE);

    osso_context_t *osso = osso_initialize("velmorawidget", "1.0", FALSE, nullptr);
    ASSERT_NE(osso, nullptr);
    for (const char *refused : {"file:///etc/passwd", "javascript:alert(1)", "-e http://x",
                                "ftp://127.0.0.1/", "127.0.0.1/page", ""}) {
        EXPECT_EQ(osso_rpc_run_with_defaults(osso, "osso_browser", "open_new_window", nullptr,
                                             DBUS_TYPE_STRING, refused, DBUS_TYPE_BOOLEAN, FALSE,
                                             DBUS_TYPE_INVALID),
                  OSSO_ERROR)
            << refused;
    }
    /* Only the address-opening methods fall back. */
    EXPECT_EQ(osso_rpc_run_with_defaults(osso, "osso_browser", "close_all_windows", nullptr,
                                         DBUS_TYPE_STRING, "http://127.0.0.1/", DBUS_TYPE_INVALID),
              OSSO_ERROR);
    EXPECT_EQ(osso_rpc_run_with_defaults(osso, "osso_browser", "open_new_window", nullptr,
                                         DBUS_TYPE_STRING, "HTTPS://127.0.0.1/a b;$(x)",
                                         DBUS_TYPE_BOOLEAN, FALSE, DBUS_TYPE_INVALID),
              OSSO_OK);
    EXPECT_EQ(osso_rpc_run_with_defaults(osso, "osso_browser", "open_new_window", nullptr,
                                         DBUS_TYPE_STRING, "http://127.0.0.1/second",
                                         DBUS_TYPE_BOOLEAN, FALSE, DBUS_TYPE_INVALID),
              OSSO_OK);
    ASSERT_TRUE(run_until([&] { return read_file(record).size() > 40; }));
    /* The two openers may finish in either order. */
    std::string opened = read_file(record);
    EXPECT_NE(opened.find("HTTPS://127.0.0.1/a b;$(x)\n"), std::string::npos) << opened;
    EXPECT_NE(opened.find("http://127.0.0.1/second\n"), std::string::npos) << opened;
    EXPECT_EQ(opened.find("passwd"), std::string::npos);
    osso_deinitialize(osso);
    g_unsetenv("OSSO_BROWSER_FALLBACK");
}

struct HwRecord {
    std::vector<gboolean> inactivity;
};

void record_hw_state(osso_hw_state_t *state, gpointer data) {
    static_cast<HwRecord *>(data)->inactivity.push_back(state->system_inactivity_ind);
}

void emit_screensaver(GDBusConnection *connection, gboolean active) {
    ASSERT_TRUE(g_dbus_connection_emit_signal(connection, nullptr, "/org/freedesktop/ScreenSaver",
                                              "org.freedesktop.ScreenSaver", "ActiveChanged",
                                              g_variant_new("(b)", active), nullptr));
    g_dbus_connection_flush_sync(connection, nullptr, nullptr);
}

TEST(OssoTest, ScreensaverDrivesTheInactivityIndicationUntilUnset) {
    GDBusConnection *screensaver = new_session_connection();
    ASSERT_NE(screensaver, nullptr);
    osso_context_t *osso = osso_initialize("velmorawidget", "1.0", FALSE, nullptr);
    osso_context_t *witness = osso_initialize("witness", "1.0", FALSE, nullptr);
    ASSERT_NE(osso, nullptr);
    ASSERT_NE(witness, nullptr);

    HwRecord widget;
    HwRecord seen;
    osso_hw_state_t inactivity_only{FALSE, FALSE, FALSE, TRUE, OSSO_DEVMODE_NORMAL};
    ASSERT_EQ(osso_hw_set_event_cb(osso, &inactivity_only, record_hw_state, &widget), OSSO_OK);
    /* The witness watches every indication; it shows when a signal has arrived. */
    ASSERT_EQ(osso_hw_set_event_cb(witness, nullptr, record_hw_state, &seen), OSSO_OK);

    emit_screensaver(screensaver, TRUE);
    ASSERT_TRUE(run_until([&] { return seen.inactivity.size() == 1; }));
    /* The same state again is no change. */
    emit_screensaver(screensaver, TRUE);
    emit_screensaver(screensaver, FALSE);
    ASSERT_TRUE(run_until([&] { return seen.inactivity.size() == 2; }));
    EXPECT_EQ(widget.inactivity, std::vector<gboolean>({TRUE, FALSE}));

    /* A mask without the indication is not told about it. */
    HwRecord other;
    osso_hw_state_t memory_only{FALSE, FALSE, TRUE, FALSE, OSSO_DEVMODE_NORMAL};
    ASSERT_EQ(osso_hw_set_event_cb(osso, &memory_only, record_hw_state, &other), OSSO_OK);
    emit_screensaver(screensaver, TRUE);
    ASSERT_TRUE(run_until([&] { return seen.inactivity.size() == 3; }));
    EXPECT_TRUE(other.inactivity.empty());

    /* After unset nothing more arrives. */
    ASSERT_EQ(osso_hw_set_event_cb(osso, &inactivity_only, record_hw_state, &widget), OSSO_OK);
    EXPECT_EQ(osso_hw_unset_event_cb(osso, nullptr), OSSO_OK);
    emit_screensaver(screensaver, FALSE);
    ASSERT_TRUE(run_until([&] { return seen.inactivity.size() == 4; }));
    EXPECT_EQ(widget.inactivity, std::vector<gboolean>({TRUE, FALSE}));
    EXPECT_TRUE(other.inactivity.empty());

    /* Nor after the context is gone, even for signals already on their way
     * (nothing is dispatched before the main loop runs again). */
    ASSERT_EQ(osso_hw_set_event_cb(osso, &inactivity_only, record_hw_state, &widget), OSSO_OK);
    emit_screensaver(screensaver, FALSE);
    emit_screensaver(screensaver, TRUE);
    osso_deinitialize(osso);
    ASSERT_TRUE(run_until([&] { return seen.inactivity.size() == 5; }));
    EXPECT_EQ(widget.inactivity, std::vector<gboolean>({TRUE, FALSE}));
    EXPECT_EQ(seen.inactivity, std::vector<gboolean>({TRUE, FALSE, TRUE, FALSE, TRUE}));

    osso_deinitialize(witness);
    g_object_unref(screensaver);
}

} // namespace
