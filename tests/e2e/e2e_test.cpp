// SPDX-License-Identifier: LGPL-2.1-or-later
// e2e_test.cpp - the system end to end with the processes a user runs: the demo
// storefront on 127.0.0.1, the feed service daemon with the Velmora plug-in, and
// the home host showing the widget (all on the test's private session bus, GConf
// and Xvfb). A GTK module loaded into the host reports what the card shows and
// drives the real settings dialog. After start the card fills with the
// storefront's items; choosing "velmora.de" and another feed in the dialog brings
// that feed's German items. Screenshots of both states are checked for the
// region's logo and for text in the item area.
#include <gtest/gtest.h>

#include <gconf/gconf-client.h>
#include <gio/gio.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "child_process.h"
#include "file_helpers.h"
#include "feedserviceutils.h"
#include "storefront_server.h"
#include "velmora_contract.h"

namespace {

using test_support::read_file;

// What the card shows, as the driver module in the host reports it.
struct Card {
    bool message_shown = true;
    std::string message;
    std::string feed_title;
    std::string item_title;
};

class Driver {
  public:
    Driver() { bus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr); }
    ~Driver() {
        if (bus_ != nullptr)
            g_object_unref(bus_);
    }

    GVariant *call(const char *method, GVariant *args, const char *reply_type) {
        return g_dbus_connection_call_sync(
            bus_, "com.velmora.test.Driver", "/driver", "com.velmora.test.Driver", method, args,
            G_VARIANT_TYPE(reply_type), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    }

    bool describe(Card *card) {
        GVariant *reply = call("Describe", nullptr, "(bsss)");
        if (reply == nullptr)
            return false;
        gboolean shown = FALSE;
        const gchar *message = nullptr;
        const gchar *feed = nullptr;
        const gchar *title = nullptr;
        g_variant_get(reply, "(b&s&s&s)", &shown, &message, &feed, &title);
        *card = Card{shown != FALSE, message, feed, title};
        g_variant_unref(reply);
        return true;
    }

    bool ask(const char *method, GVariant *args) {
        GVariant *reply = call(method, args, "(b)");
        if (reply == nullptr)
            return false;
        gboolean ok = FALSE;
        g_variant_get(reply, "(b)", &ok);
        g_variant_unref(reply);
        return ok != FALSE;
    }

    // Polls the card until pred holds; the last card seen is left in *card.
    template <typename Pred> bool wait_for(Card *card, Pred pred, int timeout_ms) {
        const gint64 deadline = g_get_monotonic_time() + gint64(timeout_ms) * 1000;
        while (g_get_monotonic_time() < deadline) {
            if (describe(card) && pred(*card))
                return true;
            g_usleep(200 * 1000);
        }
        return false;
    }

  private:
    GDBusConnection *bus_ = nullptr;
};

// ---- Screenshot checks ----

// The share of the logo's opaque pixels that the shot shows in the logo's own
// colour where the card places it (centred in the top band of 396 by 60).
double logo_match(GdkPixbuf *shot, const std::string &logo_path) {
    GdkPixbuf *logo = gdk_pixbuf_new_from_file(logo_path.c_str(), nullptr);
    if (logo == nullptr || !gdk_pixbuf_get_has_alpha(logo))
        return -1;
    const int w = gdk_pixbuf_get_width(logo);
    const int h = gdk_pixbuf_get_height(logo);
    const int x0 = (396 - w) / 2;
    const int y0 = (60 - h) / 2;
    const int sn = gdk_pixbuf_get_n_channels(shot);
    long opaque = 0;
    long matching = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const guchar *l =
                gdk_pixbuf_get_pixels(logo) + y * gdk_pixbuf_get_rowstride(logo) + x * 4;
            if (l[3] != 255 || x0 + x < 0 || y0 + y < 0 || x0 + x >= gdk_pixbuf_get_width(shot) ||
                y0 + y >= gdk_pixbuf_get_height(shot))
                continue;
            const guchar *s = gdk_pixbuf_get_pixels(shot) +
                              (y0 + y) * gdk_pixbuf_get_rowstride(shot) + (x0 + x) * sn;
            ++opaque;
            if (std::abs(l[0] - s[0]) <= 12 && std::abs(l[1] - s[1]) <= 12 &&
                std::abs(l[2] - s[2]) <= 12)
                ++matching;
        }
    }
    g_object_unref(logo);
    return opaque > 0 ? double(matching) / double(opaque) : -1;
}

