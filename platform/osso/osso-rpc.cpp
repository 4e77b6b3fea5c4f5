/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * osso-rpc.cpp - RPC calls to other applications on the session bus, with the
 * default naming: application "app" is the service and interface
 * "com.corvane.app" at the object path "/com/corvane/app".
 *
 * Browser fallback: when nothing owns (or can start) the browser's service, an
 * "open_new_window" / "load_url" request is handed to the desktop's default web
 * browser instead ($OSSO_BROWSER_FALLBACK, else xdg-open), started without a
 * shell and only for http and https addresses.
 */
#include "osso-private.h"

#include <cstdarg>

namespace {

constexpr const char *kNamePrefix = "com.corvane.";
constexpr const char *kPathPrefix = "/com/corvane/";
constexpr const char *kBrowserApplication = "osso_browser";
constexpr const char *kDefaultBrowserOpener = "xdg-open";

struct RpcTarget {
    RpcTarget() = default;
    RpcTarget(const RpcTarget &) = delete;
    RpcTarget &operator=(const RpcTarget &) = delete;
    ~RpcTarget() {
        g_free(service);
        g_free(path);
    }
    gchar *service = nullptr;
    gchar *path = nullptr;
};

/* The default naming; dots of the application name become path separators. */
gboolean default_target(const gchar *application, RpcTarget *target) {
    target->service = g_strconcat(kNamePrefix, application, nullptr);
    g_autofree gchar *relative = g_strdup(application);
    g_strdelimit(relative, ".", '/');
    target->path = g_strconcat(kPathPrefix, relative, nullptr);
    return g_dbus_is_name(target->service) && !g_dbus_is_unique_name(target->service) &&
           g_dbus_is_interface_name(target->service) && g_variant_is_object_path(target->path);
}

/* Collects the (type, value) pairs into a tuple; NULL for an unknown type or a
 * null string, since the rest of the list cannot be read safely then. */
GVariant *collect_arguments(int type, va_list args) {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE_TUPLE);
    for (; type != DBUS_TYPE_INVALID; type = va_arg(args, int)) {
        switch (type) {
        case DBUS_TYPE_STRING: {
            const gchar *text = va_arg(args, const gchar *);
            if (text == nullptr || !g_utf8_validate(text, -1, nullptr)) {
                g_variant_builder_clear(&builder);
                return nullptr;
            }
            g_variant_builder_add(&builder, "s", text);
            break;
        }
        case DBUS_TYPE_BOOLEAN:
            g_variant_builder_add(&builder, "b", va_arg(args, int) ? TRUE : FALSE);
            break;
        case DBUS_TYPE_INT32:
            g_variant_builder_add(&builder, "i", gint32(va_arg(args, gint)));
            break;
        case DBUS_TYPE_UINT32:
            g_variant_builder_add(&builder, "u", guint32(va_arg(args, guint)));
            break;
        case DBUS_TYPE_INT64:
            g_variant_builder_add(&builder, "x", gint64(va_arg(args, gint64)));
            break;
        case DBUS_TYPE_UINT64:
            g_variant_builder_add(&builder, "t", guint64(va_arg(args, guint64)));
            break;
        case DBUS_TYPE_DOUBLE:
            g_variant_builder_add(&builder, "d", va_arg(args, gdouble));
            break;
        case DBUS_TYPE_BYTE:
            g_variant_builder_add(&builder, "y", guchar(va_arg(args, int)));
            break;
        default:
            g_variant_builder_clear(&builder);
            return nullptr;
        }
    }
    return g_variant_builder_end(&builder);
}

gboolean bus_call_boolean(GDBusConnection *session, const gchar *method, const gchar *name) {
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        session, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method,
        g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
        nullptr);
    if (!reply)
        return FALSE;
    gboolean answer = FALSE;
    g_variant_get(reply, "(b)", &answer);
    return answer;
}

gboolean service_is_available(GDBusConnection *session, const gchar *service) {
    if (bus_call_boolean(session, "NameHasOwner", service))
        return TRUE;
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        session, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "ListActivatableNames", nullptr, G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE, -1,
        nullptr, nullptr);
    if (!reply)
        return FALSE;
    g_autofree const gchar **names = nullptr;
    g_variant_get(reply, "(^a&s)", &names);
    for (const gchar **name = names; name != nullptr && *name != nullptr; ++name)
        if (g_strcmp0(*name, service) == 0)
            return TRUE;
    return FALSE;
}

gboolean is_web_address(const gchar *address) {
    g_autofree gchar *scheme = g_uri_parse_scheme(address);
    if (scheme == nullptr)
        return FALSE;
    return g_ascii_strcasecmp(scheme, "http") == 0 || g_ascii_strcasecmp(scheme, "https") == 0;
}

/* Opens the first string argument of a browser request with the desktop's
 * browser. */
