/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_contract.h - the names and values the feed plug-in, the widget, the
 * region setter, the platform stand-ins, the tests and the benchmarks must
 * agree on: GConf keys, region identifiers and defaults, run statuses, D-Bus
 * names and the store and catalogue file names. Constants only: nothing here
 * is linked, so the deliverables still share no code. The string constants are
 * string-literal macros so that they concatenate with other literals.
 */
#ifndef VELMORA_CONTRACT_H
#define VELMORA_CONTRACT_H

/* ---- GConf ---- */

#define VELMORA_GCONF_DIR "/apps/peltro/velmora"
#define VELMORA_GCONF_REGION_KEY VELMORA_GCONF_DIR "/region"
#define VELMORA_GCONF_CATEGORIES_KEY VELMORA_GCONF_DIR "/categories"

/* ---- Regions (the values stored under the region key) ---- */

#define VELMORA_REGION_CA "velmora.ca"
#define VELMORA_REGION_UK "velmora.co.uk"
#define VELMORA_REGION_US "velmora.com"
#define VELMORA_REGION_DE "velmora.de"
#define VELMORA_REGION_FR "velmora.fr"
#define VELMORA_DEFAULT_REGION VELMORA_REGION_US

/* The category shown when none is stored or none stored is known. */
#define VELMORA_DEFAULT_CATEGORY "bestsellers"

/* ---- Run statuses, passed from the plug-in through the daemon's signal ---- */

enum {
    VELMORA_STATUS_ITEM_STORED = 0,
    VELMORA_STATUS_RUN_STARTED = 1,
    VELMORA_STATUS_PASS_ENDED = 2,
    VELMORA_STATUS_NOTHING_DOWNLOADED = -1022
};

/* ---- Feed service daemon (session bus) ---- */

#define VELMORA_FEEDSERVICE_NAME "com.corvane.feedservice"
#define VELMORA_FEEDSERVICE_PATH "/daemon"
#define VELMORA_FEEDSERVICE_INTERFACE "com.corvane.feedservice"
#define VELMORA_FEEDSERVICE_ACTIVATE "activate"
#define VELMORA_FEEDSERVICE_DEACTIVATE "deactivate"
#define VELMORA_FEEDSERVICE_RUN_SIGNAL "plugin_executed"
/* The plug-in's name as given to "activate" and carried by the run signal. */
#define VELMORA_SERVICE_PLUGIN_NAME "libvelmoraserviceplugin"

/* ---- SIM service (system bus), asked for the home network ---- */

#define VELMORA_SIM_SERVICE_NAME "com.corvane.phone.SIM"
#define VELMORA_SIM_SERVICE_PATH "/com/corvane/phone/SIM"
#define VELMORA_SIM_SERVICE_INTERFACE "Phone.Sim"
#define VELMORA_SIM_READ_HOME_NETWORK "read_hplmn"

/* ---- Files ---- */

/* Under the store directory. */
#define VELMORA_STORE_DATABASE_FILE "velmora.db"
#define VELMORA_STORE_IMAGE_CACHE_DIR "image-cache"
/* Under the data directory. */
#define VELMORA_PLUGIN_QUERIES_FILE "velmora_queries.dat"
#define VELMORA_URLS_FILE "velmora_urls.dat"
#define VELMORA_APPLET_QUERIES_FILE "velmora_applet_queries.dat"
#define VELMORA_APPLET_TEXTS_FILE "velmora_applet_translations.dat"

#endif /* VELMORA_CONTRACT_H */
