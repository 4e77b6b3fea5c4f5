/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * fuzz_item_reader.cpp - the widget's item reader on a fuzzed item database
 * file: opening and reading never crash (a damaged file is no error to crash
 * on), and every item read goes through the price-age rule as the view does.
 */
#include "fuzz_support.h"
#include "velmora_datautils.h"
#include "velmora_price_age.h"

#include <string>

namespace {

std::string database_path;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::quiet_logs();
    /* The reader finds its store under $HOME and its catalogue in the data dir. */
    const std::string home = fuzz::scratch_dir("item-reader");
    g_setenv("HOME", home.c_str(), TRUE);
    g_setenv("VELMORA_DATA_DIR", VELMORA_SOURCE_DIR "/data", TRUE);
    const std::string store = home + "/.feedservice/velmora";
    FUZZ_CHECK(g_mkdir_with_parents(store.c_str(), 0700) == 0);
    database_path = store + "/velmora.db";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    for (const char *suffix : {"-wal", "-shm", "-journal"})
        g_unlink((database_path + suffix).c_str());
    fuzz::write_bytes(database_path, data, size);

    VelmoraDataUtils *utils = velmora_datautils_init();
    FUZZ_CHECK(utils != nullptr, "the widget catalogue did not load");
    VelmoraItemDataArray *items = get_velmora_items(utils);
    FUZZ_CHECK(items != nullptr && items->items != nullptr);
    for (guint i = 0; i < items->items->len; i++) {
        const VelmoraItemData *item = g_array_index(items->items, VelmoraItemData *, i);
        FUZZ_CHECK(item != nullptr);
        (void)price_is_fresh(item->time_saved);
    }
    velmora_item_data_array_free(items);
    velmora_datautils_free(utils);
    return 0;
}
