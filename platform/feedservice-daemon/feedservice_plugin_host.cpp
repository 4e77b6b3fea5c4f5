/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * feedservice_plugin_host.cpp - plug-in loading with GModule, the worker thread
 * that makes every call into the plug-ins, and the scheduling of their runs
 * (on request and periodically, never two at once, requests during a run
 * folded into one further run). When a retry comes is RetrySchedule's to say.
 */
#include "feedservice_plugin_host.h"
#include "feedservice_retry_schedule.h"

#include <gmodule.h>

#include <algorithm>
#include <cstdlib>
#include <vector>
#include "feedserviceutils_runs.h"
#include "velmora_contract.h"

namespace {

/* The plug-in's entry points. The daemon shares no code with its plug-ins:
 * these are its own view of their exported symbols. */
using StatusCallback = void (*)(gpointer user_data, gint32 status);
using InitPluginFn = gpointer (*)(void);
using DeInitPluginFn = void (*)(gpointer context);
using ExecuteWithCallbackFn = void (*)(gpointer context, gpointer user_data,
                                       StatusCallback callback);
using IntPropertyFn = int (*)(void);

constexpr int kFallbackIntervalSeconds = 3600;
constexpr int kFirstRetrySeconds = 30;

/* A positive number of seconds from the environment variable, or fallback. */
int seconds_from_environment(const char *name, int fallback) {
    if (const char *forced = g_getenv(name)) {
        const long value = std::strtol(forced, nullptr, 10);
        if (value > 0 && value <= G_MAXINT) {
            return static_cast<int>(value);
        }
    }
    return fallback;
}

/* Seconds between periodic runs: the plug-in's own interval unless the
 * environment (FEEDSERVICE_RUN_INTERVAL, used by tests) sets one. */
int run_interval_seconds(IntPropertyFn get_default_interval) {
    const int interval = get_default_interval ? get_default_interval() : 0;
    return seconds_from_environment("FEEDSERVICE_RUN_INTERVAL",
                                    interval > 0 ? interval : kFallbackIntervalSeconds);
}

gboolean run_task(gpointer data) {
    (*static_cast<std::function<void()> *>(data))();
    return G_SOURCE_REMOVE;
}

void delete_task(gpointer data) {
    delete static_cast<std::function<void()> *>(data);
}

} // namespace

struct PluginHost::Plugin {
    PluginHost *host = nullptr;
    std::string name;
    GModule *module = nullptr;
    gpointer context = nullptr;
    DeInitPluginFn de_init = nullptr;
    ExecuteWithCallbackFn execute = nullptr;
    int interval_seconds = kFallbackIntervalSeconds;
    /* Guarded by the host's mutex. */
    bool run_requested = false;
    GSource *periodic = nullptr;
    GSource *retry = nullptr;
    RetrySchedule retries{kFirstRetrySeconds, kFallbackIntervalSeconds};
};

PluginHost::PluginHost(std::string plugin_dir, StatusSink sink)
    : plugin_dir_(std::move(plugin_dir)), sink_(std::move(sink)) {
    worker_context_ = g_main_context_ref(g_main_context_default());
    worker_loop_ = g_main_loop_new(worker_context_, FALSE);
    worker_ = g_thread_new("plugin-worker", worker_main, this);
}

PluginHost::~PluginHost() {
    shutdown();
    g_main_loop_unref(worker_loop_);
    g_main_context_unref(worker_context_);
}

gpointer PluginHost::worker_main(gpointer self) {
    auto *host = static_cast<PluginHost *>(self);
    g_main_loop_run(host->worker_loop_);
    return nullptr;
}

std::string PluginHost::module_file_name(const std::string &name) {
    if (name.empty() || name.size() > 200 || name[0] == '.') {
        return {};
    }
    for (char c : name) {
        if (!g_ascii_isalnum(c) && c != '_' && c != '-' && c != '.') {
            return {};
        }
    }
    if (name.find("..") != std::string::npos) {
        return {};
    }
    std::string file = g_str_has_prefix(name.c_str(), "lib") ? name : "lib" + name;
    if (!g_str_has_suffix(file.c_str(), ".so")) {
        file += ".so";
    }
    return file;
}

void PluginHost::post_to_worker(std::function<void()> task, gint priority) {
    GSource *source = g_idle_source_new();
    g_source_set_priority(source, priority);
    g_source_set_callback(source, run_task, new std::function<void()>(std::move(task)),
                          delete_task);
    g_source_attach(source, worker_context_);
    g_source_unref(source);
}

PluginHost::Plugin *PluginHost::find_loaded(const std::string &file) {
    auto found = plugins_.find(file);
    return found == plugins_.end() ? nullptr : found->second.get();
}

bool PluginHost::find_for_activation(const std::string &file, Plugin **loaded) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) {
        return false;
    }
    *loaded = find_loaded(file);
    if (*loaded && !(*loaded)->periodic) {
        start_periodic(*loaded);
    }
    return true;
}

