/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * feedservice_plugin_host.h - loads feed plug-ins by name and runs them on one
 * worker thread.
 *
 * Every call into a plug-in (init_plugin, execute_with_callback, de_init_plugin)
 * happens on the worker thread, which owns GLib's global default main context:
 * plug-ins may use thread-unsafe clients such as GConf, whose D-Bus connection
 * is dispatched by the default context, without racing the daemon's own thread.
 * The daemon's bus and signal handling therefore run on a main context of their
 * own. One worker serves all plug-ins, so runs never overlap.
 *
 * A run that reports "nothing downloaded" (-1022) is retried with backoff: first
 * after 30 s (FEEDSERVICE_RETRY_SECONDS, for tests), doubling, never later than the
 * plug-in's interval (RetrySchedule); at once when the network comes back
 * (network_available), at most once per wait of the backoff. A run that reports
 * anything else ends the backoff.
 */
#ifndef FEEDSERVICE_PLUGIN_HOST_H
#define FEEDSERVICE_PLUGIN_HOST_H

#include <glib.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

class PluginHost {
  public:
    /* Receives every status a plug-in reports, on the worker thread, in order. */
    using StatusSink = std::function<void(const std::string &plugin, gint32 status)>;
    /* Receives the answer to an activation: true when the plug-in is loaded.
     * Called on the caller's thread or on the worker thread. */
    using ActivateReply = std::function<void(bool loaded)>;

    PluginHost(std::string plugin_dir, StatusSink sink);
    ~PluginHost();
    PluginHost(const PluginHost &) = delete;
    PluginHost &operator=(const PluginHost &) = delete;

    /* Loads the plug-in if needed, answers, then has it run soon and every
     * interval seconds. A request while a run is pending or under way adds at
     * most one further run. */
    void activate(const std::string &name, ActivateReply reply);
    /* Stops the periodic runs of a loaded plug-in and drops a run not yet
     * started; a run under way finishes. */
    void deactivate(const std::string &name);
    /* The network is available again: a plug-in whose last run found nothing to
     * download runs at once instead of waiting for its retry, unless the network's
     * return brought a run forward already during this wait of its backoff. */
    void network_available();
    /* Waits for a run under way, unloads every plug-in (de_init_plugin) and
     * stops the worker. Idempotent; the destructor calls it. */
    void shutdown();

    /* The plug-in's file name for a client's name, or empty for a name that
     * could leave the plug-in directory or is otherwise malformed. */
    static std::string module_file_name(const std::string &name);

  private:
    struct Plugin;

    Plugin *find_loaded(const std::string &name);
    /* Under the lock: false once the host is stopping; else the loaded plug-in
     * for file (nullptr when not loaded), its periodic runs started. */
    bool find_for_activation(const std::string &file, Plugin **loaded);
    /* Opens, checks and initialises a plug-in; nullptr (logged) on failure. */
    std::unique_ptr<Plugin> open_plugin(const std::string &name, const std::string &file);
    void load_on_worker(const std::string &name, const ActivateReply &reply);
    void request_run(Plugin *plugin);
    void run_if_requested(Plugin *plugin);
    void start_periodic(Plugin *plugin);
    void stop_periodic(Plugin *plugin);
    /* After a run: a retry with backoff when it found nothing to download, else none. */
    void schedule_retry(Plugin *plugin, bool nothing_downloaded);
    void stop_retry(Plugin *plugin);
    /* Logs a plug-in that cannot be loaded once, until it loads. */
    void report_load_failure(const std::string &file, const std::string &message);
    void unload_all_on_worker();
    void post_to_worker(std::function<void()> task, gint priority);
    static void report_status(gpointer user_data, gint32 status);
    static gpointer worker_main(gpointer self);

    std::string plugin_dir_;
    StatusSink sink_;
    GMainContext *worker_context_ = nullptr;
    GMainLoop *worker_loop_ = nullptr;
    GThread *worker_ = nullptr;
    std::mutex mutex_; /* guards plugins_ and each Plugin's scheduling fields */
    std::map<std::string, std::unique_ptr<Plugin>> plugins_;
    bool stopping_ = false;
    /* Worker thread only: plug-ins whose load failure has been logged. */
    std::map<std::string, std::string> load_failures_;
};

#endif /* FEEDSERVICE_PLUGIN_HOST_H */
