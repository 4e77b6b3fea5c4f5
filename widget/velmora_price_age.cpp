/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_price_age.cpp - whether an item's stored price is fresh: its
 * time_saved (ISO 8601 text written by the item database) is compared with the
 * current time.
 */
#include "velmora_price_age.h"

bool price_is_fresh(const gchar *time_saved) {
    if (!time_saved)
        return false;
    g_autoptr(GTimeZone) utc = g_time_zone_new_utc();
    g_autoptr(GDateTime) saved = g_date_time_new_from_iso8601(time_saved, utc);
    if (!saved)
        return false;
    g_autoptr(GDateTime) now = g_date_time_new_now_utc();
    return g_date_time_to_unix(now) - g_date_time_to_unix(saved) <= kPriceFreshSeconds;
}
