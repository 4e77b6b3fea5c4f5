/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * sim_service.cpp - stand-in for the phone's SIM service: owns
 * "com.corvane.phone.SIM" on the D-Bus system bus and answers "read_hplmn" of
 * interface "Phone.Sim" at "/com/corvane/phone/SIM" with the home network it
 * was started with, as a packed-BCD byte array and the status 0.
 *
 *   sim-service --mcc 234 --mnc 15        home network from country and network code
 *                                         (these two are the default)
 *   sim-service --hplmn-bytes 32F451      the raw bytes, in hex (may be short or empty)
 *   sim-service --reply-error ...         answers every call with an error instead
 *
 * Prints "sim-service: ready" once it owns the name; runs until SIGTERM or SIGINT.
 * --help and --version print and exit; unknown options and arguments are refused.
 */
#include <gio/gio.h>
#include <glib-unix.h>

#include <cstdio>
#include <cstring>
#include <signal.h>
#include <vector>
#include "velmora_contract.h"

namespace {

constexpr const char *kServiceName = VELMORA_SIM_SERVICE_NAME;
constexpr const char *kObjectPath = VELMORA_SIM_SERVICE_PATH;

constexpr const char *kIntrospection = "<node>"
                                       "  <interface name=\"" VELMORA_SIM_SERVICE_INTERFACE "\">"
                                       "    <method name=\"" VELMORA_SIM_READ_HOME_NETWORK "\">"
                                       "      <arg name=\"hplmn\" type=\"ay\" direction=\"out\"/>"
                                       "      <arg name=\"status\" type=\"i\" direction=\"out\"/>"
                                       "    </method>"
                                       "  </interface>"
                                       "</node>";

struct Service {
    std::vector<guint8> plmn;
    bool reply_error = false;
    GMainLoop *loop = nullptr;
    GDBusNodeInfo *introspection = nullptr;
    int exit_status = 0;
};

bool parse_digits(const gchar *text, gsize min_length, gsize max_length, std::vector<int> &digits) {
    if (!text)
        return false;
    const gsize length = strlen(text);
    if (length < min_length || length > max_length)
        return false;
    for (const gchar *c = text; *c; c++) {
        if (!g_ascii_isdigit(*c))
            return false;
        digits.push_back(*c - '0');
    }
    return true;
}

/* Packed BCD: MCC2|MCC1, MNC3|MCC3, MNC2|MNC1, with 0xF for a missing third
 * network code digit. */
bool plmn_from_codes(const gchar *mcc, const gchar *mnc, std::vector<guint8> &plmn) {
    std::vector<int> country, network;
    if (!parse_digits(mcc, 3, 3, country) || !parse_digits(mnc, 2, 3, network))
        return false;
    const int network3 = network.size() == 3 ? network[2] : 0x0f;
    plmn = {static_cast<guint8>(country[1] << 4 | country[0]),
            static_cast<guint8>(network3 << 4 | country[2]),
            static_cast<guint8>(network[1] << 4 | network[0])};
    return true;
}

bool plmn_from_hex(const gchar *hex, std::vector<guint8> &plmn) {
    const gsize length = strlen(hex);
    if (length % 2 != 0)
        return false;
    plmn.clear();
    for (gsize i = 0; i < length; i += 2) {
        const int high = g_ascii_xdigit_value(hex[i]);
        const int low = g_ascii_xdigit_value(hex[i + 1]);
        if (high < 0 || low < 0)
            return false;
        plmn.push_back(static_cast<guint8>(high << 4 | low));
    }
    return true;
}

void handle_method_call(GDBusConnection *, const gchar *, const gchar *, const gchar *,
                        const gchar *method, GVariant *, GDBusMethodInvocation *invocation,
                        gpointer user_data) {
    auto *service = static_cast<Service *>(user_data);
    if (g_strcmp0(method, VELMORA_SIM_READ_HOME_NETWORK) != 0) {
        g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD,
                                              "No method %s", method);
        return;
    }
    if (service->reply_error) {
        g_dbus_method_invocation_return_error_literal(invocation, G_DBUS_ERROR, G_DBUS_ERROR_FAILED,
                                                      "SIM not available");
        return;
    }
    GVariantBuilder bytes;
    g_variant_builder_init(&bytes, G_VARIANT_TYPE_BYTESTRING);
    for (guint8 byte : service->plmn)
        g_variant_builder_add(&bytes, "y", byte);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(ayi)", &bytes, 0));
}

const GDBusInterfaceVTable kVTable = {handle_method_call, nullptr, nullptr, {}};

