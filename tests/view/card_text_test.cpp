// SPDX-License-Identifier: LGPL-2.1-or-later
// card_text_test.cpp - the card's texts read whole: every item of the demo
// storefront's long-worded feeds (German games and new books, French DVDs) on
// the card, the price line inside the text column and the title whole when it
// is at most 45 characters long, as laid out and as drawn; no line break inside
// a hyphenated word; every feed heading within its row.
#include "view_test_support.h"

#include <glib/gstdio.h>

#include <functional>
#include <map>

using namespace view_test;

namespace {

struct FeedItem {
    std::string rank, title, store, price;
};

std::string unescape(const std::string &text) {
    std::string out = text;
    for (auto [entity, character] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}})
        for (size_t at = out.find(entity); at != std::string::npos; at = out.find(entity, at + 1))
            out.replace(at, strlen(entity), character);
    return out;
}

std::string element(const std::string &item, const std::string &name) {
    const std::string open = "<" + name + ">", close = "</" + name + ">";
    const size_t start = item.find(open);
    if (start == std::string::npos)
        return "";
    const size_t end = item.find(close, start);
    return unescape(item.substr(start + open.size(), end - start - open.size()));
}

// The demo storefront's feeds, generated once for the whole suite (without pictures).
class DemoFeeds {
  public:
    DemoFeeds() {
        root_ = test_support::make_temp_dir("feeds");
        const std::string script =
            std::string(VELMORA_TEST_SUPPORT_DIR) + "/../../demo/storefront/generate_storefront.py";
        std::vector<std::string> args = {"/usr/bin/python3", script, "--root",       root_,
                                         "--port",           "1",    "--no-pictures"};
        std::vector<gchar *> argv;
        for (auto &arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        gint status = 0;
        ok_ = g_spawn_sync(nullptr, argv.data(), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr,
                           nullptr, nullptr, &status, nullptr) &&
              g_spawn_check_wait_status(status, nullptr);
    }

    bool ok() const { return ok_; }

    std::vector<FeedItem> items(const std::string &region, const std::string &category) const {
        const std::string text =
            test_support::read_file(root_ + "/feeds/" + region + "/" + category + ".xml");
        std::vector<FeedItem> items;
        for (size_t at = text.find("<item>"); at != std::string::npos;
             at = text.find("<item>", at + 1)) {
            const std::string item = text.substr(at, text.find("</item>", at) - at);
            items.push_back({element(item, "rank"), element(item, "title"), element(item, "store"),
                             element(item, "ourPriceAmount")});
        }
        return items;
    }

  private:
    std::string root_;
    bool ok_ = false;
};

// The label's text without the word joiners that keep hyphenated words whole.
std::string shown_text(GtkWidget *label) {
    std::string text = gtk_label_get_text(GTK_LABEL(label));
    const std::string joiner = "\u2060";
    for (size_t at = text.find(joiner); at != std::string::npos; at = text.find(joiner))
        text.erase(at, joiner.size());
    return text;
}

// The ink of a label's text on the card, in the card's coordinates.
GdkRectangle ink_on_card(GtkWidget *label) {
    PangoRectangle ink;
    pango_layout_get_pixel_extents(gtk_label_get_layout(GTK_LABEL(label)), &ink, nullptr);
    int left = 0, top = 0;
    gtk_label_get_layout_offsets(GTK_LABEL(label), &left, &top);
    return GdkRectangle{left + ink.x, top + ink.y, ink.width, ink.height};
}

class CardTextTest : public CardTest {
  protected:
    static void SetUpTestSuite() {
        CardTest::SetUpTestSuite();
        feeds_ = new DemoFeeds();
    }
    static void TearDownTestSuite() {
        delete feeds_;
        feeds_ = nullptr;
    }

    // Shows one item as the widget shows a freshly stored one.
    void show(const FeedItem &item) {
        show_items({{.title = item.title,
                     .store = item.store,
                     .rank = item.rank,
                     .price = item.price,
                     .time_saved = iso_time(0)}});
        show_and_draw();
    }

