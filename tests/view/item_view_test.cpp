// SPDX-License-Identifier: LGPL-2.1-or-later
// item_view_test.cpp - the card's two layouts: title and price lines, texts and
// logo of the region, logo placement, and the card as it reaches the screen.
#include "view_test_support.h"

#include <glib/gstdio.h>
#include <libintl.h>

#include <algorithm>
#include <clocale>

using namespace view_test;

namespace {

const char *const kFreshPriceLine =
    "<span foreground=\"black\">Our price: </span><span foreground=\"#990000\">$9.99</span>";

class ItemViewTest : public CardTest {};

TEST_F(ItemViewTest, TitleLineWithStoreAndWithoutStoreEscapesEveryArgument) {
    show_items({{.title = "Salt & <Pepper>", .store = "Kitchen & Home", .rank = "3"},
                {.title = "Plain \"Title\"", .rank = "<7>"},
                {.title = "No rank"}});

    EXPECT_EQ(label_markup(view_->title_label),
              "<span foreground=\"black\">Kitchen &amp; Home #3: </span><span "
              "underline=\"single\">Salt &amp; &lt;Pepper&gt;</span>");
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(view_->title_label)),
                 "Kitchen & Home #3: Salt & <Pepper>");

    current_index = 1;
    show_current_item(view_);
    EXPECT_EQ(label_markup(view_->title_label),
              "<span foreground=\"black\">#&lt;7&gt;: </span><span "
              "underline=\"single\">Plain &quot;Title&quot;</span>");

    current_index = 2;
    show_current_item(view_);
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(view_->title_label)), "#: No rank");
}

TEST_F(ItemViewTest, ItemWithoutTitleKeepsThePreviousTitleLine) {
    std::vector<Item> items = numbered_items(2);
    items[1].title.reset();
    items[1].price = "$1.00";
    items[1].time_saved = iso_time(0);
    show_items(items);
    ASSERT_EQ(label_markup(view_->title_label), numbered_title_line(1));

    current_index = 1;
    show_current_item(view_);
    EXPECT_EQ(label_markup(view_->title_label), numbered_title_line(1));
    // The rest of the item is shown all the same.
    EXPECT_NE(label_markup(view_->price_label), "");
}

TEST_F(ItemViewTest, PriceIsShownForAnItemStoredAtMostAnHourAgo) {
    std::vector<Item> items = {{.title = "Priced", .price = "$9.99"}};
    create_item_view(view_, settings_);

    // An hour old to the second; retried if the clock ticks over meanwhile.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const gint64 before = g_get_real_time() / G_USEC_PER_SEC;
        items[0].time_saved = iso_time(3600);
        refresh(view_, settings_, items, FALSE);
        if (g_get_real_time() / G_USEC_PER_SEC == before)
            break;
    }
    EXPECT_EQ(label_markup(view_->price_label), kFreshPriceLine);

    struct Case {
        const char *what;
        Text price;
        std::string time_saved;
        bool shown;
    };
    const std::vector<Case> cases = {
        {"3601 s old", "$9.99", iso_time(3601), false},
        {"a minute old, with T and Z", "$9.99", iso_time(60, "%Y-%m-%dT%H:%M:%SZ"), true},
        // A minute old in its own zone, two hours old if the zone were ignored.
        {"with a zone offset", "$9.99", iso_time(7200 + 60, "%Y-%m-%dT%H:%M:%S-02:00"), true},
        {"a day old", "$9.99", iso_time(86400), false},
        {"in the future", "$9.99", iso_time(-600), true},
        {"not a time", "$9.99", "yesterday", false},
        {"no time", "$9.99", "", false},
        {"no price", Text(), iso_time(0), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        items[0].price = c.price;
        items[0].time_saved = c.time_saved.empty() ? Text() : Text(c.time_saved);
        refresh(view_, settings_, items, FALSE);
        EXPECT_EQ(label_markup(view_->price_label), c.shown ? kFreshPriceLine : "");
    }

    // A stale item after a fresh one empties the price line.
    std::vector<Item> two(2, items[0]);
    two[0].price = two[1].price = "$9.99";
    two[0].time_saved = iso_time(0);
    two[1].time_saved = iso_time(7200);
    current_index = 0;
    refresh(view_, settings_, two, FALSE);
    ASSERT_EQ(label_markup(view_->price_label), kFreshPriceLine);
    current_index = 1;
    show_current_item(view_);
    EXPECT_EQ(label_markup(view_->price_label), "");
}

