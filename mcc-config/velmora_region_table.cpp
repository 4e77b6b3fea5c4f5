/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_region_table.cpp - the home network's mobile country code and the
 * storefront region that serves it.
 */
#include "velmora_region_table.h"

#include "velmora_contract.h"

#include <utility>

namespace {

/* Mobile country codes served by a storefront other than the United States
 * one; every other code gets the United States storefront. Neighbouring
 * countries without a storefront of their own are served by the nearest one.
 * Germany's own code 262 is listed last: without it a German SIM would be sent
 * to the United States storefront. */
constexpr std::pair<const char *, const char *> kCountryRegions[] = {
    {"302", VELMORA_REGION_CA}, {"238", VELMORA_REGION_UK}, {"244", VELMORA_REGION_UK},
    {"234", VELMORA_REGION_UK}, {"235", VELMORA_REGION_UK}, {"202", VELMORA_REGION_UK},
    {"272", VELMORA_REGION_UK}, {"268", VELMORA_REGION_UK}, {"214", VELMORA_REGION_UK},
    {"232", VELMORA_REGION_DE}, {"282", VELMORA_REGION_DE}, {"270", VELMORA_REGION_DE},
    {"228", VELMORA_REGION_DE}, {"603", VELMORA_REGION_FR}, {"206", VELMORA_REGION_FR},
    {"208", VELMORA_REGION_FR}, {"212", VELMORA_REGION_FR}, {"604", VELMORA_REGION_FR},
    {"605", VELMORA_REGION_FR}, {"262", VELMORA_REGION_DE},
};

} // namespace

/* Digits 1 and 2 of the mobile country code are the low and high nibble of the
 * first byte, digit 3 the low nibble of the second. A nibble above 9 prints as
 * two digits, which then matches no country. */
gchar *mobile_country_code(const GArray *plmn) {
    const guint8 first = g_array_index(plmn, guint8, 0);
    const guint8 second = g_array_index(plmn, guint8, 1);
    return g_strdup_printf("%d%d%d", first & 0x0f, first >> 4, second & 0x0f);
}

const char *region_for_country_code(const gchar *code) {
    for (const auto &[country, region] : kCountryRegions) {
        if (g_strcmp0(country, code) == 0)
            return region;
    }
    return VELMORA_REGION_US;
}
