// SPDX-License-Identifier: LGPL-2.1-or-later
// child_process.h - runs a program as a child of the test with extra environment
// variables and its output appended to a log file; stops it with SIGTERM (then
// SIGKILL) when the object goes out of scope. Header-only; needs GLib.
#ifndef VELMORA_CHILD_PROCESS_H
#define VELMORA_CHILD_PROCESS_H

#include <glib.h>

#include <csignal>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <vector>

class ChildProcess {
  public:
    // env: "NAME=value" entries set on top of the test's own environment.
    ChildProcess(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                 const std::string &log_file) {
        std::vector<std::string> shell = {"/bin/sh", "-c",
                                          "exec \"$0\" \"$@\" >>'" + log_file + "' 2>&1"};
        shell.insert(shell.end(), argv.begin(), argv.end());
        std::vector<gchar *> args;
        for (auto &arg : shell)
            args.push_back(const_cast<gchar *>(arg.c_str()));
        args.push_back(nullptr);
        gchar **envp = g_get_environ();
        for (const auto &assignment : env) {
            const auto eq = assignment.find('=');
            envp = g_environ_setenv(envp, assignment.substr(0, eq).c_str(),
                                    assignment.substr(eq + 1).c_str(), TRUE);
        }
        GError *error = nullptr;
        const gboolean started = g_spawn_async(
            nullptr, args.data(), envp, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &pid_, &error);
        g_strfreev(envp);
        if (!started) {
            std::string message = "cannot start " + argv.at(0) + ": " + error->message;
            g_error_free(error);
            throw std::runtime_error(message);
        }
    }

    ~ChildProcess() { stop(); }
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    bool running() {
        if (pid_ == 0)
            return false;
        if (waitpid(pid_, nullptr, WNOHANG) == 0)
            return true;
        pid_ = 0;
        return false;
    }

    void stop() {
        if (pid_ == 0)
            return;
        kill(pid_, SIGTERM);
        for (int i = 0; i < 100 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i)
            g_usleep(50 * 1000);
        if (waitpid(pid_, nullptr, WNOHANG) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = 0;
    }

  private:
    GPid pid_ = 0;
};

#endif // VELMORA_CHILD_PROCESS_H
