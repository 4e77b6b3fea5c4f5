// SPDX-License-Identifier: LGPL-2.1-or-later
// pass_bench.cpp - what a whole update pass costs the desktop process: a writer thread
// stores N items one by one into the item database, each with its own freshly cached
// 100 by 100 picture, and after each item posts a "one item stored" status to the main
// loop, a status every 3 ms as on loopback. The main thread reacts as the widget
// does (read the rows with the item reader, refresh the carousel), either at every
// status or folded by the widget's refresh fold; its CPU time is measured alone
// (CLOCK_THREAD_CPUTIME_ID), against the CPU of one full refresh of the final N items
// from nothing. Then, at N items with N - 1 pictures already shown, the time of one
// refresh beyond decoding the newly arrived picture. Prints figures; not a test.
// Needs GConf and a display: run it through tests/run-isolated.sh (see run.sh).
#include <gtk/gtk.h>
#include <glib/gstdio.h>
#include <sqlite3.h>

#include <atomic>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "bench_store.h"
#include "bench_thumbnail.h"
#include "bench_timing.h"
#include "feedserviceutils.h"
#include "velmora_refresh_fold.h"
#include "velmora_view.h"
#include "velmora_contract.h"

namespace {

using bench::median;

double thread_cpu_ms() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// A picture written beside its name and renamed into place, as the cache does.
void write_thumbnail(const std::string &path, int n) {
    const std::string temporary = path + ".part";
    bench::write_thumbnail(temporary, n);
    g_rename(temporary.c_str(), path.c_str());
}

// The item database and picture cache where the widget's reader looks for them.
struct Store {
    Store() {
        dir = std::string(g_get_home_dir()) + "/.feedservice/velmora";
        cache = dir + "/" VELMORA_STORE_IMAGE_CACHE_DIR;
        g_mkdir_with_parents(cache.c_str(), 0700);
        gchar *catalogue_path =
            g_build_filename(VELMORA_BUILD_DATA_DIR, VELMORA_PLUGIN_QUERIES_FILE, nullptr);
        QueryLoader *catalogue = query_loader_new(catalogue_path);
        g_free(catalogue_path);
        create_tables = catalogue ? query_loader_load_query(catalogue, "create_tables") : nullptr;
        query_loader_free(catalogue);
    }
    ~Store() { g_free(create_tables); }

    // Empties the database and the cache, as a run does before it stores items.
    void clear() {
        sqlite3 *db = open();
        sqlite3_exec(db, "DELETE FROM velmora_items; DELETE FROM velmora_images;", nullptr, nullptr,
                     nullptr);
        sqlite3_close(db);
        if (GDir *files = g_dir_open(cache.c_str(), 0, nullptr)) {
            while (const gchar *name = g_dir_read_name(files))
                g_remove((cache + "/" + name).c_str());
            g_dir_close(files);
        }
    }

    sqlite3 *open() {
        sqlite3 *db = nullptr;
        sqlite3_open((dir + "/" VELMORA_STORE_DATABASE_FILE).c_str(), &db);
        sqlite3_busy_timeout(db, 5000);
        sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        if (create_tables)
            sqlite3_exec(db, create_tables, nullptr, nullptr, nullptr);
        return db;
    }

    // Item n with its picture row and its cached picture, as the plug-in stores them.
    void store_item(sqlite3 *db, int n) {
        const std::string picture = cache + "/" + std::to_string(n + 1) + ".img";
        write_thumbnail(picture, n);
        bench::insert_item(db, n, picture);
    }

    std::string dir, cache;
    gchar *create_tables = nullptr;
};

struct Widget {
    GtkWidget *window = nullptr;
    VelmoraView *view = nullptr;
    VelmoraSettings *settings = nullptr;
    VelmoraDataUtils *reader = nullptr;
    int refreshes = 0;

