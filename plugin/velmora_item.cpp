/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_item.cpp - the feed item records: one item, a list of items and the
 * downloaded documents of a run, with the functions that make and free them.
 *
 * A list does not decide at creation whether it owns its items: the same item
 * may sit in two lists (the parser's result and the one-item list it hands to
 * the item store), and whoever frees a list says whether the items go too.
 */
#include "velmora_service_plugin.h"

extern "C" {

void velmora_item_free(VelmoraItem *item) {
    if (!item)
        return;
    g_free(item->rank);
    g_free(item->store);
    g_free(item->image_url);
    g_free(item->image_path);
    g_free(item->title);
    g_free(item->link);
    g_free(item->authors);
    g_free(item->list_price);
    g_free(item->our_price);
    g_free(item);
}

VelmoraItemArray *velmora_item_array_new(void) {
    VelmoraItemArray *array = g_new0(VelmoraItemArray, 1);
    array->items = g_array_new(FALSE, FALSE, sizeof(VelmoraItem *));
    return array;
}

void do_velmora_item_array_free(VelmoraItemArray *array, gint free_items) {
    if (!array)
        return;
    if (array->items) {
        if (free_items) {
            for (guint i = 0; i < array->items->len; i++)
                velmora_item_free(g_array_index(array->items, VelmoraItem *, i));
        }
        g_array_free(array->items, TRUE);
    }
    g_free(array);
}

void velmora_item_array_free(VelmoraItemArray *array) {
    do_velmora_item_array_free(array, 1);
}

VelmoraItemRawData *velmora_item_raw_data_new(void) {
    VelmoraItemRawData *raw = g_new0(VelmoraItemRawData, 1);
    raw->downloads = g_array_new(FALSE, FALSE, sizeof(GArray *));
    return raw;
}

void velmora_item_raw_data_free(VelmoraItemRawData *raw) {
    if (!raw)
        return;
    if (raw->downloads) {
        for (guint i = 0; i < raw->downloads->len; i++) {
            GArray *document = g_array_index(raw->downloads, GArray *, i);
            if (document)
                g_array_free(document, TRUE);
        }
        g_array_free(raw->downloads, TRUE);
    }
    g_free(raw);
}

} // extern "C"
