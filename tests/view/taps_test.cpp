// SPDX-License-Identifier: LGPL-2.1-or-later
// taps_test.cpp - taps on the card open addresses in the browser: the current
// item's page, the region's home page from the logo, and the storefront's home
// page in place of a missing or non-web link. A fake browser on the test's
// session bus records what the widget asks it to open.
#include "fake_browser.h"
#include "view_test_support.h"

#include <algorithm>

#include <gdk/gdkkeysyms.h>
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

// A key pressed on the card's window, as the X server would deliver it.
void press_key(GtkWidget *window, guint keyval, GdkModifierType state = GdkModifierType(0)) {
    GdkEvent *event = gdk_event_new(GDK_KEY_PRESS);
    event->key.window = GDK_WINDOW(g_object_ref(window->window));
    event->key.send_event = TRUE;
    event->key.time = GDK_CURRENT_TIME;
    event->key.keyval = keyval;
    event->key.state = state;
    GdkKeymapKey *keys = nullptr;
    gint n_keys = 0;
    if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_default(), keyval, &keys, &n_keys) &&
        n_keys > 0) {
        event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
        event->key.group = static_cast<guint8>(keys[0].group);
    }
    g_free(keys);
    gtk_main_do_event(event);
    gdk_event_free(event);
    while (gtk_events_pending())
        gtk_main_iteration();
}

GtkWidget *focus_of(GtkWidget *window) {
    return gtk_window_get_focus(GTK_WINDOW(window));
}

TEST_F(TapTest, TabDownAndReturnStepAndOpenThroughKeysAlone) {
    show_items(numbered_items(3));
    show_and_draw();
    gtk_window_present(GTK_WINDOW(window_));

    // Tab goes logo, item, up, down and round again; Shift+Tab back.
    std::vector<GtkWidget *> order;
    for (int i = 0; i < 5; ++i) {
        press_key(window_, GDK_Tab);
        order.push_back(focus_of(window_));
    }
    const GtkWidget *item = view_->item_box;
    const auto at = std::find(order.begin(), order.end(), item);
    ASSERT_NE(at, order.end());
    const size_t start = at - order.begin();
    const std::vector<GtkWidget *> cycle = {view_->logo_box, view_->item_box, view_->up_button,
                                            view_->down_button};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(order[(start + i) % order.size()], cycle[(1 + i) % 4]) << i;
    while (focus_of(window_) != view_->item_box)
        press_key(window_, GDK_Tab);
    press_key(window_, GDK_ISO_Left_Tab, GDK_SHIFT_MASK);
    EXPECT_EQ(focus_of(window_), view_->logo_box);
    press_key(window_, GDK_Tab);
    ASSERT_EQ(focus_of(window_), view_->item_box);

    // Down steps, Return opens the item now shown; Up steps back, Space opens.
    press_key(window_, GDK_Down);
    EXPECT_EQ(current_index, 1);
    press_key(window_, GDK_Return);
    EXPECT_EQ(next_opened(), "http://127.0.0.1/item/2");
    press_key(window_, GDK_Up);
    press_key(window_, GDK_Up);
    EXPECT_EQ(current_index, 2);
    press_key(window_, GDK_space);
    EXPECT_EQ(next_opened(), "http://127.0.0.1/item/3");

    // The focused part is drawn with a ring in the logo band's orange.
    redraw();
    const Picture card = screenshot();
    const GtkAllocation &box = view_->item_box->allocation;
    EXPECT_TRUE(near(card.at(box.x, box.y + 50), Rgb{0xe4, 0x79, 0x11}, 30))
        << card.at(box.x, box.y + 50);

    // Return on an arrow steps; on the logo it opens the home page.
    press_key(window_, GDK_Tab);
    ASSERT_EQ(focus_of(window_), view_->up_button);
    press_key(window_, GDK_Return);
    EXPECT_EQ(current_index, 1);
    press_key(window_, GDK_Tab);
    press_key(window_, GDK_KP_Enter);
    EXPECT_EQ(current_index, 2);
    press_key(window_, GDK_Tab);
    ASSERT_EQ(focus_of(window_), view_->logo_box);
    press_key(window_, GDK_Return);
    EXPECT_EQ(next_opened(), home_page_);
    expect_nothing_opened();
}

TEST_F(TapTest, EveryNamedPartOffersItsActionToAssistiveTechnology) {
    show_items(numbered_items(3));
    show_and_draw();
    const struct {
        GtkWidget *part;
        const char *description;
    } parts[] = {
        {view_->logo_box, "Opens the store's home page"},
        {view_->item_box, "Opens the item in the browser"},
        {view_->up_button, "Shows the previous item"},
        {view_->down_button, "Shows the next item"},
    };
    for (const auto &p : parts) {
        AtkObject *accessible = gtk_widget_get_accessible(p.part);
        ASSERT_TRUE(ATK_IS_ACTION(accessible)) << p.description;
        AtkAction *action = ATK_ACTION(accessible);
        EXPECT_EQ(atk_action_get_n_actions(action), 1);
        EXPECT_STREQ(atk_action_get_name(action, 0), "click");
        EXPECT_STREQ(atk_action_get_description(action, 0), p.description);
        EXPECT_FALSE(atk_action_do_action(action, 1));
    }
    EXPECT_TRUE(atk_action_do_action(ATK_ACTION(gtk_widget_get_accessible(view_->down_button)), 0));
    EXPECT_EQ(current_index, 1);
    EXPECT_TRUE(atk_action_do_action(ATK_ACTION(gtk_widget_get_accessible(view_->item_box)), 0));
    EXPECT_EQ(next_opened(), "http://127.0.0.1/item/2");
    EXPECT_TRUE(atk_action_do_action(ATK_ACTION(gtk_widget_get_accessible(view_->up_button)), 0));
    EXPECT_EQ(current_index, 0);
    EXPECT_TRUE(atk_action_do_action(ATK_ACTION(gtk_widget_get_accessible(view_->logo_box)), 0));
    EXPECT_EQ(next_opened(), home_page_);

    // An accessible object kept after its part went away does nothing.
    AtkObject *kept = gtk_widget_get_accessible(view_->down_button);
    g_object_ref(kept);
    create_message_view(view_, settings_, "loading");
    EXPECT_FALSE(atk_action_do_action(ATK_ACTION(kept), 0));
    g_object_unref(kept);
}

TEST_F(TapTest, ATapWithoutABrowserIsLoggedOnceAndShownOnTheCard) {
    show_items(numbered_items(2));
    show_and_draw();
    const std::string heading = gtk_label_get_text(GTK_LABEL(view_->feed_title_label));
    osso_deinitialize(osso_context);
    osso_context = nullptr;
    send_event(view_->item_box, GDK_BUTTON_RELEASE, 10, 10);
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(view_->feed_title_label)),
                 "No web browser could be started");
    ASSERT_NE(view_->notice_timer_id, 0u);
    // The heading returns when the notice's time is up.
    g_source_remove(view_->notice_timer_id);
    view_->notice_timer_id = 0;
    show_feed_title(view_);
    EXPECT_EQ(gtk_label_get_text(GTK_LABEL(view_->feed_title_label)), heading);
    osso_context = osso_initialize("velmora_view_test", "1.0", FALSE, nullptr);
}

} // namespace
