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

constexpr const char *kRegionCanada = VELMORA_REGION_CA;
constexpr const char *kRegionUnitedKingdom = VELMORA_REGION_UK;
constexpr const char *kRegionUnitedStates = VELMORA_REGION_US;
constexpr const char *kRegionGermany = VELMORA_REGION_DE;
constexpr const char *kRegionFrance = VELMORA_REGION_FR;

/* Mobile country codes served by a storefront other than the United States
 * one; every other code gets the United States storefront. Neighbouring
 * countries without a storefront of their own are served by the nearest one.
 * Germany's own code 262 is listed last: without it a German SIM would be sent
 * to the United States storefront. */
constexpr std::pair<const char *, const char *> kCountryRegions[] = {
    {"302", kRegionCanada},        {"238", kRegionUnitedKingdom}, {"244", kRegionUnitedKingdom},
    {"234", kRegionUnitedKingdom}, {"235", kRegionUnitedKingdom}, {"202", kRegionUnitedKingdom},
    {"272", kRegionUnitedKingdom}, {"268", kRegionUnitedKingdom}, {"214", kRegionUnitedKingdom},
    {"232", kRegionGermany},       {"282", kRegionGermany},       {"270", kRegionGermany},
    {"228", kRegionGermany},       {"603", kRegionFrance},        {"206", kRegionFrance},
    {"208", kRegionFrance},        {"212", kRegionFrance},        {"604", kRegionFrance},
    {"605", kRegionFrance},        {"262", kRegionGermany},
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
    return kRegionUnitedStates;
}