    static DemoFeeds *feeds_;
};

DemoFeeds *CardTextTest::feeds_ = nullptr;

TEST_F(CardTextTest, EveryItemOfTheLongWordedFeedsShowsItsPriceAndShortTitlesWhole) {
    ASSERT_TRUE(feeds_->ok());
    const struct {
        const char *region, *category;
    } feeds[] = {
        {VELMORA_REGION_DE, "bestsellers_games"},
        {VELMORA_REGION_DE, "hotnew_books"},
        {VELMORA_REGION_FR, "bestsellers_dvd"},
    };
    for (const auto &feed : feeds) {
        store_region_to_gconf(feed.region);
        store_categories_to_gconf(feed.category);
        const std::vector<FeedItem> items = feeds_->items(feed.region, feed.category);
        ASSERT_GE(items.size(), 20u) << feed.region << " " << feed.category;
        for (const FeedItem &item : items) {
            SCOPED_TRACE(std::string(feed.region) + " " + feed.category + " #" + item.rank + " " +
                         item.title + " / " + item.price);
            show(item);
            GtkWidget *column = view_->text_column;
            const GdkRectangle price = ink_on_card(view_->price_label);
            EXPECT_GE(price.x, column->allocation.x);
            EXPECT_LE(price.x + price.width, column->allocation.x + column->allocation.width);
            EXPECT_GE(price.y, column->allocation.y);
            EXPECT_LE(price.y + price.height, column->allocation.y + column->allocation.height);
            EXPECT_NE(shown_text(view_->price_label).find(item.price), std::string::npos)
                << shown_text(view_->price_label);

            const GdkRectangle title = ink_on_card(view_->title_label);
            EXPECT_LE(title.y + title.height, price.y);
            EXPECT_GE(title.y, column->allocation.y);
            EXPECT_LE(title.x + title.width, column->allocation.x + column->allocation.width);
            if (g_utf8_strlen(item.title.c_str(), -1) <= 45)
                EXPECT_EQ(shown_text(view_->title_label),
                          item.store + " #" + item.rank + ": " + item.title);
            else
                EXPECT_TRUE(
                    g_str_has_suffix(gtk_label_get_text(GTK_LABEL(view_->title_label)), "…"));

            // On the screen: no price ink right of the column.
            Picture card = screenshot();
            ASSERT_TRUE(card.valid());
            EXPECT_GT(count(card, 116, 92, 318, 200, dark_red), 20);
            EXPECT_EQ(count(card, 318, 92, 327, 200, dark_red), 0);
        }
    }
}

TEST_F(CardTextTest, NoLineBreaksInsideAHyphenatedWord) {
    const struct {
        const char *store, *title;
    } cases[] = {
        {"Electronics", "Smart Speaker - 2-Pack"},
        {"Electronics", "Noise-Cancelling E-Reader"},
        {"Electronics", "Noise-Cancelling E-Reader with Case - 2-Pack"},
        {"Jeux vidéo", "Aventures à Ville-Étoile - Édition Standard"},
        {"Elektronik & Foto", "Kompakte Kopfhörer-Ladegeräte - Doppelpack"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title);
        show({"17", c.title, c.store, "$12.99"});
        EXPECT_EQ(shown_text(view_->title_label), std::string(c.store) + " #17: " + c.title);
        PangoLayout *layout = gtk_label_get_layout(GTK_LABEL(view_->title_label));
        const char *text = pango_layout_get_text(layout);
        EXPECT_GT(pango_layout_get_line_count(layout), 1);
        for (GSList *line = pango_layout_get_lines_readonly(layout); line; line = line->next) {
            const int start = static_cast<PangoLayoutLine *>(line->data)->start_index;
            if (start == 0)
                continue;
            // The last character of the line before, the word joiner left aside.
            const char *before = g_utf8_prev_char(text + start);
            if (g_utf8_get_char(before) == 0x2060)
                before = g_utf8_prev_char(before);
            EXPECT_NE(*before, '-') << "a line starts at: " << text + start;
        }
    }
}

TEST_F(CardTextTest, EveryFeedHeadingFitsItsRowInEveryRegion) {
    const char *const regions[] = {VELMORA_REGION_CA, VELMORA_REGION_UK, VELMORA_REGION_US,
                                   VELMORA_REGION_DE, VELMORA_REGION_FR};
    const char *const categories[] = {
        "bestsellers",       "movers_shakers",  "bestsellers_book",        "hotnew_books",
        "bestsellers_music", "bestsellers_dvd", "bestsellers_electronics", "bestsellers_games"};
    show_and_draw();
    for (const char *region : regions)
        for (const char *category : categories) {
            SCOPED_TRACE(std::string(region) + " " + category);
            store_region_to_gconf(region);
            store_categories_to_gconf(category);
            create_item_view(view_, settings_);
            redraw();
            GtkWidget *heading = view_->feed_title_label;
            ASSERT_GT(strlen(gtk_label_get_text(GTK_LABEL(heading))), 0u);
            PangoLayout *layout = gtk_label_get_layout(GTK_LABEL(heading));
            EXPECT_FALSE(pango_layout_is_ellipsized(layout))
                << gtk_label_get_text(GTK_LABEL(heading));
            const GdkRectangle ink = ink_on_card(heading);
            EXPECT_LE(ink.x + ink.width, 327) << gtk_label_get_text(GTK_LABEL(heading));
        }
}

} // namespace
