/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_taps.cpp - taps on the card and the browser: an item's page or the
 * region's home page is handed to the device's browser through libosso; an
 * address that is missing or not a web page is replaced by the storefront's
 * home page. When no browser can be started, the failure is logged once, with
 * the address, and the card says so in its feed title row for a few seconds.
 */
#include "velmora_taps.h"

#include <libintl.h>

#include "velmora_contract.h"
#include "velmora_view_internal.h"

namespace {

/* The storefront's home page, opened in place of an address that is missing or
 * not a web page. It is the United States "homepage" entry of the URL
 * catalogue, kept here so that no tap has to read the catalogue again. */
constexpr const char *kStorefrontHomePage = "https://www.velmora.com/";

/* How long the card shows that no browser could be started. */
constexpr guint kBrowserFailureShownMs = 4000;

/* Only web pages are handed to the browser: an item link comes from a feed and
 * may name anything. The text also has to be valid UTF-8 to travel on D-Bus. */
bool is_web_address(const gchar *address) {
    if (!address || !g_utf8_validate(address, -1, nullptr))
        return false;
    g_autoptr(GUri) uri = g_uri_parse(address, G_URI_FLAGS_PARSE_RELAXED, nullptr);
    if (!uri)
        return false;
    const gchar *scheme = g_uri_get_scheme(uri);
    const gchar *host = g_uri_get_host(uri);
    return (g_ascii_strcasecmp(scheme, "http") == 0 || g_ascii_strcasecmp(scheme, "https") == 0) &&
           host && *host;
}

gboolean restore_feed_title(gpointer data) {
    auto *view = static_cast<VelmoraView *>(data);
    view->notice_timer_id = 0;
    show_feed_title(view);
    return G_SOURCE_REMOVE;
}

/* Logs that the address could not be opened and shows why on the card. */
void report_browser_failure(VelmoraView *view, const gchar *address, gint result) {
    g_message("cannot open %s: no browser could be started (libosso result %d)", address, result);
    if (!view || !view->feed_title_label)
        return;
    gtk_label_set_text(GTK_LABEL(view->feed_title_label),
                       dgettext("velmora", "No web browser could be started"));
    if (view->notice_timer_id != 0)
        g_source_remove(view->notice_timer_id);
    view->notice_timer_id = g_timeout_add(kBrowserFailureShownMs, restore_feed_title, view);
}

gboolean open_address(VelmoraView *view, const gchar *address) {
    if (!is_web_address(address))
        address = kStorefrontHomePage;
    const gint result = launch_browser(address);
    if (result == OSSO_OK)
        return TRUE;
    report_browser_failure(view, address, result);
    return FALSE;
}

} // namespace

/* The event's position is relative to the widget's own window; both ends of
 * the allocation count as inside. */
gboolean event_inside_widget(GtkWidget *widget, GdkEventButton *event) {
    if (!widget || !event)
        return FALSE;
    return event->x >= 0 && event->x <= widget->allocation.width && event->y >= 0 &&
           event->y <= widget->allocation.height;
}

gboolean open_current_item(VelmoraView *view) {
    VelmoraItemData *item = carousel_current_item();
    return item ? open_address(view, item->item_url) : FALSE;
}

gboolean open_home_page(VelmoraView *view) {
    g_autofree gchar *home = nullptr;
    if (view->url_catalogue) {
        g_autofree gchar *region = get_region_from_gconf();
        home = query_loader_load_query_by_section(view->url_catalogue, region, "homepage");
    }
    return open_address(view, home);
}

gboolean on_item_tapped(GtkWidget *box, GdkEventButton *event, gpointer data) {
    if (event_inside_widget(box, event))
        open_current_item(static_cast<VelmoraView *>(data));
    return FALSE;
}

gboolean on_logo_tapped(GtkWidget *box, GdkEventButton *event, gpointer data) {
    if (event_inside_widget(box, event))
        open_home_page(static_cast<VelmoraView *>(data));
    return FALSE;
}

gint launch_browser(const gchar *address) {
    if (!is_web_address(address))
        address = kStorefrontHomePage;
    if (!osso_context)
        return OSSO_INVALID;
    return osso_rpc_run_with_defaults(osso_context, "osso_browser", "open_new_window", nullptr,
                                      DBUS_TYPE_STRING, address, DBUS_TYPE_BOOLEAN, FALSE,
                                      DBUS_TYPE_INVALID);
}
