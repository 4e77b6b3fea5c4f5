/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * fuzz_feed_parser.cpp - the feed parser on any bytes: the input is parsed as
 * one document, then cut in two documents (at a point the last byte picks) to
 * exercise what the parser carries from one document to the next. Every item
 * must hold bounded UTF-8 texts, and a run takes no more items than allowed.
 */
#include "fuzz_support.h"
#include "velmora_contract.h"
#include "velmora_feed_parser.h"

#include <libxml/parser.h>

#include <cstring>

namespace {

QueryLoader *urls;
constexpr const char *kRegions[] = {VELMORA_REGION_US, VELMORA_REGION_DE, "no.such.region"};

void drop_xml_error(void *, const char *, ...) {}
void drop_structured_error(void *, xmlErrorPtr) {}

void check_text(const gchar *text, const char *what) {
    if (!text)
        return;
    const size_t length = std::strlen(text);
    FUZZ_CHECK(length <= VELMORA_MAX_TEXT_BYTES, "%s of %zu bytes", what, length);
    FUZZ_CHECK(g_utf8_validate(text, -1, nullptr), "%s is not UTF-8: %s", what, text);
}

void parse(const std::initializer_list<std::pair<const uint8_t *, size_t>> documents,
           const char *region) {
    VelmoraItemRawData *raw = velmora_item_raw_data_new();
    for (const auto &[data, size] : documents) {
        GArray *document = g_array_sized_new(FALSE, FALSE, 1, static_cast<guint>(size));
        g_array_append_vals(document, data, static_cast<guint>(size));
        g_array_append_val(raw->downloads, document);
    }
    VelmoraItemArray *items = do_velmora_item_parse(raw, region, urls);
    FUZZ_CHECK(items != nullptr && items->items->len <= VELMORA_MAX_ITEMS_PER_RUN);
    for (guint i = 0; i < items->items->len; i++) {
        const VelmoraItem *item = g_array_index(items->items, VelmoraItem *, i);
        FUZZ_CHECK(item != nullptr);
        check_text(item->rank, "rank");
        check_text(item->title, "title");
        check_text(item->store, "store");
        check_text(item->link, "link");
        check_text(item->authors, "authors");
        check_text(item->list_price, "list price");
        check_text(item->our_price, "our price");
        check_text(item->image_url, "picture address");
    }
    velmora_item_array_free(items);
    velmora_item_raw_data_free(raw);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::quiet_logs();
    xmlInitParser();
    xmlSetGenericErrorFunc(nullptr, drop_xml_error);
    xmlSetStructuredErrorFunc(nullptr, drop_structured_error);
    urls = query_loader_new(VELMORA_SOURCE_DIR "/data/velmora_urls.dat");
    FUZZ_CHECK(urls != nullptr, "cannot read the URL catalogue");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    const char *region = kRegions[data[size - 1] % 3];
    parse({{data, size}}, region);
    const size_t cut = size * data[size - 1] / 256;
    parse({{data, cut}, {data + cut, size - cut}}, region);
    return 0;
}
