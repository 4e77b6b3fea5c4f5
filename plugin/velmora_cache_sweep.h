/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_cache_sweep.h - removing the picture cache's leftovers at the start of a run.
 */
#ifndef VELMORA_CACHE_SWEEP_H
#define VELMORA_CACHE_SWEEP_H

#include "velmora_service_plugin.h"

/* Removes from the cache directory every picture file that no stored item's picture
 * row names, and every partial file. Removes nothing when the stored rows cannot be
 * read. Returns how many files went. */
guint velmora_sweep_picture_cache(DBInterface *db, QueryLoader *queries,
                                  const gchar *image_cache_dir);

#endif /* VELMORA_CACHE_SWEEP_H */
