/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * libosso.h - the application-services library: the application context, the
 * hardware-state callback and RPC calls to other applications over D-Bus.
 */
#ifndef LIBOSSO_H
#define LIBOSSO_H

#include <glib.h>
#include <time.h>
#include <syslog.h>
#include <dbus/dbus.h>
#include <dbus/dbus-protocol.h>

G_BEGIN_DECLS

#define LIBOSSO_API_MAJOR 2
#define LIBOSSO_API_MINOR 21

typedef struct osso_af_context_t osso_context_t;

typedef enum {
    OSSO_OK = 0,
    OSSO_ERROR = -1,
    OSSO_INVALID = -2,
    OSSO_ERROR_NAME = -3,
    OSSO_RPC_ERROR = -4,
    OSSO_ERROR_NO_STATE = -5,
    OSSO_ERROR_STATE_SIZE = -6
} osso_return_t;

typedef enum {
    OSSO_DEVMODE_NORMAL = 0,
    OSSO_DEVMODE_FLIGHT,
    OSSO_DEVMODE_OFFLINE,
    OSSO_DEVMODE_INVALID
} osso_devmode_t;

typedef struct {
    gboolean shutdown_ind;
    gboolean save_unsaved_data_ind;
    gboolean memory_low_ind;
    gboolean system_inactivity_ind;
    osso_devmode_t sig_device_mode_ind;
} osso_hw_state_t;

typedef void(osso_hw_cb_f)(osso_hw_state_t *state, gpointer data);

typedef struct {
    int type;
    union {
        guint32 u;
        gint32 i;
        gboolean b;
        gdouble d;
        gchar *s;
    } value;
} osso_rpc_t;

/* A context for the application, or NULL on failure. activation: whether the
 * application is D-Bus activated; context: NULL for the default main context. */
osso_context_t *osso_initialize(const gchar *application, const gchar *version, gboolean activation,
                                GMainContext *context);
void osso_deinitialize(osso_context_t *osso);

/* Calls cb(state, data) when an indication set in state (NULL: all) changes. */
osso_return_t osso_hw_set_event_cb(osso_context_t *osso, osso_hw_state_t *state, osso_hw_cb_f *cb,
                                   gpointer data);
osso_return_t osso_hw_unset_event_cb(osso_context_t *osso, osso_hw_state_t *state);

/* Calls method of application on the session bus, with the default naming
 * (service, object path and interface "com.corvane.<application>",
 * "/com/corvane/<application>"). Arguments are (type, value) pairs ended by
 * DBUS_TYPE_INVALID. retval may be NULL (no reply awaited). */
osso_return_t osso_rpc_run_with_defaults(osso_context_t *osso, const gchar *application,
                                         const gchar *method, osso_rpc_t *retval, int argument_type,
                                         ...);

void osso_rpc_free_val(osso_rpc_t *rpc);

G_END_DECLS

#endif /* LIBOSSO_H */
