/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * osso-context.cpp - the application context: the application's name and
 * version, and its connections to the session bus (RPCs, the screensaver's
 * indications) and the system bus, on each of which it asks for its service
 * name ("com.corvane.<application>", or the application name itself when it has
 * a dot). Without a session bus there is no context. A system bus that is absent
 * or will not let the application own its name (a desktop's system bus policy
 * does not) leaves the context on the session bus alone.
 */
#include "osso-private.h"

#include <cstring>

namespace {

constexpr const char *kNamePrefix = "com.corvane.";
constexpr guint32 kAllowReplacement = 0x1; /* DBUS_NAME_FLAG_ALLOW_REPLACEMENT */
constexpr gsize kStoredApplicationBytes = 49;
constexpr gsize kStoredVersionBytes = 29;

gchar *service_name(const gchar *application) {
    return std::strchr(application, '.') != nullptr
               ? g_strdup(application)
               : g_strconcat(kNamePrefix, application, nullptr);
}

/* Asks for the service name (being queued behind an owner is fine). */
bool request_name(GDBusConnection *bus, const gchar *name, GError **error) {
    if (!g_dbus_is_name(name) || g_dbus_is_unique_name(name)) {
        g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS, "bad service name %s", name);
        return false;
    }
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", name, kAllowReplacement), G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, error);
    return reply != nullptr;
}

void release_name(GDBusConnection *bus, const gchar *name) {
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "ReleaseName",
        g_variant_new("(s)", name), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
        nullptr);
}

/* The system bus with the name owned, or NULL (said at debug level why). */
GDBusConnection *join_system_bus(const gchar *name) {
    g_autoptr(GError) error = nullptr;
    g_autoptr(GDBusConnection) system = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
    if (system != nullptr && request_name(system, name, &error))
        return static_cast<GDBusConnection *>(g_steal_pointer(&system));
    g_debug("osso: %s stays off the system bus: %s", name, error->message);
    return nullptr;
}

bool acceptable(const gchar *text) {
    return text != nullptr && *text != '\0' && std::strchr(text, '/') == nullptr;
}

} // namespace

osso_context_t *osso_initialize(const gchar *application, const gchar *version, gboolean activation,
                                GMainContext *context) {
    if (!acceptable(application) || !acceptable(version))
        return nullptr;
    if (activation)
        g_warning("osso: activation is not supported; %s is not started on demand", application);
    g_autofree gchar *name = service_name(application);
    g_autoptr(GError) error = nullptr;
    g_autoptr(GDBusConnection) session = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (session == nullptr || !request_name(session, name, &error)) {
        g_debug("osso: %s has no session bus: %s", application, error->message);
        return nullptr;
    }
    auto *osso = g_new0(osso_context_t, 1);
    osso->application = g_strndup(application, kStoredApplicationBytes);
    osso->version = g_strndup(version, kStoredVersionBytes);
    osso->service = g_steal_pointer(&name);
    osso->session = static_cast<GDBusConnection *>(g_steal_pointer(&session));
    osso->system = join_system_bus(osso->service);
    osso->main_context =
        g_main_context_ref(context != nullptr ? context : g_main_context_default());
    return osso;
}

void osso_deinitialize(osso_context_t *osso) {
    if (osso == nullptr)
        return;
    osso_hw_watch_stop(osso);
    release_name(osso->session, osso->service);
    g_object_unref(osso->session);
    if (osso->system != nullptr) {
        release_name(osso->system, osso->service);
        g_object_unref(osso->system);
    }
    g_main_context_unref(osso->main_context);
    g_free(osso->application);
    g_free(osso->version);
    g_free(osso->service);
    g_free(osso);
}