TEST_F(ItemViewTest, FeedTitleAndPriceCaptionFollowRegionAndFirstCategory) {
    store_region_to_gconf(VELMORA_REGION_DE);
    store_categories_to_gconf("(hotnew_books,bestsellers)");
    create_item_view(view_, settings_);
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(view_->feed_title_label)),
                 "Neuerscheinungen in Büchern");
    EXPECT_STREQ(view_->our_price_text, "Unser Preis:");

    store_region_to_gconf(VELMORA_REGION_FR);
    store_categories_to_gconf("");
    create_item_view(view_, settings_);
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(view_->feed_title_label)), "Meilleures ventes");
    EXPECT_STREQ(view_->our_price_text, "Notre prix\u00a0:");

    // A region that is no storefront reads as the default one.
    store_region_to_gconf("velmora.example");
    create_item_view(view_, settings_);
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(view_->feed_title_label)), "Bestsellers");
    EXPECT_STREQ(view_->our_price_text, "Our price:");
}

TEST_F(ItemViewTest, MessageLayoutShowsTheRegionsTextAndReplacesTheItemLayout) {
    show_items(numbered_items(2));
    ASSERT_NE(view_->up_button, nullptr);

    create_message_view(view_, settings_, "loading");
    EXPECT_TRUE(view_->message_shown);
    ASSERT_NE(view_->message_label, nullptr);
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(view_->message_label)), "Loading best sellers…");
    // The item layout is gone with its widgets.
    EXPECT_EQ(view_->item_image, nullptr);
    EXPECT_EQ(view_->up_button, nullptr);
    EXPECT_EQ(view_->title_label, nullptr);
    EXPECT_EQ(gtk_bin_get_child(GTK_BIN(window_)), view_->fixed);
    // Showing an item now has no widgets to fill and must not touch the old ones.
    show_current_item(view_);

    store_region_to_gconf(VELMORA_REGION_FR);
    create_message_view(view_, settings_, "no_connection");
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(view_->message_label)), "Aucune connexion réseau");

    create_message_view(view_, settings_, "no_such_message");
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(view_->message_label)), "");

    create_item_view(view_, settings_);
    EXPECT_FALSE(view_->message_shown);
    EXPECT_EQ(view_->message_label, nullptr);
    EXPECT_EQ(current_index, 0);
}

bool same_pixels(GdkPixbuf *a, GdkPixbuf *b) {
    if (!a || !b || gdk_pixbuf_get_width(a) != gdk_pixbuf_get_width(b) ||
        gdk_pixbuf_get_height(a) != gdk_pixbuf_get_height(b) ||
        gdk_pixbuf_get_rowstride(a) != gdk_pixbuf_get_rowstride(b))
        return false;
    const gsize size = gdk_pixbuf_get_rowstride(a) * gdk_pixbuf_get_height(a);
    return memcmp(gdk_pixbuf_get_pixels(a), gdk_pixbuf_get_pixels(b), size) == 0;
}

std::pair<int, int> fixed_position(GtkWidget *fixed, GtkWidget *child) {
    int x = 0, y = 0;
    gtk_container_child_get(GTK_CONTAINER(fixed), child, "x", &x, "y", &y, nullptr);
    return {x, y};
}