    void refresh(gboolean restart) {
        VelmoraItemDataArray *items = get_velmora_items(reader);
        update_view(view, settings, items, restart);
        velmora_item_data_array_free(items);
        ++refreshes;
    }
};

enum class Mode { EveryStatus, Folded };

struct Pass {
    Widget *widget;
    RefreshFold *fold;
    Mode mode;
    std::atomic<int> posted{0};
    int handled = 0;
};

gboolean on_status(gpointer data) {
    auto *pass = static_cast<Pass *>(data);
    ++pass->handled;
    if (pass->mode == Mode::EveryStatus)
        pass->widget->refresh(FALSE);
    else
        pass->fold->request(FALSE);
    return G_SOURCE_REMOVE;
}

void refresh_by_fold(gboolean restart, gpointer data) {
    static_cast<Widget *>(data)->refresh(restart);
}

// CPU ms of the main thread for a pass of count items (count + 1 statuses: the
// pass's last status comes after its last item, as the end of the parse does).
double run_pass(Widget &widget, Store &store, int count, Mode mode, int *refreshes) {
    store.clear();
    clear_stored_data();
    stored_data = velmora_item_data_array_new();
    RefreshFold fold(refresh_by_fold, &widget);
    Pass pass{&widget, &fold, mode};
    widget.refreshes = 0;

    const double cpu_start = thread_cpu_ms();
    std::thread writer([&] {
        sqlite3 *db = store.open();
        for (int i = 0; i <= count; ++i) {
            if (i < count)
                store.store_item(db, i);
            g_usleep(3000);
            ++pass.posted;
            g_main_context_invoke(nullptr, on_status, &pass);
        }
        sqlite3_close(db);
    });
    while (!(pass.handled == count + 1 && pass.posted == count + 1 && !fold.pending()))
        g_main_context_iteration(nullptr, TRUE);
    writer.join();
    while (gtk_events_pending())
        gtk_main_iteration();
    const double cpu = thread_cpu_ms() - cpu_start;
    *refreshes = widget.refreshes;
    return cpu;
}

// CPU ms of one refresh of the stored items with no picture decoded before.
double full_refresh(Widget &widget) {
    clear_stored_data();
    stored_data = velmora_item_data_array_new();
    const double start = thread_cpu_ms();
    widget.refresh(FALSE);
    while (gtk_events_pending())
        gtk_main_iteration();
    return thread_cpu_ms() - start;
}

// Wall ms of one refresh of count items of which count - 1 were shown before, minus
// decoding the new picture alone; the median of some rounds.
double refresh_beyond_decode(Widget &widget, Store &store, int count) {
    std::vector<double> beyond;
    for (int round = 0; round < 9; ++round) {
        store.clear();
        sqlite3 *db = store.open();
        for (int i = 0; i < count - 1; ++i)
            store.store_item(db, i);
        clear_stored_data();
        stored_data = velmora_item_data_array_new();
        widget.refresh(FALSE);
        store.store_item(db, count - 1);
        sqlite3_close(db);
        while (gtk_events_pending())
            gtk_main_iteration();

        const double start = bench::now();
        widget.refresh(FALSE);
        const double refreshed = (bench::now() - start) * 1e3;
        const std::string picture = store.cache + "/" + std::to_string(count) + ".img";
        const double decode_start = bench::now();
        GdkPixbuf *decoded = gdk_pixbuf_new_from_file(picture.c_str(), nullptr);
        const double decoded_ms = (bench::now() - decode_start) * 1e3;
        if (decoded)
            g_object_unref(decoded);
        beyond.push_back(refreshed - decoded_ms);
        while (gtk_events_pending())
            gtk_main_iteration();
    }
    return median(beyond);
}

} // namespace

int main(int argc, char **argv) {
    gtk_init(&argc, &argv);
    Store store;
    if (!store.create_tables) {
        std::fprintf(stderr, "no catalogue in %s (build the velmora_data target)\n",
                     VELMORA_BUILD_DATA_DIR);
        return 1;
    }
    sqlite3_close(store.open());

    Widget widget;
    widget.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    widget.view = initialize_view(widget.window);
    widget.settings = initialize_settings();
    widget.reader = velmora_datautils_init();
    create_item_view(widget.view, widget.settings);
    gtk_widget_show_all(widget.window);
    while (gtk_events_pending())
        gtk_main_iteration();

    std::printf("A whole pass as the desktop process sees it: N items stored one by one, a "
                "status every 3 ms,\neach picture arriving with its item; main-thread CPU "
                "against one full refresh of the final N items.\n\n");
    std::printf("%6s %-13s %9s %10s %14s %18s %7s %21s\n", "items", "refreshing", "statuses",
                "refreshes", "pass CPU (ms)", "full refresh (ms)", "ratio",
                "refresh - decode (ms)");
    /* Item counts may be given on the command line, each optionally suffixed by
     * ":folded" to leave out refreshing at every status (N² decodes in old builds). */
    std::vector<std::pair<int, bool>> counts = {{10, true}, {100, true}, {1000, true}};
    if (argc > 1) {
        counts.clear();
        for (int i = 1; i < argc; ++i)
            counts.emplace_back(atoi(argv[i]), !g_str_has_suffix(argv[i], ":folded"));
    }
    for (const auto &[count, every_status] : counts) {
        for (Mode mode : {Mode::EveryStatus, Mode::Folded}) {
            if (mode == Mode::EveryStatus && !every_status)
                continue;
            int refreshes = 0;
            const double pass_cpu = run_pass(widget, store, count, mode, &refreshes);
            std::vector<double> full;
            for (int round = 0; round < 5; ++round)
                full.push_back(full_refresh(widget));
            const double beyond =
                mode == Mode::Folded ? refresh_beyond_decode(widget, store, count) : -1;
            char beyond_text[32] = "";
            if (beyond >= 0)
                std::snprintf(beyond_text, sizeof beyond_text, "%.3f", beyond);
            std::printf("%6d %-13s %9d %10d %14.1f %18.2f %7.2f %21s\n", count,
                        mode == Mode::EveryStatus ? "every status" : "folded", count + 1, refreshes,
                        pass_cpu, median(full), pass_cpu / median(full), beyond_text);
        }
    }
    std::printf("\nTargets: folded pass CPU <= 3 x one full refresh at N = 100; one refresh at "
                "N = 100 beyond decoding its new picture <= 5 ms.\n");

    gtk_widget_destroy(widget.window);
    velmora_datautils_free(widget.reader);
    de_initialize_view(widget.view);
    deinitialize_settings(widget.settings);
    return 0;
}