// Dark (text) pixels in the rectangle.
long ink_pixels(GdkPixbuf *shot, int x0, int y0, int w, int h) {
    const int n = gdk_pixbuf_get_n_channels(shot);
    long ink = 0;
    for (int y = y0; y < y0 + h && y < gdk_pixbuf_get_height(shot); ++y) {
        for (int x = x0; x < x0 + w && x < gdk_pixbuf_get_width(shot); ++x) {
            const guchar *p =
                gdk_pixbuf_get_pixels(shot) + y * gdk_pixbuf_get_rowstride(shot) + x * n;
            if (p[0] + p[1] + p[2] < 330)
                ++ink;
        }
    }
    return ink;
}

long differing_pixels(GdkPixbuf *a, GdkPixbuf *b, int x0, int y0, int w, int h) {
    const int n = gdk_pixbuf_get_n_channels(a);
    long differing = 0;
    for (int y = y0; y < y0 + h; ++y) {
        for (int x = x0; x < x0 + w; ++x) {
            const guchar *p = gdk_pixbuf_get_pixels(a) + y * gdk_pixbuf_get_rowstride(a) + x * n;
            const guchar *q = gdk_pixbuf_get_pixels(b) + y * gdk_pixbuf_get_rowstride(b) + x * n;
            if (p[0] != q[0] || p[1] != q[1] || p[2] != q[2])
                ++differing;
        }
    }
    return differing;
}

// The text of key in the region's section of the card's text catalogue.
std::string region_text(const std::string &data_dir, const char *region, const char *key) {
    QueryLoader *texts = query_loader_new((data_dir + "/" VELMORA_APPLET_TEXTS_FILE).c_str());
    gchar *text = query_loader_load_query_by_section(texts, region, key);
    std::string result = text != nullptr ? text : "";
    g_free(text);
    query_loader_free(texts);
    return result;
}

// The item's title as the card's title line shows it: after "<store> #<rank>: ",
// without the "…" that ends a title cut to fit the card (what is left is its start).
std::string title_of(const std::string &title_line) {
    const auto colon = title_line.find(": ");
    std::string title = colon == std::string::npos ? title_line : title_line.substr(colon + 2);
    const std::string ellipsis = "\u2026";
    if (title.size() > ellipsis.size() &&
        title.compare(title.size() - ellipsis.size(), ellipsis.size(), ellipsis) == 0)
        title.erase(title.size() - ellipsis.size());
    return title;
}