TEST_F(ItemViewTest, EachRegionShowsItsLogoCentredInTheTopBand) {
    const std::vector<std::pair<const char *, const char *>> logos = {
        {VELMORA_REGION_CA, "icons/VelmoraCaHomepageLogo.png"},
        {VELMORA_REGION_UK, "icons/VelmoraCoUkHomepageLogo.png"},
        {VELMORA_REGION_US, "icons/VelmoraComHomepageLogo.png"},
        {VELMORA_REGION_DE, "icons/VelmoraDeHomepageLogo.png"},
        {VELMORA_REGION_FR, "icons/VelmoraFrHomepageLogo.png"},
        {"velmora.example", "icons/VelmoraComHomepageLogo.png"},
    };
    for (const auto &[region, file] : logos) {
        SCOPED_TRACE(region);
        store_region_to_gconf(region);
        Picture expected = Picture::from_file(build_data_path(file));
        ASSERT_TRUE(expected.valid());
        GdkPixbuf *expected_pixbuf =
            gdk_pixbuf_new_from_file(build_data_path(file).c_str(), nullptr);
        for (bool message : {false, true}) {
            if (message)
                create_message_view(view_, settings_, "loading");
            else
                create_item_view(view_, settings_);
            EXPECT_TRUE(
                same_pixels(gtk_image_get_pixbuf(GTK_IMAGE(view_->logo_image)), expected_pixbuf));
            const auto position = fixed_position(view_->fixed, view_->logo_box);
            EXPECT_EQ(position.first, (396 - expected.width()) / 2);
            EXPECT_EQ(position.second, (60 - expected.height()) / 2);
        }
        g_object_unref(expected_pixbuf);
    }
}

// A data directory holding only a logo of the given size: every other picture
// is missing.
class LogoPlacementTest : public ItemViewTest {
  protected:
    void use_logo(int width, int height) {
        dir_ = temp_dir() + "/logo-data-" + std::to_string(width);
        g_mkdir_with_parents((dir_ + "/icons").c_str(), 0700);
        const std::string logo = write_picture("logo.png", width, height, 0x102030ff);
        g_rename(logo.c_str(), (dir_ + "/icons/VelmoraComHomepageLogo.png").c_str());
        g_setenv("VELMORA_DATA_DIR", dir_.c_str(), TRUE);
    }
    void TearDown() override {
        g_setenv("VELMORA_DATA_DIR", VELMORA_BUILD_DATA_DIR, TRUE);
        ItemViewTest::TearDown();
    }
    std::string dir_;
};

TEST_F(LogoPlacementTest, LogoPositionTruncatesTowardZero) {
    use_logo(200, 40);
    create_item_view(view_, settings_);
    EXPECT_EQ(fixed_position(view_->fixed, view_->logo_box), std::make_pair(98, 10));

    use_logo(401, 40);
    create_message_view(view_, settings_, "loading");
    EXPECT_EQ(fixed_position(view_->fixed, view_->logo_box), std::make_pair(-2, 10));

    use_logo(100, 61);
    create_item_view(view_, settings_);
    EXPECT_EQ(fixed_position(view_->fixed, view_->logo_box), std::make_pair(148, 0));
}

TEST_F(LogoPlacementTest, MissingPicturesLeaveEmptyImagesAndTheLayoutIsBuilt) {
    g_setenv("VELMORA_DATA_DIR", (temp_dir() + "/nothing-here").c_str(), TRUE);
    create_item_view(view_, settings_);
    ASSERT_NE(view_->background, nullptr);
    EXPECT_EQ(gtk_image_get_storage_type(GTK_IMAGE(view_->background)), GTK_IMAGE_EMPTY);
    EXPECT_EQ(gtk_image_get_storage_type(GTK_IMAGE(view_->logo_image)), GTK_IMAGE_EMPTY);
    EXPECT_EQ(fixed_position(view_->fixed, view_->logo_box), std::make_pair(198, 30));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(view_->feed_title_label)), "");
    show_items(numbered_items(1));
    show_and_draw();
    EXPECT_EQ(label_markup(view_->title_label), numbered_title_line(1));
}

// Pixels of the screen against the artwork: the window is cleared to
// transparent and nothing composites under Xvfb, so a translucent pixel of the
// artwork reaches the screen premultiplied.
class CardScreenshotTest : public ItemViewTest {
  protected:
    // Every fully opaque pixel of the logo is on the screen at the logo's place.
    void expect_logo_drawn(const Picture &screen) {
        Picture logo = Picture::from_file(build_data_path("icons/VelmoraComHomepageLogo.png"));
        ASSERT_TRUE(logo.valid());
        const int left = (396 - logo.width()) / 2, top = (60 - logo.height()) / 2;
        int opaque = 0, matching = 0;
        for (int y = 0; y < logo.height(); ++y)
            for (int x = 0; x < logo.width(); ++x)
                if (logo.alpha(x, y) == 255) {
                    ++opaque;
                    matching += near(screen.at(left + x, top + y), logo.at(x, y));
                }
        EXPECT_GT(opaque, 200);
        EXPECT_EQ(matching, opaque);
    }

