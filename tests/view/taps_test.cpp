// SPDX-License-Identifier: LGPL-2.1-or-later
// taps_test.cpp - taps on the card open addresses in the browser: the current
// item's page, the region's home page from the logo, and the storefront's home
// page in place of a missing or non-web link. A fake browser on the test's
// session bus records what the widget asks it to open.
#include "fake_browser.h"
#include "view_test_support.h"

#include <libosso.h>
#include "velmora_contract.h"

using namespace view_test;

namespace {

std::string catalogue_entry(const char *section, const char *name) {
    QueryLoader *urls = query_loader_new(build_data_path(VELMORA_URLS_FILE).c_str());
    gchar *value = query_loader_load_query_by_section(urls, section, name);
    std::string result = value ? value : "";
    g_free(value);
    query_loader_free(urls);
    return result;
}

class TapTest : public CardTest {
  protected:
    void SetUp() override {
        CardTest::SetUp();
        ASSERT_TRUE(browser_.ready());
        osso_context = osso_initialize("velmora_view_test", "1.0", FALSE, nullptr);
        ASSERT_NE(osso_context, nullptr);
        home_page_ = catalogue_entry(VELMORA_REGION_US, "homepage");
        ASSERT_EQ(home_page_.rfind("http", 0), 0u) << home_page_;
    }

    void TearDown() override {
        osso_deinitialize(osso_context);
        osso_context = nullptr;
        CardTest::TearDown();
    }

    // The address of the next browser call not yet looked at.
    std::string next_opened() {
        if (!browser_.wait_for_calls(seen_ + 1))
            return "(nothing opened)";
        const FakeBrowser::Call &call = browser_.calls()[seen_++];
        EXPECT_FALSE(call.new_window_flag);
        return call.address;
    }

    void expect_nothing_opened() {
        browser_.settle();
        EXPECT_EQ(browser_.calls().size(), seen_);
    }

    FakeBrowser browser_;
    size_t seen_ = 0;
    std::string home_page_;
};

TEST_F(TapTest, ItemRowAndFeedTitleOpenTheCurrentItem) {
    show_items(numbered_items(3));
    show_and_draw();

    send_event(view_->item_box, GDK_BUTTON_RELEASE, 50, 50);
    EXPECT_EQ(next_opened(), "http://127.0.0.1/item/1");

    current_index = 2;
    show_current_item(view_);
    send_event(view_->feed_title_box, GDK_BUTTON_RELEASE, 5, 5);
    EXPECT_EQ(next_opened(), "http://127.0.0.1/item/3");

    // The finger slid off the row before it was lifted.
    send_event(view_->item_box, GDK_BUTTON_RELEASE, 50, 500);
    send_event(view_->feed_title_box, GDK_BUTTON_RELEASE, -1, 5);
    expect_nothing_opened();
}

TEST_F(TapTest, MissingOrNonWebLinksOpenTheStorefrontHomePage) {
    std::vector<Item> items = numbered_items(7);
    items[0].item_url = "HTTPS://127.0.0.1/Item?x=1&y=2";
    items[1].item_url.reset();
    items[2].item_url = "file:///etc/passwd";
    items[3].item_url = "javascript:alert(1)";
    items[4].item_url = "http:no-host";
    items[5].item_url = "http://127.0.0.1/\xff\xfe";
    items[6].item_url = "";
    show_items(items);
    show_and_draw();

    send_event(view_->item_box, GDK_BUTTON_RELEASE, 10, 10);
    EXPECT_EQ(next_opened(), "HTTPS://127.0.0.1/Item?x=1&y=2");
    for (int index = 1; index < 7; ++index) {
        SCOPED_TRACE(index);
        current_index = index;
        send_event(view_->item_box, GDK_BUTTON_RELEASE, 10, 10);
        EXPECT_EQ(next_opened(), home_page_);
    }
}

TEST_F(TapTest, LogoOpensTheRegionsHomePage) {
    store_region_to_gconf(VELMORA_REGION_DE);
    show_items(numbered_items(1));
    show_and_draw();
    const std::string german = catalogue_entry(VELMORA_REGION_DE, "homepage");
    ASSERT_FALSE(german.empty());
    ASSERT_NE(german, home_page_);
    send_event(view_->logo_box, GDK_BUTTON_RELEASE, 20, 20);
    EXPECT_EQ(next_opened(), german);
    send_event(view_->logo_box, GDK_BUTTON_RELEASE, 20, 300);
    expect_nothing_opened();

    // In the message layout too; a region without an entry gets the storefront's.
    store_region_to_gconf("velmora.example");
    create_message_view(view_, settings_, "loading");
    redraw();
    send_event(view_->logo_box, GDK_BUTTON_RELEASE, 1, 1);
    EXPECT_EQ(next_opened(), home_page_);
}

TEST_F(TapTest, WithoutAUrlCatalogueTheFixedHomePageOpens) {
    g_setenv("VELMORA_DATA_DIR", (temp_dir() + "/no-catalogues").c_str(), TRUE);
    launch_browser(nullptr);
    launch_browser("ftp://127.0.0.1/file");
    g_setenv("VELMORA_DATA_DIR", VELMORA_BUILD_DATA_DIR, TRUE);
    EXPECT_EQ(next_opened(), "https://www.velmora.com/");
    EXPECT_EQ(next_opened(), "https://www.velmora.com/");
}

TEST_F(TapTest, NothingOpensWithoutItemsOrWithoutAContext) {
    show_items(numbered_items(2));
    show_and_draw();
    clear_stored_data();
    send_event(view_->item_box, GDK_BUTTON_RELEASE, 10, 10);
    expect_nothing_opened();

    osso_deinitialize(osso_context);
    osso_context = nullptr;
    EXPECT_NE(launch_browser("http://127.0.0.1/x"), OSSO_OK);
    expect_nothing_opened();
}

} // namespace
