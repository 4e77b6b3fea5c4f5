/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * cache_files.cpp - files of a cache directory, reached only through the directory itself.
 *
 * A cache directory is opened as a descriptor that never follows a symbolic link, and its
 * files are tested by name relative to that descriptor and written through it
 * (fsu::write_file_at, atomic_file.cpp), never following a link: a link put in the
 * directory's place, or in the place of one of its files, can never lead a write outside
 * the cache. A link found where the directory belongs is
 * removed (only the link: what it points to is left alone) and a real directory made.
 */
#include "feedserviceutils_internal.h"

#include <glib/gstdio.h>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kDirectoryMode = 0700;

std::string without_trailing_slashes(const gchar *path) {
    std::string trimmed(path);
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    return trimmed;
}

} // namespace

namespace fsu {

bool replace_link_by_directory(const gchar *path) {
    const std::string dir = without_trailing_slashes(path);
    GStatBuf status;
    if (g_lstat(dir.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
        g_message("The directory %s is a symbolic link; replaced by a directory", dir.c_str());
        if (g_unlink(dir.c_str()) != 0)
            return false;
    }
    if (g_mkdir_with_parents(dir.c_str(), kDirectoryMode) != 0)
        return false;
    return g_lstat(dir.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

int open_directory_nofollow(const gchar *dir) {
    if (g_mkdir_with_parents(dir, kDirectoryMode) != 0)
        return -1;
    return open(dir, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

int open_cache_directory(const gchar *dir) {
    if (dir == nullptr || *dir == '\0')
        return -1;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = open_directory_nofollow(dir);
        if (fd >= 0)
            return fd;
        if (attempt > 0 || !replace_link_by_directory(dir))
            break;
    }
    g_debug("Cannot open the cache directory %s: %s", dir, g_strerror(errno));
    return -1;
}

bool regular_file_at(int dirfd, const std::string &name) {
    struct stat status;
    return fstatat(dirfd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(status.st_mode);
}

} // namespace fsu
