/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_region_table.h - decoding of the SIM's home network identity into a
 * mobile country code, and the table that maps a country code to the storefront
 * region. Kept apart from the tool's D-Bus and GConf code so that the decoding
 * can be exercised on its own.
 */
#ifndef VELMORA_REGION_TABLE_H
#define VELMORA_REGION_TABLE_H

#include <glib.h>

/* The three-digit mobile country code of a home PLMN in packed BCD (plmn holds
 * at least two bytes). A new text. */
gchar *mobile_country_code(const GArray *plmn);

/* The storefront region serving the country code; the United States one for
 * every code the table does not list. A constant. */
const char *region_for_country_code(const gchar *code);

#endif /* VELMORA_REGION_TABLE_H */