    void expect_background_at(const Picture &screen, const Picture &background, int x, int y) {
        EXPECT_TRUE(near(screen.at(x, y), background.at(x, y)))
            << "at " << x << "," << y << ": " << screen.at(x, y) << " vs " << background.at(x, y);
    }

    void expect_button(const Picture &screen, int left, int top, const char *background_file) {
        Picture background = Picture::from_file(build_data_path(background_file));
        ASSERT_TRUE(background.valid());
        for (auto [x, y] : {std::pair{3, 3}, {64, 6}, {5, 62}, {60, 40}, {34, 4}})
            EXPECT_TRUE(near(screen.at(left + x, top + y), background.at(x, y)))
                << background_file << " at " << x << "," << y << ": "
                << screen.at(left + x, top + y) << " vs " << background.at(x, y);
        // The arrow lies over the middle of the button.
        Picture arrow = Picture::from_file(build_data_path("icons/Velmora_Up_Arrow.png"));
        EXPECT_TRUE(near(screen.at(left + 34, top + 34), arrow.at(18, 18), 12))
            << screen.at(left + 34, top + 34);
    }
};

TEST_F(CardScreenshotTest, ItemLayoutDrawsCardLogoPictureTextAndButtons) {
    show_items({{.title = "A title long enough to fill the line",
                 .store = "Books",
                 .rank = "1",
                 .price = "$12.34",
                 .time_saved = iso_time(0),
                 .image_path = write_picture("green.png", 100, 100, 0x20c040ff)}});
    show_and_draw();
    Picture screen = screenshot();
    ASSERT_TRUE(screen.valid());

    Picture background = Picture::from_file(build_data_path("icons/Velmora_Background.png"));
    ASSERT_TRUE(background.valid());
    // Card corners (translucent or clear), the logo band and the orange rule under
    // it, the empty strip under the item row and the button column's gap.
    for (auto [x, y] : {std::pair{0, 0},
                        {395, 0},
                        {20, 20},
                        {20, 59},
                        {300, 59},
                        {200, 196},
                        {5, 120},
                        {360, 129}})
        expect_background_at(screen, background, x, y);
    expect_logo_drawn(screen);

    // The item's picture fills its 100 by 100 square at (8, 92).
    for (auto [x, y] : {std::pair{8, 92}, {107, 92}, {8, 191}, {107, 191}, {58, 142}})
        EXPECT_TRUE(near(screen.at(x, y), Rgb{0x20, 0xc0, 0x40})) << x << "," << y;
    EXPECT_FALSE(near(screen.at(7, 142), Rgb{0x20, 0xc0, 0x40}));
    EXPECT_FALSE(near(screen.at(108, 142), Rgb{0x20, 0xc0, 0x40}));

    // Text: the black store and rank and the blue title in the title area, the dark
    // red price below it, the orange feed title above.
    const auto dark = [](const Rgb &c) { return c.r < 60 && c.g < 60 && c.b < 60; };
    const auto blue = [](const Rgb &c) { return c.b > c.r + 60 && c.b > 90; };
    const auto orange = [](const Rgb &c) { return c.r > 180 && c.g > 80 && c.g < 160 && c.b < 80; };
    EXPECT_GT(count(screen, 116, 92, 318, 164, dark), 10);
    EXPECT_GT(count(screen, 116, 92, 318, 164, blue), 10);
    EXPECT_GT(count(screen, 116, 164, 318, 192, dark_red), 5);
    EXPECT_GT(count(screen, 8, 60, 326, 84, orange), 10);
    // No text strays into the picture.
    EXPECT_EQ(count(screen, 12, 96, 104, 188, blue), 0);

    expect_button(screen, 327, 60, "icons/velmora_button_up_bg.png");
    expect_button(screen, 327, 130, "icons/velmora_button_down_bg.png");
}

