// SPDX-License-Identifier: LGPL-2.1-or-later
// velmora_run_once - one update run of the plug-in in a process of its own, for tests of
// runs in several processes. Prints every status on a line of its own.
//
//   velmora_run_once [STATUS:N | start]
//
// With an argument, the session's GConf daemon is killed (SIGKILL) when the N-th report of
// STATUS is made, or, with "start", after a first read and before the run: every later
// settings read of this process fails, as on a handheld whose configuration server died.
#include "feedserviceutils_runs.h"
#include "velmora_service_plugin.h"

#include <gio/gio.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Killer {
    int status = 0, occurrence = 0, seen = 0;
    bool armed = false;
};

// Kills the process that owns the GConf daemon's name and waits until it is gone.
void kill_settings_server() {
    g_autoptr(GDBusConnection) bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    g_autoptr(GVariant) reply =
        bus ? g_dbus_connection_call_sync(
                  bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                  "GetConnectionUnixProcessID", g_variant_new("(s)", "org.gnome.GConf"),
                  G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr)
            : nullptr;
    if (!reply) {
        std::fprintf(stderr, "velmora_run_once: no GConf daemon to kill\n");
        std::exit(2);
    }
    guint32 pid = 0;
    g_variant_get(reply, "(u)", &pid);
    kill(static_cast<pid_t>(pid), SIGKILL);
    for (int i = 0; i < 500 && kill(static_cast<pid_t>(pid), 0) == 0; i++)
        g_usleep(10 * 1000);
}

void report(gpointer data, gint32 status) {
    std::printf("%d\n", status);
    std::fflush(stdout);
    auto *killer = static_cast<Killer *>(data);
    if (killer->armed && status == killer->status && ++killer->seen == killer->occurrence) {
        kill_settings_server();
        killer->armed = false;
    }
}

} // namespace

int main(int argc, char **argv) {
    Killer killer;
    const std::string when = argc > 1 ? argv[1] : "";
    VelmoraServiceContext *context = init_plugin();
    if (when == "start") {
        g_free(gconf_client_get_string(context->gconf_client, "/apps", nullptr)); // connects
        kill_settings_server();
    } else if (!when.empty() &&
               std::sscanf(when.c_str(), "%d:%d", &killer.status, &killer.occurrence) == 2) {
        killer.armed = true;
    }
    feedserviceutils_run_begin(); /* the run's bounds, marked as the daemon does */
    execute_with_callback(context, &killer, report);
    feedserviceutils_run_end();
    de_init_plugin(context);
    return 0;
}
