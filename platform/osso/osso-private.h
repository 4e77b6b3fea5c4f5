/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * osso-private.h - the application context record shared by the parts of
 * libosso: its name, its bus connections, the main context its
 * callbacks run on, and the hardware-state watch.
 */
#ifndef OSSO_PRIVATE_H
#define OSSO_PRIVATE_H

#include "libosso.h"

#include <gio/gio.h>

struct OssoHwWatch;

struct osso_af_context_t {
    gchar *application;
    gchar *version;
    gchar *service; /* the bus name owned (requested) on both buses */
    GDBusConnection *session;
    GDBusConnection *system;    /* NULL when the system bus is absent or refused the name */
    GMainContext *main_context; /* where callbacks run; owned reference */
    OssoHwWatch *hw_watch;      /* NULL while no hardware-state callback is set */
    osso_hw_state_t hw_state;   /* the indications as last reported */
};

/* Ends the hardware-state watch of a context that is going away. */
void osso_hw_watch_stop(osso_context_t *osso);

#endif /* OSSO_PRIVATE_H */
