/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hd-home-host.cpp - the hd-home-host program: shows one home widget, named by
 * its .desktop file, as a desktop gadget, the way the home desktop does.
 *
 *   hd-home-host [--module-dir DIR] [--position X,Y] [--screenshot-after MS
 *                --screenshot-file PATH] [--quit-after MS] WIDGET.desktop
 *   hd-home-host --help | --version
 */
#include "hd-home-host.h"

#include <clocale>
#include <libintl.h>

namespace {

struct HostOptions {
    gchar *module_dir = nullptr;
    gchar *position = nullptr;
    gint screenshot_after_ms = -1;
    gchar *screenshot_file = nullptr;
    gint quit_after_ms = -1;
    gchar **desktop_files = nullptr;
    gboolean version = FALSE;
};

struct Screenshot {
    GtkWidget *window;
    const gchar *path;
    gboolean failed;
};

gboolean parse_position(const gchar *text, gint *x, gint *y) {
    if (text == nullptr)
        return TRUE;
    gchar *end = nullptr;
    gint64 px = g_ascii_strtoll(text, &end, 10);
    if (end == text || *end != ',')
        return FALSE;
    const gchar *second = end + 1;
    gint64 py = g_ascii_strtoll(second, &end, 10);
    if (end == second || *end != '\0' || px < G_MININT || px > G_MAXINT || py < G_MININT ||
        py > G_MAXINT)
        return FALSE;
    *x = gint(px);
    *y = gint(py);
    return TRUE;
}

gboolean take_screenshot(gpointer data) {
    auto *shot = static_cast<Screenshot *>(data);
    GError *error = nullptr;
    if (!hd_home_host::write_screenshot(shot->window, shot->path, &error)) {
        g_printerr("hd-home-host: screenshot %s failed: %s\n", shot->path, error->message);
        g_error_free(error);
        shot->failed = TRUE;
    }
    return G_SOURCE_REMOVE;
}

gboolean quit_main_loop(gpointer) {
    gtk_main_quit();
    return G_SOURCE_REMOVE;
}

} // namespace

int main(int argc, char **argv) {
    HostOptions options;
    const GOptionEntry entries[] = {
        {"module-dir", 0, 0, G_OPTION_ARG_FILENAME, &options.module_dir,
         "Directory of widget libraries (default: $HD_HOME_PLUGIN_DIR or the installed one)",
         "DIR"},
        {"position", 0, 0, G_OPTION_ARG_STRING, &options.position,
         "Place the widget at X,Y on the desktop", "X,Y"},
        {"screenshot-after", 0, 0, G_OPTION_ARG_INT, &options.screenshot_after_ms,
         "Write a screenshot of the widget this many milliseconds after start", "MS"},
        {"screenshot-file", 0, 0, G_OPTION_ARG_FILENAME, &options.screenshot_file,
         "PNG file for --screenshot-after", "PATH"},
        {"quit-after", 0, 0, G_OPTION_ARG_INT, &options.quit_after_ms,
         "Quit this many milliseconds after start", "MS"},
        {"version", 0, 0, G_OPTION_ARG_NONE, &options.version, "Show the version and exit",
         nullptr},
        {G_OPTION_REMAINING, 0, 0, G_OPTION_ARG_FILENAME_ARRAY, &options.desktop_files, nullptr,
         "WIDGET.desktop"},
        {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr}};

    /* The host's texts (the widget's settings entry) in the user's language. */
    setlocale(LC_ALL, "");
    bindtextdomain("hd-home-host", HD_HOME_HOST_LOCALE_DIR);
    bind_textdomain_codeset("hd-home-host", "UTF-8");

    GError *error = nullptr;
    /* --version needs no display; --help and unknown options are answered while
     * parsing, before the display is opened (GTK's group opens it afterwards). */
    for (int i = 1; i < argc && g_strcmp0(argv[i], "--") != 0; ++i) {
        if (g_strcmp0(argv[i], "--version") == 0) {
            g_print("hd-home-host (Velmora) %s\n", VELMORA_VERSION);
            return 0;
        }
    }
    GOptionContext *context = g_option_context_new("- show a home widget");
    g_option_context_set_summary(
        context, "Shows one home widget, named by its .desktop file, as a desktop gadget the\n"
                 "way the home desktop does: loads the library that the file's X-Path names\n"
                 "from the module directory and places the widget on the display.");
    g_option_context_set_description(
        context, "Environment:\n"
                 "  HD_HOME_PLUGIN_DIR  directory of widget libraries (default\n"
                 "                      " HD_HOME_PLUGIN_DEFAULT_DIR ")\n");
    g_option_context_add_main_entries(context, entries, nullptr);
    g_option_context_add_group(context, gtk_get_option_group(TRUE));
    const gboolean parsed = g_option_context_parse(context, &argc, &argv, &error);
    g_option_context_free(context);
    if (!parsed) {
        g_printerr("hd-home-host: %s (see --help)\n",
                   error != nullptr ? error->message : "cannot open display");
        g_clear_error(&error);
        return 2;
    }
    if (options.desktop_files == nullptr || options.desktop_files[0] == nullptr ||
        options.desktop_files[1] != nullptr) {
        g_printerr("hd-home-host: give exactly one widget .desktop file\n");
        return 2;
    }
    gint x = 0;
    gint y = 0;
    if (!parse_position(options.position, &x, &y)) {
        g_printerr("hd-home-host: --position wants X,Y\n");
        return 2;
    }
    if ((options.screenshot_after_ms >= 0) != (options.screenshot_file != nullptr)) {
        g_printerr("hd-home-host: --screenshot-after and --screenshot-file go together\n");
        return 2;
    }

    const gchar *module_dir = hd_home_host::choose_module_dir(options.module_dir);
    gchar *library =
        hd_home_host::resolve_module_path(options.desktop_files[0], module_dir, &error);
    if (library == nullptr) {
        g_printerr("hd-home-host: %s: %s\n", options.desktop_files[0], error->message);
        g_error_free(error);
        return 1;
    }
    HDHomePluginItem *item = hd_home_host::create_widget(library, &error);
    g_free(library);
    if (item == nullptr) {
        g_printerr("hd-home-host: %s\n", error->message);
        g_error_free(error);
        return 1;
    }
    /* Closing the widget's window ends the host. */
    g_signal_connect(item, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    hd_home_host::present_as_gadget(item, x, y);

    Screenshot shot{GTK_WIDGET(item), options.screenshot_file, FALSE};
    if (options.screenshot_after_ms >= 0)
        g_timeout_add(guint(options.screenshot_after_ms), take_screenshot, &shot);
    if (options.quit_after_ms >= 0)
        g_timeout_add(guint(options.quit_after_ms), quit_main_loop, nullptr);
    gtk_main();

    g_free(options.module_dir);
    g_free(options.position);
    g_free(options.screenshot_file);
    g_strfreev(options.desktop_files);
    return shot.failed ? 1 : 0;
}