TEST_F(CardScreenshotTest, MessageLayoutDrawsCardWithoutButtonsLogoAndText) {
    create_message_view(view_, settings_, "no_connection");
    show_and_draw();
    Picture screen = screenshot();
    ASSERT_TRUE(screen.valid());

    Picture background =
        Picture::from_file(build_data_path("icons/VelmoraBackgroundNoButtons.png"));
    ASSERT_TRUE(background.valid());
    Picture item_background = Picture::from_file(build_data_path("icons/Velmora_Background.png"));
    // Where the item layout has its buttons, the message card is plain.
    EXPECT_FALSE(near(background.at(360, 100), item_background.at(360, 100)));
    for (auto [x, y] : {std::pair{0, 0}, {20, 20}, {20, 59}, {360, 100}, {380, 190}, {200, 196}})
        expect_background_at(screen, background, x, y);
    expect_logo_drawn(screen);

    // The centred black text: dark pixels around the middle, none at the sides.
    const auto dark = [](const Rgb &c) { return c.r < 60 && c.g < 60 && c.b < 60; };
    EXPECT_GT(count(screen, 100, 110, 296, 150, dark), 20);
    EXPECT_EQ(count(screen, 8, 62, 60, 198, dark), 0);
    EXPECT_EQ(count(screen, 340, 62, 388, 198, dark), 0);
}

TEST_F(CardScreenshotTest, HeldArrowLooksPressedAndAReleaseOutsideOnlyRestoresIt) {
    show_items(numbered_items(3), TRUE);
    show_and_draw();
    const guint timer = view_->timer_id;

    send_event(view_->up_button, GDK_BUTTON_PRESS, 30, 30);
    EXPECT_TRUE(button_pressed);
    redraw();
    Picture pressed = screenshot();
    Picture pressed_background =
        Picture::from_file(build_data_path("icons/velmora_button_up_bg_pressed.png"));
    EXPECT_TRUE(near(pressed.at(327 + 3, 60 + 3), pressed_background.at(3, 3)))
        << pressed.at(330, 63);
    EXPECT_TRUE(near(pressed.at(327 + 60, 60 + 40), pressed_background.at(60, 40)));

    // The finger slides off and is lifted outside the button.
    send_event(view_->up_button, GDK_LEAVE_NOTIFY, 80, 30);
    send_event(view_->up_button, GDK_BUTTON_RELEASE, 80, -5);
    EXPECT_FALSE(button_pressed);
    redraw();
    Picture released = screenshot();
    expect_button(released, 327, 60, "icons/velmora_button_up_bg.png");
    EXPECT_EQ(current_index, 0);
    EXPECT_EQ(view_->timer_id, timer);
    EXPECT_EQ(label_markup(view_->title_label), numbered_title_line(1));

    // Pressed and released on the down button: normal look, one step.
    send_event(view_->down_button, GDK_BUTTON_PRESS, 30, 30);
    send_event(view_->down_button, GDK_BUTTON_RELEASE, 30, 30);
    redraw();
    expect_button(screenshot(), 327, 130, "icons/velmora_button_down_bg.png");
    EXPECT_EQ(current_index, 1);
}

