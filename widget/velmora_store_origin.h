/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_store_origin.h - whether the items the reader last read belong under
 * the settings now chosen.
 */
#ifndef VELMORA_STORE_ORIGIN_H
#define VELMORA_STORE_ORIGIN_H

#include "velmora_datautils.h"
#include "velmora_settings.h"

/* TRUE when the store's record of what its items were fetched for (read with
 * them) names the region now set (an unknown one counting as the default, as
 * the plug-in takes it) and includes the feed whose heading the card shows. A
 * store that has no record is taken as it is. */
gboolean stored_items_belong_to_settings(const VelmoraDataUtils *utils, VelmoraSettings *settings);

#endif /* VELMORA_STORE_ORIGIN_H */
