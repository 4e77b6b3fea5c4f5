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

using test_support::run_for;
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

/* The item's X property as the window manager reads it: the text of a format-8
 * value, "1" for a CARDINAL 1, the atom's name for an ATOM; "" when absent. */
std::string x_property(HDHomePluginItem *item, const char *name) {
    GdkAtom type = GDK_NONE;
    gint format = 0;
    gint length = 0;
    guchar *data = nullptr;
    if (!gdk_property_get(GTK_WIDGET(item)->window, gdk_atom_intern(name, FALSE), GDK_NONE, 0, 1024,
                          FALSE, &type, &format, &length, &data))
        return "";
    std::string value;
    if (format == 8)
        value.assign(reinterpret_cast<const char *>(data), gsize(length));
    else if (type == gdk_atom_intern("ATOM", FALSE)) {
        g_autofree gchar *atom_name = gdk_atom_name(*reinterpret_cast<GdkAtom *>(data));
        value = atom_name;
    } else
        value = std::to_string(*reinterpret_cast<long *>(data));
    g_free(data);
    return value;
}

std::string write_desktop_file(const std::string &name, const std::string &extra = "") {
    std::string path = temp_path(name);
    EXPECT_TRUE(write_file(path, "[Desktop Entry]\nName=Test\nType=default\n"
                                 "X-Path=libplatformtestwidget.so\n" +
                                     extra));
    return path;
}

class HomePluginTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(gtk_init_check(nullptr, nullptr)); }

    void TearDown() override {
        if (item_ != nullptr)
            gtk_widget_destroy(GTK_WIDGET(item_));
    }

    HDHomePluginItem *load(const char *plugin_id, const std::string &extra = "") {
        GError *error = nullptr;
        std::string desktop = write_desktop_file("platformtest.desktop", extra);
        item_ = hd_home_host::load_widget(desktop.c_str(), plugin_id, kModuleDir.c_str(), &error);
        EXPECT_EQ(error, nullptr) << error->message;
        return item_;
    }

    HDHomePluginItem *create_shown_widget() {
        if (load("platformtest.desktop-0") == nullptr)
            return nullptr;
        hd_home_host::present_as_gadget(item_, 30, 40);
        EXPECT_TRUE(run_until([this] { return on_current_desktop(item_); }));
        return item_;
    }

    HDHomePluginItem *item_ = nullptr;
};

TEST_F(HomePluginTest, LoaderMakesTheModulesTypeWithItsPluginIdAndTheHostShowsIt) {
    HDHomePluginItem *item = create_shown_widget();
    ASSERT_NE(item, nullptr);
    GType type = g_type_from_name("PlatformTestWidget");
    ASSERT_NE(type, G_TYPE_INVALID);
    EXPECT_EQ(G_OBJECT_TYPE(item), type);
    EXPECT_TRUE(G_TYPE_IS_ABSTRACT(HD_TYPE_HOME_PLUGIN_ITEM));
    EXPECT_TRUE(g_type_is_a(type, HD_TYPE_PLUGIN_ITEM));
    g_autofree gchar *plugin_id = hd_plugin_item_get_plugin_id(HD_PLUGIN_ITEM(item));
    EXPECT_STREQ(plugin_id, "platformtest.desktop-0");
    EXPECT_EQ(std::string(hd_home_plugin_item_get_dl_filename(item)), kWidgetLibrary);

    GtkWidget *window = GTK_WIDGET(item);
    EXPECT_TRUE(gtk_widget_get_mapped(window));
    EXPECT_FALSE(gtk_window_get_accept_focus(GTK_WINDOW(window)));
    EXPECT_TRUE(gtk_window_get_skip_taskbar_hint(GTK_WINDOW(window)));
    GtkWidget *child = gtk_bin_get_child(GTK_BIN(window));
    ASSERT_NE(child, nullptr);
    EXPECT_TRUE(run_until([child] { return child->allocation.width == 120; }));
    EXPECT_EQ(child->allocation.height, 80);

    /* A second instance reuses the module; the first keeps its id. */
    GError *error = nullptr;
    HDHomePluginItem *second =
        hd_home_host::create_widget(kWidgetLibrary.c_str(), "second", nullptr, &error);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(G_OBJECT_TYPE(second), type);
    gtk_widget_destroy(GTK_WIDGET(second));
}

