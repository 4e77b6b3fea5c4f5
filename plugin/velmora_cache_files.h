/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_cache_files.h - the files of the picture cache as the item store removes them:
 * only by name, through the cache directory itself, and only names the store gives.
 */
#ifndef VELMORA_CACHE_FILES_H
#define VELMORA_CACHE_FILES_H

#include <glib.h>

#include <string>
#include <string_view>
#include <vector>

/* The name of the cache file that path names: path is exactly "<dir>/<name>" and name is
 * one the store gives its pictures (letters, digits, '_' or '-', then ".img"). Empty for
 * any other path: one outside the cache, in a subdirectory, or of a foreign name. */
std::string velmora_cache_file_name(std::string_view dir, std::string_view path);

/* Whether name is a partial picture file left by a write (it holds ".part"). */
bool velmora_is_partial_file_name(std::string_view name);

/* The cache directory, opened without following a link; files are removed and listed by
 * name relative to it, so no path can lead a removal outside it. A link in the
 * directory's place leaves it closed: nothing is removed through it. */
class VelmoraCacheDir {
  public:
    explicit VelmoraCacheDir(const std::string &dir);
    ~VelmoraCacheDir();
    VelmoraCacheDir(const VelmoraCacheDir &) = delete;
    VelmoraCacheDir &operator=(const VelmoraCacheDir &) = delete;

    /* Removes the entry name (a link itself, never what it points to); false when it
     * was not there or is a directory. */
    bool remove(const std::string &name) const;
    /* Dates the file name (not what a link there points to) now; false when it is not
     * there. */
    bool touch(const std::string &name) const;
    /* Names of the directory's entries that are not directories. */
    std::vector<std::string> file_names() const;

  private:
    int fd_ = -1;
};

/* Removes the cached files among paths: those that lie in dir under a name the store
 * gives. Every other path is left alone (and logged at debug level). */
void velmora_remove_cached_pictures(const std::string &dir, const std::vector<std::string> &paths);

#endif /* VELMORA_CACHE_FILES_H */
