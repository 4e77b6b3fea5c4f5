// SPDX-License-Identifier: LGPL-2.1-or-later
// carousel_test.cpp - the carousel: stepping and wrapping by tick and arrows,
// refreshes that keep the position, the single pending timer, the carousel's own
// copies of the items with their pictures, and empty or missing lists.
#include "view_test_support.h"

#include <glib/gstdio.h>

using namespace view_test;

namespace {

class CarouselTest : public CardTest {
  protected:
    void SetUp() override {
        CardTest::SetUp();
        show_and_draw();
    }

    static bool source_pending(guint id) {
        return id != 0 && g_main_context_find_source_by_id(nullptr, id) != nullptr;
    }

    // Releases the pointer on a button at (x, y) of the button.
    void release_on(GtkWidget *button, double x, double y) {
        send_event(button, GDK_BUTTON_RELEASE, x, y);
    }
};

TEST_F(CarouselTest, TickAndArrowsWrapAroundAtBothEnds) {
    show_items(numbered_items(3));
    current_index = 2;
    show_current_item(view_);

    carousel_tick(view_);
    EXPECT_EQ(current_index, 0);
    EXPECT_EQ(label_markup(view_->title_label), numbered_title_line(1));
    carousel_tick(view_);
    EXPECT_EQ(current_index, 1);

    current_index = 0;
    release_on(view_->up_button, 34, 34);
    EXPECT_EQ(current_index, 2);
    EXPECT_EQ(label_markup(view_->title_label), numbered_title_line(3));
    release_on(view_->up_button, 34, 34);
    EXPECT_EQ(current_index, 1);

    release_on(view_->down_button, 34, 34);
    release_on(view_->down_button, 34, 34);
    EXPECT_EQ(current_index, 0);
    EXPECT_EQ(label_markup(view_->title_label), numbered_title_line(1));

    // The ends of the button count as inside; one pixel beyond does not.
    release_on(view_->down_button, 0, 0);
    EXPECT_EQ(current_index, 1);
    release_on(view_->down_button, 68, 69);
    EXPECT_EQ(current_index, 2);
    release_on(view_->down_button, 69, 30);
    release_on(view_->down_button, 30, -1);
    EXPECT_EQ(current_index, 2);
}

TEST_F(CarouselTest, ArrowTapRestartsTheFullPeriodAndOneItemStaysShown) {
    show_items(numbered_items(1), TRUE);
    const guint first = view_->timer_id;
    ASSERT_TRUE(source_pending(first));

    carousel_tick(view_);
    EXPECT_EQ(current_index, 0);
    release_on(view_->up_button, 10, 10);
    EXPECT_EQ(current_index, 0);
    EXPECT_EQ(label_markup(view_->title_label), numbered_title_line(1));

    // A new 5000 ms source replaced the old one.
    const guint second = view_->timer_id;
    EXPECT_NE(second, first);
    EXPECT_FALSE(source_pending(first));
    GSource *source = g_main_context_find_source_by_id(nullptr, second);
    ASSERT_NE(source, nullptr);
    const gint64 due_in_ms = (g_source_get_ready_time(source) - g_get_monotonic_time()) / 1000;
    EXPECT_GT(due_in_ms, 4500);
    EXPECT_LE(due_in_ms, 5000);

    release_on(view_->down_button, 10, 10);
    EXPECT_EQ(current_index, 0);
    EXPECT_FALSE(source_pending(second));
    EXPECT_TRUE(source_pending(view_->timer_id));
}

TEST_F(CarouselTest, PointerLeavingAnArrowStepsOnlyFromInsideItsArea) {
    show_items(numbered_items(3), TRUE);
    const guint timer = view_->timer_id;
    send_event(view_->down_button, GDK_BUTTON_PRESS, 30, 30);
    ASSERT_TRUE(button_pressed);

    // The finger slides off: the normal look returns, nothing steps.
    send_event(view_->down_button, GDK_LEAVE_NOTIFY, 70, 30);
    EXPECT_FALSE(button_pressed);
    send_event(view_->down_button, GDK_BUTTON_RELEASE, 70, 30);
    send_event(view_->up_button, GDK_LEAVE_NOTIFY, -3, 10);
    send_event(view_->up_button, GDK_LEAVE_NOTIFY, 30, 70);
    EXPECT_EQ(current_index, 0);
    EXPECT_EQ(view_->timer_id, timer);

    // A leave whose position lies inside the button, edges included, steps as a
    // release there does and restarts the period.
    send_event(view_->down_button, GDK_BUTTON_PRESS, 30, 30);
    send_event(view_->down_button, GDK_LEAVE_NOTIFY, 30, 30);
    EXPECT_FALSE(button_pressed);
    EXPECT_EQ(current_index, 1);
    EXPECT_NE(view_->timer_id, timer);
    send_event(view_->up_button, GDK_LEAVE_NOTIFY, 68, 69);
    send_event(view_->up_button, GDK_LEAVE_NOTIFY, 0, 0);
    EXPECT_EQ(current_index, 2);
    EXPECT_EQ(label_markup(view_->title_label), numbered_title_line(3));
    EXPECT_TRUE(source_pending(view_->timer_id));
}

TEST_F(CarouselTest, RefreshKeepsThePositionWhereTheNewListAllowsIt) {
    show_items(numbered_items(5));
    current_index = 4;
    show_current_item(view_);
    refresh(view_, settings_, numbered_items(3), FALSE);
    EXPECT_EQ(item_count, 3);
    EXPECT_EQ(current_index, 2);
    EXPECT_EQ(label_markup(view_->title_label), numbered_title_line(3));

    show_items(numbered_items(5));
    current_index = 1;
    show_current_item(view_);
    refresh(view_, settings_, numbered_items(3), FALSE);
    EXPECT_EQ(current_index, 1);
    EXPECT_EQ(label_markup(view_->title_label), numbered_title_line(2));

    // The same list again leaves the same item on screen.
    refresh(view_, settings_, numbered_items(3), FALSE);
    EXPECT_EQ(current_index, 1);
    EXPECT_EQ(stored_data->items->len, 3u);
}

TEST_F(CarouselTest, RefreshWithoutRestartLeavesThePendingTimerAlone) {
    show_items(numbered_items(3), TRUE);
    const guint timer = view_->timer_id;
    refresh(view_, settings_, numbered_items(4), FALSE);
    EXPECT_EQ(view_->timer_id, timer);
    EXPECT_TRUE(source_pending(timer));

    pause_scrolling(view_);
    refresh(view_, settings_, numbered_items(4), FALSE);
    EXPECT_EQ(view_->timer_id, 0u);
    refresh(view_, settings_, numbered_items(4), TRUE);
    EXPECT_TRUE(source_pending(view_->timer_id));
}

TEST_F(CarouselTest, ItemsArrivingDuringAMessageBuildTheItemLayoutOnTheFirstItem) {
    create_message_view(view_, settings_, "loading");
    clear_stored_data();
    current_index = 2;

    // An empty refresh changes nothing.
    refresh(view_, settings_, {}, TRUE);
    update_view(view_, settings_, nullptr, TRUE);
    EXPECT_TRUE(view_->message_shown);
    EXPECT_EQ(stored_data, nullptr);
    EXPECT_EQ(view_->timer_id, 0u);

    refresh(view_, settings_, numbered_items(3), FALSE);
    EXPECT_FALSE(view_->message_shown);
    EXPECT_EQ(current_index, 0);
    EXPECT_EQ(label_markup(view_->title_label), numbered_title_line(1));
    EXPECT_EQ(view_->timer_id, 0u);

    create_message_view(view_, settings_, "loading");
    refresh(view_, settings_, numbered_items(2), TRUE);
    EXPECT_FALSE(view_->message_shown);
    EXPECT_TRUE(source_pending(view_->timer_id));

    // An empty refresh leaves the shown items as they are.
    current_index = 1;
    refresh(view_, settings_, {}, FALSE);
    EXPECT_EQ(current_index, 1);
    EXPECT_EQ(item_count, 2);
    EXPECT_EQ(stored_data->items->len, 2u);
}

TEST_F(CarouselTest, RepeatedPauseAndRestartLeaveExactlyOneTimer) {
    show_items(numbered_items(3));
    std::vector<guint> ids;
    for (int round = 0; round < 5; ++round) {
        restart_scrolling(view_);
        ids.push_back(view_->timer_id);
        restart_scrolling(view_);
        ids.push_back(view_->timer_id);
        pause_scrolling(view_);
        EXPECT_EQ(view_->timer_id, 0u);
        pause_scrolling(view_);
        restart_scrolling(view_);
        ids.push_back(view_->timer_id);
    }
    for (size_t i = 0; i + 1 < ids.size(); ++i)
        EXPECT_FALSE(source_pending(ids[i])) << "timer " << i << " still pending";
    EXPECT_TRUE(source_pending(ids.back()));
    EXPECT_EQ(ids.back(), view_->timer_id);

    // No other source runs the carousel.
    remove_timeout(view_);
    EXPECT_EQ(g_main_context_find_source_by_user_data(nullptr, view_), nullptr);
}

TEST_F(CarouselTest, TimerIsRefusedWithoutAListOrWhileAMessageIsShown) {
    show_items(numbered_items(2), TRUE);
    create_message_view(view_, settings_, "loading");
    EXPECT_EQ(view_->timer_id, 0u);
    restart_scrolling(view_);
    EXPECT_EQ(view_->timer_id, 0u);

    create_item_view(view_, settings_);
    clear_stored_data();
    restart_scrolling(view_);
    EXPECT_EQ(view_->timer_id, 0u);
}

TEST_F(CarouselTest, NoItemsOrAStrayPositionNeverCrash) {
    show_items(numbered_items(3), TRUE);
    const guint timer = view_->timer_id;

    // The list dropped (settings saved) while the timer and buttons live on.
    clear_stored_data();
    EXPECT_TRUE(carousel_tick(view_));
    release_on(view_->down_button, 10, 10);
    release_on(view_->up_button, 10, 10);
    show_current_item(view_);
    send_event(view_->item_box, GDK_BUTTON_RELEASE, 10, 10);
    EXPECT_EQ(current_index, 0);
    EXPECT_TRUE(source_pending(timer));

    // An empty list with no count.
    stored_data = velmora_item_data_array_new();
    item_count = 0;
    EXPECT_TRUE(carousel_tick(view_));
    release_on(view_->up_button, 10, 10);

    // A position outside the list shows nothing and steps back into it.
    clear_stored_data();
    refresh(view_, settings_, numbered_items(3), FALSE);
    current_index = 7;
    show_current_item(view_);
    carousel_tick(view_);
    EXPECT_GE(current_index, 0);
    EXPECT_LT(current_index, 3);
    current_index = -4;
    show_current_item(view_);
    release_on(view_->up_button, 10, 10);
    EXPECT_GE(current_index, 0);
    EXPECT_LT(current_index, 3);
}

TEST_F(CarouselTest, CarouselKeepsItsOwnCopiesWithPicturesThatFitTheSquare) {
    std::vector<Item> items = numbered_items(7);
    items[0].image_path = write_picture("square.png", 100, 100, 0xff0000ff);
    items[0].store = "Store";
    items[0].price = "$1";
    items[0].time_saved = "2020-01-01 00:00:00";
    items[1].image_path = write_picture("wide.png", 200, 100, 0x00ff00ff);
    items[2].image_path = write_picture("small.png", 40, 30, 0x0000ffff);
    items[3].image_path = write_picture("huge.png", 5000, 2, 0x000000ff);
    const std::string broken = temp_dir() + "/broken.png";
    g_file_set_contents(broken.c_str(), "\x89PNG\r\n\x1a\nnot really", -1, nullptr);
    items[4].image_path = broken;
    items[5].image_path = temp_dir() + "/missing.png";
    items[6].image_path = temp_dir(); /* a directory */

    VelmoraItemDataArray *source = make_items(items);
    VelmoraItemData *first = g_array_index(source->items, VelmoraItemData *, 0);
    first->authors = g_strdup("Author");
    first->suggested_price = g_strdup("$2");
    create_item_view(view_, settings_);
    update_view(view_, settings_, source, FALSE);

    ASSERT_EQ(stored_data->items->len, 7u);
    VelmoraItemData *copy = stored(0);
    EXPECT_NE(copy, first);
    EXPECT_NE(copy->title, first->title);
    EXPECT_STREQ(copy->title, "Item 1");
    EXPECT_STREQ(copy->store, "Store");
    EXPECT_STREQ(copy->rank, "1");
    EXPECT_STREQ(copy->velmora_price, "$1");
    EXPECT_STREQ(copy->time_saved, "2020-01-01 00:00:00");
    EXPECT_STREQ(copy->authors, "Author");
    EXPECT_STREQ(copy->item_url, "http://127.0.0.1/item/1");
    EXPECT_STREQ(copy->image_path, first->image_path);
    EXPECT_EQ(copy->suggested_price, nullptr);
    velmora_item_data_array_free(source);

    ASSERT_NE(stored(0)->picture, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_width(stored(0)->picture), 100);
    EXPECT_EQ(gtk_image_get_pixbuf(GTK_IMAGE(view_->item_image)), stored(0)->picture);
    ASSERT_NE(stored(1)->picture, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_width(stored(1)->picture), 100);
    EXPECT_EQ(gdk_pixbuf_get_height(stored(1)->picture), 50);
    ASSERT_NE(stored(2)->picture, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_width(stored(2)->picture), 40);
    EXPECT_EQ(gdk_pixbuf_get_height(stored(2)->picture), 30);
    EXPECT_EQ(stored(3)->picture, nullptr);
    EXPECT_EQ(stored(4)->picture, nullptr);
    EXPECT_EQ(stored(5)->picture, nullptr);
    EXPECT_EQ(stored(6)->picture, nullptr);

    // An item without a picture, or whose picture does not decode, shows the
    // installed placeholder picture, the same one for each.
    GdkPixbuf *placeholder = nullptr;
    for (int index = 3; index <= 6; ++index) {
        SCOPED_TRACE(index);
        current_index = index;
        show_current_item(view_);
        GdkPixbuf *shown = gtk_image_get_pixbuf(GTK_IMAGE(view_->item_image));
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(gdk_pixbuf_get_width(shown), 100);
        EXPECT_EQ(gdk_pixbuf_get_height(shown), 100);
        if (placeholder == nullptr)
            placeholder = shown;
        EXPECT_EQ(shown, placeholder);
        EXPECT_EQ(label_markup(view_->title_label), numbered_title_line(index + 1));
    }
    // An item with a picture shows its own again.
    current_index = 0;
    show_current_item(view_);
    EXPECT_EQ(gtk_image_get_pixbuf(GTK_IMAGE(view_->item_image)), stored(0)->picture);
}

TEST_F(CarouselTest, RefreshDecodesOnlyPicturesOfNewOrChangedFiles) {
    std::vector<Item> items = numbered_items(3);
    items[0].image_path = write_picture("kept.png", 100, 100, 0xff0000ff);
    items[1].image_path = write_picture("replaced.png", 100, 100, 0x00ff00ff);
    items[2].image_path = write_picture("rewritten.png", 100, 100, 0x0000ffff);
    show_items(items);
    GdkPixbuf *kept = stored(0)->picture, *replaced = stored(1)->picture;
    ASSERT_NE(kept, nullptr);

    // The same list again takes every picture over, nothing is decoded.
    refresh(view_, settings_, items, FALSE);
    EXPECT_EQ(stored(0)->picture, kept);
    EXPECT_EQ(stored(1)->picture, replaced);

    // A new file under an old name (the cache's names restart after a clear)
    // and a file rewritten in place are decoded again.
    const std::string other = write_picture("other.png", 100, 100, 0x102030ff);
    ASSERT_EQ(g_rename(other.c_str(), items[1].image_path->c_str()), 0);
    GdkPixbuf *blue = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 60, 60);
    gdk_pixbuf_fill(blue, 0x0000ffff);
    gdk_pixbuf_save(blue, items[2].image_path->c_str(), "png", nullptr, nullptr);
    g_object_unref(blue);
    items.push_back({.title = "Item 4", .image_path = items[0].image_path});
    refresh(view_, settings_, items, FALSE);
    EXPECT_EQ(stored(0)->picture, kept);
    EXPECT_EQ(stored(3)->picture, kept); // two items, one file
    EXPECT_NE(stored(1)->picture, replaced);
    EXPECT_EQ(gdk_pixbuf_get_pixels(stored(1)->picture)[0], 0x10);
    EXPECT_EQ(gdk_pixbuf_get_width(stored(2)->picture), 60);

