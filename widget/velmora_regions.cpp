/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_regions.cpp - the storefront regions the widget offers, with their logos.
 */
#include "velmora_regions.h"

#include "velmora_contract.h"

const VelmoraRegion velmora_regions[] = {
    {VELMORA_REGION_CA, "icons/VelmoraCaHomepageLogo.png"},
    {VELMORA_REGION_UK, "icons/VelmoraCoUkHomepageLogo.png"},
    {VELMORA_REGION_US, "icons/VelmoraComHomepageLogo.png"},
    {VELMORA_REGION_DE, "icons/VelmoraDeHomepageLogo.png"},
    {VELMORA_REGION_FR, "icons/VelmoraFrHomepageLogo.png"},
};
const gsize velmora_region_count = G_N_ELEMENTS(velmora_regions);

const VelmoraRegion *velmora_find_region(const gchar *region) {
    for (const VelmoraRegion &known : velmora_regions) {
        if (g_strcmp0(region, known.identifier) == 0)
            return &known;
    }
    return nullptr;
}

const char *velmora_region_logo(const gchar *region) {
    const VelmoraRegion *known = velmora_find_region(region);
    if (known == nullptr)
        known = velmora_find_region(VELMORA_DEFAULT_REGION);
    return known->logo;
}
