// SPDX-License-Identifier: LGPL-2.1-or-later
// What a second update run moves and writes, against the first: bytes the demo storefront
// on 127.0.0.1 sent (status lines, headers and bodies), HTTP requests, the bytes the run's
// process wrote (/proc/self/io: write_bytes, what reached the page cache for the disk, and
// wchar, what the write calls handed over), the items and pictures stored, and the bytes
// of every file under the store and the HTTP cache against the pictures and the database.
// Second runs, with the stored rows' time an hour older: the storefront unchanged, and with every
// tenth item another product; each also with the utilities library's conditional requests switched
// off (as a library that never asks "changed since?"). Every run happens in a fresh process; the
// runs of one comparison share one store and one HTTP cache directory, as an hourly daemon (or a
// restarted one) does. Prints figures; not a test. Needs GConf on a session bus: run it
// through tests/run-isolated.sh (run.sh).
#include "file_helpers.h"
#include "storefront_server.h"
#include "velmora_service_plugin.h"

#include <glib/gstdio.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include "velmora_contract.h"

namespace {

constexpr char kNoConditional[] = "FEEDSERVICEUTILS_NO_CONDITIONAL_REQUESTS";

// A counter of /proc/self/io ("write_bytes", "wchar"), -1 when it cannot be read.
long long own_io(const char *name) {
    gchar *text = nullptr;
    if (!g_file_get_contents("/proc/self/io", &text, nullptr, nullptr))
        return -1;
    long long value = -1;
    const std::string key = std::string("\n") + name + ": ";
    const std::string all = std::string("\n") + text;
    const size_t at = all.find(key);
    if (at != std::string::npos)
        value = std::atoll(all.c_str() + at + key.size());
    g_free(text);
    return value;
}

// Child: one update run; prints the items stored, how many have their picture file, and
// what the process wrote.
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
    const guint count = items->items->len;
    velmora_item_array_free(items);
    de_init_plugin(context);
    std::printf("%u %d %lld %lld\n", count, pictures, own_io("write_bytes"), own_io("wchar"));
    return 0;
}

struct Run {
    long bytes = 0;
    int requests = 0;
    int items = 0;
    int pictures = 0;
    long long written = 0; // write_bytes
    long long handed = 0;  // wchar
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
        std::sscanf(out, "%d %d %lld %lld", &run.items, &run.pictures, &run.written, &run.handed);
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

// Bytes of the regular files below dir (not following links).
long long tree_bytes(const std::string &dir) {
    long long total = 0;
    for (const std::string &name : test_support::list_dir(dir)) {
        const std::string path = dir + "/" + name;
        GStatBuf st;
        if (g_lstat(path.c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode))
            total += tree_bytes(path);
        else if (S_ISREG(st.st_mode))
            total += st.st_size;
    }
    return total;
}

std::string store_dir() {
    return std::string(g_get_home_dir()) + "/.feedservice/velmora";
}

// The stored rows as an hour later: their time_saved is an old one, which the second
// run has to bring up to date (within the same second the update would change nothing).
void age_stored_rows() {
    sqlite3 *db = nullptr;
    const std::string path = store_dir() + "/" VELMORA_STORE_DATABASE_FILE;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK)
        sqlite3_exec(db, "UPDATE velmora_items SET time_saved = '2000-01-01T00:00:00Z'", nullptr,
                     nullptr, nullptr);
    sqlite3_close(db);
}

// The files the runs left: all of them against the pictures and the database.
void print_disk(const std::string &cache) {
    const std::string store = store_dir();
    const long long pictures = tree_bytes(store + "/" VELMORA_STORE_IMAGE_CACHE_DIR);
    long long database = 0;
    for (const char *suffix : {"", "-wal", "-shm"}) {
        GStatBuf st;
        if (g_stat((store + "/" VELMORA_STORE_DATABASE_FILE + suffix).c_str(), &st) == 0)
            database += st.st_size;
    }
    const long long all = tree_bytes(store) + tree_bytes(cache);
    const double bound = 1.15 * pictures + database;
    std::printf("%-30s files %lld bytes (HTTP cache %lld) for pictures %lld + database %lld: "
                "%.2f x pictures + database; target <= 1.15: %s\n",
                "", all, tree_bytes(cache), pictures, database,
                pictures > 0 ? double(all - database) / pictures : 0.0,
                all <= bound ? "met" : "NOT met");
}

