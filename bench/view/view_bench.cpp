// SPDX-License-Identifier: LGPL-2.1-or-later
// view_bench.cpp - what one carousel refresh costs: update_view with N items whose
// pictures are cached 100 by 100 PNG files, against bare gdk_pixbuf_new_from_file
// of the same N files in the same run. Every refresh reloads every picture, so the
// decoding is the floor; the ratio shows what the refresh adds on top of it.
#include <gtk/gtk.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_thumbnail.h"
#include "bench_timing.h"
#include "velmora_view.h"

namespace {

using bench::median;
using bench::now; // seconds; the figures are in milliseconds

// Picture number n in dir.
std::string write_thumbnail(const std::string &dir, int n) {
    const std::string path = dir + "/thumb-" + std::to_string(n) + ".png";
    bench::write_thumbnail(path, n);
    return path;
}

// Items with the given pictures, or without any when paths holds empty texts.
VelmoraItemDataArray *make_items(const std::vector<std::string> &paths) {
    VelmoraItemDataArray *items = velmora_item_data_array_new();
    for (size_t i = 0; i < paths.size(); ++i) {
        VelmoraItemData *item = velmora_item_data_new();
        item->image_path = paths[i].empty() ? nullptr : g_strdup(paths[i].c_str());
        item->title = g_strdup_printf("A best-selling item with a title of ordinary length %zu", i);
        item->item_url = g_strdup_printf("https://www.velmora.com/dp/%08zu?tag=velmorawidg-20", i);
        item->authors = g_strdup("An Author, Another Author");
        item->suggested_price = g_strdup("$24.99");
        item->velmora_price = g_strdup("$17.49");
        item->time_saved = g_strdup("2030-01-01 00:00:00");
        item->store = g_strdup("Books");
        item->rank = g_strdup_printf("%zu", i + 1);
        g_array_append_val(items->items, item);
    }
    return items;
}

} // namespace

int main(int argc, char **argv) {
    gtk_init(&argc, &argv);
    const char *tmp = g_getenv("VELMORA_TEST_TMP");
    const std::string dir = std::string(tmp && *tmp ? tmp : g_get_tmp_dir()) + "/view-bench";
    g_mkdir_with_parents(dir.c_str(), 0700);

    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    VelmoraView *view = initialize_view(window);
    VelmoraSettings *settings = initialize_settings();
    create_item_view(view, settings);
    gtk_widget_show_all(window);
    while (gtk_events_pending())
        gtk_main_iteration();

    std::printf("One carousel refresh (update_view) against bare gdk_pixbuf_new_from_file of the "
                "same pictures\n(100x100 PNG thumbnails; medians of the rounds, the ratio as the "
                "median of each round's\n"
                "refresh over its decoding, which ran just before or after it):\n\n");
    std::printf("%6s %8s %14s %14s %8s %22s\n", "items", "rounds", "refresh (ms)", "decode (ms)",
                "ratio", "refresh, no pictures");
    for (int count : {10, 25, 100}) {
        std::vector<std::string> paths;
        for (int i = 0; i < count; ++i)
            paths.push_back(write_thumbnail(dir, i));
        VelmoraItemDataArray *items = make_items(paths);
        VelmoraItemDataArray *bare_items = make_items(std::vector<std::string>(paths.size()));
        const int rounds = count >= 100 ? 60 : 200;

        const auto decode_all = [&] {
            const double start = now();
            for (const std::string &path : paths) {
                GdkPixbuf *picture = gdk_pixbuf_new_from_file(path.c_str(), nullptr);
                if (picture)
                    g_object_unref(picture);
            }
            return (now() - start) * 1e3;
        };
        const auto refresh_with = [&](VelmoraItemDataArray *list) {
            const double start = now();
            update_view(view, settings, list, FALSE);
            const double spent = (now() - start) * 1e3;
            /* The screen is drawn between refreshes, as on the desktop. */
            while (gtk_events_pending())
                gtk_main_iteration();
            return spent;
        };

        /* Whatever runs right after drawing finds colder caches, so the order of
         * decoding and refreshing alternates from round to round. */
        std::vector<double> refresh, decode, bare_refresh, ratios;
        for (int round = -5; round < rounds; ++round) { /* five warm-up rounds */
            double decoded, refreshed;
            if (round % 2 == 0) {
                decoded = decode_all();
                refreshed = refresh_with(items);
            } else {
                refreshed = refresh_with(items);
                decoded = decode_all();
            }
            const double bare_refreshed = refresh_with(bare_items);
            if (round >= 0) {
                decode.push_back(decoded);
                refresh.push_back(refreshed);
                bare_refresh.push_back(bare_refreshed);
                ratios.push_back(refreshed / decoded);
            }
        }
        std::printf("%6d %8d %14.3f %14.3f %8.2f %22.3f\n", count, rounds, median(refresh),
                    median(decode), median(ratios), median(bare_refresh));
        velmora_item_data_array_free(items);
        velmora_item_data_array_free(bare_items);
    }

    gtk_widget_destroy(window);
    de_initialize_view(view);
    deinitialize_settings(settings);
    return 0;
}
