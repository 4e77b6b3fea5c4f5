// SPDX-License-Identifier: LGPL-2.1-or-later
// fake_feed_daemon.h - a stand-in feed service daemon for the widget's tests: owns
// "com.corvane.feedservice" on the session bus from a thread of the test process,
// answers "activate" from a script, counts "activate" and "deactivate", and emits
// "plugin_executed" on demand. Header-only; needs GIO.
//
// It runs on its own thread and bus connection because the widget calls
// "activate" as a blocking call on the main thread: a daemon served from the
// main loop would never answer it.
#ifndef VELMORA_FAKE_FEED_DAEMON_H
#define VELMORA_FAKE_FEED_DAEMON_H

#include <gio/gio.h>

#include "feed_service.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

class FakeFeedDaemon {
  public:
    FakeFeedDaemon() {
        thread_ = std::thread([this] { run(); });
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [this] { return state_ != State::starting; });
        if (state_ != State::serving) {
            lock.unlock();
            thread_.join();
            throw std::runtime_error(std::string("FakeFeedDaemon: could not own ") +
                                     feed_service::kBusName);
        }
    }

    ~FakeFeedDaemon() {
        hold_activate_answers(false);
        g_main_context_invoke(
            context_,
            [](gpointer loop) -> gboolean {
                g_main_loop_quit(static_cast<GMainLoop *>(loop));
                return G_SOURCE_REMOVE;
            },
            loop_);
        thread_.join();
    }

    FakeFeedDaemon(const FakeFeedDaemon &) = delete;
    FakeFeedDaemon &operator=(const FakeFeedDaemon &) = delete;

    // Answers of the next "activate" calls, in order; once used up, it answers 1.
    void script_activate_answers(std::initializer_list<int> answers) {
        std::lock_guard<std::mutex> lock(mutex_);
        answers_.assign(answers.begin(), answers.end());
    }

    // While held, "activate" calls are counted but not answered, as by a daemon that
    // was stopped (SIGSTOP) and still owns its name; releasing answers them with 0.
    void hold_activate_answers(bool hold) {
        std::deque<GDBusMethodInvocation *> held;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            hold_ = hold;
            if (!hold)
                held.swap(held_);
        }
        for (GDBusMethodInvocation *invocation : held)
            g_dbus_method_invocation_return_value(invocation, g_variant_new("(i)", 0));
    }

    int activate_calls() const { return activate_calls_; }
    int deactivate_calls() const { return deactivate_calls_; }
    std::string last_plugin_name() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return last_name_;
    }

    // Emits "plugin_executed" (name, status) and flushes it onto the bus.
    void emit_run_signal(const char *name, int status) {
        g_dbus_connection_emit_signal(connection_, nullptr, feed_service::kObjectPath,
                                      feed_service::kInterface, feed_service::kRunSignal,
                                      g_variant_new("(si)", name, status), nullptr);
        g_dbus_connection_flush_sync(connection_, nullptr, nullptr);
    }

    // Emits the session screensaver's "ActiveChanged" (active), which the
    // platform reports to the widget as system inactivity.
    void emit_screensaver_active(bool active) {
        g_dbus_connection_emit_signal(connection_, nullptr, "/org/freedesktop/ScreenSaver",
                                      "org.freedesktop.ScreenSaver", "ActiveChanged",
                                      g_variant_new("(b)", gboolean(active)), nullptr);
        g_dbus_connection_flush_sync(connection_, nullptr, nullptr);
    }

  private:
    enum class State { starting, serving, failed };

    static constexpr const char *kIntrospection =
        "<node><interface name='" VELMORA_FEEDSERVICE_INTERFACE "'>"
        "<method name='" VELMORA_FEEDSERVICE_ACTIVATE
        "'><arg type='s' direction='in'/><arg type='i' direction='out'/>"
        "</method>"
        "<method name='" VELMORA_FEEDSERVICE_DEACTIVATE "'><arg type='s' direction='in'/></method>"
        "<signal name='" VELMORA_FEEDSERVICE_RUN_SIGNAL "'><arg type='s'/><arg type='i'/></signal>"
        "</interface></node>";

    static void on_method_call(GDBusConnection *, const gchar *, const gchar *, const gchar *,
                               const gchar *method, GVariant *parameters,
                               GDBusMethodInvocation *invocation, gpointer data) {
        auto *self = static_cast<FakeFeedDaemon *>(data);
        const gchar *name = nullptr;
        g_variant_get(parameters, "(&s)", &name);
        {
            std::lock_guard<std::mutex> lock(self->mutex_);
            self->last_name_ = name;
        }
        if (g_strcmp0(method, VELMORA_FEEDSERVICE_ACTIVATE) == 0) {
            int answer = 1;
            {
                std::lock_guard<std::mutex> lock(self->mutex_);
                if (self->hold_) {
                    ++self->activate_calls_;
                    self->held_.push_back(invocation);
                    return;
                }
                if (!self->answers_.empty()) {
                    answer = self->answers_.front();
                    self->answers_.pop_front();
                }
            }
            ++self->activate_calls_;
            g_dbus_method_invocation_return_value(invocation, g_variant_new("(i)", answer));
        } else {
            ++self->deactivate_calls_;
            g_dbus_method_invocation_return_value(invocation, nullptr);
        }
    }

    void set_state(State state) {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = state;
        ready_.notify_all();
    }

    bool own_name() {
        GVariant *reply = g_dbus_connection_call_sync(
            connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "RequestName", g_variant_new("(su)", feed_service::kBusName, 4u /* no queue */),
            G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
        if (reply == nullptr)
            return false;
        guint32 result = 0;
        g_variant_get(reply, "(u)", &result);
        g_variant_unref(reply);
        return result == 1; /* primary owner */
    }

    void run() {
        context_ = g_main_context_new();
        g_main_context_push_thread_default(context_);
        loop_ = g_main_loop_new(context_, FALSE);

        gchar *address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        connection_ =
            address == nullptr
                ? nullptr
                : g_dbus_connection_new_for_address_sync(
                      address,
                      GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                           G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                      nullptr, nullptr, nullptr);
        g_free(address);

        GDBusNodeInfo *node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
        static const GDBusInterfaceVTable vtable = {on_method_call, nullptr, nullptr, {}};
        guint registration = connection_ == nullptr
                                 ? 0
                                 : g_dbus_connection_register_object(
                                       connection_, feed_service::kObjectPath, node->interfaces[0],
                                       &vtable, this, nullptr, nullptr);
        if (registration != 0 && own_name()) {
            set_state(State::serving);
            g_main_loop_run(loop_);
        } else {
            set_state(State::failed);
        }

        if (registration != 0)
            g_dbus_connection_unregister_object(connection_, registration);
        g_dbus_node_info_unref(node);
        if (connection_ != nullptr) {
            g_dbus_connection_close_sync(connection_, nullptr, nullptr);
            g_object_unref(connection_);
        }
        g_main_context_pop_thread_default(context_);
        g_main_loop_unref(loop_);
        g_main_context_unref(context_);
    }

    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    State state_ = State::starting;
    GMainContext *context_ = nullptr;
    GMainLoop *loop_ = nullptr;
    GDBusConnection *connection_ = nullptr;
    std::deque<int> answers_;
    bool hold_ = false;
    std::deque<GDBusMethodInvocation *> held_;
    std::string last_name_;
    std::atomic<int> activate_calls_{0};
    std::atomic<int> deactivate_calls_{0};
};

#endif // VELMORA_FAKE_FEED_DAEMON_H
