/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * feedservice_daemon.cpp - the feed service daemon: owns the session bus name
 * com.corvane.feedservice, serves "activate" and "deactivate" on /daemon, and
 * relays every status of a plug-in run as the signal "plugin_executed".
 * Plug-ins are loaded and run by PluginHost on its worker thread; this thread
 * only serves the bus, the termination signals and GIO's network monitor, so it
 * stays responsive during runs. When the monitor reports the network back (it was
 * unavailable), a plug-in waiting to retry a failed run runs at once, as far as its
 * backoff allows. SIGTERM and SIGINT cancel the downloads under way, so that the run
 * under way ends within a second or two, and then end the daemon. The command line takes only
 * --help and
 * --version; anything else is refused.
 */
#include "feedservice_plugin_host.h"
#include "feedservice_retry_schedule.h"
#include "feedserviceutils_runs.h"

#include <gio/gio.h>
#include <glib-unix.h>

#include <csignal>
#include <memory>
#include "velmora_contract.h"

namespace {

constexpr char kBusName[] = VELMORA_FEEDSERVICE_NAME;
constexpr char kObjectPath[] = VELMORA_FEEDSERVICE_PATH;
constexpr char kInterface[] = VELMORA_FEEDSERVICE_INTERFACE;

constexpr char kIntrospection[] = "<node>"
                                  "  <interface name=\"" VELMORA_FEEDSERVICE_INTERFACE "\">"
                                  "    <method name=\"" VELMORA_FEEDSERVICE_ACTIVATE "\">"
                                  "      <arg type=\"s\" name=\"plugin\" direction=\"in\"/>"
                                  "      <arg type=\"i\" name=\"result\" direction=\"out\"/>"
                                  "    </method>"
                                  "    <method name=\"" VELMORA_FEEDSERVICE_DEACTIVATE "\">"
                                  "      <arg type=\"s\" name=\"plugin\" direction=\"in\"/>"
                                  "    </method>"
                                  "    <signal name=\"" VELMORA_FEEDSERVICE_RUN_SIGNAL "\">"
                                  "      <arg type=\"s\" name=\"plugin\"/>"
                                  "      <arg type=\"i\" name=\"status\"/>"
                                  "    </signal>"
                                  "  </interface>"
                                  "</node>";

struct Daemon {
    GMainLoop *loop = nullptr;
    GDBusConnection *connection = nullptr; /* set once the bus is acquired */
    std::unique_ptr<PluginHost> host;
    std::unique_ptr<NetworkReturn> network;
    int exit_status = 0;
};

/* Called on the plug-in worker thread; GDBus queues emitted signals in order. */
void emit_plugin_executed(Daemon *daemon, const std::string &plugin, gint32 status) {
    GError *error = nullptr;
    if (!g_dbus_connection_emit_signal(daemon->connection, nullptr, kObjectPath, kInterface,
                                       VELMORA_FEEDSERVICE_RUN_SIGNAL,
                                       g_variant_new("(si)", plugin.c_str(), status), &error)) {
        g_warning("cannot emit " VELMORA_FEEDSERVICE_RUN_SIGNAL "(%s, %d): %s", plugin.c_str(),
                  status, error->message);
        g_error_free(error);
    }
}

void handle_method_call(GDBusConnection *, const gchar *, const gchar *, const gchar *,
                        const gchar *method, GVariant *parameters,
                        GDBusMethodInvocation *invocation, gpointer user_data) {
    auto *daemon = static_cast<Daemon *>(user_data);
    const gchar *plugin = nullptr;
    g_variant_get(parameters, "(&s)", &plugin);
    if (g_strcmp0(method, VELMORA_FEEDSERVICE_ACTIVATE) == 0) {
        g_object_ref(invocation);
        daemon->host->activate(plugin, [invocation](bool loaded) {
            g_dbus_method_invocation_return_value(invocation, g_variant_new("(i)", loaded ? 1 : 0));
            g_object_unref(invocation);
        });
    } else if (g_strcmp0(method, VELMORA_FEEDSERVICE_DEACTIVATE) == 0) {
        daemon->host->deactivate(plugin);
        g_dbus_method_invocation_return_value(invocation, nullptr);
    } else {
        g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD,
                                              "no method %s", method);
    }
}

const GDBusInterfaceVTable kVTable = {handle_method_call, nullptr, nullptr, {}};

void on_bus_acquired(GDBusConnection *connection, const gchar *, gpointer user_data) {
    auto *daemon = static_cast<Daemon *>(user_data);
    daemon->connection = G_DBUS_CONNECTION(g_object_ref(connection));
    GError *error = nullptr;
    GDBusNodeInfo *node = g_dbus_node_info_new_for_xml(kIntrospection, &error);
    g_assert_no_error(error);
    if (!g_dbus_connection_register_object(connection, kObjectPath, node->interfaces[0], &kVTable,
                                           daemon, nullptr, &error)) {
        g_warning("cannot register %s: %s", kObjectPath, error->message);
        g_error_free(error);
        daemon->exit_status = 1;
        g_main_loop_quit(daemon->loop);
    }
    g_dbus_node_info_unref(node);
}

void on_name_acquired(GDBusConnection *, const gchar *name, gpointer) {
    g_message("serving %s", name);
}