void print_run(const char *label, const char *which, const Run &run, const Run *first) {
    std::printf("%-30s %-7s %8ld bytes moved, %3d requests, %3d items, %3d pictures, "
                "wrote %8lld bytes (write calls %8lld)",
                label, which, run.bytes, run.requests, run.items, run.pictures, run.written,
                run.handed);
    if (first && first->written > 0)
        std::printf(" = %.2f %% (%.2f %%) of the first run's", 100.0 * run.written / first->written,
                    first->handed > 0 ? 100.0 * run.handed / first->handed : 0.0);
    std::printf("\n");
}

struct Scenario {
    const char *label;
    const char *region;
    const char *changed_feed; // served in place of the first run's feed for the second run
    bool conditional;
    double most_written_percent;
};

// A first and a second run with a store and an HTTP cache of their own; prints them and
// whether the second met its targets.
bool compare(StorefrontServer &store, const std::string &self, const Scenario &scenario) {
    set_region(scenario.region);
    test_support::remove_tree(store_dir());
    const std::string cache = test_support::make_temp_dir("http-cache");
    g_setenv("XDG_CACHE_HOME", cache.c_str(), TRUE);
    if (scenario.conditional)
        g_unsetenv(kNoConditional);
    else
        g_setenv(kNoConditional, "1", TRUE);
    const std::string feed = store.root() + "/bench/feed.xml";
    const std::string original = test_support::read_file(feed);

    const Run first = run_child(store, self);
    print_run(scenario.label, "first", first, nullptr);
    print_disk(cache);
    age_stored_rows();
    if (scenario.changed_feed)
        test_support::write_file(feed,
                                 test_support::read_file(store.root() + scenario.changed_feed));
    const Run second = run_child(store, self);
    print_run("", "second", second, &first);
    if (scenario.changed_feed)
        test_support::write_file(feed, original);
    print_disk(cache);

    const double percent = first.written > 0 ? 100.0 * second.written / first.written : 100;
    const int new_pictures = second.pictures - first.pictures + (scenario.changed_feed ? 10 : 0);
    const bool requests_met =
        scenario.changed_feed || second.requests == 1; /* one feed, no picture */
    const bool met = percent <= scenario.most_written_percent && requests_met &&
                     second.items == first.items && second.pictures == first.pictures;
    std::printf("%-30s target: wrote <= %.0f %% of the first run%s, same items and pictures "
                "(%d new pictures): %s\n",
                "", scenario.most_written_percent,
                scenario.changed_feed ? "" : ", 1 request (the feed)", new_pictures,
                met ? "met" : "NOT met");
    return met;
}

} // namespace

int main(int argc, char **argv) {
    if (argc > 1 && g_str_equal(argv[1], "--one-run"))
        return one_run();

    StorefrontServer store({"--bench-items", "100", "--no-feeds"});
    store.add_catalogue_section(
        "[bench.pictures]\nbestsellers=" + store.server().url("/bench/feed.xml") + "\n");
    g_setenv("VELMORA_DATA_DIR", store.data_dir().c_str(), TRUE);
    gchar *exe = g_file_read_link("/proc/self/exe", nullptr);
    const std::string self = exe ? exe : argv[0];
    g_free(exe);

    std::printf("First and second update run of a storefront of 100 items with 100 pictures on "
                "127.0.0.1\n(bytes moved: what the server sent, headers included; wrote: the "
                "run process's write_bytes)\n\n");
    bool met = true;
    for (const Scenario &scenario : {
             Scenario{"unchanged", "bench.pictures", nullptr, true, 2},
             Scenario{"unchanged, no conditional", "bench.pictures", nullptr, false, 2},
             Scenario{"10 % changed", "bench.pictures", "/bench/feed-changed.xml", true, 15},
             Scenario{"10 % changed, no conditional", "bench.pictures", "/bench/feed-changed.xml",
                      false, 15},
         }) {
        met = compare(store, self, scenario) && met;
        std::printf("\n");
    }
    return met ? 0 : 1;
}
