// SPDX-License-Identifier: LGPL-2.1-or-later
// Bounded waits, as figures: (1) the wall time of one update run of the demo
// storefront's feed whose first three pictures stall (two never answer, one trickles a
// byte a second), target <= 25 s; (2) the longest the home screen's main loop is held
// while the feed service daemon is stopped with SIGSTOP (it still owns its bus name)
// and the widget keeps asking it to run, over 12 s, target <= 3 s. Prints figures; not
// a test. Needs GConf, a session bus and X: run it through tests/run-isolated.sh.
#include "bench_timing.h"
#include "hd-home-host.h"
#include "storefront_server.h"
#include "velmora_service_plugin.h"
#include "velmora_widget.h"

#include <gconf/gconf-client.h>
#include <gio/gio.h>
#include <gtk/gtk.h>

#include <csignal>
#include <cstdio>
#include <string>
#include "velmora_contract.h"

namespace {

using bench::now;

void ignore_status(gpointer, gint32) {}

// The first three picture addresses of the feed, made to stall (two) and trickle (one).
std::string stalling_feed(StorefrontServer &store) {
    const std::string images = store.server().url("/images/I/");
    std::string feed = test_support::read_file(
        store.root() + StorefrontServer::feed_path(VELMORA_REGION_US, VELMORA_DEFAULT_CATEGORY));
    size_t at = 0;
    for (const char *kind : {"/stall/images/I/", "/stall/images/I/", "/trickle/images/I/"}) {
        at = feed.find("src=\"" + images, at);
        if (at == std::string::npos)
            break;
        at += 5;
        feed.replace(at, images.size(), store.server().url(kind));
        at += images.size();
    }
    return feed;
}

double stalled_pictures_run(StorefrontServer &store) {
    test_support::write_file(store.root() + "/feeds/stalling.xml", stalling_feed(store));
    store.add_catalogue_section(
        "[stalling.bench]\nbestsellers=" + store.server().url("/feeds/stalling.xml") + "\n");
    GConfClient *gconf = gconf_client_get_default();
    gconf_client_set_string(gconf, VELMORA_GCONF_REGION_KEY, "stalling.bench", nullptr);
    g_setenv("VELMORA_DATA_DIR", store.data_dir().c_str(), TRUE);
    VelmoraServiceContext *context = init_plugin();
    const double start = now();
    execute_with_callback(context, nullptr, ignore_status);
    const double wall = now() - start;
    de_init_plugin(context);
    gconf_client_unset(gconf, VELMORA_GCONF_REGION_KEY, nullptr);
    g_object_unref(gconf);
    return wall;
}

bool name_owned() {
    GDBusConnection *bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    GVariant *reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", VELMORA_FEEDSERVICE_NAME), G_VARIANT_TYPE("(b)"),
        G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    gboolean owned = FALSE;
    if (reply != nullptr) {
        g_variant_get(reply, "(b)", &owned);
        g_variant_unref(reply);
    }
    g_object_unref(bus);
    return owned;
}

struct Beat {
    gint64 last = 0;
    gint64 longest = 0;
};

gboolean on_beat(gpointer data) {
    auto *beat = static_cast<Beat *>(data);
    const gint64 t = g_get_monotonic_time();
    beat->longest = MAX(beat->longest, t - beat->last);
    beat->last = t;
    return G_SOURCE_CONTINUE;
}

// Seconds the main loop was held at most while the widget asked a stopped daemon.
double stopped_daemon_stall() {
    const gchar *argv[] = {FEEDSERVICE_DAEMON_PATH, nullptr};
    g_setenv("FEEDSERVICE_PLUGIN_DIR", FEEDSERVICE_BUILD_PLUGIN_DIR, TRUE);
    GPid pid = 0;
    if (!g_spawn_async(nullptr, const_cast<gchar **>(argv), nullptr, G_SPAWN_DEFAULT, nullptr,
                       nullptr, &pid, nullptr))
        return -1;
    const gint64 give_up = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
    while (!name_owned() && g_get_monotonic_time() < give_up)
        g_usleep(50 * 1000);
    kill(pid, SIGSTOP);

    g_autofree gchar *module_dir = g_path_get_dirname(VELMORA_APPLET_PATH);
    HDHomePluginItem *widget = hd_home_host::load_widget(VELMORA_APPLET_DESKTOP_FILE,
                                                         "velmora.desktop-0", module_dir, nullptr);
    if (widget == nullptr)
        return -1;
    Beat beat;
    beat.last = g_get_monotonic_time();
    const guint heartbeat = g_timeout_add(20, on_beat, &beat);
    const gint64 until = g_get_monotonic_time() + 12 * G_USEC_PER_SEC;
    while (g_get_monotonic_time() < until)
        g_main_context_iteration(nullptr, TRUE);
    g_source_remove(heartbeat);
    /* A call still holding the loop when the time ran out counts too. */
    on_beat(&beat);
    gtk_widget_destroy(GTK_WIDGET(widget));
    kill(pid, SIGCONT);
    kill(pid, SIGTERM);
    g_spawn_close_pid(pid);
    return static_cast<double>(beat.longest) / G_USEC_PER_SEC;
}

} // namespace

int main() {
    if (!gtk_init_check(nullptr, nullptr)) {
        std::fprintf(stderr, "no display: run through tests/run-isolated.sh\n");
        return 1;
    }
    StorefrontServer store;
    const double run = stalled_pictures_run(store);
    std::printf("run with 3 stalled pictures (2 silent, 1 trickling): %.1f s (target <= 25 s)\n",
                run);
    const double stall = stopped_daemon_stall();
    std::printf("home screen's longest stall, daemon stopped (SIGSTOP), over 12 s: %.2f s "
                "(target <= 3 s)\n",
                stall);
    return 0;
}
