/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_regions.h - the widget's one table of the storefront regions: their
 * identifiers in the settings picker's order, each with its home page logo. The
 * settings (the picker, whether a stored region is known) and the card (the logo)
 * read it; the plug-in and the region tool keep tables of their own.
 */
#ifndef VELMORA_REGIONS_H
#define VELMORA_REGIONS_H

#include <glib.h>

struct VelmoraRegion {
    const char *identifier; /* as stored in GConf and named in the catalogues */
    const char *logo;       /* below the data directory */
};

/* The regions in picker order. */
extern const VelmoraRegion velmora_regions[];
extern const gsize velmora_region_count;

/* The table's entry for region; NULL when it is not one of the storefronts. */
const VelmoraRegion *velmora_find_region(const gchar *region);

/* The logo of region; the default region's for one that is not known. */
const char *velmora_region_logo(const gchar *region);

#endif /* VELMORA_REGIONS_H */
