// SPDX-License-Identifier: LGPL-2.1-or-later
// Feed item records: making and freeing items, item lists (shared items included) and
// the downloads of a run.
#include "plugin_test_support.h"

using namespace plugin_test;

TEST(Records, FreeFunctionsAcceptNull) {
    velmora_item_free(nullptr);
    do_velmora_item_array_free(nullptr, 0);
    do_velmora_item_array_free(nullptr, 1);
    velmora_item_array_free(nullptr);
    velmora_item_raw_data_free(nullptr);
}

TEST(Records, NewListsAreEmptyPointerArrays) {
    VelmoraItemArray *items = velmora_item_array_new();
    ASSERT_NE(items->items, nullptr);
    EXPECT_EQ(items->items->len, 0u);
    EXPECT_EQ(g_array_get_element_size(items->items), sizeof(gpointer));
    velmora_item_array_free(items);

    VelmoraItemRawData *raw = velmora_item_raw_data_new();
    ASSERT_NE(raw->downloads, nullptr);
    EXPECT_EQ(raw->downloads->len, 0u);
    EXPECT_EQ(g_array_get_element_size(raw->downloads), sizeof(gpointer));
    velmora_item_raw_data_free(raw);
}

TEST(Records, ItemSharedByTwoListsIsFreedOnceByItsOwner) {
    VelmoraItem *item = new_item({.title = "Shared", .image_url = "http://127.0.0.1/a.jpg"});
    VelmoraItem *empty = g_new0(VelmoraItem, 1); // every text absent
    VelmoraItemArray *owner = new_item_array({item, empty});
    VelmoraItemArray *wrapper = new_item_array({item});

    do_velmora_item_array_free(wrapper, 0);
    // Still intact: the owner's list reads it.
    EXPECT_STREQ(g_array_index(owner->items, VelmoraItem *, 0)->title, "Shared");
    velmora_item_array_free(owner); // frees both items (once: ASan would report a double free)
}

TEST(Records, ListWithoutGArrayIsFreed) {
    VelmoraItemArray *items = g_new0(VelmoraItemArray, 1);
    do_velmora_item_array_free(items, 1);
    VelmoraItemRawData *raw = g_new0(VelmoraItemRawData, 1);
    velmora_item_raw_data_free(raw);
}

TEST(Records, RawDataFreesEveryDocumentEmptyOrNot) {
    VelmoraItemRawData *raw = velmora_item_raw_data_new();
    for (const char *body : {"<feed/>", "", "<feed><item/></feed>"}) {
        GArray *document = g_array_new(FALSE, FALSE, 1);
        g_array_append_vals(document, body, strlen(body));
        g_array_append_val(raw->downloads, document);
    }
    EXPECT_EQ(raw->downloads->len, 3u);
    EXPECT_EQ(g_array_index(raw->downloads, GArray *, 1)->len, 0u);
    velmora_item_raw_data_free(raw);
}
