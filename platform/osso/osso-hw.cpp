/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * osso-hw.cpp - the hardware-state callback. On a desktop the system-inactivity
 * indication follows the session's screensaver: its "ActiveChanged" signal on
 * the session bus (interface "org.freedesktop.ScreenSaver", any sender and
 * path) turns the indication on when the screensaver becomes active and off
 * when it goes away. The callback runs only when an indication in its mask
 * changes, and never after it was unset or the context was deinitialised.
 */
#include "osso-private.h"

struct OssoHwWatch {
    osso_context_t *osso; /* cleared when the watch stops */
    osso_hw_cb_f *callback;
    gpointer data;
    osso_hw_state_t mask;
    guint subscription;
};

namespace {

constexpr const char *kScreenSaverInterface = "org.freedesktop.ScreenSaver";
constexpr const char *kActiveChanged = "ActiveChanged";

void on_screensaver_active_changed(GDBusConnection *, const gchar *, const gchar *, const gchar *,
                                   const gchar *, GVariant *parameters, gpointer data) {
    auto *watch = static_cast<OssoHwWatch *>(data);
    if (watch->osso == nullptr || watch->callback == nullptr)
        return;
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)")))
        return;
    gboolean active = FALSE;
    g_variant_get(parameters, "(b)", &active);
    active = active ? TRUE : FALSE;
    osso_hw_state_t *current = &watch->osso->hw_state;
    if (current->system_inactivity_ind == active)
        return;
    current->system_inactivity_ind = active;
    if (!watch->mask.system_inactivity_ind)
        return;
    osso_hw_state_t state = *current;
    watch->callback(&state, watch->data);
}

gboolean mask_is_empty(const osso_hw_state_t &mask) {
    return !mask.shutdown_ind && !mask.save_unsaved_data_ind && !mask.memory_low_ind &&
           !mask.system_inactivity_ind && mask.sig_device_mode_ind == 0;
}

} // namespace

void osso_hw_watch_stop(osso_context_t *osso) {
    OssoHwWatch *watch = osso->hw_watch;
    if (watch == nullptr)
        return;
    osso->hw_watch = nullptr;
    watch->osso = nullptr;
    watch->callback = nullptr;
    /* Frees the record once no dispatch can reach it any more. */
    g_dbus_connection_signal_unsubscribe(osso->session, watch->subscription);
}

osso_return_t osso_hw_set_event_cb(osso_context_t *osso, osso_hw_state_t *state, osso_hw_cb_f *cb,
                                   gpointer data) {
    if (osso == nullptr || cb == nullptr)
        return OSSO_INVALID;
    osso_hw_state_t mask{TRUE, TRUE, TRUE, TRUE, OSSO_DEVMODE_FLIGHT};
    if (state != nullptr)
        mask = *state;
    /* One callback per context: a new one takes the place of the old. */
    osso_hw_watch_stop(osso);

    auto *watch = g_new0(OssoHwWatch, 1);
    watch->osso = osso;
    watch->callback = cb;
    watch->data = data;
    watch->mask = mask;
    /* Signal callbacks run in the thread-default main context at the moment of
     * subscribing: the application's own. The bus frees the watch record once
     * no dispatch can reach it any more. */
    g_main_context_push_thread_default(osso->main_context);
    watch->subscription = g_dbus_connection_signal_subscribe(
        osso->session, nullptr, kScreenSaverInterface, kActiveChanged, nullptr, nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE, on_screensaver_active_changed, watch, g_free);
    g_main_context_pop_thread_default(osso->main_context);
    osso->hw_watch = watch;
    return OSSO_OK;
}

osso_return_t osso_hw_unset_event_cb(osso_context_t *osso, osso_hw_state_t *state) {
    if (osso == nullptr)
        return OSSO_INVALID;
    OssoHwWatch *watch = osso->hw_watch;
    if (watch == nullptr)
        return OSSO_OK;
    if (state == nullptr) {
        osso_hw_watch_stop(osso);
        return OSSO_OK;
    }
    /* Only the indications set in state are no longer reported. */
    if (state->shutdown_ind)
        watch->mask.shutdown_ind = FALSE;
    if (state->save_unsaved_data_ind)
        watch->mask.save_unsaved_data_ind = FALSE;
    if (state->memory_low_ind)
        watch->mask.memory_low_ind = FALSE;
    if (state->system_inactivity_ind)
        watch->mask.system_inactivity_ind = FALSE;
    if (state->sig_device_mode_ind != 0)
        watch->mask.sig_device_mode_ind = osso_devmode_t(0);
    if (mask_is_empty(watch->mask))
        osso_hw_watch_stop(osso);
    return OSSO_OK;
}