TEST(EndToEnd, CardFillsFromTheStorefrontAndFollowsTheSettingsDialog) {
    const std::string tmp = test_support::temp_dir();
    StorefrontServer storefront;
    const std::string &data_dir = storefront.data_dir();

    const std::vector<std::string> env = {"VELMORA_DATA_DIR=" + data_dir,
                                          std::string("FEEDSERVICE_PLUGIN_DIR=") +
                                              FEEDSERVICE_BUILD_PLUGIN_DIR};
    ChildProcess daemon({VELMORA_DAEMON_PATH}, env, tmp + "/daemon.log");
    std::vector<std::string> host_env = env;
    host_env.push_back(std::string("GTK_MODULES=") + VELMORA_E2E_DRIVER_MODULE);
    host_env.push_back(std::string("HD_HOME_GTKRC=") + VELMORA_PLATFORM_GTKRC);
    ChildProcess host({VELMORA_HOME_HOST_PATH, "--module-dir", VELMORA_WIDGET_MODULE_DIR,
                       VELMORA_WIDGET_DESKTOP_FILE},
                      host_env, tmp + "/host.log");

    Driver driver;
    Card card;
    ASSERT_TRUE(driver.wait_for(
        &card, [](const Card &) { return true; }, 15000))
        << read_file(tmp + "/host.log");

    // After start: the default storefront's best sellers.
    ASSERT_TRUE(driver.wait_for(
        &card, [](const Card &c) { return !c.message_shown && !c.item_title.empty(); }, 30000))
        << "card still shows: " << card.message << "\n"
        << read_file(tmp + "/daemon.log");
    EXPECT_EQ(card.feed_title, region_text(data_dir, VELMORA_REGION_US, VELMORA_DEFAULT_CATEGORY));
    EXPECT_TRUE(storefront.feed_has_title(VELMORA_REGION_US, VELMORA_DEFAULT_CATEGORY,
                                          title_of(card.item_title)))
        << card.item_title;
    const std::string us_shot = tmp + "/card-us.png";
    ASSERT_TRUE(driver.ask("Screenshot", g_variant_new("(s)", us_shot.c_str())));

    // The user picks the German storefront and its new releases in books.
    ASSERT_TRUE(driver.ask("OpenSettings", nullptr));
    ASSERT_TRUE(driver.ask("ChooseAndSave",
                           g_variant_new("(ss)", VELMORA_REGION_DE, "Hot New Releases in Books")));
    GConfClient *gconf = gconf_client_get_default();
    gchar *region = gconf_client_get_string(gconf, VELMORA_GCONF_REGION_KEY, nullptr);
    EXPECT_STREQ(region, VELMORA_REGION_DE);
    g_free(region);
    g_object_unref(gconf);

    const std::string german_title = region_text(data_dir, VELMORA_REGION_DE, "hotnew_books");
    ASSERT_FALSE(german_title.empty());
    ASSERT_TRUE(driver.wait_for(
        &card,
        [&](const Card &c) {
            return !c.message_shown && c.feed_title == german_title && !c.item_title.empty();
        },
        30000))
        << "card shows: " << card.message << card.feed_title << " / " << card.item_title;
    EXPECT_TRUE(
        storefront.feed_has_title(VELMORA_REGION_DE, "hotnew_books", title_of(card.item_title)))
        << card.item_title;
    const std::string de_shot = tmp + "/card-de.png";
    ASSERT_TRUE(driver.ask("Screenshot", g_variant_new("(s)", de_shot.c_str())));
    EXPECT_TRUE(host.running());

    // The screenshots: each shows its region's logo, and text in the item area.
    GdkPixbuf *us = gdk_pixbuf_new_from_file(us_shot.c_str(), nullptr);
    GdkPixbuf *de = gdk_pixbuf_new_from_file(de_shot.c_str(), nullptr);
    ASSERT_NE(us, nullptr);
    ASSERT_NE(de, nullptr);
    ASSERT_EQ(gdk_pixbuf_get_width(us), 396);
    ASSERT_EQ(gdk_pixbuf_get_height(us), 200);
    const std::string icons = data_dir + "/icons/";
    const double us_on_us = logo_match(us, icons + "VelmoraComHomepageLogo.png");
    const double de_on_us = logo_match(us, icons + "VelmoraDeHomepageLogo.png");
    const double de_on_de = logo_match(de, icons + "VelmoraDeHomepageLogo.png");
    const double us_on_de = logo_match(de, icons + "VelmoraComHomepageLogo.png");
    EXPECT_GT(us_on_us, 0.97);
    EXPECT_GT(de_on_de, 0.97);
    // The two logos share their word mark; the region part sets them apart.
    EXPECT_LT(de_on_us, 0.95);
    EXPECT_LT(us_on_de, 0.95);

    // Item text: the title line lies right of the 100 px picture, below the feed title.
    EXPECT_GT(ink_pixels(us, 116, 92, 202, 64), 150);
    EXPECT_GT(ink_pixels(de, 116, 92, 202, 64), 150);
    EXPECT_GT(differing_pixels(us, de, 116, 92, 202, 64), 100);
    g_object_unref(us);
    g_object_unref(de);
}

} // namespace
