/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * atomic_file.cpp - the library's one way of writing a file whole, for the HTTP cache and
 * the picture cache alike. The file is reached only through its directory's descriptor:
 * the data go to a new partial file beside the final name ("<name>.XXXXXX.part", made
 * exclusively and without following a link, so neither a leftover nor a link put there
 * is ever written through) and it is renamed over that name within the directory, so a
 * reader finds the old file or the new one, never part of one. A failed write removes
 * its partial file. Not synced to disk: the library writes only caches (HTTP answers,
 * pictures), whose loss costs a download, and a flush per file would cost more than
 * that download on flash.
 */
#include "feedserviceutils_internal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr int kNameAttempts = 64;
constexpr char kNameCharacters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

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

/* Creates a new partial file for name in the directory; *partial receives its name. */
int create_partial(int dirfd, const std::string &name, int mode, std::string *partial) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string suffix(6, 'x');
        for (char &c : suffix)
            c = kNameCharacters[g_random_int_range(0, sizeof kNameCharacters - 1)];
        *partial = name + "." + suffix + fsu::kPartialSuffix;
        const int fd = openat(dirfd, partial->c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1; /* errno is EEXIST */
}

void set_errno_error(GError **error, int code, const std::string &what) {
    g_set_error(error, G_FILE_ERROR, g_file_error_from_errno(code), "%s: %s", what.c_str(),
                g_strerror(code));
}

} // namespace

bool fsu::write_file_at(int dirfd, const std::string &name, const void *data, gsize length,
                        int mode, GError **error) {
    std::string partial;
    const int fd = create_partial(dirfd, name, mode, &partial);
    if (fd < 0) {
        set_errno_error(error, errno, "creating a partial file for " + name);
        return false;
    }
    bool whole = write_all(fd, static_cast<const char *>(data), length);
    int saved = errno;
    if (close(fd) != 0 && whole) {
        whole = false;
        saved = errno;
    }
    if (whole && renameat(dirfd, partial.c_str(), dirfd, name.c_str()) == 0)
        return true;
    if (whole)
        saved = errno;
    unlinkat(dirfd, partial.c_str(), 0); /* a failed write leaves no partial file */
    set_errno_error(error, saved, "writing " + name);
    return false;
}