void PluginHost::activate(const std::string &name, ActivateReply reply) {
    const std::string file = module_file_name(name);
    if (file.empty()) {
        g_warning("refusing to activate plug-in with malformed name \"%s\"", name.c_str());
        reply(false);
        return;
    }
    Plugin *loaded = nullptr;
    if (!find_for_activation(file, &loaded)) {
        reply(false);
        return;
    }
    if (loaded) {
        reply(true);
        request_run(loaded);
        return;
    }
    /* Loading calls init_plugin, which belongs on the worker thread. */
    post_to_worker([this, name, reply] { load_on_worker(name, reply); }, G_PRIORITY_DEFAULT);
}

std::unique_ptr<PluginHost::Plugin> PluginHost::open_plugin(const std::string &name,
                                                            const std::string &file) {
    g_autofree gchar *path = g_build_filename(plugin_dir_.c_str(), file.c_str(), nullptr);
    if (!g_file_test(path, G_FILE_TEST_IS_REGULAR)) {
        report_load_failure(file, std::string("no plug-in \"") + name + "\": " + path +
                                      " does not exist");
        return nullptr;
    }
    GModule *module = g_module_open(path, static_cast<GModuleFlags>(G_MODULE_BIND_LOCAL));
    if (!module) {
        report_load_failure(file, std::string("cannot load plug-in \"") + name +
                                      "\": " + g_module_error());
        return nullptr;
    }
    gpointer init = nullptr, de_init = nullptr, execute = nullptr;
    gpointer validate = nullptr, interval = nullptr;
    if (!g_module_symbol(module, "init_plugin", &init) ||
        !g_module_symbol(module, "de_init_plugin", &de_init) ||
        !g_module_symbol(module, "execute_with_callback", &execute) || !init || !de_init ||
        !execute) {
        report_load_failure(file, std::string("plug-in \"") + name +
                                      "\" lacks an entry point: " + g_module_error());
        g_module_close(module);
        return nullptr;
    }
    g_module_symbol(module, "validate_credentials", &validate);
    g_module_symbol(module, "get_default_interval", &interval);
    /* A plug-in whose credentials do not validate cannot run. */
    if (validate && reinterpret_cast<IntPropertyFn>(validate)() != 0) {
        report_load_failure(file, std::string("plug-in \"") + name +
                                      "\" reports invalid credentials; not loaded");
        g_module_close(module);
        return nullptr;
    }
    load_failures_.erase(file);
    auto plugin = std::make_unique<Plugin>();
    plugin->host = this;
    plugin->name = file.substr(0, file.size() - 3); /* without ".so" */
    plugin->module = module;
    plugin->de_init = reinterpret_cast<DeInitPluginFn>(de_init);
    plugin->execute = reinterpret_cast<ExecuteWithCallbackFn>(execute);
    plugin->interval_seconds = run_interval_seconds(reinterpret_cast<IntPropertyFn>(interval));
    plugin->retries =
        RetrySchedule(seconds_from_environment("FEEDSERVICE_RETRY_SECONDS", kFirstRetrySeconds),
                      plugin->interval_seconds);
    plugin->context = reinterpret_cast<InitPluginFn>(init)();
    g_message("loaded plug-in \"%s\" from %s, runs every %d s", plugin->name.c_str(), path,
              plugin->interval_seconds);
    return plugin;
}

void PluginHost::report_load_failure(const std::string &file, const std::string &message) {
    /* A client retrying activation must not fill the log with the same line. */
    auto found = load_failures_.find(file);
    if (found != load_failures_.end() && found->second == message) {
        return;
    }
    load_failures_[file] = message;
    g_warning("%s", message.c_str());
}

void PluginHost::load_on_worker(const std::string &name, const ActivateReply &reply) {
    const std::string file = module_file_name(name);
    Plugin *plugin = nullptr;
    if (!find_for_activation(file, &plugin)) {
        reply(false);
        return;
    }
    if (!plugin) {
        std::unique_ptr<Plugin> opened = open_plugin(name, file);
        if (!opened) {
            reply(false);
            return;
        }
        plugin = opened.get();
        std::lock_guard<std::mutex> lock(mutex_);
        plugins_.emplace(file, std::move(opened));
        start_periodic(plugin);
    }
    reply(true);
    request_run(plugin);
}

void PluginHost::start_periodic(Plugin *plugin) {
    plugin->periodic = g_timeout_source_new_seconds(static_cast<guint>(plugin->interval_seconds));
    g_source_set_callback(
        plugin->periodic,
        [](gpointer data) -> gboolean {
            auto *tick = static_cast<Plugin *>(data);
            tick->host->request_run(tick);
            return G_SOURCE_CONTINUE;
        },
        plugin, nullptr);
    g_source_attach(plugin->periodic, worker_context_);
}

void PluginHost::stop_periodic(Plugin *plugin) {
    if (plugin->periodic) {
        g_source_destroy(plugin->periodic);
        g_source_unref(plugin->periodic);
        plugin->periodic = nullptr;
    }
}

