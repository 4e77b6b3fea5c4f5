// SPDX-License-Identifier: LGPL-2.1-or-later
// view_test_support.h - the card and the carousel driven in-process under Xvfb: a
// plain GtkWindow stands in for the widget, items are VelmoraItemData records
// with pictures written to disk, events are synthesized, and the realized window
// is read back as a picture. Header-only; links with the widget library.
#ifndef VELMORA_VIEW_TEST_SUPPORT_H
#define VELMORA_VIEW_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <optional>
#include <functional>
#include <string>
#include <vector>

#include "file_helpers.h"
#include "main_loop.h"
#include "velmora_view.h"
#include "velmora_view_internal.h"
#include "velmora_contract.h"

namespace view_test {

using test_support::run_until;
using test_support::temp_dir;

inline std::string build_data_path(const std::string &file) {
    return std::string(VELMORA_BUILD_DATA_DIR) + "/" + file;
}

// A PNG of one colour at path.
inline std::string write_picture(const std::string &name, int width, int height, guint32 rgba) {
    const std::string path = temp_dir() + "/" + name;
    GdkPixbuf *pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, width, height);
    gdk_pixbuf_fill(pixbuf, rgba);
    gdk_pixbuf_save(pixbuf, path.c_str(), "png", nullptr, nullptr);
    g_object_unref(pixbuf);
    return path;
}

// The time `seconds_ago` seconds before now, as ISO 8601 text.
inline std::string iso_time(gint64 seconds_ago, const char *format = "%Y-%m-%d %H:%M:%S") {
    GDateTime *time =
        g_date_time_new_from_unix_utc(g_get_real_time() / G_USEC_PER_SEC - seconds_ago);
    gchar *text = g_date_time_format(time, format);
    std::string result = text;
    g_free(text);
    g_date_time_unref(time);
    return result;
}

using Text = std::optional<std::string>;

struct Item {
    Text title{}, store{}, rank{}, price{}, time_saved{}, image_path{}, item_url{};
};

inline gchar *dup(const Text &text) {
    return text ? g_strdup(text->c_str()) : nullptr;
}

inline VelmoraItemDataArray *make_items(const std::vector<Item> &items) {
    VelmoraItemDataArray *array = velmora_item_data_array_new();
    for (const Item &item : items) {
        VelmoraItemData *data = velmora_item_data_new();
        data->title = dup(item.title);
        data->store = dup(item.store);
        data->rank = dup(item.rank);
        data->velmora_price = dup(item.price);
        data->time_saved = dup(item.time_saved);
        data->image_path = dup(item.image_path);
        data->item_url = dup(item.item_url);
        g_array_append_val(array->items, data);
    }
    return array;
}

// count items titled "Item 1" ... with ranks "1" ... and links to
// http://127.0.0.1/item/<n>.
inline std::vector<Item> numbered_items(int count) {
    std::vector<Item> items(count);
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i + 1);
        items[i].title = "Item " + n;
        items[i].rank = n;
        items[i].item_url = "http://127.0.0.1/item/" + n;
    }
    return items;
}

// The title line that the card shows for numbered item n (no store).
inline std::string numbered_title_line(int n) {
    const std::string text = std::to_string(n);
    return "<span foreground=\"black\">#" + text + ": </span><span underline=\"single\">Item " +
           text + "</span>";
}

// Hands the records to update_view and frees them, as the widget does.
inline void refresh(VelmoraView *view, VelmoraSettings *settings, const std::vector<Item> &items,
                    gboolean restart) {
    VelmoraItemDataArray *array = make_items(items);
    update_view(view, settings, array, restart);
    velmora_item_data_array_free(array);
}

inline std::string label_markup(GtkWidget *label) {
    return label ? gtk_label_get_label(GTK_LABEL(label)) : "";
}

// Delivers a synthesized button or crossing event to widget, at (x, y) in the
// widget's own coordinates; returns whether a handler took it.
inline gboolean send_event(GtkWidget *widget, GdkEventType type, double x, double y) {
    // A layout built since the last iteration is sized (which may wait for the X
    // server to configure the window) and realized first.
    run_until([widget] { return widget->allocation.width > 1 && widget->window; });
    while (gtk_events_pending())
        gtk_main_iteration();
    GdkEvent *event = gdk_event_new(type);
    GdkWindow *window = widget->window;
    if (type == GDK_ENTER_NOTIFY || type == GDK_LEAVE_NOTIFY) {
        event->crossing.window = GDK_WINDOW(g_object_ref(window));
        event->crossing.x = x;
        event->crossing.y = y;
        event->crossing.time = GDK_CURRENT_TIME;
        event->crossing.mode = GDK_CROSSING_NORMAL;
        event->crossing.detail = GDK_NOTIFY_ANCESTOR;
    } else {
        event->button.window = GDK_WINDOW(g_object_ref(window));
        event->button.x = x;
        event->button.y = y;
        event->button.button = 1;
        event->button.time = GDK_CURRENT_TIME;
    }
    const gboolean handled = gtk_widget_event(widget, event);
    gdk_event_free(event);
    return handled;
}

struct Rgb {
    int r, g, b;
};

inline std::ostream &operator<<(std::ostream &out, const Rgb &c) {
    return out << "(" << c.r << "," << c.g << "," << c.b << ")";
}

inline bool near(const Rgb &a, const Rgb &b, int tolerance = 3) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

