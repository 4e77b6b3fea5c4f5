/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * home_plugin_test.cpp - the home plug-in item, module loading and the home
 * host: a module's type is registered and its instance shown as a gadget, a
 * module without hd_plugin_module_unload is refused, the settings entry emits
 * "show-settings" only when the widget asked for it, "is-on-current-desktop"
 * follows map, unmap and iconify and notifies only on change, and the
 * hd-home-host program shows a widget from its .desktop file and writes a
 * screenshot of it.
 */
#include "hd-home-host.h"

#include "file_helpers.h"
#include "main_loop.h"

#include <gtest/gtest.h>
#include <libintl.h>

#include <clocale>
#include <string>
#include <utility>

namespace {

using test_support::run_until;
using test_support::temp_path;
using test_support::write_file;

const std::string kModuleDir = PLATFORM_TEST_MODULE_DIR;
const std::string kWidgetLibrary = kModuleDir + "/libplatformtestwidget.so";
const std::string kNoUnloadLibrary = kModuleDir + "/libplatformtestnounload.so";

struct Counter {
    int count = 0;
};

void count_signal(gpointer, gpointer data) {
    ++static_cast<Counter *>(data)->count;
}
void count_notify(GObject *, GParamSpec *, gpointer data) {
    ++static_cast<Counter *>(data)->count;
}

bool on_current_desktop(HDHomePluginItem *item) {
    gboolean on = FALSE;
    g_object_get(item, "is-on-current-desktop", &on, nullptr);
    return on;
}

class HomePluginTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(gtk_init_check(nullptr, nullptr)); }

    void TearDown() override {
        if (item_ != nullptr)
            gtk_widget_destroy(GTK_WIDGET(item_));
    }

    HDHomePluginItem *create_shown_widget() {
        GError *error = nullptr;
        item_ = hd_home_host::create_widget(kWidgetLibrary.c_str(), &error);
        EXPECT_EQ(error, nullptr) << (error != nullptr ? error->message : "");
        if (item_ == nullptr)
            return nullptr;
        hd_home_host::present_as_gadget(item_, 30, 40);
        EXPECT_TRUE(run_until([this] { return on_current_desktop(item_); }));
        return item_;
    }

    HDHomePluginItem *item_ = nullptr;
};

TEST_F(HomePluginTest, LoadedModuleRegistersItsTypeAndTheHostShowsAnInstance) {
    HDHomePluginItem *item = create_shown_widget();
    ASSERT_NE(item, nullptr);
    GType type = g_type_from_name("PlatformTestWidget");
    ASSERT_NE(type, G_TYPE_INVALID);
    EXPECT_EQ(G_OBJECT_TYPE(item), type);
    EXPECT_TRUE(g_type_is_a(type, HD_TYPE_HOME_PLUGIN_ITEM));

    GtkWidget *window = GTK_WIDGET(item);
    EXPECT_TRUE(gtk_widget_get_mapped(window));
    EXPECT_FALSE(gtk_window_get_decorated(GTK_WINDOW(window)));
    EXPECT_TRUE(gtk_window_get_skip_taskbar_hint(GTK_WINDOW(window)));
    EXPECT_TRUE(gtk_window_get_skip_pager_hint(GTK_WINDOW(window)));
    GdkColormap *rgba = gdk_screen_get_rgba_colormap(gtk_widget_get_screen(window));
    if (rgba != nullptr) {
        EXPECT_EQ(gtk_widget_get_colormap(window), rgba);
    }
    GtkWidget *child = gtk_bin_get_child(GTK_BIN(window));
    ASSERT_NE(child, nullptr);
    EXPECT_TRUE(run_until([child] { return child->allocation.width == 120; }));
    EXPECT_EQ(child->allocation.height, 80);

    /* Creating the widget again reuses the loaded module. */
    GError *error = nullptr;
    HDHomePluginItem *second = hd_home_host::create_widget(kWidgetLibrary.c_str(), &error);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(G_OBJECT_TYPE(second), type);
    gtk_widget_destroy(GTK_WIDGET(second));
}

