/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_cache_files.cpp - removing and listing the picture cache's files through the
 * directory's own descriptor (openat/unlinkat, never following a link).
 *
 * A picture row's path comes from the database, which may have been copied from another
 * home or edited: it is never handed to the file system. Only a path that is exactly
 * "<cache directory>/<name of the store's own form>" selects a file, and that file is
 * removed by its name within the directory opened without following a link.
 */
#include "velmora_cache_files.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view kPictureSuffix = ".img";

bool is_name_character(char c) {
    return g_ascii_isalnum(c) || c == '_' || c == '-';
}

} // namespace

std::string velmora_cache_file_name(std::string_view dir, std::string_view path) {
    if (dir.empty() || path.size() <= dir.size() + 1 || path.substr(0, dir.size()) != dir ||
        path[dir.size()] != '/')
        return "";
    const std::string_view name = path.substr(dir.size() + 1);
    if (name.size() <= kPictureSuffix.size() ||
        name.substr(name.size() - kPictureSuffix.size()) != kPictureSuffix)
        return "";
    for (char c : name.substr(0, name.size() - kPictureSuffix.size())) {
        if (!is_name_character(c))
            return "";
    }
    return std::string(name);
}

bool velmora_is_partial_file_name(std::string_view name) {
    return name.find(".part") != std::string_view::npos;
}

VelmoraCacheDir::VelmoraCacheDir(const std::string &dir)
    : fd_(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)) {
    if (fd_ < 0 && errno != ENOENT)
        g_debug("Cannot open the picture cache %s: %s", dir.c_str(), g_strerror(errno));
}

VelmoraCacheDir::~VelmoraCacheDir() {
    if (fd_ >= 0)
        close(fd_);
}

bool VelmoraCacheDir::remove(const std::string &name) const {
    return fd_ >= 0 && name.find('/') == std::string::npos && unlinkat(fd_, name.c_str(), 0) == 0;
}

bool VelmoraCacheDir::touch(const std::string &name) const {
    return fd_ >= 0 && !name.empty() && name.find('/') == std::string::npos &&
           utimensat(fd_, name.c_str(), nullptr, AT_SYMLINK_NOFOLLOW) == 0;
}

std::vector<std::string> VelmoraCacheDir::file_names() const {
    std::vector<std::string> names;
    const int listing = fd_ >= 0 ? dup(fd_) : -1;
    DIR *entries = listing >= 0 ? fdopendir(listing) : nullptr;
    if (!entries) {
        if (listing >= 0)
            close(listing);
        return names;
    }
    rewinddir(entries);
    while (const dirent *entry = readdir(entries)) {
        struct stat status;
        if (fstatat(fd_, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            !S_ISDIR(status.st_mode))
            names.emplace_back(entry->d_name);
    }
    closedir(entries);
    return names;
}

void velmora_remove_cached_pictures(const std::string &dir, const std::vector<std::string> &paths) {
    const VelmoraCacheDir cache(dir);
    for (const std::string &path : paths) {
        const std::string name = velmora_cache_file_name(dir, path);
        if (name.empty())
            g_debug("Not removing %s: no file of the picture cache %s", path.c_str(), dir.c_str());
        else
            cache.remove(name); /* a file already gone is fine */
    }
}