// A finger tapping one arrow and then at once the other, as the pointer jumps:
// the presses, releases, a leave and a grab that the desktop breaks come in any
// order between two drawings, and only an arrow held down is drawn pressed.
TEST_F(CardScreenshotTest, AFastTapFromOneArrowToTheOtherLeavesNeitherPressed) {
    show_items(numbered_items(5), TRUE);
    show_and_draw();
    const auto expect_both_normal = [&] {
        redraw();
        Picture screen = screenshot();
        expect_button(screen, 327, 60, "icons/velmora_button_up_bg.png");
        expect_button(screen, 327, 130, "icons/velmora_button_down_bg.png");
    };
    Picture pressed_down =
        Picture::from_file(build_data_path("icons/velmora_button_down_bg_pressed.png"));
    GtkWidget *up = view_->up_button, *down = view_->down_button;

    // Up tapped, its redraw still pending when down is pressed.
    send_event(up, GDK_BUTTON_PRESS, 30, 30);
    send_event(up, GDK_BUTTON_RELEASE, 30, 30);
    send_event(down, GDK_BUTTON_PRESS, 30, 30);
    redraw();
    Picture held = screenshot();
    expect_button(held, 327, 60, "icons/velmora_button_up_bg.png");
    EXPECT_TRUE(near(held.at(327 + 3, 130 + 3), pressed_down.at(3, 3))) << held.at(330, 133);
    send_event(down, GDK_BUTTON_RELEASE, 30, 30);
    expect_both_normal();
    EXPECT_EQ(current_index, 0); // one step back, one forward

    // Down pressed and, without a release of its own, up pressed.
    send_event(down, GDK_BUTTON_PRESS, 30, 30);
    send_event(up, GDK_BUTTON_PRESS, 30, 30);
    redraw();
    send_event(up, GDK_BUTTON_RELEASE, 30, 30);
    expect_both_normal();

    // A grab broken by the desktop, a release elsewhere on the card, a leave.
    send_event(up, GDK_BUTTON_PRESS, 30, 30);
    GdkEvent *broken = gdk_event_new(GDK_GRAB_BROKEN);
    broken->grab_broken.window = GDK_WINDOW(g_object_ref(up->window));
    gtk_widget_event(up, broken);
    gdk_event_free(broken);
    EXPECT_FALSE(button_pressed);
    expect_both_normal();
    send_event(down, GDK_BUTTON_PRESS, 30, 30);
    send_event(window_, GDK_BUTTON_RELEASE, 10, 150);
    EXPECT_FALSE(button_pressed);
    expect_both_normal();
    send_event(up, GDK_BUTTON_PRESS, 30, 30);
    send_event(up, GDK_LEAVE_NOTIFY, 80, 30);
    expect_both_normal();
}

// The longest prices of every region, in its language: the whole price is on the
// card left of the arrow column, under the title, which is cut with "…".
TEST_F(CardScreenshotTest, LongestPricesShowWholeLeftOfTheArrowsUnderACutTitle) {
    const std::string long_title = "Die Töchter des Obstgartens: ein Roman über drei Generationen "
                                   "von Frauen und ein Geheimnis, das alles verändert";
    const struct {
        const char *region, *price;
    } cases[] = {
        {VELMORA_REGION_DE, "EUR 1.234,56"},
        {VELMORA_REGION_DE, "Derzeit nicht verfügbar"},
        {VELMORA_REGION_FR, "EUR 1.234,56"},
        {VELMORA_REGION_FR, "Actuellement indisponible"},
        {VELMORA_REGION_CA, "CDN$ 1,234.56"},
        {VELMORA_REGION_UK, "£1,234.56"},
        {VELMORA_REGION_US, "Currently unavailable"},
    };
    const auto blue = [](const Rgb &c) { return c.b > c.r + 60 && c.b > 90; };
    Picture background = Picture::from_file(build_data_path("icons/Velmora_Background.png"));
    ASSERT_TRUE(background.valid());
    store_categories_to_gconf("bestsellers_book");
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.region) + " " + c.price);
        store_region_to_gconf(c.region);
        show_items({{.title = long_title,
                     .store = "Bücher",
                     .rank = "100",
                     .price = c.price,
                     .time_saved = iso_time(0)}});
        show_and_draw();
        Picture card = screenshot();
        // The same card without the arrow buttons shows whatever they cover.
        gtk_widget_hide(view_->up_button);
        gtk_widget_hide(view_->down_button);
        redraw();
        Picture uncovered = screenshot();
        ASSERT_TRUE(card.valid() && uncovered.valid());

        const int price_ink = count(card, 116, 92, 327, 200, dark_red);
        EXPECT_GT(price_ink, 40);
        EXPECT_EQ(count(uncovered, 116, 92, 327, 200, dark_red), price_ink);
        EXPECT_EQ(count(uncovered, 318, 60, 396, 200, dark_red), 0);

        // The ink of the whole price line, as laid out, against the ink on the
        // screen: the same right and bottom ends, inside the card and left of the
        // arrow column. A line cut by its label would end on the screen before
        // its layout does.
        GtkWidget *price = view_->price_label;
        PangoRectangle ink;
        pango_layout_get_pixel_extents(gtk_label_get_layout(GTK_LABEL(price)), &ink, nullptr);
        int left = 0, top = 0;
        gtk_label_get_layout_offsets(GTK_LABEL(price), &left, &top);
        const int right_end = left + ink.x + ink.width - 1,
                  bottom_end = top + ink.y + ink.height - 1;
        EXPECT_LT(right_end, 327);
        EXPECT_LT(bottom_end, 200);
        // Dark red or black where the card's artwork is neither.
        const auto price_ink_at = [&](int x, int y) {
            const Rgb c = uncovered.at(x, y);
            return (dark_red(c) || (c.r < 60 && c.g < 60 && c.b < 60)) &&
                   !near(c, background.at(x, y), 40);
        };
        int screen_right = -1, screen_bottom = -1;
        for (int y = price->allocation.y; y < 200; ++y)
            for (int x = 112; x < 396; ++x)
                if (price_ink_at(x, y)) {
                    screen_right = std::max(screen_right, x);
                    screen_bottom = std::max(screen_bottom, y);
                }
        EXPECT_NEAR(screen_right, right_end, 2);
        EXPECT_NEAR(screen_bottom, bottom_end, 2);

        // Title above the price, with its end cut off.
        int title_bottom = 0, price_top = 200;
        for (int y = 92; y < 200; ++y)
            for (int x = 116; x < 318; ++x) {
                if (blue(uncovered.at(x, y)))
                    title_bottom = std::max(title_bottom, y);
                if (dark_red(uncovered.at(x, y)))
                    price_top = std::min(price_top, y);
            }
        EXPECT_LT(title_bottom, price_top);
        EXPECT_TRUE(g_str_has_suffix(gtk_label_get_text(GTK_LABEL(view_->title_label)), "…"));
        EXPECT_EQ(count(uncovered, 318, 92, 396, 200, blue), 0);
    }
}