TEST_F(HomePluginTest, ModuleWithoutUnloadOrLibraryIsRefusedCleanly) {
    HDPluginModule *module = hd_plugin_module_new(kNoUnloadLibrary.c_str());
    EXPECT_FALSE(g_type_module_use(G_TYPE_MODULE(module)));
    EXPECT_EQ(hd_plugin_module_get_added_type(module), G_TYPE_INVALID);
    g_object_unref(module);

    GError *error = nullptr;
    EXPECT_EQ(hd_home_host::create_widget(kNoUnloadLibrary.c_str(), &error), nullptr);
    ASSERT_NE(error, nullptr);
    g_clear_error(&error);
    std::string missing = kModuleDir + "/libnosuchwidget.so";
    EXPECT_EQ(hd_home_host::create_widget(missing.c_str(), &error), nullptr);
    ASSERT_NE(error, nullptr);
    g_clear_error(&error);
}

TEST_F(HomePluginTest, SettingsEntryEmitsShowSettingsOnlyWhenAskedFor) {
    HDHomePluginItem *item = create_shown_widget();
    ASSERT_NE(item, nullptr);
    Counter shown;
    g_signal_connect(item, "show-settings", G_CALLBACK(count_signal), &shown);

    EXPECT_FALSE(hd_home_host::activate_settings(item));
    EXPECT_EQ(shown.count, 0);

    /* Without a settings wish a right click offers no menu. */
    GdkEvent *press = gdk_event_new(GDK_BUTTON_PRESS);
    press->button.window = GDK_WINDOW(g_object_ref(GTK_WIDGET(item)->window));
    press->button.button = 3;
    press->button.time = GDK_CURRENT_TIME;
    gtk_widget_event(GTK_WIDGET(item), press);
    EXPECT_EQ(gtk_menu_get_for_attach_widget(GTK_WIDGET(item)), nullptr);

    hd_home_plugin_item_set_settings(item, TRUE);
    EXPECT_TRUE(hd_home_plugin_item_get_settings(item));
    EXPECT_TRUE(hd_home_host::activate_settings(item));
    EXPECT_EQ(shown.count, 1);

    /* With it, the right-click menu holds "Settings", which emits the signal. */
    gtk_widget_event(GTK_WIDGET(item), press);
    gdk_event_free(press);
    GList *menus = gtk_menu_get_for_attach_widget(GTK_WIDGET(item));
    ASSERT_NE(menus, nullptr);
    GList *entries = gtk_container_get_children(GTK_CONTAINER(menus->data));
    ASSERT_EQ(g_list_length(entries), 1u);
    GtkWidget *entry = GTK_WIDGET(entries->data);
    g_list_free(entries);
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(gtk_bin_get_child(GTK_BIN(entry)))), "Settings");
    gtk_menu_item_activate(GTK_MENU_ITEM(entry));
    EXPECT_EQ(shown.count, 2);
    /* Closing the menu destroys it. */
    gtk_menu_shell_cancel(GTK_MENU_SHELL(menus->data));
    EXPECT_EQ(gtk_menu_get_for_attach_widget(GTK_WIDGET(item)), nullptr);

    /* The entry speaks the user's language. */
    bindtextdomain("hd-home-host", VELMORA_BUILD_LOCALE_DIR);
    for (auto [language, text] : {std::pair{"de", "Einstellungen"}, {"fr", "Paramètres"}}) {
        g_setenv("LANGUAGE", language, TRUE);
        ASSERT_NE(setlocale(LC_ALL, "C.UTF-8"), nullptr);
        textdomain(textdomain(nullptr)); /* gettext forgets the previous language's texts */
        GdkEvent *right_click = gdk_event_new(GDK_BUTTON_PRESS);
        right_click->button.window = GDK_WINDOW(g_object_ref(GTK_WIDGET(item)->window));
        right_click->button.button = 3;
        right_click->button.time = GDK_CURRENT_TIME;
        gtk_widget_event(GTK_WIDGET(item), right_click);
        gdk_event_free(right_click);
        GList *menu = gtk_menu_get_for_attach_widget(GTK_WIDGET(item));
        ASSERT_NE(menu, nullptr);
        GList *translated = gtk_container_get_children(GTK_CONTAINER(menu->data));
        EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(gtk_bin_get_child(GTK_BIN(translated->data)))),
                     text);
        g_list_free(translated);
        gtk_menu_shell_cancel(GTK_MENU_SHELL(menu->data));
    }
    g_unsetenv("LANGUAGE");
    setlocale(LC_ALL, "C");

    hd_home_plugin_item_set_settings(item, FALSE);
    EXPECT_FALSE(hd_home_host::activate_settings(item));
    EXPECT_EQ(shown.count, 2);
}

