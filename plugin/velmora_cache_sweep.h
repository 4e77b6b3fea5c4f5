/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_cache_sweep.h - removing the picture cache's leftovers at the start of a run.
 */
#ifndef VELMORA_CACHE_SWEEP_H
#define VELMORA_CACHE_SWEEP_H

#include "velmora_service_plugin.h"

#include <set>
#include <string>

/* What counts as referenced, for the sweep and for the end of a pass alike: the names of
 * the cache files in dir that the picture rows of the stored items record (exactly
 * "<dir>/<name>"). False when the rows cannot be read: then nothing is unreferenced. */
bool velmora_referenced_picture_names(DBInterface *db, QueryLoader *queries, const std::string &dir,
                                      std::set<std::string> *names);

/* Removes from the cache directory every picture file that no stored item's picture
 * row names, and every partial file. Removes nothing when the stored rows cannot be
 * read. Returns how many files went. */
guint velmora_sweep_picture_cache(DBInterface *db, QueryLoader *queries,
                                  const gchar *image_cache_dir);

#endif /* VELMORA_CACHE_SWEEP_H */