TEST_F(ItemViewTest, PartsOfTheCardHaveTranslatedAccessibleNamesAndRoles) {
    show_items({{.title = "Salt",
                 .store = "Kitchen",
                 .rank = "3",
                 .price = "$1.00",
                 .time_saved = iso_time(0)}});
    const auto name_of = [](GtkWidget *widget) {
        const gchar *name = atk_object_get_name(gtk_widget_get_accessible(widget));
        return std::string(name ? name : "");
    };
    const auto role_of = [](GtkWidget *widget) {
        return atk_object_get_role(gtk_widget_get_accessible(widget));
    };
    EXPECT_EQ(name_of(view_->up_button), "Previous item");
    EXPECT_EQ(name_of(view_->down_button), "Next item");
    EXPECT_EQ(role_of(view_->down_button), ATK_ROLE_PUSH_BUTTON);
    EXPECT_EQ(name_of(view_->logo_box), "Store home page");
    EXPECT_EQ(role_of(view_->logo_box), ATK_ROLE_LINK);
    EXPECT_EQ(role_of(view_->item_box), ATK_ROLE_LINK);
    EXPECT_EQ(name_of(view_->item_box), "Kitchen #3: Salt. Our price: $1.00");
    EXPECT_EQ(name_of(view_->feed_title_box), "Bestsellers");

    // Every item shown is named anew, its title uncut.
    const std::string long_title(300, 'p');
    refresh(view_, settings_, {{.title = "Salt"}, {.title = long_title, .rank = "4"}}, FALSE);
    current_index = 1;
    show_current_item(view_);
    EXPECT_EQ(name_of(view_->item_box), "#4: " + long_title);

    bindtextdomain("velmora", VELMORA_BUILD_LOCALE_DIR);
    g_setenv("LANGUAGE", "de", TRUE);
    ASSERT_NE(setlocale(LC_ALL, "C.UTF-8"), nullptr);
    create_item_view(view_, settings_);
    EXPECT_EQ(name_of(view_->up_button), "Vorheriger Artikel");
    EXPECT_EQ(name_of(view_->down_button), "Nächster Artikel");
    EXPECT_EQ(name_of(view_->logo_box), "Startseite des Shops");
    g_unsetenv("LANGUAGE");
    setlocale(LC_ALL, "C");
}

} // namespace
