/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * file_watcher.cpp - noticing that a file was deleted or replaced.
 *
 * Two checks, both made when the watcher is asked, so no main loop is needed:
 *   - an inotify watch on the file's directory: an event that removes, renames or
 *     makes the file's name (or moves or removes the directory) means the path no
 *     longer names the watched file. The kernel queues the events until they are read;
 *     a lost event (queue overflow) counts as a deletion, which only costs a reopen.
 *   - the file's identity (device, inode and, where the file system records it, birth
 *     time) compared with what the path names now. This also covers a watcher without
 *     inotify (out of instances), but alone it can miss a file deleted and made anew
 *     whose freed inode number was reused - inotify does not.
 * The watched file itself is never opened: closing an extra descriptor on a SQLite file
 * would drop the locks SQLite holds on it in this process. Once the file is seen gone or
 * replaced, the watcher keeps reporting so.
 */
#include "feedserviceutils_internal.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

namespace {

struct FileIdentity {
    dev_t device = 0;
    guint64 inode = 0; /* statx gives 64 bits, whatever the width of ino_t */
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

constexpr uint32_t kNameEvents = IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CREATE;
constexpr uint32_t kDirectoryEvents = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED;

} // namespace

struct _FileWatcher {
    std::string path;
    std::string name;                     /* the file's name in its directory */
    std::optional<FileIdentity> identity; /* absent: there was no file to watch */
    int inotify_fd = -1;
    bool deleted = false;

    /* Reads the queued directory events; true when one of them ends the file's name. */
    bool name_changed() {
        if (inotify_fd < 0)
            return false;
        alignas(struct inotify_event) char buffer[16 * 1024];
        bool changed = false;
        for (;;) {
            const ssize_t length = read(inotify_fd, buffer, sizeof buffer);
            if (length <= 0)
                return changed || (length < 0 && errno != EAGAIN && errno != EINTR);
            for (ssize_t offset = 0; offset < length;) {
                const auto *event = reinterpret_cast<const struct inotify_event *>(buffer + offset);
                if ((event->mask & (IN_Q_OVERFLOW | kDirectoryEvents)) != 0)
                    changed = true;
                else if ((event->mask & kNameEvents) != 0 && event->len > 0 && name == event->name)
                    changed = true;
                offset += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
            }
        }
    }
};

const char *fsu::watched_path(FileWatcher *watcher) {
    return watcher->path.c_str();
}

FileWatcher *file_watcher_new(const gchar *path) {
    if (path == nullptr)
        return nullptr;
    FileWatcher *watcher = new _FileWatcher();
    watcher->path = path;
    g_autofree gchar *name = g_path_get_basename(path);
    g_autofree gchar *directory = g_path_get_dirname(path);
    watcher->name = name;

    /* The watch first, then the identity: a change in between shows in either. */
    watcher->inotify_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watcher->inotify_fd >= 0 &&
        inotify_add_watch(watcher->inotify_fd, directory,
                          kNameEvents | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR) < 0) {
        close(watcher->inotify_fd);
        watcher->inotify_fd = -1;
    }
    watcher->identity = identify(watcher->path);
    watcher->deleted = !watcher->identity.has_value();
    return watcher;
}

void file_watcher_free(FileWatcher *watcher) {
    if (watcher == nullptr)
        return;
    if (watcher->inotify_fd >= 0)
        close(watcher->inotify_fd);
    delete watcher;
}

gint file_watcher_is_file_deleted(FileWatcher *watcher) {
    /* Without a watcher nobody can vouch for the file: callers reopen, which is safe. */
    if (watcher == nullptr)
        return 1;
    if (!watcher->deleted) {
        const bool name_changed = watcher->name_changed();
        const std::optional<FileIdentity> now = identify(watcher->path);
        watcher->deleted = name_changed || !now.has_value() || !now->same_file(*watcher->identity);
    }
    return watcher->deleted ? 1 : 0;
}
