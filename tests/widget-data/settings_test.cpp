/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * settings_test.cpp - the widget's settings store against the isolated GConf:
 * defaults and their write-back, the category list splitting, the repair of
 * missing values, and the region and category tables (also translated).
 */
#include "gconf_test_helpers.h"
#include "velmora_settings.h"

#include <gtest/gtest.h>

#include <clocale>
#include <libintl.h>
#include <string>
#include <vector>
#include "velmora_contract.h"

namespace {

using gconf_test::get_string;
using gconf_test::get_string_list;
using StringList = std::vector<std::string>;

constexpr const char *kRegionKey = VELMORA_GCONF_REGION_KEY;
constexpr const char *kCategoriesKey = VELMORA_GCONF_CATEGORIES_KEY;

std::string take(gchar *text) {
    std::string copy = text ? text : "(null)";
    g_free(text);
    return copy;
}

StringList take(GSList *list) {
    StringList texts;
    for (GSList *l = list; l; l = l->next)
        texts.emplace_back(static_cast<gchar *>(l->data));
    g_slist_free_full(list, g_free);
    return texts;
}

class SettingsStore : public ::testing::Test {
  protected:
    void SetUp() override {
        gconf_test::unset(kRegionKey);
        gconf_test::unset(kCategoriesKey);
    }
};

TEST_F(SettingsStore, MissingOrEmptyRegionIsReplacedByTheDefaultAndWrittenBack) {
    EXPECT_EQ(take(get_region_from_gconf()), VELMORA_REGION_US);
    EXPECT_EQ(get_string(kRegionKey), VELMORA_REGION_US);

    ASSERT_TRUE(gconf_test::set_string(kRegionKey, ""));
    EXPECT_EQ(take(get_region_from_gconf()), VELMORA_REGION_US);
    EXPECT_EQ(get_string(kRegionKey), VELMORA_REGION_US);

    /* A value of the wrong type reads as missing. */
    ASSERT_TRUE(gconf_test::set_int(kRegionKey, 7));
    EXPECT_EQ(take(get_region_from_gconf()), VELMORA_REGION_US);
    EXPECT_EQ(get_string(kRegionKey), VELMORA_REGION_US);
}

TEST_F(SettingsStore, StoredRegionIsReadAndWrittenUnchanged) {
    store_region_to_gconf(VELMORA_REGION_DE);
    EXPECT_EQ(get_string(kRegionKey), VELMORA_REGION_DE);
    EXPECT_EQ(take(get_region_from_gconf()), VELMORA_REGION_DE);

    /* Not one of the five regions: read as the default, nothing written back. */
    ASSERT_TRUE(gconf_test::set_string(kRegionKey, "store.example"));
    EXPECT_EQ(take(get_region_from_gconf()), VELMORA_REGION_US);
    EXPECT_EQ(get_string(kRegionKey), "store.example");

    /* Nothing chosen: nothing written. */
    store_region_to_gconf(nullptr);
    EXPECT_EQ(get_string(kRegionKey), "store.example");
}

TEST_F(SettingsStore, CategoriesAreSplitAtParenthesesAndCommas) {
    EXPECT_EQ(take(get_categories_from_gconf()), StringList{}) << "no default applied";
    EXPECT_EQ(get_string_list(kCategoriesKey), std::nullopt);

    store_categories_to_gconf("(bestsellers_book,,hotnew_books)");
    EXPECT_EQ(get_string_list(kCategoriesKey), (StringList{"bestsellers_book", "hotnew_books"}));
    EXPECT_EQ(take(get_categories_from_gconf()), (StringList{"bestsellers_book", "hotnew_books"}));

    store_categories_to_gconf(VELMORA_DEFAULT_CATEGORY);
    EXPECT_EQ(get_string_list(kCategoriesKey), StringList{VELMORA_DEFAULT_CATEGORY});

    store_categories_to_gconf("),movers_shakers(");
    EXPECT_EQ(get_string_list(kCategoriesKey), StringList{"movers_shakers"});

    store_categories_to_gconf(nullptr);
    EXPECT_EQ(get_string_list(kCategoriesKey), StringList{"movers_shakers"});

    store_categories_to_gconf("");
    EXPECT_EQ(take(get_categories_from_gconf()), StringList{});
}

TEST_F(SettingsStore, EnsureValidityRepairsOnlyMissingOrEmptyValues) {
    ensure_gconf_validity();
    EXPECT_EQ(get_string(kRegionKey), VELMORA_REGION_US);
    EXPECT_EQ(get_string_list(kCategoriesKey), StringList{VELMORA_DEFAULT_CATEGORY});

    ASSERT_TRUE(gconf_test::set_string(kRegionKey, ""));
    store_categories_to_gconf("");
    ensure_gconf_validity();
    EXPECT_EQ(get_string(kRegionKey), VELMORA_REGION_US);
    EXPECT_EQ(get_string_list(kCategoriesKey), StringList{VELMORA_DEFAULT_CATEGORY});

    /* Any non-empty values stand, whether the tables know them or not. */
    ASSERT_TRUE(gconf_test::set_string(kRegionKey, "store.example"));
    ASSERT_TRUE(gconf_test::set_string_list(kCategoriesKey, {"unknown", "hotnew_books"}));
    ensure_gconf_validity();
    EXPECT_EQ(get_string(kRegionKey), "store.example");
    EXPECT_EQ(get_string_list(kCategoriesKey), (StringList{"unknown", "hotnew_books"}));
}

StringList keys_of(GArray *table) {
    StringList keys;
    for (guint i = 0; i < table->len; i++)
        keys.emplace_back(g_array_index(table, SettingItem *, i)->key);
    return keys;
}

TEST(SettingsTables, HoldRegionsAndCategoriesInPickerOrder) {
    VelmoraSettings *settings = initialize_settings();
    ASSERT_NE(settings, nullptr);

    const StringList regions{VELMORA_REGION_CA, VELMORA_REGION_UK, VELMORA_REGION_US,
                             VELMORA_REGION_DE, VELMORA_REGION_FR};
    ASSERT_EQ(settings->regions->len, regions.size());
    for (guint i = 0; i < settings->regions->len; i++) {
        const SettingItem *item = g_array_index(settings->regions, SettingItem *, i);
        EXPECT_EQ(item->key, regions[i]);
        EXPECT_EQ(item->value, regions[i]);
        EXPECT_EQ(item->index, static_cast<gint32>(i));
    }

    const StringList categories{VELMORA_DEFAULT_CATEGORY,  "movers_shakers",
                                "bestsellers_book",        "hotnew_books",
                                "bestsellers_music",       "bestsellers_dvd",
                                "bestsellers_electronics", "bestsellers_games"};
    ASSERT_EQ(settings->categories->len, categories.size());
    for (guint i = 0; i < settings->categories->len; i++) {
        const SettingItem *item = g_array_index(settings->categories, SettingItem *, i);
        EXPECT_EQ(item->value, categories[i]);
        EXPECT_EQ(item->index, static_cast<gint32>(i));
    }
    EXPECT_EQ(keys_of(settings->categories),
              (StringList{"Bestsellers", "Movers & Shakers", "Bestsellers in Books",
                          "Hot New Releases in Books", "Bestsellers in Music",
                          "Bestsellers in Movies & TV", "Bestsellers in Electronics",
                          "Bestsellers in Video Games"}));
    deinitialize_settings(settings);
    deinitialize_settings(nullptr);
}

TEST(SettingsTables, LookupsMatchExactTextsOfTheChosenTable) {
    VelmoraSettings *settings = initialize_settings();

    EXPECT_EQ(get_setting_item_index(settings->regions, VELMORA_REGION_UK, "region"), 1);
    EXPECT_EQ(get_setting_item_index(settings->regions, VELMORA_REGION_FR, "category"), 4)
        << "the kind does not change the search";
    EXPECT_EQ(get_setting_item_index(settings->categories, "hotnew_books", "category"), 3);
    EXPECT_EQ(get_setting_item_index(settings->regions, "velmora.CO.UK", "region"), -1);
    EXPECT_EQ(get_setting_item_index(settings->regions, VELMORA_DEFAULT_CATEGORY, "region"), -1);
    EXPECT_EQ(get_setting_item_index(settings->regions, nullptr, "region"), -1);
    EXPECT_EQ(get_setting_item_index(nullptr, VELMORA_REGION_UK, "region"), -1);

    EXPECT_STREQ(get_value_for_item_key(settings, VELMORA_REGION_DE, "region"), VELMORA_REGION_DE);
    EXPECT_STREQ(get_value_for_item_key(settings, "Movers & Shakers", "category"),
                 "movers_shakers");
    EXPECT_EQ(get_value_for_item_key(settings, "Movers & Shakers", "region"), nullptr);
    EXPECT_EQ(get_value_for_item_key(settings, VELMORA_REGION_DE, "category"), nullptr);
    EXPECT_EQ(get_value_for_item_key(settings, "movers & shakers", "category"), nullptr);
    EXPECT_EQ(get_value_for_item_key(settings, nullptr, "category"), nullptr);

    EXPECT_STREQ(get_item_key_from_value(settings, "bestsellers_dvd", "category"),
                 "Bestsellers in Movies & TV");
    EXPECT_STREQ(get_item_key_from_value(settings, VELMORA_REGION_CA, "region"), VELMORA_REGION_CA);
    EXPECT_EQ(get_item_key_from_value(settings, "bestsellers_dvd", "region"), nullptr);
    EXPECT_EQ(get_item_key_from_value(settings, nullptr, "region"), nullptr);
    deinitialize_settings(settings);
}

/* Category names are translated once, when the tables are built. gettext
 * honours LANGUAGE only when the message locale is not plain "C"; C.UTF-8 is
 * always present on Debian and is enough. */
class TranslatedTables : public ::testing::Test {
  protected:
    void SetUp() override {
        bindtextdomain("velmora", WIDGET_DATA_TEST_LOCALE_DIR);
        bind_textdomain_codeset("velmora", "UTF-8");
        g_setenv("LANGUAGE", "de", TRUE);
        ASSERT_NE(setlocale(LC_ALL, "C.UTF-8"), nullptr);
    }
    void TearDown() override {
        g_unsetenv("LANGUAGE");
        setlocale(LC_ALL, "C.UTF-8");
    }
};

TEST_F(TranslatedTables, CategoryNamesAreTranslatedWhenTheTablesAreBuilt) {
    VelmoraSettings *settings = initialize_settings();
    StringList keys = keys_of(settings->categories);
    EXPECT_EQ(keys[0], "Bestseller");
    EXPECT_EQ(keys[1], "Aufsteiger");
    EXPECT_EQ(keys[2], "Bestseller in B\xc3\xbc"
                       "chern");
    EXPECT_EQ(keys[3], "Hot New Releases in Books") << "untranslated names stay English";

    EXPECT_STREQ(get_value_for_item_key(settings, "Aufsteiger", "category"), "movers_shakers");
    EXPECT_EQ(get_value_for_item_key(settings, "Movers & Shakers", "category"), nullptr);

    /* Region names are identifiers and never translated. */
    EXPECT_EQ(keys_of(settings->regions)[1], VELMORA_REGION_UK);

    deinitialize_settings(settings);
}

} // namespace