// The dark red of the card's prices.
inline bool dark_red(const Rgb &c) {
    return c.r > c.g + 50 && c.r > c.b + 50 && c.r < 200;
}

// A picture read from a file or the screen, with pixel access.
class Picture {
  public:
    explicit Picture(GdkPixbuf *pixbuf = nullptr) : pixbuf_(pixbuf) {}
    static Picture from_file(const std::string &path) {
        return Picture(gdk_pixbuf_new_from_file(path.c_str(), nullptr));
    }
    Picture(Picture &&other) noexcept : pixbuf_(other.pixbuf_) { other.pixbuf_ = nullptr; }
    Picture &operator=(Picture &&other) noexcept {
        std::swap(pixbuf_, other.pixbuf_);
        return *this;
    }
    Picture(const Picture &) = delete;
    ~Picture() {
        if (pixbuf_)
            g_object_unref(pixbuf_);
    }
    bool valid() const { return pixbuf_ != nullptr; }
    int width() const { return gdk_pixbuf_get_width(pixbuf_); }
    int height() const { return gdk_pixbuf_get_height(pixbuf_); }
    int alpha(int x, int y) const {
        return gdk_pixbuf_get_has_alpha(pixbuf_) ? pixel(x, y)[3] : 255;
    }
    // The colour as a translucent pixel reaches the screen when nothing lies below
    // and nothing composites: premultiplied by its alpha.
    Rgb at(int x, int y) const {
        const guchar *p = pixel(x, y);
        const int a = alpha(x, y);
        return Rgb{(p[0] * a + 127) / 255, (p[1] * a + 127) / 255, (p[2] * a + 127) / 255};
    }

  private:
    const guchar *pixel(int x, int y) const {
        return gdk_pixbuf_get_pixels(pixbuf_) + y * gdk_pixbuf_get_rowstride(pixbuf_) +
               x * gdk_pixbuf_get_n_channels(pixbuf_);
    }
    GdkPixbuf *pixbuf_;
};

// The card: a shown top-level window as the widget, a view on it, the settings
// tables, and the carousel's module state reset around every test.
class CardTest : public ::testing::Test {
  protected:
    // Counts pixels of the area that satisfy pred.
    static int count(const Picture &screen, int x0, int y0, int x1, int y1,
                     const std::function<bool(const Rgb &)> &pred) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                n += pred(screen.at(x, y));
        return n;
    }

    static void SetUpTestSuite() {
        static bool initialised = false;
        if (!initialised) {
            // The desktop theme's logical fonts, as the home host has them.
            gtk_rc_add_default_file(VELMORA_PLATFORM_GTKRC);
            gtk_init(nullptr, nullptr);
            initialised = true;
        }
        // Nothing outside the test may be started in place of the browser.
        g_setenv("OSSO_BROWSER_FALLBACK", "/bin/true", TRUE);
    }

    void SetUp() override {
        store_region_to_gconf(VELMORA_REGION_US);
        store_categories_to_gconf(VELMORA_DEFAULT_CATEGORY);
        settings_ = initialize_settings();
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_move(GTK_WINDOW(window_), 0, 0);
        view_ = initialize_view(window_);
        current_index = 0;
        item_count = 0;
        button_pressed = FALSE;
    }

    void TearDown() override {
        gtk_widget_destroy(window_);
        de_initialize_view(view_);
        deinitialize_settings(settings_);
        current_index = 0;
        item_count = 0;
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
    }

    // Shows the window and waits until it is on the screen with every child drawn.
    void show_and_draw() {
        gtk_widget_show_all(window_);
        ASSERT_TRUE(
            run_until([&] { return window_->window && gdk_window_is_viewable(window_->window); }));
        redraw();
    }

    void redraw() {
        // A layout built meanwhile may wait for the X server to configure the window.
        run_until([&] {
            GtkWidget *child = gtk_bin_get_child(GTK_BIN(window_));
            return !child || child->allocation.width > 1;
        });
        gdk_window_invalidate_rect(window_->window, nullptr, TRUE);
        gdk_window_process_all_updates();
        gdk_flush();
        run_until([] { return !gtk_events_pending(); }, 1000);
        gdk_window_process_all_updates();
        gdk_flush();
    }

    // The window's pixels as the X server holds them. With VELMORA_SCREENSHOT_DIR
    // set, each is also saved there, named after the test, for a look by eye.
    Picture screenshot() {
        GdkPixbuf *pixels =
            gdk_pixbuf_get_from_drawable(nullptr, window_->window, nullptr, 0, 0, 0, 0, 396, 200);
        const char *dir = g_getenv("VELMORA_SCREENSHOT_DIR");
        if (pixels && dir && *dir) {
            const std::string path =
                std::string(dir) + "/" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                std::to_string(++screenshots_) + ".png";
            gdk_pixbuf_save(pixels, path.c_str(), "png", nullptr, nullptr);
        }
        return Picture(pixels);
    }

    // Shows items in the item layout (the widget's start with stored items).
    void show_items(const std::vector<Item> &items, gboolean restart = FALSE) {
        create_item_view(view_, settings_);
        refresh(view_, settings_, items, restart);
    }

    VelmoraItemData *stored(int index) {
        return g_array_index(stored_data->items, VelmoraItemData *, index);
    }

    GtkWidget *window_ = nullptr;
    VelmoraView *view_ = nullptr;
    VelmoraSettings *settings_ = nullptr;
    int screenshots_ = 0;
};

} // namespace view_test

#endif // VELMORA_VIEW_TEST_SUPPORT_H