TEST_F(HomePluginTest, ModulesAndDesktopFilesTheLoaderRefuses) {
    GError *error = nullptr;
    HDPluginModule *module = hd_plugin_module_new(kNoUnloadLibrary.c_str());
    EXPECT_FALSE(g_type_module_use(G_TYPE_MODULE(module)));
    EXPECT_EQ(hd_plugin_module_new_object(module, "x"), nullptr);
    g_object_unref(module);

    const std::string missing = kModuleDir + "/libnosuchwidget.so";
    for (const std::string &library : {kNoUnloadLibrary, missing}) {
        EXPECT_EQ(hd_home_host::create_widget(library.c_str(), "x", nullptr, &error), nullptr);
        EXPECT_NE(error, nullptr) << library;
        g_clear_error(&error);
    }
    /* Another loader than the default one is not here. */
    std::string desktop = temp_path("python.desktop");
    ASSERT_TRUE(
        write_file(desktop, "[Desktop Entry]\nType=python\nX-Path=libplatformtestwidget.so\n"));
    EXPECT_EQ(hd_home_host::load_widget(desktop.c_str(), "x", kModuleDir.c_str(), &error), nullptr);
    EXPECT_NE(error, nullptr);
    g_clear_error(&error);
}

TEST_F(HomePluginTest, RealizeWritesTheItemsPropertiesForTheWindowManager) {
    ASSERT_NE(load("clock/one#2", "X-Display-On-All-Views=true\n"), nullptr);
    gtk_widget_realize(GTK_WIDGET(item_));
    EXPECT_EQ(x_property(item_, "_NET_WM_WINDOW_TYPE"), "_HILDON_WM_WINDOW_TYPE_HOME_APPLET");
    /* The default applet id is the plug-in id with '/' and '#' replaced. */
    EXPECT_EQ(x_property(item_, "_HILDON_APPLET_ID"), "clock_one_2");
    EXPECT_EQ(x_property(item_, "_HILDON_APPLET_DISPLAY_ON_ALL_VIEWS"), "1");
    EXPECT_EQ(x_property(item_, "_HILDON_APPLET_SETTINGS"), "");

    hd_home_plugin_item_set_settings(item_, TRUE);
    EXPECT_EQ(x_property(item_, "_HILDON_APPLET_SETTINGS"), "1");
    EXPECT_TRUE(hd_home_host::offers_settings(GTK_WIDGET(item_)));
    hd_home_plugin_item_set_settings(item_, FALSE);
    EXPECT_EQ(x_property(item_, "_HILDON_APPLET_SETTINGS"), "");
    EXPECT_FALSE(hd_home_host::offers_settings(GTK_WIDGET(item_)));
}

TEST_F(HomePluginTest, PropertiesHaveTheRealFlags) {
    GObjectClass *klass = G_OBJECT_CLASS(g_type_class_ref(HD_TYPE_HOME_PLUGIN_ITEM));
    const struct {
        const char *name;
        GType type;
        GParamFlags flags;
    } expected[] = {
        {"plugin-id", G_TYPE_STRING, GParamFlags(G_PARAM_READWRITE | G_PARAM_CONSTRUCT_ONLY)},
        {"settings", G_TYPE_BOOLEAN, G_PARAM_WRITABLE},
        {"is-on-current-desktop", G_TYPE_BOOLEAN, G_PARAM_READABLE},
    };
    const auto kMask = GParamFlags(G_PARAM_READWRITE | G_PARAM_CONSTRUCT | G_PARAM_CONSTRUCT_ONLY);
    for (const auto &property : expected) {
        GParamSpec *pspec = g_object_class_find_property(klass, property.name);
        ASSERT_NE(pspec, nullptr) << property.name;
        EXPECT_EQ(G_PARAM_SPEC_VALUE_TYPE(pspec), property.type) << property.name;
        EXPECT_EQ(pspec->flags & kMask, property.flags) << property.name;
    }
    GSignalQuery query;
    g_signal_query(g_signal_lookup("show-settings", HD_TYPE_HOME_PLUGIN_ITEM), &query);
    EXPECT_EQ(query.signal_flags & G_SIGNAL_RUN_LAST, G_SIGNAL_RUN_LAST);
    EXPECT_EQ(query.n_params, 0u);
    g_type_class_unref(klass);
}

