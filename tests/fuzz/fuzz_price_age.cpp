/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * fuzz_price_age.cpp - the widget's price-age rule on any time_saved text: it
 * never crashes, and a text GLib cannot read as an ISO 8601 time never counts
 * as fresh.
 */
#include "fuzz_support.h"
#include "velmora_price_age.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::quiet_logs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    g_autofree gchar *text = g_strndup(reinterpret_cast<const gchar *>(data), size);
    const bool fresh = price_is_fresh(text);

    g_autoptr(GTimeZone) utc = g_time_zone_new_utc();
    g_autoptr(GDateTime) parsed = g_date_time_new_from_iso8601(text, utc);
    if (!parsed) {
        FUZZ_CHECK(!fresh, "unreadable time %s counted as fresh", text);
        return 0;
    }
    /* Far from now either way the answer cannot depend on the moment of the check. */
    g_autoptr(GDateTime) now = g_date_time_new_now_utc();
    const gint64 age = g_date_time_to_unix(now) - g_date_time_to_unix(parsed);
    if (age > kPriceFreshSeconds + 60)
        FUZZ_CHECK(!fresh, "%s is %" G_GINT64_FORMAT " s old", text, age);
    if (age < kPriceFreshSeconds - 60)
        FUZZ_CHECK(fresh, "%s is %" G_GINT64_FORMAT " s old", text, age);
    return 0;
}
