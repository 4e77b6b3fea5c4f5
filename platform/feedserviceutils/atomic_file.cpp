/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * atomic_file.cpp - the library's one way of writing a file whole: the data go to a new
 * temporary file beside the final name ("<name>.XXXXXX", made exclusively, so no link
 * is followed) and it is renamed over that name, so a reader finds the old file or the
 * new one, never part of one. Not synced to disk: the library writes only caches (HTTP
 * answers, pictures), whose loss costs a download, and a flush per file would cost more
 * than that download on flash.
 */
#include "feedserviceutils_internal.h"

#include <fcntl.h>
#include <glib/gstdio.h>
#include <unistd.h>

#include <cerrno>

namespace {

/* Writes all of data to fd; false (errno set) when it could not. */
bool write_all(int fd, const char *data, gsize length) {
    gsize done = 0;
    while (done < length) {
        const ssize_t wrote = write(fd, data + done, length - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            if (wrote == 0)
                errno = EIO;
            return false;
        }
        done += static_cast<gsize>(wrote);
    }
    return true;
}

} // namespace

bool fsu::replace_file(const gchar *path, const void *data, gsize length, int mode,
                       GError **error) {
    g_autofree gchar *temporary = g_strconcat(path, ".XXXXXX", nullptr);
    const int fd = g_mkstemp_full(temporary, O_WRONLY | O_CLOEXEC, mode);
    if (fd < 0) {
        const int saved = errno;
        g_set_error(error, G_FILE_ERROR, g_file_error_from_errno(saved), "%s: %s", temporary,
                    g_strerror(saved));
        return false;
    }
    bool whole = write_all(fd, static_cast<const char *>(data), length);
    int saved = errno;
    if (close(fd) != 0 && whole) {
        whole = false;
        saved = errno;
    }
    if (whole && g_rename(temporary, path) != 0) {
        whole = false;
        saved = errno;
    }
    if (!whole) {
        g_remove(temporary);
        g_set_error(error, G_FILE_ERROR, g_file_error_from_errno(saved), "%s: %s", path,
                    g_strerror(saved));
    }
    return whole;
}