void on_name_lost(GDBusConnection *connection, const gchar *name, gpointer user_data) {
    auto *daemon = static_cast<Daemon *>(user_data);
    if (!connection) {
        g_warning("no session bus: cannot serve %s", name);
    } else {
        g_warning("the name %s is taken or was lost", name);
    }
    daemon->exit_status = 1;
    g_main_loop_quit(daemon->loop);
}

gboolean on_terminate(gpointer user_data) {
    auto *daemon = static_cast<Daemon *>(user_data);
    g_message("terminating");
    /* The run under way finishes at once: its transfers end, nothing more is fetched. */
    feedserviceutils_cancel_downloads();
    g_main_loop_quit(daemon->loop);
    return G_SOURCE_CONTINUE;
}

void on_network_changed(GNetworkMonitor *, gboolean available, gpointer user_data) {
    auto *daemon = static_cast<Daemon *>(user_data);
    if (daemon->network->came_back(available != FALSE)) {
        daemon->host->network_available();
    }
}

void watch_signal(int signum, Daemon *daemon, GMainContext *context) {
    GSource *source = g_unix_signal_source_new(signum);
    g_source_set_callback(source, on_terminate, daemon, nullptr);
    g_source_attach(source, context);
    g_source_unref(source);
}

/* Parses the command line: --help (GOption's own) and --version. Returns -1 to
 * go on, otherwise the exit status to end with. */
int parse_command_line(int argc, char **argv) {
    gboolean version = FALSE;
    const GOptionEntry entries[] = {
        {"version", 0, 0, G_OPTION_ARG_NONE, &version, "Show the version and exit", nullptr},
        {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr}};
    GOptionContext *context = g_option_context_new("- feed service daemon");
    g_option_context_set_summary(context, "Owns " VELMORA_FEEDSERVICE_NAME
                                          " on the session bus and runs feed plug-ins on\n"
                                          "request (\"" VELMORA_FEEDSERVICE_ACTIVATE
                                          "\") and periodically, relaying every status of a run\n"
                                          "as the signal \"" VELMORA_FEEDSERVICE_RUN_SIGNAL
                                          "\". SIGTERM or SIGINT cancel the downloads of a\n"
                                          "run under way and end it once the run has returned.\n"
                                          "It logs to standard error.");
    g_option_context_set_description(
        context, "Environment:\n"
                 "  FEEDSERVICE_PLUGIN_DIR    directory of the plug-ins (default\n"
                 "                            " FEEDSERVICE_DEFAULT_PLUGIN_DIR ")\n"
                 "  FEEDSERVICE_RUN_INTERVAL  seconds between periodic runs, instead of\n"
                 "                            the plug-in's own interval\n");
    g_option_context_add_main_entries(context, entries, nullptr);
    GError *error = nullptr;
    int status = -1;
    if (!g_option_context_parse(context, &argc, &argv, &error)) {
        g_printerr("feedservice-daemon: %s (see --help)\n", error->message);
        g_error_free(error);
        status = 2;
    } else if (argc > 1) {
        g_printerr("feedservice-daemon: unexpected argument '%s' (see --help)\n", argv[1]);
        status = 2;
    } else if (version) {
        g_print("feedservice-daemon (Velmora) %s\n", VELMORA_VERSION);
        status = 0;
    }
    g_option_context_free(context);
    return status;
}

} // namespace

int main(int argc, char **argv) {
    const int status = parse_command_line(argc, argv);
    if (status >= 0)
        return status;

    /* The global default context belongs to the plug-in worker; this thread
     * serves the bus on a context of its own. */
    GMainContext *context = g_main_context_new();
    g_main_context_push_thread_default(context);

    Daemon daemon;
    daemon.loop = g_main_loop_new(context, FALSE);
    const char *plugin_dir = g_getenv("FEEDSERVICE_PLUGIN_DIR");
    daemon.host = std::make_unique<PluginHost>(
        plugin_dir && *plugin_dir ? plugin_dir : FEEDSERVICE_DEFAULT_PLUGIN_DIR,
        [&daemon](const std::string &plugin, gint32 status) {
            emit_plugin_executed(&daemon, plugin, status);
        });

    /* Made on this thread's context, so that its signal is emitted here. */
    GNetworkMonitor *monitor = g_network_monitor_get_default();
    daemon.network =
        std::make_unique<NetworkReturn>(g_network_monitor_get_network_available(monitor) != FALSE);
    const gulong network_handler =
        g_signal_connect(monitor, "network-changed", G_CALLBACK(on_network_changed), &daemon);

    watch_signal(SIGTERM, &daemon, context);
    watch_signal(SIGINT, &daemon, context);
    const guint owner =
        g_bus_own_name(G_BUS_TYPE_SESSION, kBusName, G_BUS_NAME_OWNER_FLAGS_NONE, on_bus_acquired,
                       on_name_acquired, on_name_lost, &daemon, nullptr);
    g_main_loop_run(daemon.loop);

    g_signal_handler_disconnect(monitor, network_handler);
    /* Waits for a run under way, then unloads the plug-ins. */
    daemon.host->shutdown();
    g_bus_unown_name(owner);
    if (daemon.connection) {
        g_dbus_connection_flush_sync(daemon.connection, nullptr, nullptr);
        g_object_unref(daemon.connection);
    }
    daemon.host.reset();
    g_main_loop_unref(daemon.loop);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    return daemon.exit_status;
}