/* The window manager's side: the property and the client message, nothing else. */
TEST_F(HomePluginTest, WindowManagerDrivesVisibilityAndSettingsOverX) {
    ASSERT_NE(load("platformtest.desktop-0"), nullptr);
    GtkWidget *window = GTK_WIDGET(item_);
    gtk_widget_realize(window);
    Counter notified;
    Counter shown;
    g_signal_connect(item_, "notify::is-on-current-desktop", G_CALLBACK(count_notify), &notified);
    g_signal_connect(item_, "show-settings", G_CALLBACK(count_signal), &shown);
    EXPECT_FALSE(on_current_desktop(item_));

    hd_home_host::set_on_current_desktop(window, TRUE);
    ASSERT_TRUE(run_until([this] { return on_current_desktop(item_); }));
    /* A second write of the property is no change. */
    hd_home_host::set_on_current_desktop(window, TRUE);
    hd_home_host::set_on_current_desktop(window, FALSE);
    ASSERT_TRUE(run_until([this] { return !on_current_desktop(item_); }));
    EXPECT_EQ(notified.count, 2);

    /* No settings wish: nothing is sent. */
    EXPECT_FALSE(hd_home_host::request_settings(window));
    hd_home_plugin_item_set_settings(item_, TRUE);
    EXPECT_TRUE(hd_home_host::request_settings(window));
    ASSERT_TRUE(run_until([&shown] { return shown.count == 1; }));
    run_for(100);
    EXPECT_EQ(shown.count, 1);
}

TEST_F(HomePluginTest, RightClickMenuOffersSettingsOnlyWhenAskedFor) {
    HDHomePluginItem *item = create_shown_widget();
    ASSERT_NE(item, nullptr);
    Counter shown;
    g_signal_connect(item, "show-settings", G_CALLBACK(count_signal), &shown);
    auto right_click = [item] {
        GdkEvent *press = gdk_event_new(GDK_BUTTON_PRESS);
        press->button.window = GDK_WINDOW(g_object_ref(GTK_WIDGET(item)->window));
        press->button.button = 3;
        press->button.time = GDK_CURRENT_TIME;
        gtk_widget_event(GTK_WIDGET(item), press);
        gdk_event_free(press);
        GList *menus = gtk_menu_get_for_attach_widget(GTK_WIDGET(item));
        return menus != nullptr ? GTK_MENU_SHELL(menus->data) : nullptr;
    };
    auto entry_of = [](GtkMenuShell *menu) {
        GList *entries = gtk_container_get_children(GTK_CONTAINER(menu));
        GtkWidget *entry = entries != nullptr ? GTK_WIDGET(entries->data) : nullptr;
        EXPECT_EQ(g_list_length(entries), 1u);
        g_list_free(entries);
        return entry;
    };

    /* Without a settings wish a right click offers no menu. */
    EXPECT_EQ(right_click(), nullptr);

    hd_home_plugin_item_set_settings(item, TRUE);
    GtkMenuShell *menu = right_click();
    ASSERT_NE(menu, nullptr);
    GtkWidget *entry = entry_of(menu);
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(gtk_bin_get_child(GTK_BIN(entry)))), "Settings");
    gtk_menu_item_activate(GTK_MENU_ITEM(entry));
    ASSERT_TRUE(run_until([&shown] { return shown.count == 1; }));
    /* Closing the menu destroys it. */
    gtk_menu_shell_cancel(menu);
    EXPECT_EQ(gtk_menu_get_for_attach_widget(GTK_WIDGET(item)), nullptr);

    /* The entry speaks the user's language. */
    bindtextdomain("hd-home-host", VELMORA_BUILD_LOCALE_DIR);
    for (auto [language, text] : {std::pair{"de", "Einstellungen"}, {"fr", "Paramètres"}}) {
        g_setenv("LANGUAGE", language, TRUE);
        ASSERT_NE(setlocale(LC_ALL, "C.UTF-8"), nullptr);
        textdomain(textdomain(nullptr)); /* gettext forgets the previous language's texts */
        GtkMenuShell *translated = right_click();
        ASSERT_NE(translated, nullptr);
        EXPECT_STREQ(
            gtk_label_get_text(GTK_LABEL(gtk_bin_get_child(GTK_BIN(entry_of(translated))))), text);
        gtk_menu_shell_cancel(translated);
    }
    g_unsetenv("LANGUAGE");
    setlocale(LC_ALL, "C");

    hd_home_plugin_item_set_settings(item, FALSE);
    EXPECT_EQ(right_click(), nullptr);
    EXPECT_EQ(shown.count, 1);
}

