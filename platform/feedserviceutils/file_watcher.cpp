/*
 * file_watcher.cpp - noticing that a file was deleted or replaced.
 *
 * The watcher notes the file's identity when it is made - device, inode and, where the
 * file system records it, the birth time - and compares it with what the path names
 * now each time it is asked. A file deleted and made anew at the same path is another
 * file: a new inode, or the same inode number reused with a new birth time. Asking
 * costs one statx() call; no main loop and no open descriptor is needed (an extra
 * descriptor on a SQLite file would drop SQLite's POSIX locks when closed). Once the
 * file is seen gone or replaced, the watcher keeps reporting so.
 */
#include "feedserviceutils_internal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <optional>
#include <string>

namespace {

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool has_birth_time = false;
    statx_timestamp birth_time{};

    bool same_file(const FileIdentity &other) const {
        if (device != other.device || inode != other.inode)
            return false;
        if (has_birth_time && other.has_birth_time)
            return birth_time.tv_sec == other.birth_time.tv_sec &&
                   birth_time.tv_nsec == other.birth_time.tv_nsec;
        return true;
    }
};

std::optional<FileIdentity> identify(const std::string &path) {
    struct statx info {};
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_INO | STATX_BTIME, &info) != 0)
        return std::nullopt;
    FileIdentity identity;
    identity.device = makedev(info.stx_dev_major, info.stx_dev_minor);
    identity.inode = info.stx_ino;
    identity.has_birth_time = (info.stx_mask & STATX_BTIME) != 0;
    identity.birth_time = info.stx_btime;
    return identity;
}

} // namespace

struct _FileWatcher {
    std::string path;
    std::optional<FileIdentity> identity; /* absent: there was no file to watch */
    bool deleted = false;
};

FileWatcher *file_watcher_new(const gchar *path) {
    if (path == nullptr)
        return nullptr;
    FileWatcher *watcher = new _FileWatcher();
    watcher->path = path;
    watcher->identity = identify(watcher->path);
    watcher->deleted = !watcher->identity.has_value();
    return watcher;
}

void file_watcher_free(FileWatcher *watcher) {
    delete watcher;
}

gint file_watcher_is_file_deleted(FileWatcher *watcher) {
    /* Without a watcher nobody can vouch for the file: callers reopen, which is safe. */
    if (watcher == nullptr)
        return 1;
    if (!watcher->deleted) {
        const std::optional<FileIdentity> now = identify(watcher->path);
        watcher->deleted = !now.has_value() || !now->same_file(*watcher->identity);
    }
    return watcher->deleted ? 1 : 0;
}