void send_window_state(GtkWidget *widget, GdkWindowState state) {
    GdkEvent *event = gdk_event_new(GDK_WINDOW_STATE);
    event->window_state.window = GDK_WINDOW(g_object_ref(widget->window));
    event->window_state.changed_mask = GDK_WINDOW_STATE_ICONIFIED;
    event->window_state.new_window_state = state;
    gtk_widget_event(widget, event);
    gdk_event_free(event);
}

TEST_F(HomePluginTest, IsOnCurrentDesktopFollowsTheWindowAndNotifiesOnlyOnChange) {
    GError *error = nullptr;
    item_ = hd_home_host::create_widget(kWidgetLibrary.c_str(), &error);
    ASSERT_NE(item_, nullptr);
    EXPECT_FALSE(on_current_desktop(item_));
    Counter notified;
    g_signal_connect(item_, "notify::is-on-current-desktop", G_CALLBACK(count_notify), &notified);

    hd_home_host::present_as_gadget(item_, 0, 0);
    ASSERT_TRUE(run_until([this] { return on_current_desktop(item_); }));
    EXPECT_EQ(notified.count, 1);

    hd_home_plugin_item_set_is_on_current_desktop(item_, TRUE);
    EXPECT_EQ(notified.count, 1);

    GtkWidget *window = GTK_WIDGET(item_);
    send_window_state(window, GDK_WINDOW_STATE_ICONIFIED);
    EXPECT_FALSE(on_current_desktop(item_));
    EXPECT_EQ(notified.count, 2);
    send_window_state(window, GDK_WINDOW_STATE_ICONIFIED);
    EXPECT_EQ(notified.count, 2);
    send_window_state(window, GdkWindowState(0));
    EXPECT_TRUE(on_current_desktop(item_));
    EXPECT_EQ(notified.count, 3);

    gtk_widget_hide(window);
    ASSERT_TRUE(run_until([this] { return !on_current_desktop(item_); }));
    EXPECT_EQ(notified.count, 4);
    gtk_widget_show(window);
    ASSERT_TRUE(run_until([this] { return on_current_desktop(item_); }));
    EXPECT_EQ(notified.count, 5);
}

TEST_F(HomePluginTest, SharedSessionBusConnection) {
    HDHomePluginItem *item = HD_HOME_PLUGIN_ITEM(g_object_new(HD_TYPE_HOME_PLUGIN_ITEM, nullptr));
    GError *error = nullptr;
    DBusGConnection *first =
        hd_home_plugin_item_get_dbus_g_connection(item, DBUS_BUS_SESSION, &error);
    ASSERT_NE(first, nullptr) << error->message;
    DBusGConnection *second =
        hd_home_plugin_item_get_dbus_g_connection(item, DBUS_BUS_SESSION, &error);
    EXPECT_EQ(first, second);
    dbus_g_connection_unref(first);
    dbus_g_connection_unref(second);
    gtk_widget_destroy(GTK_WIDGET(item));
}