osso_return_t open_in_desktop_browser(const gchar *method, GVariant *arguments) {
    if (g_strcmp0(method, "open_new_window") != 0 && g_strcmp0(method, "load_url") != 0)
        return OSSO_ERROR;
    if (g_variant_n_children(arguments) == 0)
        return OSSO_ERROR;
    g_autoptr(GVariant) first = g_variant_get_child_value(arguments, 0);
    if (!g_variant_is_of_type(first, G_VARIANT_TYPE_STRING))
        return OSSO_ERROR;
    const gchar *address = g_variant_get_string(first, nullptr);
    if (!is_web_address(address)) {
        g_debug("osso: the browser fallback opens only http and https addresses");
        return OSSO_ERROR;
    }
    const gchar *opener = g_getenv("OSSO_BROWSER_FALLBACK");
    if (opener == nullptr || *opener == '\0')
        opener = kDefaultBrowserOpener;
    const gchar *argv[] = {opener, address, nullptr};
    GError *error = nullptr;
    if (!g_spawn_async(nullptr, const_cast<gchar **>(argv), nullptr,
                       GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL), nullptr,
                       nullptr, nullptr, &error)) {
        g_debug("osso: cannot start %s: %s", opener, error->message);
        g_error_free(error);
        return OSSO_ERROR;
    }
    return OSSO_OK;
}

/* The first value of a reply as an osso_rpc_t; strings are copied. */
void store_reply_value(GVariant *reply, osso_rpc_t *retval) {
    retval->type = DBUS_TYPE_INVALID;
    if (reply == nullptr || g_variant_n_children(reply) == 0)
        return;
    g_autoptr(GVariant) first = g_variant_get_child_value(reply, 0);
    GVariant *value = first;
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING)) {
        retval->type = DBUS_TYPE_STRING;
        retval->value.s = g_variant_dup_string(value, nullptr);
    } else if (g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN)) {
        retval->type = DBUS_TYPE_BOOLEAN;
        retval->value.b = g_variant_get_boolean(value);
    } else if (g_variant_is_of_type(value, G_VARIANT_TYPE_INT32)) {
        retval->type = DBUS_TYPE_INT32;
        retval->value.i = g_variant_get_int32(value);
    } else if (g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32)) {
        retval->type = DBUS_TYPE_UINT32;
        retval->value.u = g_variant_get_uint32(value);
    } else if (g_variant_is_of_type(value, G_VARIANT_TYPE_DOUBLE)) {
        retval->type = DBUS_TYPE_DOUBLE;
        retval->value.d = g_variant_get_double(value);
    }
}

osso_return_t send_without_reply(GDBusConnection *session, const RpcTarget &target,
                                 const gchar *method, GVariant *arguments) {
    g_autoptr(GDBusMessage) message =
        g_dbus_message_new_method_call(target.service, target.path, target.service, method);
    g_dbus_message_set_body(message, arguments);
    g_dbus_message_set_flags(message, G_DBUS_MESSAGE_FLAGS_NO_REPLY_EXPECTED);
    GError *error = nullptr;
    if (!g_dbus_connection_send_message(session, message, G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr,
                                        &error)) {
        g_debug("osso: cannot send %s to %s: %s", method, target.service, error->message);
        g_error_free(error);
        return OSSO_ERROR;
    }
    return OSSO_OK;
}

osso_return_t call_with_reply(GDBusConnection *session, const RpcTarget &target,
                              const gchar *method, GVariant *arguments, osso_rpc_t *retval) {
    GError *error = nullptr;
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        session, target.service, target.path, target.service, method, arguments, nullptr,
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
    if (!reply) {
        /* The caller gets the error text, as a string value it frees. */
        retval->type = DBUS_TYPE_STRING;
        retval->value.s = g_strdup(error->message);
        g_error_free(error);
        return OSSO_RPC_ERROR;
    }
    store_reply_value(reply, retval);
    return OSSO_OK;
}

} // namespace

osso_return_t osso_rpc_run_with_defaults(osso_context_t *osso, const gchar *application,
                                         const gchar *method, osso_rpc_t *retval, int argument_type,
                                         ...) {
    if (retval != nullptr)
        retval->type = DBUS_TYPE_INVALID;
    if (osso == nullptr || application == nullptr || *application == '\0' || method == nullptr)
        return OSSO_INVALID;
    RpcTarget target;
    if (!default_target(application, &target) || !g_dbus_is_member_name(method))
        return OSSO_INVALID;

    va_list args;
    va_start(args, argument_type);
    GVariant *arguments = collect_arguments(argument_type, args);
    va_end(args);
    if (arguments == nullptr)
        return OSSO_INVALID;
    g_autoptr(GVariant) held = g_variant_ref_sink(arguments);

    if (g_strcmp0(application, kBrowserApplication) == 0 &&
        !service_is_available(osso->session, target.service))
        return open_in_desktop_browser(method, arguments);
    if (retval == nullptr)
        return send_without_reply(osso->session, target, method, arguments);
    return call_with_reply(osso->session, target, method, arguments, retval);
}

void osso_rpc_free_val(osso_rpc_t *rpc) {
    if (rpc == nullptr)
        return;
    if (rpc->type == DBUS_TYPE_STRING)
        g_free(const_cast<gchar *>(rpc->value.s));
    rpc->value.s = nullptr;
    rpc->type = DBUS_TYPE_INVALID;
}