void PluginHost::stop_retry(Plugin *plugin) {
    if (plugin->retry) {
        g_source_destroy(plugin->retry);
        g_source_unref(plugin->retry);
        plugin->retry = nullptr;
    }
}

void PluginHost::schedule_retry(Plugin *plugin, bool nothing_downloaded) {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_retry(plugin);
    if (!nothing_downloaded || stopping_ || !plugin->periodic) {
        /* Back to the normal interval (or deactivated: no runs at all). */
        plugin->retries.after_success();
        return;
    }
    const int delay = plugin->retries.after_failure();
    g_message("plug-in \"%s\" found nothing to download; trying again in %d s",
              plugin->name.c_str(), delay);
    plugin->retry = g_timeout_source_new_seconds(static_cast<guint>(delay));
    g_source_set_callback(
        plugin->retry,
        [](gpointer data) -> gboolean {
            auto *retrying = static_cast<Plugin *>(data);
            PluginHost *host = retrying->host;
            {
                std::lock_guard<std::mutex> guard(host->mutex_);
                /* The source is done: drop the host's reference, not the source. */
                if (retrying->retry) {
                    g_source_unref(retrying->retry);
                    retrying->retry = nullptr;
                }
            }
            host->request_run(retrying);
            return G_SOURCE_REMOVE;
        },
        plugin, nullptr);
    g_source_attach(plugin->retry, worker_context_);
}

void PluginHost::network_available() {
    std::vector<Plugin *> waiting;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const gint64 now = g_get_monotonic_time();
        for (auto &entry : plugins_) {
            Plugin *plugin = entry.second.get();
            if (!plugin->retry)
                continue;
            if (!plugin->retries.run_on_network_return(now)) {
                g_message("the network is back: plug-in \"%s\" keeps to its retry",
                          plugin->name.c_str());
                continue;
            }
            stop_retry(plugin);
            waiting.push_back(plugin);
        }
    }
    for (Plugin *plugin : waiting) {
        g_message("the network is back: running plug-in \"%s\" now", plugin->name.c_str());
        request_run(plugin);
    }
}

void PluginHost::deactivate(const std::string &name) {
    const std::string file = module_file_name(name);
    std::lock_guard<std::mutex> lock(mutex_);
    Plugin *plugin = file.empty() ? nullptr : find_loaded(file);
    if (!plugin) {
        g_message("deactivate: plug-in \"%s\" is not loaded", name.c_str());
        return;
    }
    stop_periodic(plugin);
    stop_retry(plugin);
    plugin->retries.after_success();
    /* A run not yet started is dropped too; one under way finishes. */
    plugin->run_requested = false;
}

void PluginHost::request_run(Plugin *plugin) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wake = !plugin->run_requested && !stopping_;
        plugin->run_requested = true;
    }
    if (wake) {
        post_to_worker([this, plugin] { run_if_requested(plugin); }, G_PRIORITY_DEFAULT);
    }
}

namespace {
struct RunReport {
    const PluginHost::StatusSink *sink;
    const std::string *plugin;
    gint32 last_status;
    bool reported;
};
} // namespace

void PluginHost::report_status(gpointer user_data, gint32 status) {
    auto *report = static_cast<RunReport *>(user_data);
    report->last_status = status;
    report->reported = true;
    (*report->sink)(*report->plugin, status);
}

void PluginHost::run_if_requested(Plugin *plugin) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_ || !plugin->run_requested) {
            return;
        }
        /* Cleared before the run: a request arriving during it adds one more. */
        plugin->run_requested = false;
    }
    RunReport report{&sink_, &plugin->name, 0, false};
    /* The utilities library that the plug-in uses learns the run's bounds from us. */
    feedserviceutils_run_begin();
    plugin->execute(plugin->context, &report, report_status);
    feedserviceutils_run_end();
    schedule_retry(plugin,
                   report.reported && report.last_status == VELMORA_STATUS_NOTHING_DOWNLOADED);
}

void PluginHost::unload_all_on_worker() {
    std::map<std::string, std::unique_ptr<Plugin>> plugins;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        plugins.swap(plugins_);
        for (auto &entry : plugins) {
            stop_periodic(entry.second.get());
            stop_retry(entry.second.get());
        }
    }
    for (auto &entry : plugins) {
        Plugin &plugin = *entry.second;
        plugin.de_init(plugin.context);
        g_module_close(plugin.module);
        g_message("unloaded plug-in \"%s\"", plugin.name.c_str());
    }
    g_main_loop_quit(worker_loop_);
}

void PluginHost::shutdown() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!worker_) {
            return;
        }
        stopping_ = true;
    }
    /* Runs after a run under way returns; pending runs see stopping_ and skip. */
    post_to_worker([this] { unload_all_on_worker(); }, G_PRIORITY_HIGH);
    g_thread_join(worker_);
    worker_ = nullptr;
}
