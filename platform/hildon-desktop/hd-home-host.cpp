/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hd-home-host.cpp - the hd-home-host program: shows one home widget, named by
 * its .desktop file, as a desktop gadget, the way the home desktop does.
 *
 *   hd-home-host [--module-dir DIR] [--plugin-id ID] [--position X,Y] [--screenshot-after MS
 *                --screenshot-file PATH] [--quit-after MS] WIDGET.desktop
 *   hd-home-host --help | --version
 */
#include "hd-home-host.h"

#include <clocale>
#include <libintl.h>

namespace {

struct HostOptions {
    gchar *module_dir = nullptr;
    gchar *plugin_id = nullptr;
    gchar *position = nullptr;
    gint screenshot_after_ms = -1;
    gchar *screenshot_file = nullptr;
    gint quit_after_ms = -1;
    gchar **desktop_files = nullptr;
    gint x = 0;
    gint y = 0;
    gboolean version = FALSE; /* answered before parsing */

    ~HostOptions() {
        g_free(module_dir);
        g_free(plugin_id);
        g_free(position);
        g_free(screenshot_file);
        g_strfreev(desktop_files);
    }
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
    g_autoptr(GError) error = nullptr;
    if (!hd_home_host::write_screenshot(shot->window, shot->path, &error)) {
        g_printerr("hd-home-host: screenshot %s failed: %s\n", shot->path, error->message);
        shot->failed = TRUE;
    }
    return G_SOURCE_REMOVE;
}

gboolean quit_main_loop(gpointer) {
    gtk_main_quit();
    return G_SOURCE_REMOVE;
}

GOptionContext *new_option_context(HostOptions *options) {
    const GOptionEntry entries[] = {
        {"module-dir", 0, 0, G_OPTION_ARG_FILENAME, &options->module_dir,
         "Directory of widget libraries (default: $HD_HOME_PLUGIN_DIR or the installed one)",
         "DIR"},
        {"plugin-id", 0, 0, G_OPTION_ARG_STRING, &options->plugin_id,
         "The widget instance's plug-in id (default: the .desktop file's name)", "ID"},
        {"position", 0, 0, G_OPTION_ARG_STRING, &options->position,
         "Place the widget at X,Y on the desktop", "X,Y"},
        {"screenshot-after", 0, 0, G_OPTION_ARG_INT, &options->screenshot_after_ms,
         "Write a screenshot of the widget this many milliseconds after start", "MS"},
        {"screenshot-file", 0, 0, G_OPTION_ARG_FILENAME, &options->screenshot_file,
         "PNG file for --screenshot-after", "PATH"},
        {"quit-after", 0, 0, G_OPTION_ARG_INT, &options->quit_after_ms,
         "Quit this many milliseconds after start", "MS"},
        {"version", 0, 0, G_OPTION_ARG_NONE, &options->version, "Show the version and exit",
         nullptr},
        {G_OPTION_REMAINING, 0, 0, G_OPTION_ARG_FILENAME_ARRAY, &options->desktop_files, nullptr,
         "WIDGET.desktop"},
        {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr}};
    GOptionContext *context = g_option_context_new("- show a home widget");
    g_option_context_set_summary(
        context, "Shows one home widget, named by its .desktop file, as a desktop gadget the\n"
                 "way the home desktop does: loads the library that the file's X-Path names\n"
                 "from the module directory and places the widget on the display.");
    g_option_context_set_description(
        context, "Environment:\n"
                 "  HD_HOME_PLUGIN_DIR  directory of widget libraries (default\n"
                 "                      " HD_HOME_PLUGIN_DEFAULT_DIR ")\n"
                 "  HD_HOME_GTKRC       the theme's styles of the logical fonts (default\n"
                 "                      " HD_HOME_GTKRC_DEFAULT ")\n");
    g_option_context_add_main_entries(context, entries, nullptr);
    g_option_context_add_group(context, gtk_get_option_group(TRUE));
    return context;
}

/* Checks the options that parsing cannot; 0 when they are sound, else the exit status. */
int check_options(HostOptions *options) {
    if (options->desktop_files == nullptr || options->desktop_files[0] == nullptr ||
        options->desktop_files[1] != nullptr) {
        g_printerr("hd-home-host: give exactly one widget .desktop file\n");
        return 2;
    }
    if (!parse_position(options->position, &options->x, &options->y)) {
        g_printerr("hd-home-host: --position wants X,Y\n");
        return 2;
    }
    if ((options->screenshot_after_ms >= 0) != (options->screenshot_file != nullptr)) {
        g_printerr("hd-home-host: --screenshot-after and --screenshot-file go together\n");
        return 2;
    }
    return 0;
}

/* Parses the command line (opening the display); 0 when the host is to run, else
 * the exit status. --version needs no display; --help and unknown options are
 * answered while parsing, before the display is opened. */
int parse_command_line(int *argc, char ***argv, HostOptions *options) {
    for (int i = 1; i < *argc && g_strcmp0((*argv)[i], "--") != 0; ++i) {
        if (g_strcmp0((*argv)[i], "--version") == 0) {
            g_print("hd-home-host (Velmora) %s\n", VELMORA_VERSION);
            return -1;
        }
    }
    g_autoptr(GError) error = nullptr;
    GOptionContext *context = new_option_context(options);
    const gboolean parsed = g_option_context_parse(context, argc, argv, &error);
    g_option_context_free(context);
    if (!parsed) {
        g_printerr("hd-home-host: %s (see --help)\n",
                   error != nullptr ? error->message : "cannot open display");
        return 2;
    }
    return check_options(options);
}

/* Loads and shows the widget and runs until it is closed or --quit-after. */
int run_host(const HostOptions &options) {
    const gchar *desktop_file = options.desktop_files[0];
    g_autofree gchar *default_id = hd_home_host::plugin_id_for(desktop_file);
    const gchar *plugin_id = options.plugin_id != nullptr ? options.plugin_id : default_id;
    g_autoptr(GError) error = nullptr;
    HDHomePluginItem *item = hd_home_host::load_widget(
        desktop_file, plugin_id, hd_home_host::choose_module_dir(options.module_dir), &error);
    if (item == nullptr) {
        g_printerr("hd-home-host: %s: %s\n", desktop_file, error->message);
        return 1;
    }
    /* Closing the widget's window ends the host. */
    g_signal_connect(item, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    hd_home_host::present_as_gadget(item, options.x, options.y);

    Screenshot shot{GTK_WIDGET(item), options.screenshot_file, FALSE};
    if (options.screenshot_after_ms >= 0)
        g_timeout_add(guint(options.screenshot_after_ms), take_screenshot, &shot);
    if (options.quit_after_ms >= 0)
        g_timeout_add(guint(options.quit_after_ms), quit_main_loop, nullptr);
    gtk_main();
    return shot.failed ? 1 : 0;
}

} // namespace

int main(int argc, char **argv) {
    /* The host's texts (the widget's settings entry) in the user's language. */
    setlocale(LC_ALL, "");
    bindtextdomain("hd-home-host", HD_HOME_HOST_LOCALE_DIR);
    bind_textdomain_codeset("hd-home-host", "UTF-8");

    /* The desktop's theme: the styles that define the logical fonts widgets name. */
    const gchar *theme = g_getenv("HD_HOME_GTKRC");
    gtk_rc_add_default_file(theme != nullptr && *theme != '\0' ? theme : HD_HOME_GTKRC_DEFAULT);

    HostOptions options;
    const int status = parse_command_line(&argc, &argv, &options);
    if (status != 0)
        return status < 0 ? 0 : status;
    return run_host(options);
}
