/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * feedserviceutils_runs.h - how the feed service daemon tells its utilities
 * library where an update run starts and ends. Platform-internal: the daemon and
 * the library's own tests include it; it is not installed, and feed plug-ins and
 * widgets never call these functions.
 */
#ifndef FEEDSERVICEUTILS_RUNS_H
#define FEEDSERVICEUTILS_RUNS_H

#include <glib.h>

G_BEGIN_DECLS

/* A plug-in's run starts: from now on every address is asked for at most once until
 * the next run, a download failure is logged once, and the first statement that fails
 * is logged with SQLite's message. */
void feedserviceutils_run_begin(void);
/* The run has ended: statements failing outside a run go to the debug log only. */
void feedserviceutils_run_end(void);

/* As feedserviceutils_run_begin, for a run that fetches for the given settings (the
 * region and the categories; order does not matter): when they differ from the
 * previous run's, every failure remembered is forgotten (hosts that asked to wait
 * with Retry-After still wait). NULL settings count as none. */
void network_utils_begin_run(const gchar *region, GSList *categories);

/* Ends every download under way (within about a second) and refuses every later one in
 * this process: for a daemon that is shutting down (SIGTERM), so that the run under way
 * returns at once. May be called from any thread. */
void feedserviceutils_cancel_downloads(void);

G_END_DECLS

#endif /* FEEDSERVICEUTILS_RUNS_H */
