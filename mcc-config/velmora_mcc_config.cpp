/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_mcc_config.cpp - sets the storefront region from the SIM's home
 * network: asks the SIM service on the system bus for the home PLMN, takes its
 * mobile country code, maps it to a region identifier and writes that to the
 * region key in GConf (the mapping lives in velmora_region_table.cpp).
 *
 * Takes no arguments and prints nothing. Exit status 0 after the key was
 * written (whatever it held before), 1 when the home network could not be read;
 * the key is then left as it was.
 */
#include <dbus/dbus-glib.h>
#include <gconf/gconf-client.h>
#include <glib-object.h>

#include "velmora_contract.h"
#include "velmora_region_table.h"

namespace {

void drop_log_message(const gchar *, GLogLevelFlags, const gchar *, gpointer) {}

GLogWriterOutput drop_structured_log(GLogLevelFlags, const GLogField *, gsize, gpointer) {
    return G_LOG_WRITER_HANDLED;
}

void drop_print(const gchar *) {}

/* The tool is run by setup scripts: it reports only through its exit status,
 * also for warnings raised inside the libraries it uses. */
void silence_output() {
    g_log_set_default_handler(drop_log_message, nullptr);
    g_log_set_writer_func(drop_structured_log, nullptr, nullptr);
    g_set_print_handler(drop_print);
    g_set_printerr_handler(drop_print);
}

/* The home PLMN in packed BCD, or NULL when the SIM service did not answer
 * with one. */
GArray *read_home_network() {
    GError *error = nullptr;
    DBusGConnection *bus = dbus_g_bus_get(DBUS_BUS_SYSTEM, &error);
    if (!bus) {
        g_clear_error(&error);
        return nullptr;
    }

    DBusGProxy *proxy = dbus_g_proxy_new_for_name(
        bus, VELMORA_SIM_SERVICE_NAME, VELMORA_SIM_SERVICE_PATH, VELMORA_SIM_SERVICE_INTERFACE);
    GArray *plmn = nullptr;
    gint status = 0; /* received, not examined */
    gboolean answered =
        dbus_g_proxy_call(proxy, VELMORA_SIM_READ_HOME_NETWORK, &error, G_TYPE_INVALID,
                          DBUS_TYPE_G_UCHAR_ARRAY, &plmn, G_TYPE_INT, &status, G_TYPE_INVALID);
    g_object_unref(proxy);
    dbus_g_connection_unref(bus);
    g_clear_error(&error);

    if (!answered)
        return nullptr;
    /* The country code needs the first two bytes; a shorter identity is as
     * good as no answer. */
    if (!plmn || plmn->len < 2) {
        if (plmn)
            g_array_free(plmn, TRUE);
        return nullptr;
    }
    return plmn;
}

void write_region(const gchar *region) {
    GConfClient *client = gconf_client_get_default();
    GError *error = nullptr;
    gconf_client_set_string(client, VELMORA_GCONF_REGION_KEY, region, &error);
    g_clear_error(&error); /* a failed write does not change the outcome */
    g_object_unref(client);
}

} // namespace

int main() {
    silence_output();

    GArray *plmn = read_home_network();
    if (!plmn)
        return 1;
    g_autofree gchar *code = mobile_country_code(plmn);
    g_array_free(plmn, TRUE);

    write_region(region_for_country_code(code));
    return 0;
}
