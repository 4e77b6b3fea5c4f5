// SPDX-License-Identifier: LGPL-2.1-or-later
// widget_heal_test.cpp - the widget in-process on a session bus that starts the build
// tree's feed service daemon by D-Bus activation, with the demo storefront on 127.0.0.1:
// it heals by itself when the storefront was down and when the daemon was killed.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <memory>

#include "storefront_server.h"
#include "widget_test_support.h"
#include "velmora_contract.h"

using namespace widget_test;

namespace {

const auto *gtk_environment = ::testing::AddGlobalTestEnvironment(new GtkEnvironment);

GVariant *call_bus(const char *method, GVariant *arguments, const char *reply_type) {
    GDBusConnection *bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    GVariant *reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method,
        arguments, reply_type ? G_VARIANT_TYPE(reply_type) : nullptr, G_DBUS_CALL_FLAGS_NONE, 5000,
        nullptr, nullptr);
    g_object_unref(bus);
    return reply;
}

// The daemon's process id, or 0 while nobody owns its name.
guint32 daemon_pid() {
    GVariant *reply =
        call_bus("GetConnectionUnixProcessID", g_variant_new("(s)", feed_service::kBusName), "(u)");
    guint32 pid = 0;
    if (reply != nullptr) {
        g_variant_get(reply, "(u)", &pid);
        g_variant_unref(reply);
    }
    return pid;
}

int count(const std::vector<int> &statuses, int status) {
    return int(std::count(statuses.begin(), statuses.end(), status));
}

// Storefront down: the card says so; back: items within the retry (1 s, then 2 s, ...).
// Daemon killed: the widget's activation starts a new one and runs resume.
TEST(WidgetHeals, AfterTheStorefrontWasDownAndAfterTheDaemonWasKilled) {
    ASSERT_NE(widget_type(), G_TYPE_INVALID);
    StorefrontServer storefront;
    g_setenv("VELMORA_DATA_DIR", storefront.data_dir().c_str(), TRUE);
    GVariantBuilder environment;
    g_variant_builder_init(&environment, G_VARIANT_TYPE("a{ss}"));
    g_variant_builder_add(&environment, "{ss}", "VELMORA_DATA_DIR", storefront.data_dir().c_str());
    g_variant_builder_add(&environment, "{ss}", "FEEDSERVICE_PLUGIN_DIR",
                          FEEDSERVICE_BUILD_PLUGIN_DIR);
    g_variant_builder_add(&environment, "{ss}", "FEEDSERVICE_RETRY_SECONDS", "1");
    GVariant *done =
        call_bus("UpdateActivationEnvironment", g_variant_new("(a{ss})", &environment), nullptr);
    ASSERT_NE(done, nullptr);
    g_variant_unref(done);

    storefront.server().go_down();
    RunSignalWatcher watcher;
    VelmoraPlugin *plugin = create_widget();
    EXPECT_EQ(shown_message(plugin), message_text(VELMORA_REGION_US, "loading"));
    ASSERT_TRUE(run_until(
        [&] { return count(watcher.statuses(), VELMORA_STATUS_NOTHING_DOWNLOADED) >= 1; }, 20000));
    EXPECT_EQ(shown_message(plugin), message_text(VELMORA_REGION_US, "no_connection"));

    storefront.server().come_back();
    ASSERT_TRUE(run_until([&] { return count(watcher.statuses(), 2) >= 1; }, 20000));
    EXPECT_FALSE(plugin->view->message_shown);
    EXPECT_GT(stored_item_count(), 0);

    const guint32 first = daemon_pid();
    ASSERT_GT(first, 0u);
    kill(static_cast<pid_t>(first), SIGKILL);
    ASSERT_TRUE(run_until([&] { return count(watcher.statuses(), 2) >= 2; }, 20000));
    const guint32 second = daemon_pid();
    EXPECT_NE(second, 0u);
    EXPECT_NE(second, first);
    EXPECT_FALSE(plugin->view->message_shown);

    gtk_widget_destroy(GTK_WIDGET(plugin));
    kill(static_cast<pid_t>(second), SIGTERM);
}

} // namespace