void on_bus_acquired(GDBusConnection *connection, const gchar *, gpointer user_data) {
    auto *service = static_cast<Service *>(user_data);
    GError *error = nullptr;
    if (!g_dbus_connection_register_object(connection, kObjectPath,
                                           service->introspection->interfaces[0], &kVTable, service,
                                           nullptr, &error)) {
        g_printerr("sim-service: %s\n", error->message);
        g_error_free(error);
        service->exit_status = 1;
        g_main_loop_quit(service->loop);
    }
}

void on_name_acquired(GDBusConnection *, const gchar *, gpointer) {
    printf("sim-service: ready\n");
    fflush(stdout);
}

void on_name_lost(GDBusConnection *, const gchar *name, gpointer user_data) {
    auto *service = static_cast<Service *>(user_data);
    g_printerr("sim-service: could not own %s on the system bus\n", name);
    service->exit_status = 1;
    g_main_loop_quit(service->loop);
}

gboolean on_signal(gpointer user_data) {
    g_main_loop_quit(static_cast<Service *>(user_data)->loop);
    return G_SOURCE_REMOVE;
}

/* Returns -1 to go on, otherwise the exit status to end with. */
int parse_arguments(int argc, char **argv, Service &service) {
    gchar *mcc = nullptr, *mnc = nullptr, *hex = nullptr;
    gboolean reply_error = FALSE;
    gboolean version = FALSE;
    GOptionEntry entries[] = {
        {"mcc", 0, 0, G_OPTION_ARG_STRING, &mcc, "Mobile country code (3 digits)", "MCC"},
        {"mnc", 0, 0, G_OPTION_ARG_STRING, &mnc, "Mobile network code (2 or 3 digits)", "MNC"},
        {"hplmn-bytes", 0, 0, G_OPTION_ARG_STRING, &hex, "Raw reply bytes in hex", "HEX"},
        {"reply-error", 0, 0, G_OPTION_ARG_NONE, &reply_error, "Answer with an error", nullptr},
        {"version", 0, 0, G_OPTION_ARG_NONE, &version, "Show the version and exit", nullptr},
        {},
    };
    GOptionContext *context = g_option_context_new("- stand-in SIM service");
    g_option_context_set_summary(
        context, "Owns " VELMORA_SIM_SERVICE_NAME
                 " on the D-Bus system bus and answers \"" VELMORA_SIM_READ_HOME_NETWORK "\"\n"
                 "with the home network it was started with (default: country code 234,\n"
                 "network code 15). Prints \"sim-service: ready\" once it owns the name and\n"
                 "runs until SIGTERM or SIGINT.");
    g_option_context_add_main_entries(context, entries, nullptr);
    GError *error = nullptr;
    bool ok = g_option_context_parse(context, &argc, &argv, &error);
    if (!ok) {
        g_printerr("sim-service: %s (see --help)\n", error->message);
        g_error_free(error);
    } else if (argc > 1) {
        g_printerr("sim-service: unexpected argument '%s' (see --help)\n", argv[1]);
        ok = false;
    } else if (version) {
        g_print("sim-service (Velmora) %s\n", VELMORA_VERSION);
    } else if (hex) {
        ok = plmn_from_hex(hex, service.plmn);
        if (!ok)
            g_printerr("sim-service: --hplmn-bytes wants an even number of hex digits\n");
    } else {
        ok = plmn_from_codes(mcc ? mcc : "234", mnc ? mnc : "15", service.plmn);
        if (!ok)
            g_printerr("sim-service: --mcc wants 3 digits, --mnc 2 or 3\n");
    }
    service.reply_error = reply_error;
    g_free(mcc);
    g_free(mnc);
    g_free(hex);
    g_option_context_free(context);
    if (!ok)
        return 2;
    return version ? 0 : -1;
}

} // namespace

int main(int argc, char **argv) {
    Service service;
    const int status = parse_arguments(argc, argv, service);
    if (status >= 0)
        return status;

    service.introspection = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
    service.loop = g_main_loop_new(nullptr, FALSE);
    g_unix_signal_add(SIGTERM, on_signal, &service);
    g_unix_signal_add(SIGINT, on_signal, &service);

    guint owner =
        g_bus_own_name(G_BUS_TYPE_SYSTEM, kServiceName, G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE,
                       on_bus_acquired, on_name_acquired, on_name_lost, &service, nullptr);
    g_main_loop_run(service.loop);

    g_bus_unown_name(owner);
    g_main_loop_unref(service.loop);
    g_dbus_node_info_unref(service.introspection);
    return service.exit_status;
}
