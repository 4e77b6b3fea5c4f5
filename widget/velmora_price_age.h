/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_price_age.h - the rule that decides whether an item's stored price is
 * still fresh enough to be shown.
 */
#ifndef VELMORA_PRICE_AGE_H
#define VELMORA_PRICE_AGE_H

#include <glib.h>

/* An item's price is shown only while it is at most this old. */
constexpr gint64 kPriceFreshSeconds = 3600;

/* TRUE when time_saved is ISO 8601 text (UTC unless it names a zone) at most an
 * hour before now, in whole seconds; a time in the future counts as fresh. */
bool price_is_fresh(const gchar *time_saved);

#endif /* VELMORA_PRICE_AGE_H */
