// SPDX-License-Identifier: LGPL-2.1-or-later
// first_card_bench.cpp - what the widget holds and how soon it shows its first card with
// 10, 1,000 and 10,000 stored rows, each with a picture file of its own (100 by 100 PNG):
// in a fresh process per count, the item reader reads the rows, the carousel takes them
// and the first card is drawn; printed are the time from the rows being read to the card
// drawn, and the process's resident memory then (and its peak). Prints figures; not a
// test. Needs GConf and a display: run it through tests/run-isolated.sh (see run.sh).
#include <gtk/gtk.h>
#include <glib/gstdio.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_store.h"
#include "bench_thumbnail.h"
#include "bench_timing.h"
#include "feedserviceutils.h"
#include "velmora_contract.h"
#include "velmora_view.h"

namespace {

constexpr int kDistinctPictures = 50;

// A figure of /proc/self/status ("VmRSS", "VmHWM") in MiB.
double status_mib(const char *name) {
    gchar *text = nullptr;
    if (!g_file_get_contents("/proc/self/status", &text, nullptr, nullptr))
        return -1;
    const std::string all = std::string("\n") + text;
    g_free(text);
    const size_t at = all.find(std::string("\n") + name + ":");
    return at == std::string::npos ? -1 : std::atof(all.c_str() + at + strlen(name) + 2) / 1024;
}

// count rows, each with a picture file of its own, where the widget's reader looks.
bool make_store(int count) {
    const std::string dir = std::string(g_get_home_dir()) + "/.feedservice/velmora";
    const std::string cache = dir + "/" VELMORA_STORE_IMAGE_CACHE_DIR;
    g_mkdir_with_parents(cache.c_str(), 0700);
    std::vector<std::string> pictures;
    for (int n = 0; n < kDistinctPictures; ++n) {
        const std::string path = cache + "/model-" + std::to_string(n) + ".png";
        bench::write_thumbnail(path, n);
        gchar *bytes = nullptr;
        gsize length = 0;
        g_file_get_contents(path.c_str(), &bytes, &length, nullptr);
        pictures.emplace_back(bytes ? bytes : "", length);
        g_free(bytes);
    }
    gchar *catalogue_path =
        g_build_filename(VELMORA_BUILD_DATA_DIR, VELMORA_PLUGIN_QUERIES_FILE, nullptr);
    QueryLoader *catalogue = query_loader_new(catalogue_path);
    g_free(catalogue_path);
    gchar *create_tables =
        catalogue ? query_loader_load_query(catalogue, "create_tables") : nullptr;
    query_loader_free(catalogue);
    if (!create_tables)
        return false;
    sqlite3 *db = nullptr;
    sqlite3_open((dir + "/" VELMORA_STORE_DATABASE_FILE).c_str(), &db);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    sqlite3_exec(db, create_tables, nullptr, nullptr, nullptr);
    g_free(create_tables);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (int n = 0; n < count; ++n) {
        const std::string path = cache + "/" + std::to_string(n + 1) + ".img";
        const std::string &bytes = pictures[n % kDistinctPictures];
        g_file_set_contents(path.c_str(), bytes.data(), bytes.size(), nullptr);
        bench::insert_item(db, n, path);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return true;
}

void drain() {
    while (gtk_events_pending())
        gtk_main_iteration();
}

// Child: the store, a widget, one read and the first card; prints
// "rows read_ms card_ms rss_mib peak_mib".
int one_count(int count) {
    if (!make_store(count))
        return 1;
    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    VelmoraView *view = initialize_view(window);
    VelmoraSettings *settings = initialize_settings();
    VelmoraDataUtils *reader = velmora_datautils_init();
    create_item_view(view, settings);
    gtk_widget_show_all(window);
    drain();

    const double start = bench::now();
    VelmoraItemDataArray *items = get_velmora_items(reader);
    const double read = bench::now();
    update_view(view, settings, items, FALSE);
    velmora_item_data_array_free(items);
    gdk_window_process_all_updates();
    drain();
    const double drawn = bench::now();
    std::printf("%u %.1f %.1f %.1f %.1f\n", stored_data ? stored_data->items->len : 0,
                (read - start) * 1e3, (drawn - read) * 1e3, status_mib("VmRSS"),
                status_mib("VmHWM"));

    gtk_widget_destroy(window);
    velmora_datautils_free(reader);
    de_initialize_view(view);
    deinitialize_settings(settings);
    return 0;
}

struct Figures {
    unsigned rows = 0;
    double read_ms = 0, card_ms = 0, rss = 0, peak = 0;
};

Figures run_child(const std::string &self, int count) {
    const std::string rows = std::to_string(count);
    const std::string home = std::string(g_getenv("HOME")) + "/first-card-" + rows;
    gchar **env = g_environ_setenv(g_get_environ(), "HOME", home.c_str(), TRUE);
    gchar *argv[] = {const_cast<gchar *>(self.c_str()), const_cast<gchar *>("--rows"),
                     const_cast<gchar *>(rows.c_str()), nullptr};
    gchar *out = nullptr;
    gint status = 0;
    Figures figures;
    if (g_spawn_sync(nullptr, argv, env, G_SPAWN_DEFAULT, nullptr, nullptr, &out, nullptr, &status,
                     nullptr) &&
        g_spawn_check_wait_status(status, nullptr) && out)
        std::sscanf(out, "%u %lf %lf %lf %lf", &figures.rows, &figures.read_ms, &figures.card_ms,
                    &figures.rss, &figures.peak);
    else
        std::fprintf(stderr, "the widget's process for %d rows failed\n", count);
    g_free(out);
    g_strfreev(env);
    return figures;
}

} // namespace

int main(int argc, char **argv) {
    gtk_init(&argc, &argv);
    if (argc > 2 && g_str_equal(argv[1], "--rows"))
        return one_count(std::atoi(argv[2]));
    gchar *exe = g_file_read_link("/proc/self/exe", nullptr);
    const std::string self = exe ? exe : argv[0];
    g_free(exe);

    std::printf("The widget's first card: rows read by the item reader, taken by the carousel "
                "and drawn\n(each row with a 100x100 PNG file of its own; a fresh process per "
                "count)\n\n");
    std::printf("%7s %12s %22s %10s %10s %16s\n", "rows", "read (ms)", "read to card (ms)",
                "RSS (MiB)", "peak (MiB)", "RSS - 10 rows");
    double base = 0;
    bool met = true;
    for (int count : {10, 1000, 10000}) {
        const Figures f = run_child(self, count);
        if (count == 10)
            base = f.rss;
        std::printf("%7u %12.1f %22.1f %10.1f %10.1f %16.1f\n", f.rows, f.read_ms, f.card_ms, f.rss,
                    f.peak, f.rss - base);
        met = met && f.rows == unsigned(count) && f.card_ms <= 300 &&
              (count != 10000 || f.rss - base <= 40);
    }
    std::printf("\nTargets: at 10,000 rows at most 40 MiB more than at 10, the first card within "
                "300 ms of the rows being read: %s\n",
                met ? "met" : "NOT met");
    return met ? 0 : 1;
}
