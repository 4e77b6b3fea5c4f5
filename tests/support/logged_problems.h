// SPDX-License-Identifier: LGPL-2.1-or-later
// logged_problems.h - records the warnings and criticals that GLib, GObject and
// GTK log while an instance lives (they report a misuse that way and carry on),
// and still prints them. Header-only; needs GLib.
//
//   LoggedProblems problems;
//   ... code under test ...
//   EXPECT_EQ(problems.text(), "");
#ifndef VELMORA_LOGGED_PROBLEMS_H
#define VELMORA_LOGGED_PROBLEMS_H

#include <glib.h>

#include <string>

class LoggedProblems {
  public:
    LoggedProblems() { g_log_set_default_handler(record, this); }
    ~LoggedProblems() { g_log_set_default_handler(g_log_default_handler, nullptr); }
    LoggedProblems(const LoggedProblems &) = delete;
    LoggedProblems &operator=(const LoggedProblems &) = delete;

    // One line per warning or critical: "<domain>: <message>".
    const std::string &text() const { return text_; }

  private:
    static void record(const gchar *domain, GLogLevelFlags level, const gchar *message,
                       gpointer data) {
        if ((level & (G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL)) != 0) {
            std::string &text = static_cast<LoggedProblems *>(data)->text_;
            text += std::string(domain != nullptr ? domain : "") + ": " + message + "\n";
        }
        g_log_default_handler(domain, level, message, nullptr);
    }

    std::string text_;
};

#endif // VELMORA_LOGGED_PROBLEMS_H
