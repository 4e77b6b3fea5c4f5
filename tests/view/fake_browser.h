// SPDX-License-Identifier: LGPL-2.1-or-later
// fake_browser.h - a stand-in for the device's web browser on the test's session
// bus, in-process: owns "com.corvane.osso_browser", serves "open_new_window"
// (address, flag) at "/com/corvane/osso_browser" and records every call.
// Header-only; needs GIO.
#ifndef VELMORA_FAKE_BROWSER_H
#define VELMORA_FAKE_BROWSER_H

#include <gio/gio.h>

#include <string>
#include <utility>
#include <vector>

#include "view_test_support.h"

class FakeBrowser {
  public:
    struct Call {
        std::string address;
        bool new_window_flag;
    };

    FakeBrowser() {
        connection_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        node_ = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
        static const GDBusInterfaceVTable vtable = {
            &FakeBrowser::on_method_call, nullptr, nullptr, {}};
        registration_ = g_dbus_connection_register_object(connection_, "/com/corvane/osso_browser",
                                                          node_->interfaces[0], &vtable, this,
                                                          nullptr, nullptr);
        owner_ = g_bus_own_name_on_connection(
            connection_, "com.corvane.osso_browser", G_BUS_NAME_OWNER_FLAGS_NONE,
            &FakeBrowser::on_name_acquired, nullptr, this, nullptr);
        view_test::run_until([this] { return name_acquired_; });
    }

    ~FakeBrowser() {
        g_bus_unown_name(owner_);
        g_dbus_connection_unregister_object(connection_, registration_);
        g_dbus_node_info_unref(node_);
        g_object_unref(connection_);
    }

    FakeBrowser(const FakeBrowser &) = delete;
    FakeBrowser &operator=(const FakeBrowser &) = delete;

    bool ready() const { return name_acquired_ && registration_ != 0; }

    // Runs the main loop until count calls arrived (or 5 s passed).
    bool wait_for_calls(size_t count) {
        return view_test::run_until([&] { return calls_.size() >= count; });
    }

    // Runs the main loop a while, for checks that nothing arrives.
    void settle() {
        view_test::run_until([] { return false; }, 300);
    }

    const std::vector<Call> &calls() const { return calls_; }

  private:
    static constexpr const char *kIntrospection =
        "<node><interface name='com.corvane.osso_browser'>"
        "<method name='open_new_window'><arg type='s' direction='in'/>"
        "<arg type='b' direction='in'/></method>"
        "</interface></node>";

    static void on_name_acquired(GDBusConnection *, const gchar *, gpointer data) {
        static_cast<FakeBrowser *>(data)->name_acquired_ = true;
    }

    static void on_method_call(GDBusConnection *, const gchar *, const gchar *, const gchar *,
                               const gchar *method, GVariant *parameters,
                               GDBusMethodInvocation *invocation, gpointer data) {
        auto *self = static_cast<FakeBrowser *>(data);
        if (g_strcmp0(method, "open_new_window") == 0) {
            const gchar *address = nullptr;
            gboolean flag = FALSE;
            g_variant_get(parameters, "(&sb)", &address, &flag);
            self->calls_.push_back(Call{address, flag != FALSE});
        }
        g_dbus_method_invocation_return_value(invocation, nullptr);
    }

    GDBusConnection *connection_ = nullptr;
    GDBusNodeInfo *node_ = nullptr;
    guint registration_ = 0;
    guint owner_ = 0;
    bool name_acquired_ = false;
    std::vector<Call> calls_;
};

#endif // VELMORA_FAKE_BROWSER_H