    // A removed file leaves its item without a picture, also later.
    g_remove(items[0].image_path->c_str());
    refresh(view_, settings_, items, FALSE);
    EXPECT_EQ(stored(0)->picture, nullptr);
    EXPECT_EQ(stored(3)->picture, nullptr);
}

} // namespace

namespace {

// Which of the stored records carry a picture.
std::vector<int> decoded(int count) {
    std::vector<int> with;
    for (int i = 0; i < count; ++i)
        if (g_array_index(stored_data->items, VelmoraItemData *, i)->picture)
            with.push_back(i);
    return with;
}

} // namespace

// Only the shown item and the two on either side keep their pictures: a step takes the
// pictures that stay in the window over, decodes the one that comes in and drops the
// one that leaves; a jump and a refresh fill the new window.
TEST_F(CarouselTest, OnlyTheShownItemAndItsNeighboursKeepTheirPictures) {
    std::vector<Item> items = numbered_items(20);
    for (int i = 0; i < 20; ++i)
        items[i].image_path = write_picture("window-" + std::to_string(i) + ".png", 10 + i, 10,
                                            0x10203000u + guint32(i));
    show_items(items);
    EXPECT_EQ(decoded(20), (std::vector<int>{0, 1, 2, 18, 19}));
    EXPECT_EQ(gtk_image_get_pixbuf(GTK_IMAGE(view_->item_image)), stored(0)->picture);
    GdkPixbuf *second = stored(1)->picture;

    release_on(view_->down_button, 34, 34);
    EXPECT_EQ(current_index, 1);
    EXPECT_EQ(decoded(20), (std::vector<int>{0, 1, 2, 3, 19}));
    EXPECT_EQ(stored(1)->picture, second) << "taken over, not decoded again";
    EXPECT_EQ(gdk_pixbuf_get_width(stored(3)->picture), 13);
    EXPECT_EQ(gtk_image_get_pixbuf(GTK_IMAGE(view_->item_image)), second);

    release_on(view_->up_button, 34, 34);
    release_on(view_->up_button, 34, 34);
    EXPECT_EQ(current_index, 19);
    EXPECT_EQ(decoded(20), (std::vector<int>{0, 1, 17, 18, 19}));
    EXPECT_EQ(gdk_pixbuf_get_width(stored(19)->picture), 29);

    current_index = 10;
    show_current_item(view_);
    EXPECT_EQ(decoded(20), (std::vector<int>{8, 9, 10, 11, 12}));
    EXPECT_EQ(gdk_pixbuf_get_width(gtk_image_get_pixbuf(GTK_IMAGE(view_->item_image))), 20);

    items.resize(3);
    refresh(view_, settings_, items, FALSE);
    EXPECT_EQ(current_index, 2);
    EXPECT_EQ(decoded(3), (std::vector<int>{0, 1, 2}));
}
