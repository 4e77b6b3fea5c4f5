/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * osso-context.cpp - the application context: the application's name and
 * version and its connection to the session bus, on which the RPCs and the
 * hardware-state indications travel.
 */
#include "osso-private.h"

osso_context_t *osso_initialize(const gchar *application, const gchar *version, gboolean activation,
                                GMainContext *context) {
    (void)activation; /* no service is registered for the application itself */
    if (application == nullptr || *application == '\0')
        return nullptr;
    GError *error = nullptr;
    GDBusConnection *session = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (session == nullptr) {
        g_debug("osso: %s has no session bus: %s", application, error->message);
        g_error_free(error);
        return nullptr;
    }
    auto *osso = g_new0(osso_context_t, 1);
    osso->application = g_strdup(application);
    osso->version = g_strdup(version != nullptr ? version : "");
    osso->session = session;
    osso->main_context =
        g_main_context_ref(context != nullptr ? context : g_main_context_default());
    return osso;
}

void osso_deinitialize(osso_context_t *osso) {
    if (osso == nullptr)
        return;
    osso_hw_watch_stop(osso);
    g_object_unref(osso->session);
    g_main_context_unref(osso->main_context);
    g_free(osso->application);
    g_free(osso->version);
    g_free(osso);
}
