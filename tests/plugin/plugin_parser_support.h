// SPDX-License-Identifier: LGPL-2.1-or-later
// plugin_parser_support.h - helpers of the feed parser's tests: documents as downloads,
// parse results as plain values, a URL catalogue with a known link suffix, and a fixture
// that parses without storing.
#ifndef VELMORA_PLUGIN_PARSER_SUPPORT_H
#define VELMORA_PLUGIN_PARSER_SUPPORT_H

#include "plugin_test_support.h"
#include "velmora_contract.h"

namespace plugin_test {

constexpr const char *kRegion = VELMORA_REGION_US;
constexpr const char *kSuffix = "?tag=test-20";

// A whole feed document around body.
inline std::string feed(const std::string &body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<feed>" + body + "</feed>\n";
}

inline VelmoraItemRawData *downloads_of(std::initializer_list<std::string> documents) {
    VelmoraItemRawData *raw = velmora_item_raw_data_new();
    for (const std::string &body : documents) {
        GArray *document = g_array_new(FALSE, FALSE, 1);
        g_array_append_vals(document, body.data(), static_cast<guint>(body.size()));
        g_array_append_val(raw->downloads, document);
    }
    return raw;
}

struct Parsed {
    Text rank, store, image_url, title, link, authors, list_price, our_price;
};

// The items as values; frees the list.
inline std::vector<Parsed> take_items(VelmoraItemArray *items) {
    std::vector<Parsed> result;
    for (guint i = 0; i < items->items->len; i++) {
        const VelmoraItem *item = g_array_index(items->items, VelmoraItem *, i);
        EXPECT_EQ(item->image_path, nullptr);
        EXPECT_EQ(item->id, 0);
        EXPECT_EQ(item->image_id, 0);
        result.push_back({text_of(item->rank), text_of(item->store), text_of(item->image_url),
                          text_of(item->title), text_of(item->link), text_of(item->authors),
                          text_of(item->list_price), text_of(item->our_price)});
    }
    velmora_item_array_free(items);
    return result;
}

// A URL catalogue whose section kRegion holds the link suffix kSuffix.
inline QueryLoader *new_url_catalogue(const std::string &dir) {
    const std::string path = dir + "/urls.dat";
    write_file(path, std::string("[") + kRegion + "]\nlink_url_suffix=" + kSuffix + "\n");
    return query_loader_new(path.c_str());
}

// Parses documents without storing (the URL catalogue gives the link suffix).
inline std::vector<Parsed> parse_only(QueryLoader *urls,
                                      std::initializer_list<std::string> documents,
                                      const char *region = kRegion) {
    VelmoraItemRawData *raw = downloads_of(documents);
    VelmoraItemArray *items = do_velmora_item_parse(raw, region, urls);
    velmora_item_raw_data_free(raw);
    return take_items(items);
}

// A test with a URL catalogue of its own in a fresh directory; parse() parses without
// storing.
class ParseOnly : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = make_temp_dir();
        urls_ = new_url_catalogue(dir_);
        ASSERT_NE(urls_, nullptr);
    }
    void TearDown() override { query_loader_free(urls_); }

    std::vector<Parsed> parse(std::initializer_list<std::string> documents,
                              const char *region = kRegion) {
        return parse_only(urls_, documents, region);
    }

    std::string dir_;
    QueryLoader *urls_ = nullptr;
};

} // namespace plugin_test

#endif // VELMORA_PLUGIN_PARSER_SUPPORT_H
