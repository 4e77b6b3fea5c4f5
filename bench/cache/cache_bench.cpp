// SPDX-License-Identifier: LGPL-2.1-or-later
// What a second update run of an unchanged storefront moves, against the first: bytes the
// demo storefront on 127.0.0.1 sent (status lines, headers and bodies), HTTP requests, and
// the items and pictures stored. The two runs happen in fresh processes that share one
// HTTP cache directory, as an hourly daemon (or a restarted one) does. Prints figures;
// not a test. Needs GConf on a session bus: run it through tests/run-isolated.sh (run.sh).
#include "storefront_server.h"
#include "velmora_service_plugin.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include "velmora_contract.h"

namespace {

// Child: one update run; prints the items stored and how many have their picture file.
int one_run() {
    VelmoraServiceContext *context = init_plugin();
    execute_with_callback(context, nullptr, [](gpointer, gint32) {});
    VelmoraItemArray *items = load_velmora_items(context->database, context->queries);
    int pictures = 0;
    for (guint i = 0; i < items->items->len; ++i) {
        auto *item = g_array_index(items->items, VelmoraItem *, i);
        pictures +=
            item->image_path != nullptr && g_file_test(item->image_path, G_FILE_TEST_IS_REGULAR);
    }
    std::printf("%u %d\n", items->items->len, pictures);
    velmora_item_array_free(items);
    de_init_plugin(context);
    return 0;
}

struct Run {
    long bytes = 0;
    int requests = 0;
    int items = 0;
    int pictures = 0;
};

Run run_child(StorefrontServer &store, const std::string &self) {
    store.server().reset_counts();
    gchar *argv[] = {const_cast<gchar *>(self.c_str()), const_cast<gchar *>("--one-run"), nullptr};
    gchar *out = nullptr;
    gint status = 0;
    if (!g_spawn_sync(nullptr, argv, nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, &out, nullptr,
                      &status, nullptr) ||
        !g_spawn_check_wait_status(status, nullptr))
        std::fprintf(stderr, "the run's process failed\n");
    Run run;
    if (out)
        std::sscanf(out, "%d %d", &run.items, &run.pictures);
    g_free(out);
    run.bytes = store.server().bytes_sent();
    run.requests = store.server().request_count();
    return run;
}

void set_region(const std::string &region) {
    const std::string command =
        "gconftool-2 --type string --set " VELMORA_GCONF_DIR "/region " + region;
    if (!g_spawn_command_line_sync(command.c_str(), nullptr, nullptr, nullptr, nullptr))
        std::abort();
}

// Two runs of region's feed with a cache directory of their own; prints one line.
bool compare(StorefrontServer &store, const std::string &self, const std::string &region,
             const char *label) {
    set_region(region);
    const std::string cache = test_support::make_temp_dir("http-cache");
    g_setenv("XDG_CACHE_HOME", cache.c_str(), TRUE);
    const Run first = run_child(store, self);
    const Run second = run_child(store, self);
    const double ratio = first.bytes > 0 ? 100.0 * second.bytes / first.bytes : 0;
    std::printf("%-28s first run %8ld bytes, %3d requests, %3d items, %3d pictures\n", label,
                first.bytes, first.requests, first.items, first.pictures);
    std::printf("%-28s second run %7ld bytes, %3d requests, %3d items, %3d pictures -> %.2f %%"
                " of the first run's bytes\n",
                "", second.bytes, second.requests, second.items, second.pictures, ratio);
    const bool met = ratio <= 5.0 && second.requests == 1 + first.pictures &&
                     second.items == first.items && second.pictures == first.pictures;
    std::printf("%-28s target (at most 5 %%, 1 + pictures requests, same items and pictures): "
                "%s\n",
                "", met ? "met" : "NOT met");
    return met;
}

} // namespace

int main(int argc, char **argv) {
    if (argc > 1 && g_str_equal(argv[1], "--one-run"))
        return one_run();

    StorefrontServer store({"--bench-items", "100"});
    store.add_catalogue_section(
        "[bench.pictures]\nbestsellers=" + store.server().url("/bench/feed.xml") + "\n");
    g_setenv("VELMORA_DATA_DIR", store.data_dir().c_str(), TRUE);
    gchar *exe = g_file_read_link("/proc/self/exe", nullptr);
    const std::string self = exe ? exe : argv[0];
    g_free(exe);

    std::printf("Second update run of an unchanged storefront on 127.0.0.1 (bytes the server "
                "sent, headers included)\n");
    const bool demo =
        compare(store, self, VELMORA_REGION_US, VELMORA_REGION_US " " VELMORA_DEFAULT_CATEGORY);
    const bool bench = compare(store, self, "bench.pictures", "100 items, 100 pictures");
    return demo && bench ? 0 : 1;
}
