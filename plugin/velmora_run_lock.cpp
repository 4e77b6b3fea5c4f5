/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_run_lock.cpp - the run lock: a file beside the store, locked with flock for the
 * whole of an update run. A second run (in this process or another) polls for it until
 * its wait ends; the lock goes with the descriptor, so a run that is killed never leaves
 * it held. The file is opened without following a link, and never written.
 */
#include "velmora_run_lock.h"

#include <glib/gstdio.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr int kLockFileMode = 0600;
constexpr gulong kPollMicroseconds = 20 * 1000;

int open_lock_file(const std::string &path) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kLockFileMode);
        if (fd >= 0 || errno != ELOOP)
            return fd;
        g_unlink(path.c_str()); /* a link in its place: only the link goes */
    }
    return -1;
}

} // namespace

VelmoraRunLock::VelmoraRunLock(const std::string &path, gint64 wait_ms) {
    g_autofree gchar *dir = g_path_get_dirname(path.c_str());
    g_mkdir_with_parents(dir, 0700);
    fd_ = open_lock_file(path);
    if (fd_ < 0) {
        g_message("Cannot make the run lock %s: %s", path.c_str(), g_strerror(errno));
        return;
    }
    const gint64 deadline = g_get_monotonic_time() + wait_ms * 1000;
    for (;;) {
        if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            state_ = State::Held;
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            g_message("Cannot take the run lock %s: %s", path.c_str(), g_strerror(errno));
            return;
        }
        if (g_get_monotonic_time() >= deadline) {
            state_ = State::Busy;
            return;
        }
        g_usleep(kPollMicroseconds);
    }
}

VelmoraRunLock::~VelmoraRunLock() {
    if (fd_ >= 0)
        close(fd_); /* releases the lock */
}
