// SPDX-License-Identifier: LGPL-2.1-or-later
// A whole update run of a 100-item feed with 100 pictures from the demo storefront on
// 127.0.0.1: wall and CPU time, HTTP requests and peak memory, with and without pictures;
// and, side by side on the same server, newsboat reloading the same items (as RSS 2.0)
// into its own SQLite cache. Prints figures; not a test.
//
// Each run happens in a fresh child process (this program with --one-run), as newsboat
// does, so both sides pay for process start-up; the run alone is timed inside the child.
// Needs GConf on a session bus: run it through tests/run-isolated.sh (see run.sh).
#include "bench_timing.h"
#include "storefront_server.h"
#include "velmora_service_plugin.h"

#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "velmora_contract.h"

namespace {

using bench::median;
using bench::now;

constexpr int kItems = 100;
constexpr int kRepetitions = 5;

double seconds(const timeval &t) {
    return t.tv_sec + t.tv_usec / 1e6;
}
double cpu_seconds(const rusage &usage) {
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Figures {
    double wall = 0;         // the run (or the reload) alone
    double cpu = 0;          // the run alone (child's own count)
    double process_wall = 0; // the whole child process
    double process_cpu = 0;
    long max_rss_kb = 0;
    int requests = 0;
    int statuses = 0;
};

int status_count = 0;
void count_status(gpointer, gint32) {
    ++status_count;
}

// Child: one update run of the region whose section names the bench feed.
int one_run() {
    VelmoraServiceContext *context = init_plugin();
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const double start = now();
    execute_with_callback(context, nullptr, count_status);
    const double wall = now() - start;
    getrusage(RUSAGE_SELF, &after);
    de_init_plugin(context);
    std::printf("%.6f %.6f %d\n", wall, cpu_seconds(after) - cpu_seconds(before), status_count);
    return 0;
}

// Runs argv as a child; its whole-process figures, and its standard output.
Figures run_child(const std::vector<std::string> &args, const std::vector<std::string> &env,
                  std::string *output) {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0)
        std::abort();
    const double start = now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipe_fds[1], STDOUT_FILENO);
        close(pipe_fds[0]);
        close(pipe_fds[1]);
        for (const auto &assignment : env)
            putenv(const_cast<char *>(assignment.c_str()));
        std::vector<char *> argv;
        for (const auto &arg : args)
            argv.push_back(const_cast<char *>(arg.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipe_fds[1]);
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipe_fds[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<size_t>(n));
    close(pipe_fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Figures figures;
    figures.process_wall = now() - start;
    figures.process_cpu = cpu_seconds(usage);
    figures.max_rss_kb = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::fprintf(stderr, "%s exited abnormally (status %d)\n", args[0].c_str(), status);
    if (output)
        *output = out;
    return figures;
}

void set_region(const char *region) {
    const std::string command =
        std::string("gconftool-2 --type string --set " VELMORA_GCONF_DIR "/region ") + region;
    if (!g_spawn_command_line_sync(command.c_str(), nullptr, nullptr, nullptr, nullptr))
        std::abort();
}

Figures plugin_run(StorefrontServer &store, const char *self, const char *region) {
    set_region(region);
    std::vector<Figures> runs;
    for (int i = 0; i < kRepetitions; ++i) {
        store.server().reset_counts();
        std::string out;
        // A cold HTTP cache each time: every run downloads everything, as a first run does.
        const std::string cache = "XDG_CACHE_HOME=" + test_support::make_temp_dir("http-cache");
        Figures figures = run_child({self, "--one-run"}, {cache}, &out);
        std::sscanf(out.c_str(), "%lf %lf %d", &figures.wall, &figures.cpu, &figures.statuses);
        figures.requests = store.server().request_count();
        runs.push_back(figures);
    }
    auto pick = [&](auto field) {
        std::vector<double> values;
        for (const auto &run : runs)
            values.push_back(static_cast<double>(run.*field));
        return median(values);
    };
    Figures result;
    result.wall = pick(&Figures::wall);
    result.cpu = pick(&Figures::cpu);
    result.process_wall = pick(&Figures::process_wall);
    result.process_cpu = pick(&Figures::process_cpu);
    result.max_rss_kb = static_cast<long>(pick(&Figures::max_rss_kb));
    result.requests = runs.back().requests;
    result.statuses = runs.back().statuses;
    return result;
}

Figures newsboat_run(StorefrontServer &store, const std::string &work) {
    const std::string home = work + "/newsboat-home";
    g_mkdir_with_parents(home.c_str(), 0700);
    const std::string urls = home + "/urls";
    const std::string url = store.server().url("/bench/feed.rss");
    g_file_set_contents(urls.c_str(), (url + "\n").c_str(), -1, nullptr);
    const std::string cache = home + "/cache.db";
    std::vector<Figures> runs;
    for (int i = 0; i < kRepetitions; ++i) {
        g_unlink(cache.c_str()); // a fresh cache: every item is stored, as in our run
        store.server().reset_counts();
        Figures figures = run_child({"newsboat", "-u", urls, "-c", cache, "-x", "reload"},
                                    {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config",
                                     "XDG_DATA_HOME=" + home + "/.local/share"},
                                    nullptr);
        figures.requests = store.server().request_count();
        runs.push_back(figures);
    }
    std::vector<double> walls, cpus, rss;
    for (const auto &run : runs) {
        walls.push_back(run.process_wall);
        cpus.push_back(run.process_cpu);
        rss.push_back(static_cast<double>(run.max_rss_kb));
    }
    Figures result;
    result.process_wall = median(walls);
    result.process_cpu = median(cpus);
    result.max_rss_kb = static_cast<long>(median(rss));
    result.requests = runs.back().requests;
    return result;
}

void print_plugin(const char *label, const Figures &f) {
    std::printf("%-34s run: wall %7.1f ms  cpu %7.1f ms | process: wall %7.1f ms  cpu %7.1f ms"
                "  peak RSS %6ld KiB | HTTP requests %3d | statuses %d\n",
                label, f.wall * 1e3, f.cpu * 1e3, f.process_wall * 1e3, f.process_cpu * 1e3,
                f.max_rss_kb, f.requests, f.statuses);
}

} // namespace

int main(int argc, char **argv) {
    if (argc > 1 && g_str_equal(argv[1], "--one-run"))
        return one_run();

    StorefrontServer store({"--no-feeds", "--bench-items", std::to_string(kItems)});
    store.add_catalogue_section(
        "[bench.pictures]\nbestsellers=" + store.server().url("/bench/feed.xml") +
        "\n\n[bench.nopictures]\nbestsellers=" + store.server().url("/bench/feed-nopictures.xml") +
        "\n");
    g_setenv("VELMORA_DATA_DIR", store.data_dir().c_str(), TRUE);
    gchar *exe = g_file_read_link("/proc/self/exe", nullptr);
    const std::string self = exe ? exe : argv[0];
    g_free(exe);

    std::printf("Whole update run, %d-item feed from 127.0.0.1, median of %d runs, each in a "
                "fresh process\n",
                kItems, kRepetitions);
    const Figures pictures = plugin_run(store, self.c_str(), "bench.pictures");
    print_plugin("velmora run, 100 pictures", pictures);
    const Figures bare = plugin_run(store, self.c_str(), "bench.nopictures");
    print_plugin("velmora run, no pictures", bare);
    const Figures newsboat = newsboat_run(store, store.root() + "/..");
    std::printf("%-34s                                  | process: wall %7.1f ms  cpu %7.1f ms"
                "  peak RSS %6ld KiB | HTTP requests %3d\n",
                "newsboat -x reload (RSS, no pics)", newsboat.process_wall * 1e3,
                newsboat.process_cpu * 1e3, newsboat.max_rss_kb, newsboat.requests);
    std::printf("\nHTTP requests with pictures: %d (target 1 + %d)\n", pictures.requests, kItems);
    std::printf("CPU without pictures, whole process: velmora %.1f ms vs newsboat %.1f ms "
                "(target: at most newsboat's) -> %s\n",
                bare.process_cpu * 1e3, newsboat.process_cpu * 1e3,
                bare.process_cpu <= newsboat.process_cpu ? "met" : "NOT met");
    return 0;
}
