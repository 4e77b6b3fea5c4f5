/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * fuzz_region.cpp - the region tool's home network decoding: any bytes the SIM
 * service answers give a country code of digits and one of the five regions.
 */
#include "fuzz_support.h"
#include "velmora_contract.h"
#include "velmora_region_table.h"

#include <cstring>

namespace {

constexpr const char *kRegions[] = {VELMORA_REGION_CA, VELMORA_REGION_UK, VELMORA_REGION_US,
                                    VELMORA_REGION_DE, VELMORA_REGION_FR};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2)
        return 0; /* the tool treats a shorter identity as no answer */
    GArray *plmn = g_array_sized_new(FALSE, FALSE, 1, static_cast<guint>(size));
    g_array_append_vals(plmn, data, static_cast<guint>(size));
    g_autofree gchar *code = mobile_country_code(plmn);
    g_array_free(plmn, TRUE);

    const size_t length = std::strlen(code);
    FUZZ_CHECK(length >= 3 && length <= 6, "code %s", code);
    for (size_t i = 0; i < length; i++)
        FUZZ_CHECK(g_ascii_isdigit(code[i]), "code %s", code);
    if ((data[0] & 0x0f) <= 9 && (data[0] >> 4) <= 9 && (data[1] & 0x0f) <= 9)
        FUZZ_CHECK(length == 3, "code %s", code);

    const char *region = region_for_country_code(code);
    bool known = false;
    for (const char *candidate : kRegions)
        known = known || std::strcmp(region, candidate) == 0;
    FUZZ_CHECK(known, "region %s for code %s", region, code);
    return 0;
}