TEST(HomeHostTest, DesktopFileNamesTheLibraryInsideTheModuleDir) {
    std::string desktop = temp_path("widget.desktop");
    ASSERT_TRUE(
        write_file(desktop, "[Desktop Entry]\nName=Test\nType=default\nX-Path=libwidget.so\n"));
    GError *error = nullptr;
    gchar *path = hd_home_host::resolve_module_path(desktop.c_str(), "/opt/widgets", &error);
    EXPECT_STREQ(path, "/opt/widgets/libwidget.so");
    g_free(path);

    ASSERT_TRUE(
        write_file(desktop, "[Desktop Entry]\nName=Test\nX-Path=/elsewhere/libwidget.so\n"));
    path = hd_home_host::resolve_module_path(desktop.c_str(), "/opt/widgets", &error);
    EXPECT_STREQ(path, "/elsewhere/libwidget.so");
    g_free(path);

    for (const char *broken :
         {"[Desktop Entry]\nName=Test\n", "[Desktop Entry]\nX-Path=  \n", "not a key file"}) {
        ASSERT_TRUE(write_file(desktop, broken));
        EXPECT_EQ(hd_home_host::resolve_module_path(desktop.c_str(), "/x", &error), nullptr);
        EXPECT_NE(error, nullptr) << broken;
        g_clear_error(&error);
    }
    EXPECT_EQ(hd_home_host::resolve_module_path("/no/such.desktop", "/x", &error), nullptr);
    EXPECT_NE(error, nullptr);
    g_clear_error(&error);

    g_setenv("HD_HOME_PLUGIN_DIR", "/from/env", TRUE);
    EXPECT_STREQ(hd_home_host::choose_module_dir("/from/option"), "/from/option");
    EXPECT_STREQ(hd_home_host::choose_module_dir(nullptr), "/from/env");
    g_unsetenv("HD_HOME_PLUGIN_DIR");
    EXPECT_STRNE(hd_home_host::choose_module_dir(nullptr), "");
}

int run_host(const std::string &desktop, const std::string &screenshot) {
    gchar **envp =
        g_environ_setenv(g_get_environ(), "HD_HOME_PLUGIN_DIR", kModuleDir.c_str(), TRUE);
    const gchar *argv[] = {HD_HOME_HOST_PROGRAM, "--position",   "10,20",
                           "--screenshot-after", "400",          "--screenshot-file",
                           screenshot.c_str(),   "--quit-after", "700",
                           desktop.c_str(),      nullptr};
    gint status = -1;
    GError *error = nullptr;
    gboolean ran = g_spawn_sync(nullptr, const_cast<gchar **>(argv), envp, G_SPAWN_DEFAULT, nullptr,
                                nullptr, nullptr, nullptr, &status, &error);
    g_strfreev(envp);
    if (!ran) {
        ADD_FAILURE() << error->message;
        g_error_free(error);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(HomeHostTest, ProgramShowsTheWidgetOfADesktopFileAndWritesAScreenshot) {
    std::string desktop = temp_path("platformtest.desktop");
    std::string screenshot = temp_path("platformtest.png");
    ASSERT_TRUE(write_file(desktop, "[Desktop Entry]\nName=Platform test\nType=default\n"
                                    "X-Path=libplatformtestwidget.so\n"));
    ASSERT_EQ(run_host(desktop, screenshot), 0);

    GError *error = nullptr;
    GdkPixbuf *shot = gdk_pixbuf_new_from_file(screenshot.c_str(), &error);
    ASSERT_NE(shot, nullptr) << error->message;
    EXPECT_EQ(gdk_pixbuf_get_width(shot), 120);
    EXPECT_EQ(gdk_pixbuf_get_height(shot), 80);
    const guchar *centre = gdk_pixbuf_get_pixels(shot) + 40 * gdk_pixbuf_get_rowstride(shot) +
                           60 * gdk_pixbuf_get_n_channels(shot);
    EXPECT_EQ(centre[0], 255);
    EXPECT_EQ(centre[1], 0);
    EXPECT_EQ(centre[2], 0);
    g_object_unref(shot);

    std::string refused = temp_path("refused.desktop");
    ASSERT_TRUE(write_file(refused,
                           "[Desktop Entry]\nName=No unload\nX-Path=libplatformtestnounload.so\n"));
    EXPECT_EQ(run_host(refused, temp_path("refused.png")), 1);
    EXPECT_FALSE(g_file_test(temp_path("refused.png").c_str(), G_FILE_TEST_EXISTS));
}

} // namespace