void send_window_state(GtkWidget *widget, GdkWindowState state) {
    GdkEvent *event = gdk_event_new(GDK_WINDOW_STATE);
    event->window_state.window = GDK_WINDOW(g_object_ref(widget->window));
    event->window_state.changed_mask = GDK_WINDOW_STATE_ICONIFIED;
    event->window_state.new_window_state = state;
    gtk_widget_event(widget, event);
    gdk_event_free(event);
}

TEST_F(HomePluginTest, HostSetsOnCurrentDesktopFromMapAndIconify) {
    ASSERT_NE(load("platformtest.desktop-0"), nullptr);
    Counter notified;
    g_signal_connect(item_, "notify::is-on-current-desktop", G_CALLBACK(count_notify), &notified);
    hd_home_host::present_as_gadget(item_, 0, 0);
    ASSERT_TRUE(run_until([this] { return on_current_desktop(item_); }));
    EXPECT_EQ(notified.count, 1);

    GtkWidget *window = GTK_WIDGET(item_);
    send_window_state(window, GDK_WINDOW_STATE_ICONIFIED);
    ASSERT_TRUE(run_until([this] { return !on_current_desktop(item_); }));
    send_window_state(window, GdkWindowState(0));
    ASSERT_TRUE(run_until([this] { return on_current_desktop(item_); }));
    gtk_widget_hide(window);
    ASSERT_TRUE(run_until([this] { return !on_current_desktop(item_); }));
    gtk_widget_show(window);
    ASSERT_TRUE(run_until([this] { return on_current_desktop(item_); }));
    EXPECT_EQ(notified.count, 5);
}

TEST_F(HomePluginTest, SharedSessionBusConnection) {
    ASSERT_NE(load("platformtest.desktop-0"), nullptr);
    GError *error = nullptr;
    DBusGConnection *first =
        hd_home_plugin_item_get_dbus_g_connection(item_, DBUS_BUS_SESSION, &error);
    ASSERT_NE(first, nullptr) << error->message;
    DBusGConnection *second =
        hd_home_plugin_item_get_dbus_g_connection(item_, DBUS_BUS_SESSION, &error);
    EXPECT_EQ(first, second);
    dbus_g_connection_unref(first);
    dbus_g_connection_unref(second);
}

TEST(HomeHostTest, DesktopFileNamesTheLibraryInsideTheModuleDir) {
    std::string desktop = temp_path("widget.desktop");
    ASSERT_TRUE(
        write_file(desktop, "[Desktop Entry]\nName=Test\nType=default\nX-Path=libwidget.so\n"));
    GError *error = nullptr;
    gchar *path = hd_home_host::resolve_module_path(desktop.c_str(), "/opt/widgets", &error);
    EXPECT_STREQ(path, "/opt/widgets/libwidget.so");
    g_free(path);

    ASSERT_TRUE(write_file(desktop, "[Desktop Entry]\nName=Test\nType=Default\n"
                                    "X-Path=/elsewhere/libwidget.so\n"));
    path = hd_home_host::resolve_module_path(desktop.c_str(), "/opt/widgets", &error);
    EXPECT_STREQ(path, "/elsewhere/libwidget.so");
    g_free(path);

    for (const char *broken : {"[Desktop Entry]\nName=Test\nType=default\n",
                               "[Desktop Entry]\nType=default\nX-Path=  \n",
                               "[Desktop Entry]\nX-Path=libwidget.so\n", "not a key file"}) {
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
    ASSERT_TRUE(write_file(refused, "[Desktop Entry]\nName=No unload\nType=default\n"
                                    "X-Path=libplatformtestnounload.so\n"));
    EXPECT_EQ(run_host(refused, temp_path("refused.png")), 1);
    EXPECT_FALSE(g_file_test(temp_path("refused.png").c_str(), G_FILE_TEST_EXISTS));
}

} // namespace
